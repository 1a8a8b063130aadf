#include "engine/record_json.h"

#include <cstdint>

#include "engine/run_report.h"
#include "platform/escaped_text.h"

namespace palvimo {

namespace {

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

}  // namespace

void Put_Text(nlohmann::json& object, const std::string& key, const std::string& text) {
  if (Is_Valid_Utf8(text)) {
    object[key] = text;
  } else {
    object[key] = Escaped_Text(text);
    object[key + "_hex"] = Hex_Of(text);
  }
}

nlohmann::json Run_Header_Json(const Run_Record& record) {
  nlohmann::json header = {{"type", "run"},
                           {"program", "palvimo"},
                           {"version", PALVIMO_VERSION},
                           {"start", Format_Iso_Utc(record.Start_Time())}};
  Put_Text(header, "root", record.Root());
  nlohmann::json settings = {{"delay", record.Settings().delay}, {"recurse", record.Settings().recurse}};
  Put_Text(settings, "extension", record.Settings().extension);
  header["settings"] = std::move(settings);
  return header;
}

nlohmann::json Failure_Json(const Failure_Entry& failure) {
  nlohmann::json line = {{"type", "failure"},
                         {"time", Format_Iso_Utc(failure.time)},
                         {"kind", Kind_Key(failure.kind)},
                         {"step", Step_Name(failure.kind)}};
  Put_Text(line, "path", failure.path);
  Put_Text(line, "reason", failure.reason);
  return line;
}

nlohmann::json Summary_Json(const Run_Record& record) {
  const Probe_Figures& totals = record.Totals();
  nlohmann::json failed_by_kind = nlohmann::json::object();
  for (const Failure_Kind kind : Failure_Kinds) failed_by_kind[Kind_Key(kind)] = record.Failed_Of(kind);
  nlohmann::json summary = {
      {"type", "summary"},
      {"verdict", record.Failed() == 0 ? "no faults found" : "faults found"},
      {"start", Format_Iso_Utc(record.Start_Time())},
      {"elapsed_seconds", std::chrono::duration<double>(record.Elapsed()).count()},
      {"probes", record.Probes()},
      {"good", record.Good()},
      {"failed", record.Failed()},
      {"failed_by_kind", std::move(failed_by_kind)},
      {"failures_not_kept", record.Failures_Not_Kept()},
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
  if (!record.Ended_Because().empty()) Put_Text(summary, "ended_because", record.Ended_Because());
  if (const auto& slowest = record.Slowest()) {
    nlohmann::json probe = {{"read_bytes_per_second", slowest->read_speed},
                            {"write_bytes_per_second", slowest->write_speed}};
    Put_Text(probe, "path", slowest->path);
    summary["slowest"] = std::move(probe);
  }
  return summary;
}

nlohmann::json Record_Json(const Run_Record& record) {
  nlohmann::json failures = nlohmann::json::array();
  for (const Failure_Entry& failure : record.Failures()) failures.push_back(Failure_Json(failure));
  nlohmann::json speeds = nlohmann::json::array();
  for (const Speed_Point& point : record.Speeds()) {
    speeds.push_back({{"seconds", point.seconds},
                      {"read_bytes_per_second", point.read_speed},
                      {"write_bytes_per_second", point.write_speed}});
  }
  return {{"run", Run_Header_Json(record)},
          {"summary", Summary_Json(record)},
          {"failures", std::move(failures)},
          {"speeds", std::move(speeds)}};
}

}  // namespace palvimo
