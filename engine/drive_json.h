#pragma once

#include <nlohmann/json.hpp>

#include "platform/drive_health.h"
#include "platform/drive_identity.h"

namespace palvimo {

// The drive behind a run's folder and its health as JSON, for --json, the
// report and the record kept on disk. Every key is always there; what is not
// known is null. Texts that are not valid UTF-8 get a "_hex" twin as names
// do (see Put_Text).
//   {"device", "layers", "backing_file", "disk", "vendor", "model", "serial",
//    "size_bytes", "bus", "removable",
//    "file_system": {"type", "uuid", "label"},
//    "health": {"available", "reason", "passed", "power_on_hours",
//               "temperature_celsius", "reallocated_sectors",
//               "pending_sectors", "uncorrectable_sectors", "media_errors"}}
nlohmann::json Drive_Json(const Drive_Identity& identity, const Drive_Health& health);

// How the health changed over the run:
//   {"reallocated_sectors", "pending_sectors", "uncorrectable_sectors",
//    "media_errors", "began_failing", "worse"}
nlohmann::json Health_Change_Json(const Health_Change& change);

}  // namespace palvimo
