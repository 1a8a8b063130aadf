#pragma once

#include <memory>
#include <string>
#include <utility>

#include "platform/file_system.h"
#include "support/gate.h"

namespace palvimo::testing {

// The machine's file system, except that opening a folder at or below
// `stalled` waits at the gate, as on a drive that stalls there.
class Stalling_File_System final : public File_System {
 public:
  Stalling_File_System(std::string stalled, std::shared_ptr<Gate> gate)
      : stalled_(std::move(stalled)), gate_(std::move(gate)) {}

  std::unique_ptr<Folder> Open_Folder(const std::string& path) override {
    if (path == stalled_ || path.starts_with(stalled_ + "/")) gate_->Wait();
    return local_->Open_Folder(path);
  }

 private:
  const std::string stalled_;
  const std::shared_ptr<Gate> gate_;
  const std::unique_ptr<File_System> local_ = Make_Local_File_System();
};

}  // namespace palvimo::testing
