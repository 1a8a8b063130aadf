#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace palvimo {

// The removals of probe copies that an ending program cannot wait for: the
// worker holding the copy did not let go, so the removal runs on a thread of
// its own, which may wait on a stalled drive without holding up the window.

// Runs `removal` on a thread of its own; `path` names the copy it removes.
void Start_Late_Removal(std::function<void()> removal, std::string path);

// Waits at most `longest` for the removals started so far to finish; the
// copies of those that have not, in the order they were started.
std::vector<std::string> Wait_For_Late_Removals(std::chrono::milliseconds longest);

// Made first in main(), so that it is destroyed last: waits at most a few
// seconds for the copies' removals, then says on `out` which copies are
// left, for the process to end anyway.
class Late_Removals_Wait {
 public:
  explicit Late_Removals_Wait(std::ostream& out);
  Late_Removals_Wait(const Late_Removals_Wait&) = delete;
  Late_Removals_Wait& operator=(const Late_Removals_Wait&) = delete;
  ~Late_Removals_Wait();

 private:
  std::ostream& out_;
};

}  // namespace palvimo
