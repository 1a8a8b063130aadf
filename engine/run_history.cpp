#include "engine/run_history.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <tuple>

#include "engine/record_journal.h"
#include "engine/run_report.h"
#include "platform/drive_identity.h"
#include "platform/volume_source.h"

namespace palvimo {

namespace {

using nlohmann::json;

// A record's text key, or nothing when it is missing or not text.
std::string Text_At(const json& object, const char* key) {
  if (!object.is_object()) return {};
  const auto found = object.find(key);
  return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

double Number_At(const json& object, const char* key) {
  if (!object.is_object()) return 0;
  const auto found = object.find(key);
  return found != object.end() && found->is_number() ? found->get<double>() : 0;
}

std::uint64_t Count_At(const json& object, const char* key) {
  if (!object.is_object()) return 0;
  const auto found = object.find(key);
  return found != object.end() && found->is_number_unsigned() ? found->get<std::uint64_t>() : 0;
}

// "2026-12-08T03:17:13Z"; nothing for any other text.
std::optional<std::chrono::system_clock::time_point> Parse_Iso_Utc(const std::string& text) {
  std::tm parts{};
  char zone = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &parts.tm_year, &parts.tm_mon, &parts.tm_mday,
                  &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &zone) != 7 ||
      zone != 'Z')
    return std::nullopt;
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  const std::time_t seconds = timegm(&parts);
  if (seconds == static_cast<std::time_t>(-1)) return std::nullopt;
  return std::chrono::system_clock::from_time_t(seconds);
}

// Reads the record's lines, each on its own: one that is not JSON, or not an
// object of a known type, is noted and left out.
Record_Lines Read_Lines(const std::string& path) {
  Record_Lines record;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    record.notes.push_back("the record cannot be read: " + std::system_category().message(errno));
    return record;
  }
  std::string line;
  std::size_t number = 0;
  while (std::getline(file, line)) {
    ++number;
    if (line.empty()) continue;
    json value = json::parse(line, nullptr, false);
    const std::string where = "line " + std::to_string(number);
    if (value.is_discarded()) {
      // A crash can cut the last line short; any other line is damaged.
      record.notes.push_back(where + (file.peek() == EOF ? " was cut short" : " is not JSON") + "; left out");
      continue;
    }
    const std::string type = Text_At(value, "type");
    if (type == "run" && record.header.is_null()) {
      record.header = std::move(value);
    } else if (type == "failure") {
      record.failures.push_back(std::move(value));
    } else if (type == "summary" && record.summary.is_null()) {
      record.summary = std::move(value);
    } else {
      record.notes.push_back(where + " is no line of a record" + (type.empty() ? "" : " (\"" + type + "\")") +
                             "; left out");
    }
  }
  if (file.bad()) record.notes.push_back("the record could not be read to its end");
  if (record.header.is_null()) record.notes.push_back("the record has no run line");
  return record;
}

void Fill_Drive(Past_Run& run, const json& header) {
  const json volume = header.is_object() ? header.value("volume", json()) : json();
  run.volume_id = Text_At(volume, "id");
  const json drive = header.is_object() ? header.value("drive", json()) : json();
  const std::string model = Text_At(drive, "model");
  const std::string serial = Text_At(drive, "serial");
  std::string volume_name = Text_At(volume, "label");
  if (volume_name.empty()) volume_name = Text_At(volume, "mount_point");
  if (!serial.empty()) {
    // A serial number tells a drive apart, whichever volume of it was checked.
    run.drive = (model.empty() ? std::string("Drive") : model) + " (" + serial + ")";
    run.drive_key = "drive:" + model + ":" + serial;
    return;
  }
  run.drive = model.empty() ? volume_name : volume_name.empty() ? model : model + ", " + volume_name;
  if (!run.volume_id.empty()) run.drive_key = "volume:" + run.volume_id;
}

