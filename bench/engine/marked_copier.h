#pragma once

#include <memory>
#include <utility>

#include "platform/copier_hooks.h"
#include "platform/io_worker.h"
#include "platform/runtime.h"
#include "process_counters.h"

namespace palvimo::bench {

// The program's probe copier, noting this process's storage traffic as each
// copy's read-back begins, so that the copy and its read-back can be counted
// apart.
struct Marked_Copier {
  explicit Marked_Copier(Io_Worker& worker) {
    Copier_Hooks hooks;
    hooks.before_read_back = [at = at_read_back] { *at = Read_Io_Counters(); };
    copier = Make_Probe_Copier(worker, std::move(hooks));
  }

  // The traffic counted when the last read-back began.
  std::shared_ptr<Io_Counters> at_read_back = std::make_shared<Io_Counters>();
  std::unique_ptr<Probe_Copier> copier;
};

}  // namespace palvimo::bench
