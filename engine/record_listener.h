#pragma once

#include "engine/run_record.h"
#include "platform/interface.h"

namespace palvimo {

// Told of a run's record as it grows, on the window's thread; it must never
// hold the run up.
class Record_Listener : public Interface {
 public:
  // A run began; `record` holds its root and settings.
  virtual void Run_Began(const Run_Record& record) = 0;
  // A probe of the run failed.
  virtual void Probe_Failed(const Run_Record& record, const Failure_Entry& failure) = 0;
  // The run ended, by a stop, an unreadable root or the program's end.
  virtual void Run_Ended(const Run_Record& record) = 0;
};

}  // namespace palvimo
