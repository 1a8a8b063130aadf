#pragma once

#include <cstdint>
#include <string>

#include "platform/runtime.h"

namespace palvimo::bench {

// Stand-ins for the window's event loop and for the probe's file operations,
// so that a benchmark times only what it means to time.

// A window with nothing to handle.
class No_Op_Event_Pump final : public Event_Pump {
 public:
  void Run_Pending_Events() override {}
  bool Keep_Alive() override { return true; }
  void End_Program() override {}
};

// A probe that neither copies nor deletes anything.
class Stub_Probe_Copier final : public Probe_Copier {
 public:
  void Copy_File(const std::string&, const std::string&, Probe_Copy&) override {}
  void Delete_Copy(const Probe_Copy&) override {}
};

// A pause that does not wait.
class Stub_Pauser final : public Pauser {
 public:
  void Pause(std::uint32_t) override {}
};

}  // namespace palvimo::bench
