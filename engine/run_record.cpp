#include "engine/run_record.h"

#include <utility>

#include "engine/run_report.h"

namespace palvimo {

namespace {

double Seconds(std::chrono::nanoseconds time) { return std::chrono::duration<double>(time).count(); }

// Bytes a second, or 0 when nothing was timed.
double Speed(std::uint64_t bytes, std::chrono::nanoseconds time) {
  return time.count() > 0 ? static_cast<double>(bytes) / Seconds(time) : 0.0;
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

void Run_Record::Add_Probe(const std::string& path, const Probe_Figures& figures) { Count(path, figures); }

Failure_Entry Run_Record::Add_Failure(const std::string& path, const Probe_Figures& figures, Failure_Kind kind,
                                      const std::string& reason, int error_number) {
  Count(path, figures);
  ++failed_;
  ++failed_by_kind_[static_cast<std::size_t>(kind)];
  Failure_Entry entry{std::chrono::system_clock::now(), path, kind, reason, error_number};
  if (failures_.size() < Failures_Kept) failures_.push_back(entry);
  return entry;
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
                                Speed(figures.bytes_written, figures.write_time)});
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
