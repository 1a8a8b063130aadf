#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "support/gate.h"

namespace palvimo::testing {

// The machine's file system, except that opening a folder at or below one of
// the stalled folders waits at that folder's gate, as on a drive that stalls
// there. It counts the reads held up at a gate, as the threads a stalled
// drive holds.
class Stalling_File_System final : public File_System {
 public:
  using Stalls = std::vector<std::pair<std::string, std::shared_ptr<Gate>>>;

  explicit Stalling_File_System(Stalls stalls) : stalls_(std::move(stalls)) {}

  std::unique_ptr<Folder> Open_Folder(const std::string& path) override {
    for (const auto& [folder, gate] : stalls_) {
      if (path == folder || path.starts_with(folder + "/")) {
        const int now = ++held_up_;
        for (int most = most_held_up_.load(); now > most && !most_held_up_.compare_exchange_weak(most, now);) {
        }
        gate->Wait();
        --held_up_;
      }
    }
    return local_->Open_Folder(path);
  }

  // The most reads held up at the gates at once so far.
  int Most_Held_Up() const { return most_held_up_.load(); }

 private:
  const Stalls stalls_;
  std::atomic<int> held_up_{0};
  std::atomic<int> most_held_up_{0};
  const std::unique_ptr<File_System> local_ = Make_Local_File_System();
};

}  // namespace palvimo::testing
