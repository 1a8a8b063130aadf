#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/run_record.h"

namespace palvimo {

// The words and figures of a run's record, the same in every front end and
// in the record kept on disk.

// What failed, for a person: "cannot open or read", "data changed"...
std::string Kind_Name(Failure_Kind kind);
// The same as a stable key for machines: "read", "data_changed"...
std::string Kind_Key(Failure_Kind kind);
// Whether a failure of this kind is the drive's fault or leaves the file
// not checked.
Failure_Class Class_Of(Failure_Kind kind);
// The class as a stable key for machines: "drive_fault", "not_checked".
std::string Class_Key(Failure_Class failure_class);
// The step of the probe at which such a failure happens: "read", "write",
// "flush", "read back", "create", "delete", or "probe".
std::string Step_Name(Failure_Kind kind);

// What the run found, for the drive and apart from it, then what it
// covered: "Checked 12 files: no drive faults found. 3 files could not be
// checked: 2 permission denied (locked.bin, secret.txt), 1 vanished
// (gone.dat). 1,204 probes of 15 files (15 of the 16 files seen). Read
// 3.1 GB at 95 MB/s, wrote 3.1 GB at 61 MB/s and read it back at 140 MB/s."
// The amounts come only when no drive fault was found; a run that could
// check nothing says why instead (Nothing_Checked_Reason). What cut the run
// short, if anything did, leads.
std::string Verdict_Text(const Run_Record& record);

// When the run probed files and could check not one of them (no probe good,
// none ended by a drive fault), one sentence on why, from its commonest
// failure: "No file could be checked: copies cannot be made in /srv/data
// (Permission denied)." Nothing otherwise, and before the first probe.
std::optional<std::string> Nothing_Checked_Reason(const Run_Record& record);

struct Report_Figure {
  std::string label;
  std::string value;
};
// The record's figures, a label and a value each, in the order reports show
// them. Paths are given as they are; each front end shows them its own way.
std::vector<Report_Figure> Report_Figures(const Run_Record& record);

// The whole report as plain text, one line each for the verdict, every
// figure and every group of failures kept (a file's failures of one kind
// in one line, with how many times), the drive's faults first, with every
// name escaped for a terminal.
std::string Report_Text(const Run_Record& record);

// 1204 as "1,204".
std::string Format_Count(std::uint64_t count);
// The count with its noun: "1 file", "1,204 files".
std::string Format_Count_Of(std::uint64_t count, const std::string& one, const std::string& many);
// Bytes in decimal units: "512 B", "3.1 GB", "12 GB".
std::string Format_Bytes(std::uint64_t bytes);
// Bytes a second: "95 MB/s".
std::string Format_Speed(double bytes_per_second);
// "14 s", "2 min 05 s", "1 h 02 min".
std::string Format_Duration(std::chrono::steady_clock::duration duration);
// "2026-12-08 03:17:13 UTC".
std::string Format_Utc(std::chrono::system_clock::time_point time);
// "2026-12-08T03:17:13Z", as records and JSON write times.
std::string Format_Iso_Utc(std::chrono::system_clock::time_point time);

}  // namespace palvimo
