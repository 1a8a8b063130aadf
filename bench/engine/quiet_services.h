#pragma once

#include <chrono>
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
  void Wait_For_Events(std::chrono::milliseconds) override {}
  bool Keep_Alive() override { return true; }
  void End_Program() override {}
};

// A probe that neither copies nor deletes anything.
class Stub_Probe_Copier final : public Probe_Copier {
 public:
  Probe_Figures Copy_File(Folder&, const std::string&, const std::string&) override { return {}; }
  void Delete_Copy() override {}
  bool Remove_Leftover(Folder&, const std::string&) override { return false; }
  std::string Know_Volume(Folder&) override { return {}; }
};

// A pause that does not wait.
class Stub_Pauser final : public Pauser {
 public:
  void Pause(std::uint32_t) override {}
};

}  // namespace palvimo::bench
