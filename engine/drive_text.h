#pragma once

#include <string>

#include "platform/drive_health.h"
#include "platform/drive_identity.h"

namespace palvimo {

// The drive and its health on one line for people, its names as the drive
// and the file system give them, for the report to escape as it shows them
// (as every figure): "SanDisk Cruzer Blade 16 GB (USB, removable), serial 4C530001,
// vfat 'STICK' 1A2B-3C4D; SMART: not available (the USB bridge does not pass
// it)".
std::string Drive_Text(const Drive_Identity& identity, const Drive_Health& health);

// The health alone: "SMART: passed, 10,453 hours, 34 °C, 0 reallocated
// sectors", or "SMART: not available (REASON)".
std::string Health_Text(const Drive_Health& health);

// How the health changed over a run: "no change", "12 sectors reallocated,
// 3 pending during the run"...; empty when nothing could be compared.
std::string Health_Change_Text(const Health_Change& change);

}  // namespace palvimo