Past_Run Past_Run_Of(const std::string& path, Record_Lines lines) {
  Past_Run run;
  run.file = path;
  run.notes = std::move(lines.notes);
  const json& header = lines.header;
  const json& summary = lines.summary;
  const std::string start_text = Text_At(summary, "start").empty() ? Text_At(header, "start") : Text_At(summary, "start");
  if (const auto start = Parse_Iso_Utc(start_text)) {
    run.start = *start;
  } else {
    std::error_code error;
    const auto written = std::filesystem::last_write_time(path, error);
    if (!error)
      run.start = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
          std::chrono::file_clock::to_sys(written));
  }
  run.folder = Text_At(header, "root");
  Fill_Drive(run, header);
  run.unfinished = summary.is_null();
  if (run.unfinished) {
    // What the failure lines kept tell; the probes that went well are not
    // written before the summary.
    for (const json& failure : lines.failures) {
      const std::string failure_class = Text_At(failure, "class");
      if (failure_class == "drive_fault") ++run.drive_faults;
      if (failure_class == "not_checked") ++run.not_checked;
    }
    run.probes = run.drive_faults + run.not_checked;
    return run;
  }
  if (summary.contains("elapsed_seconds") && summary["elapsed_seconds"].is_number())
    run.seconds = summary["elapsed_seconds"].get<double>();
  run.probes = Count_At(summary, "probes");
  const json by_class = summary.value("failed_by_class", json());
  run.drive_faults = Count_At(by_class, "drive_fault");
  run.not_checked = Count_At(by_class, "not_checked");
  run.read_speed = Number_At(summary, "read_bytes_per_second");
  run.write_speed = Number_At(summary, "write_bytes_per_second");
  run.read_back_speed = Number_At(summary, "read_back_bytes_per_second");
  run.verdict = Text_At(summary, "verdict");
  run.verdict_text = Text_At(summary, "text");
  return run;
}

std::string Ago(std::chrono::system_clock::duration since) {
  using namespace std::chrono;
  const auto minutes = duration_cast<std::chrono::minutes>(since).count();
  if (minutes < 1) return "just now";
  if (minutes < 60) return Format_Count_Of(static_cast<std::uint64_t>(minutes), "minute", "minutes") + " ago";
  if (minutes < 48 * 60) return Format_Count_Of(static_cast<std::uint64_t>(minutes / 60), "hour", "hours") + " ago";
  return Format_Count_Of(static_cast<std::uint64_t>(minutes / (24 * 60)), "day", "days") + " ago";
}

}  // namespace

Run_History Read_Run_History() { return Read_Run_History(Default_Record_Folder()); }

Run_History Read_Run_History(const std::string& folder) {
  Run_History history;
  if (folder.empty()) {
    history.problem = "no folder of records: neither XDG_STATE_HOME nor HOME is set";
    return history;
  }
  std::vector<std::string> paths;
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  if (error == std::errc::no_such_file_or_directory) return history;
  for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
    const auto& entry = *entries;
    std::error_code type_error;
    // Only the names runs give their records: anything else there is not ours.
    if (Order_Of_Record(entry.path().filename().string()) && entry.is_regular_file(type_error))
      paths.push_back(entry.path().string());
  }
  if (error) {
    history.problem = "the records in " + folder + " cannot be read: " + error.message();
    return history;
  }
  const auto order = [](const std::string& path) {
    return *Order_Of_Record(std::filesystem::path(path).filename().string());
  };
  std::sort(paths.begin(), paths.end(), [&](const std::string& a, const std::string& b) { return order(a) > order(b); });
  for (const std::string& path : paths) history.runs.push_back(Read_Past_Run(path));
  return history;
}

Past_Run Read_Past_Run(const std::string& path) { return Past_Run_Of(path, Read_Lines(path)); }

Record_Lines Read_Record_Lines(const std::string& path) { return Read_Lines(path); }

