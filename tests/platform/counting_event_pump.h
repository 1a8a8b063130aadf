#pragma once

#include <chrono>

#include "platform/runtime.h"

namespace palvimo::testing {

// Counts what the copy and the pause ask of the window. Neither may run the
// program's handlers, so Run_Pending_Events is only counted, to be checked.
// Told to, it ends the program at a chosen keep-alive, as Exit would.
class Counting_Event_Pump final : public Event_Pump {
 public:
  // The keep-alive (counting from 1) at which the program ends; 0 for never.
  int End_At_Keep_Alive = 0;
  // When that keep-alive ended the program.
  std::chrono::steady_clock::time_point Ended_At;

  void Run_Pending_Events() override { ++event_runs_; }
  void Wait_For_Events(std::chrono::milliseconds) override { ++event_runs_; }
  bool Keep_Alive() override {
    if (++keep_alives_ == End_At_Keep_Alive) {
      ended_ = true;
      Ended_At = std::chrono::steady_clock::now();
    }
    return !ended_;
  }
  void End_Program() override { ended_ = true; }

  int Event_Runs() const { return event_runs_; }
  int Keep_Alives() const { return keep_alives_; }

 private:
  bool ended_ = false;
  int event_runs_ = 0;
  int keep_alives_ = 0;
};

}  // namespace palvimo::testing
