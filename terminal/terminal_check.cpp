#include "terminal/terminal_check.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "engine/catalogue.h"
#include "engine/metrics_text.h"
#include "engine/record_json.h"
#include "engine/run_report.h"
#include "platform/escaped_text.h"
#include "platform/worker_file_system.h"

namespace palvimo {

namespace {

constexpr const char* Prefix = "palvimo-check: ";
// What the check's own log lines begin with.
constexpr const char* Check_Prefix = "palvimo: ";

Probe_Figures Difference(const Probe_Figures& after, const Probe_Figures& before) {
  return {after.bytes_read - before.bytes_read,
          after.bytes_written - before.bytes_written,
          after.bytes_read_back - before.bytes_read_back,
          after.read_time - before.read_time,
          after.write_time - before.write_time,
          after.read_back_time - before.read_back_time};
}

double Seconds(std::chrono::nanoseconds time) { return std::chrono::duration<double>(time).count(); }

// The folder as a full path, so that the record and the report name it
// wherever they are read; as given when that cannot be made.
std::string Full_Path(const std::string& folder) {
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(folder, error);
  return error ? folder : full.lexically_normal().string();
}

}  // namespace

Terminal_Check::Terminal_Check(Check_Options options, std::ostream& out, std::ostream& err,
                               Progress_Line::Mode progress, int err_terminal_fd, Drive_Watch drive)
    : options_(std::move(options)),
      out_(out),
      err_(err),
      progress_(err, progress, err_terminal_fd),
      log_lines_([this](const std::string& line) { Write_Log_Line(line); }),
      log_(&log_lines_),
      end_signals_(std::in_place),
      file_system_(Make_Local_File_System()),
      worker_(*this),
      walk_files_(Make_Worker_File_System(file_system_, worker_)),
      copier_(Make_Probe_Copier(worker_)),
      pauser_(Make_Pauser(*this)),
      random_(Make_Clock_Random()),
      journal_(Default_Record_Folder().empty() ? nullptr
                                               : std::make_unique<Record_Journal>(Default_Record_Folder(), log_)),
      drive_(std::move(drive)),
      run_control_(state_, *this, Check_Services{*walk_files_, *copier_, *pauser_, *random_, *this, unsaid_, this,
                                                Default_Catalogue_Folder(), &drive_}) {
  options_.folder = Full_Path(options_.folder);
}

int Terminal_Check::Run() {
  if (!options_.report.empty()) {
    report_.open(options_.report, std::ios::out | std::ios::trunc);
    if (!report_) {
      err_ << Prefix << "cannot write the report " << Escaped_Text(options_.report) << ": " << std::strerror(errno)
           << std::endl;
      return Exit_Cannot_Check;
    }
  }
  if (!options_.recurse) run_control_.Recurse_Click(Check_Box_State::Unchecked);
  try {
    run_control_.Start_Click();
  } catch (const Program_End&) {
    // Ended by a signal or by standard output gone: the walk has unwound
    // with the copy under way removed, and the run's record has ended.
  }
  // A signal that came as the run ended on its own still ends it by signal.
  if (signal_ == 0 && end_signals_->Signal() != 0) {
    signal_ = end_signals_->Signal();
    ending_ = "signal";
  }
  // From here on an end signal ends the process at once.
  end_signals_.reset();
  progress_.Clear();
  return Write_Summary();
}

int Terminal_Check::Exit_Status(bool output_failed) const {
  const Run_Record& record = run_control_.Record();
  if (record.Failed_Of(Failure_Class::Drive_Fault) > 0) return Exit_Faults;
  if (signal_ != 0) return Exit_Signal_Base + signal_;
  if (output_failed || record.Good() == 0 || !record.Ended_Because().empty()) return Exit_Cannot_Check;
  return Exit_No_Faults;
}

// One sentence on standard error for a run that checked nothing and was not
// ended by the user: the last reason a file could not be checked.
void Terminal_Check::Say_Why_Nothing_Was_Checked() {
  const Run_Record& record = run_control_.Record();
  std::string why = "no file could be checked in " + Escaped_Text(record.Root());
  if (!record.Failures().empty()) {
    const Failure_Entry& last = record.Failures().back();
    why += ": " + Format_Count(record.Failed()) + " tried, the last " + Kind_Name(last.kind) + " (" +
           Escaped_Text(last.path) + ": " + Escaped_Text(last.reason) + ")";
  } else {
    why += ": no file was found to check";
  }
  err_ << Prefix << why << std::endl;
}

int Terminal_Check::Write_Summary() {
  const Run_Record& record = run_control_.Record();
  if (!record.Began()) {
    err_ << Prefix << Message_Case(Escaped_Text(status_)) << std::endl;
    return Exit_Cannot_Check;
  }
  if (!record.Ended_Because().empty()) {
    // A root that could not be opened, at the start or later (a drive gone).
    err_ << Prefix << Message_Case(Escaped_Text(record.Ended_Because())) << std::endl;
  } else if (record.Good() == 0 && record.Failed_Of(Failure_Class::Drive_Fault) == 0 && signal_ == 0 &&
             output_error_ < 0) {
    Say_Why_Nothing_Was_Checked();
  }
  Run_Ending ending{ending_, Exit_Status(output_error_ >= 0)};
  if (options_.json) {
    Write_Json(Summary_Json(record, ending).dump());
  } else if (record.Probes() > 0 || record.Ended_Because().empty()) {
    errno = 0;
    out_ << Report_Text(record) << std::flush;
    if (!out_ && output_error_ < 0) output_error_ = errno;
  }
  if (output_error_ >= 0) {
    err_ << Prefix << "cannot write standard output"
         << (output_error_ > 0 ? std::string(": ") + std::strerror(output_error_) : std::string()) << std::endl;
  }
  int status = Exit_Status(output_error_ >= 0);
  if (report_.is_open()) {
    ending.exit_status = status;
    report_ << Record_Json(record, ending).dump(2) << '\n';
    report_.close();
    if (report_.fail()) {
      err_ << Prefix << "cannot write the report " << Escaped_Text(options_.report) << std::endl;
      if (status == Exit_No_Faults) status = Exit_Cannot_Check;
    }
  }
  if (!Write_Metrics() && status == Exit_No_Faults) status = Exit_Cannot_Check;
  return status;
}

// The run's figures for a collector, when asked for; false when they could
// not be written, which is said.
bool Terminal_Check::Write_Metrics() {
  if (options_.metrics.empty()) return true;
  try {
    Write_Metrics_File(options_.metrics, Metrics_Text(run_control_.Record()));
    return true;
  } catch (const Check_Error& error) {
    err_ << Prefix << Message_Case(Escaped_Text(error.what())) << std::endl;
    return false;
  }
}

std::string Terminal_Check::Read_Root_Path() { return options_.folder; }

void Terminal_Check::Show_Folder(const std::string&) {}

void Terminal_Check::Set_Status(const std::string& text) { status_ = text; }

// Every failure is said on standard error as it happens, for a script or a
// person watching to act on at once.
void Terminal_Check::Show_Failure(const std::string& path, const std::string& reason) {
  progress_.Clear();
  err_ << Prefix << Escaped_Text(path) << ": " << Escaped_Text(reason) << std::endl;
}

void Terminal_Check::Show_Count(const std::string&) {}

std::string Terminal_Check::Read_Extension() { return options_.extension; }

std::string Terminal_Check::Read_Delay() { return options_.delay; }

void Terminal_Check::Set_Button_Caption(const std::string&) {}

void Terminal_Check::Set_Locked(Input, bool) {}

void Terminal_Check::Show_Record(const Run_Record& record) {
  const Probe_Figures probe = Difference(record.Totals(), totals_before_);
  if (record.Probes() > 0 && options_.json) {
    const bool good = record.Failed() == failed_before_;
    const bool drive_fault = record.Failed_Of(Failure_Class::Drive_Fault) != faults_before_;
    nlohmann::json line = {{"type", "probe"},
                           {"time", Format_Iso_Utc(std::chrono::system_clock::now())},
                           {"ok", good},
                           {"outcome", good          ? "good"
                                       : drive_fault ? Class_Key(Failure_Class::Drive_Fault)
                                                     : Class_Key(Failure_Class::Not_Checked)},
                           {"bytes_read", probe.bytes_read},
                           {"bytes_written", probe.bytes_written},
                           {"bytes_read_back", probe.bytes_read_back},
                           {"read_seconds", Seconds(probe.read_time)},
                           {"write_seconds", Seconds(probe.write_time)},
                           {"read_back_seconds", Seconds(probe.read_back_time)}};
    Put_Text(line, "path", status_);
    Write_Json(line.dump());
  }
  speed_.Add(Recent_Speed::Clock::now(), probe.bytes_read + probe.bytes_written + probe.bytes_read_back,
             std::chrono::duration_cast<Recent_Speed::Clock::duration>(probe.read_time + probe.write_time +
                                                                        probe.read_back_time));
  totals_before_ = record.Totals();
  failed_before_ = record.Failed();
  faults_before_ = record.Failed_Of(Failure_Class::Drive_Fault);
}

// The summary is written once the run is over, from Run.
void Terminal_Check::Show_Verdict(const Run_Record&) {}

void Terminal_Check::Run_Pending_Events() { Handle_Events(); }

void Terminal_Check::Wait_For_Events(std::chrono::milliseconds longest) {
  auto wait = longest;
  if (options_.duration) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*options_.duration - run_control_.Record().Elapsed());
    wait = std::clamp(left, std::chrono::milliseconds(0), longest);
  }
  pollfd signal_fd{end_signals_ ? end_signals_->Notify_Fd() : -1, POLLIN, 0};
  poll(&signal_fd, 1, static_cast<int>(wait.count()));
  Handle_Events();
}

