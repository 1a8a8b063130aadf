#pragma once

#include <ostream>

#include "platform/file_system.h"
#include "platform/runtime.h"

namespace palvimo {

// The platform services one check runs on; the window supplies the real ones,
// tests and the benchmark their own.
struct Check_Services {
  File_System& Files;
  Probe_Copier& Copier;
  Pauser& Pause;
  Random_Source& Random;
  Event_Pump& Events;
  // Where failed probes are recorded for the user: standard error.
  std::ostream& Log;
};

}  // namespace palvimo
