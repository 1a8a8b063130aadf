#pragma once

#include <ostream>
#include <string>

#include "engine/drive_watch.h"
#include "engine/record_listener.h"
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
  // Where failed probes and each run's verdict are written for the user:
  // standard error.
  std::ostream& Log;
  // Told of every run's record as it grows, to keep it; none when no record
  // is kept.
  Record_Listener* Journal = nullptr;
  // Where each volume's catalogue of what its files hold is kept; empty for
  // none.
  std::string Catalogue_Folder = {};
  // Finds the drive behind the folder and reads its health as each run
  // begins and ends; none to leave the drive out of the record.
  const Drive_Watch* Drive = nullptr;
};

}  // namespace palvimo
