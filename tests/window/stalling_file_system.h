#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "support/gate.h"

namespace palvimo::testing {

// The machine's file system, except that opening a folder at or below one of
// the stalled folders waits at that folder's gate, as on a drive that stalls
// there.
class Stalling_File_System final : public File_System {
 public:
  using Stalls = std::vector<std::pair<std::string, std::shared_ptr<Gate>>>;

  explicit Stalling_File_System(Stalls stalls) : stalls_(std::move(stalls)) {}

  std::unique_ptr<Folder> Open_Folder(const std::string& path) override {
    for (const auto& [folder, gate] : stalls_)
      if (path == folder || path.starts_with(folder + "/")) gate->Wait();
    return local_->Open_Folder(path);
  }

 private:
  const Stalls stalls_;
  const std::unique_ptr<File_System> local_ = Make_Local_File_System();
};

}  // namespace palvimo::testing
