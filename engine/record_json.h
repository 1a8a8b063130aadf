#pragma once

#include <array>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "engine/run_record.h"
#include "platform/volume_source.h"

namespace palvimo {

// The run's record as JSON, with stable keys and numbers as numbers, for
// scripts, the record kept on disk and the report's "Save…". Every key is
// described in docs/record-format.md and checked by docs/record.schema.json.
//
// File names are bytes, and not every name is valid UTF-8, which JSON text
// must be. A name that is valid UTF-8 is written as it is. Any other name is
// written with each stray byte as "\xHH" (see Escaped_Text), and its exact
// bytes go beside it in hexadecimal, under the same key followed by "_hex".

// The form's version, [major, minor]: a reader that knows the major version
// reads every record of it; a new minor version only adds keys.
inline constexpr std::array<int, 2> Json_Format_Version = {1, 0};

// Names the program this process is and the command line it was started
// with, for every run header it writes. Called once, first thing in main,
// before any thread starts; a process that never calls it is "palvimo" with
// no command line said.
void Set_Program_Origin(std::string program, std::vector<std::string> command_line);

// What a front end knows of a run's end beyond the record itself.
struct Run_Ending {
  // A key from docs/record-format.md ("signal", "probe_limit"...); empty to
  // go by the record: "folder_unreadable" or "stopped".
  std::string ended_because;
  // The status the program ends with, where a program ends with the run.
  std::optional<int> exit_status;
};

// Sets `key` of `object` to `text`, with the "_hex" twin where needed.
void Put_Text(nlohmann::json& object, const std::string& key, const std::string& text);

// The volume that holds the run's folder: its mount point, type, device,
// label, UUID and identity (Volume_Identity).
nlohmann::json Volume_Json(const Volume& volume);

// The settings and start of the run: its first line on disk, and the first
// of the JSON Lines. Without a volume given, the one the record found as the
// run began; without either the header has none, since finding it asks the
// drive.
nlohmann::json Run_Header_Json(const Run_Record& record, const std::optional<Volume>& volume = std::nullopt);
nlohmann::json Failure_Json(const Failure_Entry& failure);
// The verdict and every figure, without the list of failures.
nlohmann::json Summary_Json(const Run_Record& record, const Run_Ending& ending = {});
// The whole record: header, summary, the failures kept and the speed plot.
// Where no volume is given, the record's own; never looked up here, so that
// the window's thread never waits on a drive.
nlohmann::json Record_Json(const Run_Record& record, const Run_Ending& ending = {},
                           const std::optional<Volume>& volume = std::nullopt);

// "EACCES" for EACCES; empty where the system cannot name the number.
std::string Errno_Name(int error_number);

}  // namespace palvimo
