#include "terminal/history_list.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "engine/run_history.h"
#include "engine/run_report.h"
#include "platform/escaped_text.h"
#include "terminal/check_options.h"

namespace palvimo {

namespace {

constexpr const char* Program = "palvimo-check";

std::string Speed_Or_Dash(double bytes_per_second) {
  return bytes_per_second > 0 ? Format_Speed(bytes_per_second) : "-";
}

std::string Row(const std::string& start, const std::string& duration, const std::string& probes,
                const std::string& faults, const std::string& not_checked, const std::string& read,
                const std::string& write, const std::string& read_back, const std::string& result,
                const std::string& drive, const std::string& folder) {
  char fixed[256];
  std::snprintf(fixed, sizeof fixed, "%-23s  %-10s  %8s  %6s  %11s  %10s  %10s  %10s  %-18s", start.c_str(),
                duration.c_str(), probes.c_str(), faults.c_str(), not_checked.c_str(), read.c_str(), write.c_str(),
                read_back.c_str(), result.c_str());
  return fixed + ("  " + drive + "  " + folder);
}

}  // namespace

int Print_History(const std::string& folder, std::ostream& out, std::ostream& err) {
  std::optional<Drive_Match> match;
  if (!folder.empty()) {
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
      err << Program << ": no folder to match runs to: " << Escaped_Text(folder) << std::endl;
      return Exit_Cannot_Check;
    }
    match = Match_Of_Folder(folder);
  }
  const Run_History history = Read_Run_History();
  if (history.problem) {
    err << Program << ": " << Escaped_Text(*history.problem) << std::endl;
    return Exit_Cannot_Check;
  }
  out << Row("STARTED", "DURATION", "PROBES", "FAULTS", "NOT CHECKED", "READ", "WRITE", "READ BACK", "RESULT",
             "DRIVE", "FOLDER")
      << '\n';
  for (const Past_Run& run : history.runs) {
    if (match && !Matches(run, *match)) continue;
    const std::string result = run.unfinished ? "cut short" : run.verdict;
    out << Row(Format_Utc(run.start), run.seconds ? Format_Duration(std::chrono::seconds(static_cast<long long>(*run.seconds))) : "-",
               Format_Count(run.probes), Format_Count(run.drive_faults), Format_Count(run.not_checked),
               Speed_Or_Dash(run.read_speed), Speed_Or_Dash(run.write_speed), Speed_Or_Dash(run.read_back_speed),
               result, Escaped_Text(run.drive.empty() ? "-" : run.drive), Escaped_Text(run.folder))
        << '\n';
    for (const std::string& note : run.notes) err << Program << ": " << Escaped_Text(run.file) << ": " << note << '\n';
  }
  out << std::flush;
  err << std::flush;
  return out ? Exit_No_Faults : Exit_Cannot_Check;
}

}  // namespace palvimo
