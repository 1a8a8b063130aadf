#pragma once

#include <chrono>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace palvimo {

// One kept record of a run, as far as its lines tell: a run the program
// did not see to its end (a crash, a power cut) has no summary, and shows
// what its header and failure lines say.
struct Past_Run {
  std::string file;  // the record's full path
  std::chrono::system_clock::time_point start{};
  // The drive for a person: "Model (serial)" where the record names the
  // drive, else its volume's label or mount point.
  std::string drive;
  // What tells this drive from every other: "drive:MODEL:SERIAL" where the
  // record names the drive, else "volume:" and the volume's identity; empty
  // when the record says neither.
  std::string drive_key;
  std::string volume_id;  // the volume's identity (Volume_Identity); may be empty
  std::string folder;
  std::optional<double> seconds;  // how long it ran; unknown without a summary
  std::uint64_t probes = 0;
  std::uint64_t drive_faults = 0;
  std::uint64_t not_checked = 0;
  double read_speed = 0;  // bytes a second, 0 when unknown
  double write_speed = 0;
  double read_back_speed = 0;
  std::string verdict;       // "no drive faults", "drive faults found"...; empty without a summary
  std::string verdict_text;  // the sentence for a person
  bool unfinished = false;   // no summary line: cut short by a crash or a power cut
  // Lines that could not be read, one sentence each ("line 3 is not JSON").
  std::vector<std::string> notes;
};

struct Run_History {
  std::vector<Past_Run> runs;  // newest first
  // Why the folder of records could not be read; a folder not made yet
  // (no run kept so far) is no problem.
  std::optional<std::string> problem;
};

// Reads every record kept in `folder` (Default_Record_Folder() by default),
// newest first. A file or a line that cannot be read is noted, never fatal.
Run_History Read_Run_History(const std::string& folder);
Run_History Read_Run_History();

// Reads one record. Its lines are read one by one: a damaged line is left
// out with a note.
Past_Run Read_Past_Run(const std::string& path);

// One record read back whole, for showing as a report.
struct Record_Lines {
  nlohmann::json header;   // the "run" line; null when missing
  nlohmann::json summary;  // the "summary" line; null when missing
  std::vector<nlohmann::json> failures;
  std::vector<std::string> notes;
};
Record_Lines Read_Record_Lines(const std::string& path);

// The record as lines of text for a person: the verdict, the figures as
// "Label: value", then each failure, then the notes on damaged lines.
std::vector<std::string> Record_Text_Lines(const Record_Lines& record);

// What tells apart the drive and volume holding `folder` now, to pick its
// past runs: a run of the same volume, or of the same drive where both are
// known, belongs to it.
struct Drive_Match {
  std::string drive_key;
  std::string volume_id;
};
Drive_Match Match_Of_Folder(const std::string& folder);
bool Matches(const Past_Run& run, const Drive_Match& match);

// The runs of one drive (by drive_key), newest first as given.
std::vector<Past_Run> Runs_Of_Drive(const std::vector<Past_Run>& runs, const std::string& drive_key);

// "Last checked 3 days ago: no drive faults" for the newest of `runs` whose
// verdict is known, as of `now`; empty when there is none.
std::string Last_Result_Text(const std::vector<Past_Run>& runs, std::chrono::system_clock::time_point now);

}  // namespace palvimo
