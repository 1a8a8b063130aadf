#include "engine/record_json.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "engine/delay_text.h"
#include "engine/drive_json.h"
#include "engine/run_report.h"
#include "platform/escaped_text.h"

namespace palvimo {

namespace {

struct Program_Origin {
  std::string program = "palvimo";
  std::vector<std::string> command_line;
};

Program_Origin& Origin() {
  static Program_Origin origin;
  return origin;
}

std::string Hex_Of(const std::string& bytes) {
  constexpr char Digits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<std::uint8_t>(c);
    hex += Digits[byte >> 4];
    hex += Digits[byte & 0x0Fu];
  }
  return hex;
}

double Seconds(std::chrono::nanoseconds time) { return std::chrono::duration<double>(time).count(); }

// What the run comes to, for machines. A run that checked no file has found
// no fault, but has not found the drive sound either, and says so.
const char* Verdict_Key(const Run_Record& record) {
  if (record.Failed_Of(Failure_Class::Drive_Fault) > 0) return "drive faults found";
  if (record.Good() == 0) return "nothing checked";
  return "no drive faults";
}

}  // namespace

void Set_Program_Origin(std::string program, std::vector<std::string> command_line) {
  Origin() = Program_Origin{std::move(program), std::move(command_line)};
}

std::string Errno_Name(int error_number) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
  if (const char* name = strerrorname_np(error_number)) return name;
#else
  (void)error_number;
#endif
  return {};
}

void Put_Text(nlohmann::json& object, const std::string& key, const std::string& text) {
  if (Is_Valid_Utf8(text)) {
    object[key] = text;
  } else {
    object[key] = Escaped_Text(text);
    object[key + "_hex"] = Hex_Of(text);
  }
}

nlohmann::json Volume_Json(const Volume& volume) {
  nlohmann::json described = {{"type", volume.Type}, {"uuid", volume.Uuid}, {"id", Volume_Identity(volume)}};
  Put_Text(described, "mount_point", volume.Mount_Point);
  Put_Text(described, "device", volume.Device);
  Put_Text(described, "label", volume.Label);
  return described;
}

nlohmann::json Run_Header_Json(const Run_Record& record, const std::optional<Volume>& volume) {
  const Program_Origin& origin = Origin();
  nlohmann::json header = {{"type", "run"},
                           {"json_format_version", Json_Format_Version},
                           {"program", origin.program},
                           {"version", PALVIMO_VERSION},
                           {"start", Format_Iso_Utc(record.Start_Time())}};
  if (!origin.command_line.empty()) {
    nlohmann::json arguments = nlohmann::json::array();
    nlohmann::json arguments_hex = nlohmann::json::array();
    bool all_utf8 = true;
    for (const std::string& argument : origin.command_line) {
      all_utf8 = all_utf8 && Is_Valid_Utf8(argument);
      arguments.push_back(Is_Valid_Utf8(argument) ? argument : Escaped_Text(argument));
      arguments_hex.push_back(Hex_Of(argument));
    }
    header["command_line"] = std::move(arguments);
    if (!all_utf8) header["command_line_hex"] = std::move(arguments_hex);
  }
  Put_Text(header, "root", record.Root());
  const Run_Settings& settings = record.Settings();
  const auto delay = Parse_Delay(settings.delay);
  // A pause typed as no number makes no pause; what was typed is kept.
  nlohmann::json settings_json = {{"delay", delay.value_or(0)}, {"recurse", settings.recurse}};
  if (!delay) Put_Text(settings_json, "delay_text", settings.delay);
  Put_Text(settings_json, "extension", settings.extension);
  header["settings"] = std::move(settings_json);
  const std::optional<Volume>& holding = volume ? volume : record.Volume_Found();
  if (holding) header["volume"] = Volume_Json(*holding);
  const auto& drive = record.Drive();
  const auto& health = record.Start_Health();
  header["drive"] = drive && health ? Drive_Json(*drive, *health) : nlohmann::json(nullptr);
  return header;
}

nlohmann::json Failure_Json(const Failure_Entry& failure) {
  nlohmann::json line = {{"type", "failure"},
                         {"time", Format_Iso_Utc(failure.time)},
                         {"class", Class_Key(Class_Of(failure.kind))},
                         {"kind", Kind_Key(failure.kind)},
                         {"step", Step_Name(failure.kind)},
                         {"error_number", failure.error_number},
                         {"errno", nullptr}};
  if (failure.error_number != 0) {
    const std::string name = Errno_Name(failure.error_number);
    if (!name.empty()) line["errno"] = name;
  }
  Put_Text(line, "path", failure.path);
  Put_Text(line, "reason", failure.reason);
  return line;
}