void Terminal_Check::Handle_Events() {
  Notice_Ending();
  if (ended_) throw Program_End{};
  // A limit stops the run as a click of Stop does: the click handled inside
  // the walk's event run.
  if (state_.Is_Running && ending_.empty()) {
    if (Limit_Reached()) {
      const Run_Record& record = run_control_.Record();
      ending_ = options_.probes && record.Probes() >= *options_.probes ? "probe_limit" : "time_limit";
    } else if (Nothing_Checkable()) {
      ending_ = "nothing_checkable";
    }
    if (!ending_.empty()) run_control_.Start_Click();
  }
  Show_Progress();
}

bool Terminal_Check::Keep_Alive() {
  Notice_Ending();
  if (!ended_) Show_Progress();
  return !ended_;
}

void Terminal_Check::End_Program() { ended_ = true; }

// A script that stops reading the output (`| head`) ends the check as a
// signal does, rather than leaving it to run unseen.
void Terminal_Check::Notice_Ending() {
  if (ended_) return;
  if (end_signals_ && end_signals_->Received()) {
    signal_ = end_signals_->Signal();
    ending_ = "signal";
    End_Program();
  } else if (!out_) {
    ending_ = "output_closed";
    End_Program();
  }
}

bool Terminal_Check::Nothing_Checkable() const {
  const Run_Record& record = run_control_.Record();
  return record.Good() == 0 && record.Failed_Of(Failure_Class::Drive_Fault) == 0 &&
         record.Failed_Of(Failure_Class::Not_Checked) >= Nothing_Checkable_After;
}

