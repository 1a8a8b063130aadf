#pragma once

#include "platform/runtime.h"

namespace palvimo::testing {

// Counts what the copy and the pause ask of the window. Neither may run the
// program's handlers, so Run_Pending_Events is only counted, to be checked.
class Counting_Event_Pump final : public Event_Pump {
 public:
  void Run_Pending_Events() override { ++event_runs_; }
  bool Keep_Alive() override {
    ++keep_alives_;
    return !Ending;
  }
  void End_Program() override {}

  // Keep_Alive says the program is ending.
  bool Ending = false;

  int Event_Runs() const { return event_runs_; }
  int Keep_Alives() const { return keep_alives_; }

 private:
  int event_runs_ = 0;
  int keep_alives_ = 0;
};

}  // namespace palvimo::testing
