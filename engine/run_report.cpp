#include "engine/run_report.h"

#include <cmath>
#include <cstdio>
#include <iterator>
#include <ctime>
#include <sstream>

#include "platform/escaped_text.h"

namespace palvimo {

namespace {

std::string Plural(std::uint64_t count, const char* one, const char* many) {
  return Format_Count(count) + " " + (count == 1 ? one : many);
}

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

// "2 cannot open or read, 1 data changed".
std::string Failures_By_Kind(const Run_Record& record) {
  std::string text;
  for (const Failure_Kind kind : Failure_Kinds) {
    if (record.Failed_Of(kind) == 0) continue;
    if (!text.empty()) text += ", ";
    text += Format_Count(record.Failed_Of(kind)) + " " + Kind_Name(kind);
  }
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

}  // namespace

std::string Kind_Name(Failure_Kind kind) { return Words_Of(kind).name; }
std::string Kind_Key(Failure_Kind kind) { return Words_Of(kind).key; }
std::string Step_Name(Failure_Kind kind) { return Words_Of(kind).step; }
Failure_Class Class_Of(Failure_Kind kind) { return Words_Of(kind).failure_class; }
std::string Class_Key(Failure_Class failure_class) {
  return failure_class == Failure_Class::Drive_Fault ? "drive_fault" : "not_checked";
}

std::string Verdict_Text(const Run_Record& record) {
  const std::uint64_t probes = record.Probes();
  std::string text = "Checked " + (probes == 0 ? std::string("no files") : Plural(probes, "file", "files"));
  if (record.Failed() > 0) {
    text += ": " + Plural(record.Failed(), "fault.", "faults.");
  } else if (probes > 0) {
    text += ": no faults found.";
    const Probe_Figures& totals = record.Totals();
    if (totals.bytes_read > 0) {
      text += " Read " + Amount_At(totals.bytes_read, record.Read_Speed()) + ", wrote " +
              Amount_At(totals.bytes_written, record.Write_Speed()) + " and read it back at " +
              Format_Speed(record.Read_Back_Speed()) + ".";
    }
  } else {
    text += ".";
  }
  // What cut the run short comes first: it is what the user must act on.
  if (!record.Ended_Because().empty()) text = record.Ended_Because() + ". " + text;
  return text;
}

std::vector<Report_Figure> Report_Figures(const Run_Record& record) {
  const Probe_Figures& totals = record.Totals();
  std::vector<Report_Figure> figures = {
      {"Folder", record.Root()},
      {"Started", Format_Utc(record.Start_Time())},
      {"Elapsed", Format_Duration(record.Elapsed())},
      {"Files checked", Format_Count(record.Probes()) + " (" + Format_Count(record.Good()) + " good, " +
                            Format_Count(record.Failed()) + " failed)"},
  };
  if (!record.Volume_Note().empty()) figures.push_back({"Volume", record.Volume_Note()});
  if (record.Failed() > 0) figures.push_back({"Failures", Failures_By_Kind(record)});
  figures.push_back({"Read", Amount_At(totals.bytes_read, record.Read_Speed())});
  figures.push_back({"Written", Amount_At(totals.bytes_written, record.Write_Speed())});
  figures.push_back({"Read back", Amount_At(totals.bytes_read_back, record.Read_Back_Speed())});
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
  if (!record.Failures().empty()) {
    text << "Failures (time, file, step, reason):\n";
    for (const Failure_Entry& failure : record.Failures()) {
      text << "  " << Format_Utc(failure.time) << "  " << Escaped_Text(failure.path) << "  "
           << Step_Name(failure.kind) << "  " << Escaped_Text(failure.reason) << '\n';
    }
    if (record.Failures_Not_Kept() > 0) {
      text << "  and " << Format_Count(record.Failures_Not_Kept()) << " more, not kept\n";
    }
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
