#include "engine/run_record.h"

#include <utility>

#include "engine/drive_text.h"
#include "engine/run_report.h"
#include "platform/path_hash.h"

namespace palvimo {

namespace {

double Seconds(std::chrono::nanoseconds time) { return std::chrono::duration<double>(time).count(); }

// Bytes a second, or 0 when nothing was timed.
double Speed(std::uint64_t bytes, std::chrono::nanoseconds time) {
  return time.count() > 0 ? static_cast<double>(bytes) / Seconds(time) : 0.0;
}

// The fingerprint of a path and a kind of failure together.
std::uint64_t With_Kind(std::uint64_t path_hash, Failure_Kind kind) {
  return path_hash ^ (0x9E3779B97F4A7C15u * (static_cast<std::uint64_t>(kind) + 1));
}

}  // namespace

void Run_Record::Begin(std::string root, Run_Settings settings) {
  *this = Run_Record();
  began_ = true;
  running_ = true;
  root_ = std::move(root);
  settings_ = std::move(settings);
  start_time_ = std::chrono::system_clock::now();
  started_ = std::chrono::steady_clock::now();
}

void Run_Record::Add_Probe(const std::string& path, const Probe_Figures& figures) {
  Count(path, figures);
  const std::uint64_t path_hash = Path_Hash(path);
  files_probed_.Add(path_hash);
  files_checked_.Add(path_hash);
}

Failure_Entry Run_Record::Add_Failure(const std::string& path, const Probe_Figures& figures, Failure_Kind kind,
                                      const std::string& reason, int error_number, bool on_copy) {
  Count(path, figures);
  ++failed_;
  const auto kind_at = static_cast<std::size_t>(kind);
  ++failed_by_kind_[kind_at];
  Failure_Entry entry{std::chrono::system_clock::now(), path, kind, reason, error_number, on_copy};
  if (failures_.size() < Failures_Kept) failures_.push_back(entry);

  const std::uint64_t path_hash = Path_Hash(path);
  files_probed_.Add(path_hash);
  if (Class_Of(kind) == Failure_Class::Drive_Fault) {
    files_checked_.Add(path_hash);
  } else {
    files_not_checked_.Add(path_hash);
    if (file_kinds_not_checked_.Add(With_Kind(path_hash, kind))) {
      ++files_not_checked_by_kind_[kind_at];
      if (examples_[kind_at].size() < Examples_Kept) examples_[kind_at].push_back(path);
    }
  }
  Group(entry, path_hash);
  return entry;
}

void Run_Record::Set_Drive(std::optional<Volume> volume, Drive_Identity identity, Drive_Health health) {
  volume_ = std::move(volume);
  drive_ = std::move(identity);
  start_health_ = std::move(health);
}

std::optional<Failure_Entry> Run_Record::Set_End_Health(Drive_Health health) {
  if (!start_health_ || health_change_) return std::nullopt;
  health_change_ = Health_Difference(*start_health_, health);
  if (!health_change_->Worse()) return std::nullopt;
  const Failure_Kind kind = Failure_Kind::Sectors_Reallocated;
  const std::string disk = drive_ && drive_->disk ? *drive_->disk : root_;
  ++failed_;
  ++failed_off_probe_;
  ++failed_by_kind_[static_cast<std::size_t>(kind)];
  Failure_Entry entry{std::chrono::system_clock::now(), disk, kind,
                      "the drive got worse during the run: " + Health_Change_Text(*health_change_)};
  if (failures_.size() < Failures_Kept) failures_.push_back(entry);
  Group(entry, Path_Hash(disk));
  return entry;
}

void Run_Record::Group(const Failure_Entry& entry, std::uint64_t path_hash) {
  const std::uint64_t key = With_Kind(path_hash, entry.kind);
  if (const auto found = group_at_.find(key); found != group_at_.end()) {
    Failure_Group& group = groups_[found->second];
    ++group.count;
    group.last = entry.time;
    return;
  }
  if (groups_.size() == Failure_Groups_Kept) {
    ++failures_not_grouped_;
    return;
  }
  group_at_.emplace(key, groups_.size());
  groups_.push_back(
      {entry.path, entry.kind, entry.reason, entry.error_number, entry.on_copy, 1, entry.time, entry.time});
}

bool Run_Record::Coverage_Complete() const {
  return files_probed_.Complete() && files_checked_.Complete() && files_seen_.Complete() &&
         files_not_checked_.Complete() && file_kinds_not_checked_.Complete();
}

std::uint64_t Run_Record::Failed_Of(Failure_Class failure_class) const {
  std::uint64_t count = 0;
  for (const Failure_Kind kind : Failure_Kinds) {
    if (Class_Of(kind) == failure_class) count += Failed_Of(kind);
  }
  return count;
}

void Run_Record::Count(const std::string& path, const Probe_Figures& figures) {
  ++probes_;
  totals_.bytes_read += figures.bytes_read;
  totals_.bytes_written += figures.bytes_written;
  totals_.bytes_read_back += figures.bytes_read_back;
  totals_.read_time += figures.read_time;
  totals_.write_time += figures.write_time;
  totals_.read_back_time += figures.read_back_time;

  const std::chrono::nanoseconds copy_time = figures.read_time + figures.write_time;
  if (figures.bytes_read >= Slowest_Probe::Least_Bytes && copy_time.count() > 0) {
    const double seconds_per_byte = Seconds(copy_time) / static_cast<double>(figures.bytes_read);
    if (!slowest_ || seconds_per_byte > slowest_seconds_per_byte_) {
      slowest_seconds_per_byte_ = seconds_per_byte;
      slowest_ = Slowest_Probe{path, Speed(figures.bytes_read, figures.read_time),
                               Speed(figures.bytes_written, figures.write_time)};
    }
  }

  // Probes that moved no data say nothing about speed.
  if (copy_time.count() == 0 || (probes_ - 1) % speed_stride_ != 0) return;
  if (speeds_.size() == Speed_Points_Kept) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < speeds_.size(); i += 2) speeds_[kept++] = speeds_[i];
    speeds_.resize(kept);
    speed_stride_ *= 2;
    if ((probes_ - 1) % speed_stride_ != 0) return;
  }
  speeds_.push_back(Speed_Point{std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count(),
                                Speed(figures.bytes_read, figures.read_time),
                                Speed(figures.bytes_written, figures.write_time),
                                Speed(figures.bytes_read_back, figures.read_back_time)});
}

void Run_Record::End(std::string why) {
  if (!running_) return;
  running_ = false;
  ended_ = std::chrono::steady_clock::now();
  ended_because_ = std::move(why);
}

std::chrono::steady_clock::duration Run_Record::Elapsed() const {
  if (!began_) return {};
  return (running_ ? std::chrono::steady_clock::now() : ended_) - started_;
}

double Run_Record::Read_Speed() const { return Speed(totals_.bytes_read, totals_.read_time); }
double Run_Record::Write_Speed() const { return Speed(totals_.bytes_written, totals_.write_time); }
double Run_Record::Read_Back_Speed() const { return Speed(totals_.bytes_read_back, totals_.read_back_time); }

}  // namespace palvimo
