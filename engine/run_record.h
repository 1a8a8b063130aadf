#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/distinct_count.h"
#include "platform/check_error.h"
#include "platform/drive_health.h"
#include "platform/drive_identity.h"
#include "platform/probe_figures.h"
#include "platform/volume_source.h"
#include "platform/volume_space.h"

namespace palvimo {

// Every kind of failure a probe can have, in the order reports list them.
inline constexpr std::array<Failure_Kind, 15> Failure_Kinds = {
    Failure_Kind::Silent_Change, Failure_Kind::Data_Changed,      Failure_Kind::Read,
    Failure_Kind::Write,         Failure_Kind::Flush,             Failure_Kind::Read_Back,
    Failure_Kind::Delete,        Failure_Kind::Sectors_Reallocated, Failure_Kind::Permission_Denied,
    Failure_Kind::Vanished,
    Failure_Kind::Name_Taken,    Failure_Kind::Name_Too_Long,     Failure_Kind::No_Space,
    Failure_Kind::Not_Offered,   Failure_Kind::Other};

// How a probe that failed ended: with a fault of the drive's, or with the
// file not checked, for a reason that is no fault of the drive's.
enum class Failure_Class { Drive_Fault, Not_Checked };

// What shapes a run, as the user set it when it began.
struct Run_Settings {
  std::string extension;
  std::string delay;  // the pause's text as typed
  bool recurse = true;
};

// One failed probe.
struct Failure_Entry {
  std::chrono::system_clock::time_point time;
  std::string path;
  Failure_Kind kind = Failure_Kind::Other;
  std::string reason;
  int error_number = 0;  // the system's, 0 when none
  // The failure was the copy's (its name, its folder, room for it), not the
  // file's own.
  bool on_copy = false;
};

// The failures of one kind of one file, however often its probes met them.
struct Failure_Group {
  std::string path;
  Failure_Kind kind = Failure_Kind::Other;
  // The first failure's.
  std::string reason;
  int error_number = 0;
  bool on_copy = false;
  std::uint64_t count = 0;
  std::chrono::system_clock::time_point first;
  std::chrono::system_clock::time_point last;
};

// One probe on the speed plot.
struct Speed_Point {
  double seconds = 0;      // since the run began
  double read_speed = 0;   // bytes a second
  double write_speed = 0;  // bytes a second
  double read_back_speed = 0;  // bytes a second
};

// The probe of at least Slowest_Probe::Least_Bytes that moved its data the
// slowest, read and write together.
struct Slowest_Probe {
  static constexpr std::uint64_t Least_Bytes = std::uint64_t{1} << 20;
  std::string path;
  double read_speed = 0;   // bytes a second
  double write_speed = 0;  // bytes a second
};

// The record of one run, from its Start to its end: what the run did and
// what it found, for every front end to show and to keep. Plain data; the
// run control fills it, probe by probe.
class Run_Record {
 public:
  // Failures kept with their details; later ones are only counted.
  static constexpr std::size_t Failures_Kept = 1000;
  // Groups of failures kept, one for each file and kind; the failures of
  // further ones are only counted.
  static constexpr std::size_t Failure_Groups_Kept = 1000;
  // Names kept for each kind of failure that leaves a file not checked, for
  // the verdict to give as examples.
  static constexpr std::size_t Examples_Kept = 3;
  // The plot keeps at most this many points however long the run: once full,
  // every other point goes and only every other probe is kept from then on.
  static constexpr std::size_t Speed_Points_Kept = 1024;

  // Starts the record of a new run over `root`, forgetting the last one.
  void Begin(std::string root, Run_Settings settings);
  // Adds a probe that succeeded.
  void Add_Probe(const std::string& path, const Probe_Figures& figures);
  // Adds a probe that failed, with what it did before it failed; returns the
  // failure as recorded.
  Failure_Entry Add_Failure(const std::string& path, const Probe_Figures& figures, Failure_Kind kind,
                            const std::string& reason, int error_number = 0, bool on_copy = false);
  // Notes a file the walk listed, by its Entry_Hash.
  void Add_Seen(std::uint64_t entry_hash) { files_seen_.Add(entry_hash); }
  // Ends the run; `why`, when not empty, is a sentence on what ended it other
  // than a stop (a root folder that cannot be read).
  void End(std::string why = {});
  // What the run found its volume to offer and how copies are made there,
  // in one line ("exfat: no marks kept; copies tracked in the journal").
  void Set_Volume_Note(std::string note) { volume_note_ = std::move(note); }
  // What was found of the folder's volume and drive as the run began.
  void Set_Drive(std::optional<Volume> volume, Drive_Identity identity, Drive_Health health);
  // The drive's health read as the run ended. A drive that got worse
  // meanwhile is a drive fault of its own, recorded here, once, and
  // returned; it is no probe's.
  std::optional<Failure_Entry> Set_End_Health(Drive_Health health);
  // The volume's size and free space as the run began.
  void Set_Space_At_Start(Volume_Space space) { space_at_start_ = space; }
  // The drive changed `files` files the run had read after copies were
  // written to it: the run wrote no more.
  void Stop_Writing(std::uint64_t files) { files_changed_after_copies_ += files; }

