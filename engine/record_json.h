#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "engine/run_record.h"

namespace palvimo {

// The run's record as JSON, with stable keys and numbers as numbers, for
// scripts, the record kept on disk and the report's "Save…".
//
// File names are bytes, and not every name is valid UTF-8, which JSON text
// must be. A name that is valid UTF-8 is written as it is. Any other name is
// written with each stray byte as "\xHH" (see Escaped_Text), and its exact
// bytes go beside it in hexadecimal, under the same key followed by "_hex".

// Sets `key` of `object` to `text`, with the "_hex" twin where needed.
void Put_Text(nlohmann::json& object, const std::string& key, const std::string& text);

// The settings and start of the run: its first line on disk.
nlohmann::json Run_Header_Json(const Run_Record& record);
nlohmann::json Failure_Json(const Failure_Entry& failure);
// The verdict and every figure, without the list of failures.
nlohmann::json Summary_Json(const Run_Record& record);
// The whole record: header, summary, the failures kept and the speed plot.
nlohmann::json Record_Json(const Run_Record& record);

}  // namespace palvimo