bool Terminal_Check::Limit_Reached() const {
  const Run_Record& record = run_control_.Record();
  return (options_.probes && record.Probes() >= *options_.probes) ||
         (options_.duration && record.Elapsed() >= *options_.duration);
}

void Terminal_Check::Show_Progress() {
  const auto now = Progress_Line::Clock::now();
  if (progress_.Due(now)) progress_.Show(Progress_Text(run_control_.Record(), speed_.Speed(now), progress_.Width()), now);
}

void Terminal_Check::Write_Log_Line(const std::string& line) {
  progress_.Clear();
  const std::string_view text(line);
  err_ << Prefix << (text.starts_with(Check_Prefix) ? text.substr(std::strlen(Check_Prefix)) : text) << std::endl;
}

void Terminal_Check::Write_Json(const std::string& line) {
  if (!out_) return;
  errno = 0;
  out_ << line << '\n' << std::flush;
  if (!out_ && output_error_ < 0) output_error_ = errno;
}

void Terminal_Check::Run_Began(const Run_Record& record) {
  if (journal_) journal_->Run_Began(record);
  if (options_.json) Write_Json(Run_Header_Json(record).dump());
}

void Terminal_Check::Probe_Failed(const Run_Record& record, const Failure_Entry& failure) {
  if (journal_) journal_->Probe_Failed(record, failure);
  if (options_.json) Write_Json(Failure_Json(failure).dump());
}

void Terminal_Check::Run_Ended(const Run_Record& record) {
  if (journal_) journal_->Run_Ended(record);
}

}  // namespace palvimo
