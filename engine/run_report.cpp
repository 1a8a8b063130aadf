#include "engine/run_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <system_error>
#include <utility>

#include "engine/drive_text.h"
#include "engine/overwrite_guard.h"
#include "platform/escaped_text.h"

namespace palvimo {

namespace {

std::string Amount_At(std::uint64_t bytes, double speed) { return Format_Bytes(bytes) + " at " + Format_Speed(speed); }

std::string Format_Time(std::chrono::system_clock::time_point time, const char* format) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &seconds);
#else
  gmtime_r(&seconds, &utc);
#endif
  char text[32];
  std::strftime(text, sizeof text, format, &utc);
  return text;
}

// What each kind of failure is called: for a person, as a key for
// machines, by the step of the probe at which it happens, and whether it is
// the drive's fault.
struct Kind_Words {
  Failure_Kind kind;
  const char* name;
  const char* key;
  const char* step;
  Failure_Class failure_class;
};

constexpr Failure_Class Drive = Failure_Class::Drive_Fault;
constexpr Failure_Class Not_Checked = Failure_Class::Not_Checked;

constexpr Kind_Words Words[] = {
    {Failure_Kind::Read, "cannot read", "read", "read", Drive},
    {Failure_Kind::Write, "cannot write", "write", "write", Drive},
    {Failure_Kind::Flush, "cannot flush", "flush", "flush", Drive},
    {Failure_Kind::Read_Back, "cannot read back", "read_back", "read back", Drive},
    {Failure_Kind::Data_Changed, "data changed", "data_changed", "read back", Drive},
    {Failure_Kind::Silent_Change, "silent change", "silent_change", "read", Drive},
    {Failure_Kind::Delete, "cannot delete", "delete", "delete", Drive},
    {Failure_Kind::Sectors_Reallocated, "sectors reallocated", "sectors_reallocated", "health", Drive},
    {Failure_Kind::Permission_Denied, "permission denied", "permission_denied", "open", Not_Checked},
    {Failure_Kind::Vanished, "vanished", "vanished", "open", Not_Checked},
    {Failure_Kind::Name_Taken, "the copy's name is taken", "name_taken", "create", Not_Checked},
    {Failure_Kind::Name_Too_Long, "name too long for the copy", "name_too_long", "create", Not_Checked},
    {Failure_Kind::No_Space, "no space left for the copy", "no_space", "write", Not_Checked},
    {Failure_Kind::Not_Offered, "not offered by the file system", "not_offered", "create", Not_Checked},
    {Failure_Kind::Other, "other", "other", "probe", Not_Checked},
};

const Kind_Words& Words_Of(Failure_Kind kind) {
  for (const Kind_Words& words : Words) {
    if (words.kind == kind) return words;
  }
  return Words[std::size(Words) - 1];
}

// A kind of failure after a count: "2 copy's name taken".
std::string Counted_Name(Failure_Kind kind) {
  switch (kind) {
    case Failure_Kind::Name_Taken: return "copy's name taken";
    case Failure_Kind::Name_Too_Long: return "name too long for a copy";
    case Failure_Kind::No_Space: return "no room for a copy";
    default: return Kind_Name(kind);
  }
}

// "2 cannot read, 1 data changed": the failures of one class by kind.
std::string Failures_By_Kind(const Run_Record& record, Failure_Class failure_class) {
  std::string text;
  for (const Failure_Kind kind : Failure_Kinds) {
    if (Class_Of(kind) != failure_class || record.Failed_Of(kind) == 0) continue;
    if (!text.empty()) text += ", ";
    text += Format_Count(record.Failed_Of(kind)) + " " + Counted_Name(kind);
  }
  return text;
}

