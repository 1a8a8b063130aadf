#pragma once

#include <chrono>
#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "engine/drive_watch.h"
#include "engine/record_journal.h"
#include "engine/record_listener.h"
#include "engine/run_control.h"
#include "engine/run_state.h"
#include "engine/window_ops.h"
#include "platform/end_signals.h"
#include "platform/file_system.h"
#include "platform/io_worker.h"
#include "platform/runtime.h"
#include "platform/volume_source.h"
#include "terminal/check_options.h"
#include "terminal/log_lines.h"
#include "terminal/progress_line.h"
#include "terminal/recent_speed.h"

namespace palvimo {

// The check run from a terminal or a script: the same run control, walk and
// probe as the window's, with the command line's options in place of the
// window's controls, and a stop that comes from a limit or a signal instead
// of a click. It is the check's window and its event pump.
class Terminal_Check final : public Window_Ops, public Event_Pump, public Record_Listener {
 public:
  // Progress and the log go to `err`, the summary and JSON lines to `out`;
  // `err_terminal_fd` is the terminal `err` writes to, -1 for none; `drive`
  // finds the drive behind the folder and reads its health.
  // Throws Check_Error when the end signals cannot be caught.
  Terminal_Check(Check_Options options, std::ostream& out, std::ostream& err, Progress_Line::Mode progress,
                 int err_terminal_fd = -1, Drive_Watch drive = Drive_Watch());

  // A run whose first this many probes all left their file not checked, and
  // none found a drive fault, ends: nothing it can check is there.
  static constexpr std::uint64_t Nothing_Checkable_After = 50;

  // Runs the check to its end, writes the summary and returns the exit
  // status (see check_options.h). Ending signals are caught until the
  // summary is being written; from then on one ends the process at once.
  int Run();

  // Window_Ops
  std::string Read_Root_Path() override;
  void Show_Folder(const std::string& path) override;
  void Set_Status(const std::string& text) override;
  void Show_Failure(const std::string& path, const std::string& reason) override;
  void Show_Count(const std::string& text) override;
  std::string Read_Extension() override;
  std::string Read_Delay() override;
  void Set_Button_Caption(const std::string& caption) override;
  void Set_Locked(Input input, bool locked) override;
  void Show_Record(const Run_Record& record) override;
  void Show_Verdict(const Run_Record& record) override;

  // Event_Pump. An event run stops the run once a limit is reached; an end
  // signal, or standard output gone, ends the program.
  void Run_Pending_Events() override;
  void Wait_For_Events(std::chrono::milliseconds longest) override;
  bool Keep_Alive() override;
  void End_Program() override;

  // Record_Listener: keeps the record on disk as the window does, and writes
  // the JSON lines.
  void Run_Began(const Run_Record& record) override;
  void Probe_Failed(const Run_Record& record, const Failure_Entry& failure) override;
  void Run_Ended(const Run_Record& record) override;

 private:
  void Handle_Events();
  void Notice_Ending();
  bool Limit_Reached() const;
  bool Nothing_Checkable() const;
  int Exit_Status(bool output_failed) const;
  void Say_Why_Nothing_Was_Checked();
  void Show_Progress();
  void Write_Log_Line(const std::string& line);
  void Write_Json(const std::string& line);
  int Write_Summary();
  bool Write_Metrics();

  Check_Options options_;
  std::ostream& out_;
  std::ostream& err_;
  Progress_Line progress_;
  Log_Lines log_lines_;
  // What the record on disk has to say, among the progress lines.
  std::ostream log_;
  // The log the window keeps on standard error, of failures held back when
  // they flood and of the verdict, says nothing here: each failure is said
  // in full, and the verdict comes with the summary.
  std::ostream unsaid_{nullptr};
  std::ofstream report_;
  std::optional<End_Signals> end_signals_;
  std::shared_ptr<File_System> file_system_;
  Io_Worker worker_;
  std::unique_ptr<File_System> walk_files_;
  std::unique_ptr<Probe_Copier> copier_;
  std::unique_ptr<Pauser> pauser_;
  std::unique_ptr<Random_Source> random_;
  std::unique_ptr<Record_Journal> journal_;
  Drive_Watch drive_;
  Run_State state_;
  Run_Control run_control_;
  bool ended_ = false;
  // Why the run ended, as the summary's "ended_because" says it; empty for
  // what the record itself tells.
  std::string ending_;
  // The end signal that ended the run, 0 for none.
  int signal_ = 0;
  // The errno of the first write to standard output that failed, -1 before.
  int output_error_ = -1;
  // The check's last status: the file being probed, or why a run could not
  // begin.
  std::string status_;
  // The totals before the probe under way, for its line and its speed.
  Probe_Figures totals_before_;
  std::uint64_t failed_before_ = 0;
  std::uint64_t faults_before_ = 0;
  Recent_Speed speed_;
};

}  // namespace palvimo