std::vector<std::string> Record_Text_Lines(const Record_Lines& record) {
  std::vector<std::string> lines;
  const json& header = record.header;
  const json& summary = record.summary;
  if (summary.is_null()) {
    lines.push_back("This run ended without a summary: it was cut short by a crash or a power cut.");
  } else {
    lines.push_back(Text_At(summary, "text"));
  }
  const auto figure = [&lines](const std::string& label, const std::string& value) {
    if (!value.empty()) lines.push_back(label + ": " + value);
  };
  figure("Folder", Text_At(header, "root"));
  figure("Started", Text_At(header, "start"));
  figure("Program", Text_At(header, "program") + " " + Text_At(header, "version"));
  Past_Run run;
  Fill_Drive(run, header);
  figure("Drive", run.drive);
  if (!summary.is_null()) {
    figure("Ended", Text_At(summary, "end"));
    figure("Elapsed", Format_Duration(std::chrono::seconds(static_cast<long long>(Number_At(summary, "elapsed_seconds")))));
    figure("Ended because", Text_At(summary, "ended_because"));
    figure("Probes", Format_Count(Count_At(summary, "probes")) + " (" + Format_Count(Count_At(summary, "good")) +
                         " good, " + Format_Count(Count_At(summary, "failed")) + " failed)");
    const json by_class = summary.value("failed_by_class", json());
    figure("Drive faults", Format_Count(Count_At(by_class, "drive_fault")));
    figure("Not checked", Format_Count(Count_At(by_class, "not_checked")));
    figure("Read", Format_Bytes(Count_At(summary, "bytes_read")) + " at " +
                       Format_Speed(Number_At(summary, "read_bytes_per_second")));
    figure("Written", Format_Bytes(Count_At(summary, "bytes_written")) + " at " +
                          Format_Speed(Number_At(summary, "write_bytes_per_second")));
    figure("Read back", Format_Bytes(Count_At(summary, "bytes_read_back")) + " at " +
                            Format_Speed(Number_At(summary, "read_back_bytes_per_second")));
  }
  if (!record.failures.empty()) lines.push_back("Failures:");
  for (const json& failure : record.failures) {
    lines.push_back("  " + Text_At(failure, "time") + "  " + Text_At(failure, "path") + "  " +
                    Text_At(failure, "class") + "/" + Text_At(failure, "kind") + ": " + Text_At(failure, "reason"));
  }
  for (const std::string& note : record.notes) lines.push_back("Note: " + note);
  return lines;
}

Drive_Match Match_Of_Folder([[maybe_unused]] const std::string& folder) {
  Drive_Match match;
#ifdef __linux__
  std::error_code error;
  const std::string full = std::filesystem::absolute(folder, error).lexically_normal().string();
  const Volume volume = Volume_Holding(error ? folder : full);
  match.volume_id = Volume_Identity(volume);
  const Drive_Identity drive = Identify_Drive(volume);
  if (drive.serial && !drive.serial->empty())
    match.drive_key = "drive:" + drive.model.value_or(std::string()) + ":" + *drive.serial;
#endif
  return match;
}

bool Matches(const Past_Run& run, const Drive_Match& match) {
  if (!match.volume_id.empty() && run.volume_id == match.volume_id) return true;
  return !match.drive_key.empty() && run.drive_key == match.drive_key;
}

std::vector<Past_Run> Runs_Of_Drive(const std::vector<Past_Run>& runs, const std::string& drive_key) {
  std::vector<Past_Run> chosen;
  std::copy_if(runs.begin(), runs.end(), std::back_inserter(chosen),
               [&drive_key](const Past_Run& run) { return run.drive_key == drive_key; });
  return chosen;
}

std::string Last_Result_Text(const std::vector<Past_Run>& runs, std::chrono::system_clock::time_point now) {
  if (runs.empty()) return {};
  const Past_Run& last = runs.front();
  const std::string when = Ago(now > last.start ? now - last.start : std::chrono::system_clock::duration{});
  if (last.unfinished) return "Last run " + when + " ended without a summary";
  if (last.drive_faults > 0) return "Last checked " + when + ": " + Format_Count_Of(last.drive_faults, "drive fault", "drive faults");
  if (last.verdict == "nothing checked") return "Last run " + when + ": nothing checked";
  return "Last checked " + when + ": no drive faults";
}

}  // namespace palvimo