std::string File_Name(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Folder_Of(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// "12 files", or "at least 12 files" once the counts of distinct files
// reached their bound.
std::string Files(const Run_Record& record, std::uint64_t count) {
  return (record.Coverage_Complete() ? "" : "at least ") + Format_Count_Of(count, "file", "files");
}

// "3 files could not be checked: 2 permission denied (locked.bin,
// secret.txt), 1 vanished (gone.dat)."
std::string Not_Checked_Sentence(const Run_Record& record) {
  const std::uint64_t files = record.Files_Not_Checked();
  std::string text = Files(record, files) + " could not be checked: ";
  bool first = true;
  for (const Failure_Kind kind : Failure_Kinds) {
    const std::uint64_t of_kind = record.Files_Not_Checked_Of(kind);
    if (Class_Of(kind) != Failure_Class::Not_Checked || of_kind == 0) continue;
    if (!first) text += ", ";
    first = false;
    text += Format_Count(of_kind) + " " + Counted_Name(kind) + " (";
    const std::vector<std::string>& examples = record.Not_Checked_Examples(kind);
    for (std::size_t at = 0; at < examples.size(); ++at) text += (at > 0 ? ", " : "") + File_Name(examples[at]);
    if (of_kind > examples.size()) text += ", \u2026";
    text += ")";
  }
  return text + ".";
}

// "5 times, 2026-12-08 03:17:13 UTC to 2026-12-08 03:19:02 UTC".
std::string Times_Of(const Failure_Group& group) {
  if (group.count == 1) return "once, " + Format_Utc(group.first);
  return Format_Count(group.count) + " times, " + Format_Utc(group.first) + " to " + Format_Utc(group.last);
}

}  // namespace

std::string Kind_Name(Failure_Kind kind) { return Words_Of(kind).name; }
std::string Kind_Key(Failure_Kind kind) { return Words_Of(kind).key; }
std::string Step_Name(Failure_Kind kind) { return Words_Of(kind).step; }
Failure_Class Class_Of(Failure_Kind kind) { return Words_Of(kind).failure_class; }
std::string Class_Key(Failure_Class failure_class) {
  return failure_class == Failure_Class::Drive_Fault ? "drive_fault" : "not_checked";
}

std::string Verdict_Text(const Run_Record& record) {
  std::string text;
  if (record.Probes() == 0) {
    text = "Checked no files.";
  } else if (auto nothing = Nothing_Checked_Reason(record)) {
    text = std::move(*nothing);
  } else {
    const std::uint64_t faults = record.Failed_Of(Failure_Class::Drive_Fault);
    text = "Checked " + Files(record, record.Files_Checked()) + ": ";
    if (faults == 0) {
      text += "no drive faults found.";
    } else {
      text += Format_Count_Of(faults, "drive fault", "drive faults") + " (" +
              Failures_By_Kind(record, Failure_Class::Drive_Fault) + ").";
    }
    if (record.Files_Not_Checked() > 0) text += " " + Not_Checked_Sentence(record);
    text += " " + Format_Count_Of(record.Probes(), "probe", "probes") + " of " + Files(record, record.Files_Probed()) + " (" +
            Format_Count(record.Files_Probed()) + " of the " + Files(record, record.Files_Seen()) + " seen).";
    const Probe_Figures& totals = record.Totals();
    if (faults == 0 && totals.bytes_read > 0) {
      text += " Read " + Amount_At(totals.bytes_read, record.Read_Speed()) + ", wrote " +
              Amount_At(totals.bytes_written, record.Write_Speed()) + " and read it back at " +
              Format_Speed(record.Read_Back_Speed()) + ".";
    }
  }
  // What cut the run short comes first: it is what the user must act on.
  if (!record.Ended_Because().empty()) text = record.Ended_Because() + ". " + text;
  if (record.Writing_Stopped()) {
    const std::optional<Volume_Space>& space = record.Space_At_Start();
    text = Writing_Stopped_Sentence(record.Files_Changed_After_Copies(), record.Totals().bytes_written,
                                    space ? std::optional(space->free) : std::nullopt) +
           " " + text;
  }
  return text;
}

std::optional<std::string> Nothing_Checked_Reason(const Run_Record& record) {
  if (record.Probes() == 0 || record.Checked() > 0 || record.Failure_Groups().empty()) return std::nullopt;
  // The commonest way the files failed, by kind and by whether their copy
  // or they themselves failed, is what stands between the run and a check.
  struct Way {
    std::uint64_t count = 0;
    const Failure_Group* example = nullptr;
    std::set<std::string> folders;
  };
  std::map<std::pair<Failure_Kind, bool>, Way> ways;
  const Way* commonest = nullptr;
  for (const Failure_Group& group : record.Failure_Groups()) {
    Way& way = ways[{group.kind, group.on_copy}];
    way.count += group.count;
    if (!way.example) way.example = &group;
    way.folders.insert(Folder_Of(group.path));
    if (!commonest || way.count > commonest->count) commonest = &way;
  }
  const Failure_Group& example = *commonest->example;
  const std::string why =
      example.error_number != 0 ? std::system_category().message(example.error_number) : example.reason;
  std::string where = Folder_Of(example.path);
  if (commonest->folders.size() > 1) {
    where += " and " + Format_Count_Of(commonest->folders.size() - 1, "other folder", "other folders");
  }
  std::string what;
  if (example.on_copy) {
    what = "copies cannot be written in " + where;
  } else if (example.kind == Failure_Kind::Vanished) {
    what = "the files picked in " + where + " vanished before they could be copied";
  } else {
    what = "files cannot be read in " + where;
  }
  return "No file could be checked: " + what + " (" + why + ").";
}

namespace {

// The drive and its health as the run began, and how that changed.
std::string Drive_Figure(const Run_Record& record) {
  const auto& drive = record.Drive();
  const auto& health = record.Start_Health();
  if (!drive || !health) return {};
  std::string text = Drive_Text(*drive, *health);
  if (const auto& change = record.Health_Changed()) {
    if (const std::string changed = Health_Change_Text(*change); !changed.empty()) text += "; " + changed;
  }
  return text;
}

}  // namespace

std::vector<Report_Figure> Report_Figures(const Run_Record& record) {
  const Probe_Figures& totals = record.Totals();
  const std::uint64_t faults = record.Failed_Of(Failure_Class::Drive_Fault);
  const std::uint64_t not_checked = record.Failed_Of(Failure_Class::Not_Checked);
  std::vector<Report_Figure> figures = {
      {"Folder", record.Root()},
      {"Started", Format_Utc(record.Start_Time())},
      {"Elapsed", Format_Duration(record.Elapsed())},
      {"Probes", Format_Count(record.Probes()) + " of " + Files(record, record.Files_Probed()) + " (" +
                     Format_Count(record.Files_Probed()) + " of the " + Files(record, record.Files_Seen()) + " seen)"},
      {"Files checked", Format_Count(record.Files_Checked()) + " in " + Format_Count_Of(record.Checked(), "probe", "probes") +
                            " (" + Format_Count(record.Good()) + " good, " + Format_Count(faults) +
                            " with a drive fault)"},
  };
  if (!record.Volume_Note().empty()) figures.push_back({"Volume", record.Volume_Note()});
  if (const std::string drive = Drive_Figure(record); !drive.empty()) figures.push_back({"Drive", drive});
  if (faults > 0) figures.push_back({"Drive faults", Failures_By_Kind(record, Failure_Class::Drive_Fault)});
  if (not_checked > 0) {
    figures.push_back({"Not checked", Files(record, record.Files_Not_Checked()) + " in " +
                                          Format_Count_Of(not_checked, "probe", "probes") + ": " +
                                          Failures_By_Kind(record, Failure_Class::Not_Checked)});
  }
  figures.push_back({"Read", Amount_At(totals.bytes_read, record.Read_Speed())});
  figures.push_back({"Written", Amount_At(totals.bytes_written, record.Write_Speed())});
  figures.push_back({"Read back", Amount_At(totals.bytes_read_back, record.Read_Back_Speed())});
  if (const auto& space = record.Space_At_Start()) {
    figures.push_back({"Space", Format_Bytes(space->size) + ", " + Format_Bytes(space->free) +
                                    " said to be free at the start; the run wrote " +
                                    Format_Bytes(totals.bytes_written)});
  }
  if (const auto& slowest = record.Slowest()) {
    figures.push_back({"Slowest file", slowest->path + " (read " + Format_Speed(slowest->read_speed) + ", write " +
                                           Format_Speed(slowest->write_speed) + ")"});
  }
  return figures;
}

std::string Report_Text(const Run_Record& record) {
  std::ostringstream text;
  text << Escaped_Text(Verdict_Text(record)) << '\n';
  for (const Report_Figure& figure : Report_Figures(record)) {
    text << figure.label << ": " << Escaped_Text(figure.value) << '\n';
  }
  for (const Failure_Class failure_class : {Failure_Class::Drive_Fault, Failure_Class::Not_Checked}) {
    bool headed = false;
    // Files the drive changed silently are the user's losses: named first.
    std::vector<const Failure_Group*> groups;
    for (const Failure_Group& group : record.Failure_Groups()) groups.push_back(&group);
    std::stable_partition(groups.begin(), groups.end(),
                          [](const Failure_Group* group) { return group->kind == Failure_Kind::Silent_Change; });
    for (const Failure_Group* listed : groups) {
      const Failure_Group& group = *listed;
      if (Class_Of(group.kind) != failure_class) continue;
      if (!headed) {
        text << (failure_class == Failure_Class::Drive_Fault ? "Drive faults" : "Not checked")
             << " (file: reason, how often, when):\n";
        headed = true;
      }
      text << "  " << Escaped_Text(group.path) << ": " << Escaped_Text(group.reason) << ", " << Times_Of(group)
           << '\n';
    }
  }
  if (record.Failures_Not_Grouped() > 0) {
    text << "And " << Format_Count(record.Failures_Not_Grouped()) << " more failures of other files, not kept\n";
  }
  return text.str();
}

std::string Format_Count(std::uint64_t count) {
  std::string digits = std::to_string(count);
  for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3) {
    digits.insert(static_cast<std::size_t>(at), ",");
  }
  return digits;
}