  bool Running() const { return running_; }
  bool Began() const { return began_; }
  const std::string& Root() const { return root_; }
  const Run_Settings& Settings() const { return settings_; }
  std::chrono::system_clock::time_point Start_Time() const { return start_time_; }
  // Up to now while the run goes on, to its end after.
  std::chrono::steady_clock::duration Elapsed() const;
  const std::string& Ended_Because() const { return ended_because_; }
  // Empty until the volume is known.
  const std::string& Volume_Note() const { return volume_note_; }
  // Nothing until the volume said it, or when it does not.
  const std::optional<Volume_Space>& Space_At_Start() const { return space_at_start_; }
  bool Writing_Stopped() const { return files_changed_after_copies_ > 0; }
  std::uint64_t Files_Changed_After_Copies() const { return files_changed_after_copies_; }

  // The volume found as the run began; none when it was not looked up.
  const std::optional<Volume>& Volume_Found() const { return volume_; }
  // The drive and its health as the run began; none when not looked up.
  const std::optional<Drive_Identity>& Drive() const { return drive_; }
  const std::optional<Drive_Health>& Start_Health() const { return start_health_; }
  // How the health changed over the run, where it was read at both ends.
  const std::optional<Health_Change>& Health_Changed() const { return health_change_; }

  // Every probe, whatever its end.
  std::uint64_t Probes() const { return probes_; }
  std::uint64_t Good() const { return probes_ - (failed_ - failed_off_probe_); }
  // Probes that failed, of either class.
  std::uint64_t Failed() const { return failed_; }
  std::uint64_t Failed_Of(Failure_Kind kind) const { return failed_by_kind_[static_cast<std::size_t>(kind)]; }
  std::uint64_t Failed_Of(Failure_Class failure_class) const;
  // Probes that checked their file: good, or ended by a drive fault.
  std::uint64_t Checked() const { return probes_ - Failed_Of(Failure_Class::Not_Checked); }

  // Coverage, in distinct files: those probed whatever the end, those
  // checked, those the walk listed, and those that could not be checked, in
  // all and for each kind. Each count is exact up to
  // Distinct_Count::Most_Kept files, and a lower bound past that, which
  // Coverage_Complete() tells.
  std::uint64_t Files_Probed() const { return files_probed_.Count(); }
  std::uint64_t Files_Checked() const { return files_checked_.Count(); }
  std::uint64_t Files_Seen() const { return files_seen_.Count(); }
  std::uint64_t Files_Not_Checked() const { return files_not_checked_.Count(); }
  std::uint64_t Files_Not_Checked_Of(Failure_Kind kind) const {
    return files_not_checked_by_kind_[static_cast<std::size_t>(kind)];
  }
  bool Coverage_Complete() const;
  // The first few files not checked for `kind`, in the order they failed.
  const std::vector<std::string>& Not_Checked_Examples(Failure_Kind kind) const {
    return examples_[static_cast<std::size_t>(kind)];
  }

  // Every probe's figures added up.
  const Probe_Figures& Totals() const { return totals_; }
  // Average speeds over the run, bytes a second; 0 before anything was timed.
  double Read_Speed() const;
  double Write_Speed() const;
  double Read_Back_Speed() const;

  const std::optional<Slowest_Probe>& Slowest() const { return slowest_; }
  // The first Failures_Kept failures, in the order they happened.
  const std::vector<Failure_Entry>& Failures() const { return failures_; }
  // Failures beyond those kept.
  std::uint64_t Failures_Not_Kept() const { return failed_ - failures_.size(); }
  // The failures by file and kind, in the order each group's first failure
  // happened.
  const std::vector<Failure_Group>& Failure_Groups() const { return groups_; }
  // Failures of files beyond the groups kept.
  std::uint64_t Failures_Not_Grouped() const { return failures_not_grouped_; }
  const std::vector<Speed_Point>& Speeds() const { return speeds_; }

 private:
  void Count(const std::string& path, const Probe_Figures& figures);
  void Group(const Failure_Entry& entry, std::uint64_t path_hash);

  bool began_ = false;
  bool running_ = false;
  std::string root_;
  Run_Settings settings_;
  std::chrono::system_clock::time_point start_time_;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point ended_;
  std::string ended_because_;
  std::string volume_note_;
  std::optional<Volume> volume_;
  std::optional<Drive_Identity> drive_;
  std::optional<Drive_Health> start_health_;
  std::optional<Health_Change> health_change_;
  std::optional<Volume_Space> space_at_start_;
  std::uint64_t files_changed_after_copies_ = 0;
  std::uint64_t probes_ = 0;
  // Failures that were no probe's: the drive's health at the end.
  std::uint64_t failed_off_probe_ = 0;
  std::uint64_t failed_ = 0;
  std::array<std::uint64_t, Failure_Kinds.size()> failed_by_kind_{};
  Probe_Figures totals_;
  std::optional<Slowest_Probe> slowest_;
  double slowest_seconds_per_byte_ = 0;
  std::vector<Failure_Entry> failures_;
  std::vector<Failure_Group> groups_;
  // A group's place in groups_ by the fingerprint of its path and kind.
  std::unordered_map<std::uint64_t, std::size_t> group_at_;
  std::uint64_t failures_not_grouped_ = 0;
  Distinct_Count files_probed_;
  Distinct_Count files_checked_;
  Distinct_Count files_seen_;
  Distinct_Count files_not_checked_;
  // Files by the kind they were not checked for.
  Distinct_Count file_kinds_not_checked_;
  std::array<std::uint64_t, Failure_Kinds.size()> files_not_checked_by_kind_{};
  std::array<std::vector<std::string>, Failure_Kinds.size()> examples_;
  std::vector<Speed_Point> speeds_;
  std::uint64_t speed_stride_ = 1;
};

}  // namespace palvimo
