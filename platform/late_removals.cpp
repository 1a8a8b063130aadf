#include "platform/late_removals.h"

#include <condition_variable>
#include <list>
#include <mutex>
#include <ostream>
#include <thread>
#include <utility>

#include "platform/escaped_text.h"
#include "platform/io_worker.h"

namespace palvimo {

namespace {

// How long the ending process waits for the drive before it ends anyway.
constexpr std::chrono::seconds Longest_End_Wait{5};

struct Late_Removals {
  std::mutex mutex;
  std::condition_variable finished;
  std::list<std::string> pending;  // the copies of the removals under way
};

// Never destroyed: a removal still stalled on the drive when the process
// exits may come back while static objects are being destroyed.
Late_Removals& Removals() {
  static auto* const removals = new Late_Removals;
  return *removals;
}

}  // namespace

Late_Removal::Late_Removal(std::string path) {
  Late_Removals& removals = Removals();
  const std::lock_guard lock(removals.mutex);
  entry_ = removals.pending.insert(removals.pending.end(), std::move(path));
}

Late_Removal::~Late_Removal() {
  Late_Removals& removals = Removals();
  const std::lock_guard lock(removals.mutex);
  removals.pending.erase(entry_);
  removals.finished.notify_all();
}

void Run_On_Own_Thread(std::function<void()> work) {
  std::thread([work = std::move(work)] {
    Block_Signals_Here();
    work();
  }).detach();
}

std::vector<std::string> Wait_For_Late_Removals(std::chrono::milliseconds longest) {
  Late_Removals& removals = Removals();
  std::unique_lock lock(removals.mutex);
  removals.finished.wait_for(lock, longest, [&] { return removals.pending.empty(); });
  return {removals.pending.begin(), removals.pending.end()};
}

Late_Removals_Wait::Late_Removals_Wait(std::ostream& out, std::string program)
    : out_(out), program_(std::move(program)) {}

Late_Removals_Wait::~Late_Removals_Wait() {
  for (const std::string& path : Wait_For_Late_Removals(Longest_End_Wait)) {
    out_ << program_ << ": " << Escaped_Text(path)
         << ": the drive did not answer; this probe copy may be left there, and the next run will remove it"
         << std::endl;
  }
}

}  // namespace palvimo