std::string Format_Count_Of(std::uint64_t count, const std::string& one, const std::string& many) {
  return Format_Count(count) + " " + (count == 1 ? one : many);
}

std::string Format_Bytes(std::uint64_t bytes) {
  static constexpr const char* Units[] = {"B", "kB", "MB", "GB", "TB", "PB", "EB"};
  auto value = static_cast<double>(bytes);
  std::size_t unit = 0;
  while (value >= 999.5 && unit + 1 < std::size(Units)) {
    value /= 1000;
    ++unit;
  }
  char text[32];
  if (unit == 0 || value >= 9.95) {
    std::snprintf(text, sizeof text, "%.0f %s", value, Units[unit]);
  } else {
    std::snprintf(text, sizeof text, "%.1f %s", value, Units[unit]);
  }
  return text;
}

std::string Format_Speed(double bytes_per_second) {
  return Format_Bytes(static_cast<std::uint64_t>(std::llround(std::max(0.0, bytes_per_second)))) + "/s";
}

std::string Format_Duration(std::chrono::steady_clock::duration duration) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration).count();
  char text[48];
  if (seconds < 60) {
    std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(seconds));
  } else if (seconds < 3600) {
    std::snprintf(text, sizeof text, "%lld min %02lld s", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld h %02lld min", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds % 3600 / 60));
  }
  return text;
}

std::string Format_Utc(std::chrono::system_clock::time_point time) {
  return Format_Time(time, "%Y-%m-%d %H:%M:%S UTC");
}

std::string Format_Iso_Utc(std::chrono::system_clock::time_point time) {
  return Format_Time(time, "%Y-%m-%dT%H:%M:%SZ");
}

}  // namespace palvimo
