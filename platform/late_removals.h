#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <list>
#include <string>
#include <vector>

namespace palvimo {

// The removals of probe copies that an ending program cannot wait for: the
// worker holding the copy did not let go, so the removal runs on a thread of
// its own, which may wait on a stalled drive without holding up the window.

// A copy's removal under way, from its making until its destruction, which
// comes once every thread that may still remove the copy is done with it.
class Late_Removal {
 public:
  // `path` names the copy.
  explicit Late_Removal(std::string path);
  Late_Removal(const Late_Removal&) = delete;
  Late_Removal& operator=(const Late_Removal&) = delete;
  ~Late_Removal();

 private:
  std::list<std::string>::iterator entry_;
};

// Runs `work` on a thread of its own that no signal interrupts, and lets
// the thread go.
void Run_On_Own_Thread(std::function<void()> work);

// Waits at most `longest` for the removals under way to finish; the copies
// of those that have not, in the order they began.
std::vector<std::string> Wait_For_Late_Removals(std::chrono::milliseconds longest);

// Made first in main(), so that it is destroyed last: waits at most a few
// seconds for the copies' removals, then says on `out`, in the name of
// `program`, which copies are left, for the process to end anyway.
class Late_Removals_Wait {
 public:
  Late_Removals_Wait(std::ostream& out, std::string program);
  Late_Removals_Wait(const Late_Removals_Wait&) = delete;
  Late_Removals_Wait& operator=(const Late_Removals_Wait&) = delete;
  ~Late_Removals_Wait();

 private:
  std::ostream& out_;
  std::string program_;
};

}  // namespace palvimo