nlohmann::json Summary_Json(const Run_Record& record, const Run_Ending& ending) {
  const Probe_Figures& totals = record.Totals();
  nlohmann::json failed_by_kind = nlohmann::json::object();
  for (const Failure_Kind kind : Failure_Kinds) failed_by_kind[Kind_Key(kind)] = record.Failed_Of(kind);
  nlohmann::json failed_by_class = nlohmann::json::object();
  for (const Failure_Class failure_class : {Failure_Class::Drive_Fault, Failure_Class::Not_Checked})
    failed_by_class[Class_Key(failure_class)] = record.Failed_Of(failure_class);
  const auto end = record.Start_Time() +
                   std::chrono::duration_cast<std::chrono::system_clock::duration>(record.Elapsed());
  std::string ended_because = ending.ended_because;
  if (ended_because.empty()) ended_because = record.Ended_Because().empty() ? "stopped" : "folder_unreadable";
  // The drive overwriting what it held is what ended the run, whatever
  // else was about to.
  if (record.Writing_Stopped()) ended_because = "drive_changed_files";
  nlohmann::json summary = {
      {"type", "summary"},
      {"verdict", Verdict_Key(record)},
      {"start", Format_Iso_Utc(record.Start_Time())},
      {"end", Format_Iso_Utc(end)},
      {"elapsed_seconds", std::chrono::duration<double>(record.Elapsed()).count()},
      {"ended_because", ended_because},
      {"exit_status", ending.exit_status ? nlohmann::json(*ending.exit_status) : nlohmann::json(nullptr)},
      {"probes", record.Probes()},
      {"good", record.Good()},
      {"failed", record.Failed()},
      {"failed_by_class", std::move(failed_by_class)},
      {"failed_by_kind", std::move(failed_by_kind)},
      {"failures_not_kept", record.Failures_Not_Kept()},
      {"checked", record.Checked()},
      {"coverage",
       {{"files_probed", record.Files_Probed()},
        {"files_seen", record.Files_Seen()},
        {"files_checked", record.Files_Checked()},
        {"files_not_checked", record.Files_Not_Checked()},
        {"complete", record.Coverage_Complete()}}},
      {"volume_note", nullptr},
      {"drive_health_change",
       record.Health_Changed() ? Health_Change_Json(*record.Health_Changed()) : nlohmann::json(nullptr)},
      {"bytes_read", totals.bytes_read},
      {"bytes_written", totals.bytes_written},
      {"bytes_read_back", totals.bytes_read_back},
      {"read_seconds", Seconds(totals.read_time)},
      {"write_seconds", Seconds(totals.write_time)},
      {"read_back_seconds", Seconds(totals.read_back_time)},
      {"read_bytes_per_second", record.Read_Speed()},
      {"write_bytes_per_second", record.Write_Speed()},
      {"read_back_bytes_per_second", record.Read_Back_Speed()},
  };
  Put_Text(summary, "text", Verdict_Text(record));
  if (!record.Volume_Note().empty()) Put_Text(summary, "volume_note", record.Volume_Note());
  if (!record.Ended_Because().empty()) Put_Text(summary, "ended_because_text", record.Ended_Because());
  if (record.Writing_Stopped()) summary["files_changed_after_copies"] = record.Files_Changed_After_Copies();
  if (const auto& space = record.Space_At_Start()) {
    summary["volume_bytes"] = space->size;
    summary["free_bytes_at_start"] = space->free;
  }
  if (const auto& slowest = record.Slowest()) {
    nlohmann::json probe = {{"read_bytes_per_second", slowest->read_speed},
                            {"write_bytes_per_second", slowest->write_speed}};
    Put_Text(probe, "path", slowest->path);
    summary["slowest"] = std::move(probe);
  }
  return summary;
}

nlohmann::json Record_Json(const Run_Record& record, const Run_Ending& ending, const std::optional<Volume>& volume) {
  nlohmann::json failures = nlohmann::json::array();
  for (const Failure_Entry& failure : record.Failures()) failures.push_back(Failure_Json(failure));
  nlohmann::json speeds = nlohmann::json::array();
  for (const Speed_Point& point : record.Speeds()) {
    speeds.push_back({{"seconds", point.seconds},
                      {"read_bytes_per_second", point.read_speed},
                      {"write_bytes_per_second", point.write_speed}});
  }
  return {{"run", Run_Header_Json(record, volume)},
          {"summary", Summary_Json(record, ending)},
          {"failures", std::move(failures)},
          {"speeds", std::move(speeds)}};
}

}  // namespace palvimo
