#pragma once

#include <QEventLoop>
#include <QWidget>
#include <array>
#include <chrono>
#include <memory>
#include <string>

#include "engine/drive_watch.h"
#include "engine/record_journal.h"
#include "engine/run_control.h"
#include "engine/run_state.h"
#include "engine/scrub_session.h"
#include "engine/window_ops.h"
#include "platform/copier_hooks.h"
#include "platform/end_signals.h"
#include "platform/file_system.h"
#include "platform/io_worker.h"
#include "platform/runtime.h"
#include "platform/volume_source.h"
#include "window/live_figures.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSocketNotifier;
class QTimer;

namespace palvimo {

class Dir_List;
class Drive_List;
class File_List;
class Input_Hold;
class Report_Window;

// The program's one window. It holds the state of the check, carries out the
// check's window operations on its controls, and is the check's event pump:
// every click and key is handled nested inside the walk's event runs.
class Main_Form : public QWidget, public Window_Ops, public Event_Pump {
  Q_OBJECT

  // The platform services the check and the navigator run on; declared
  // first, as the controls and the run control are built on them.
  std::shared_ptr<File_System> file_system_;
  // The probe's blocking file work, and the walk's folder listings, run on
  // this worker.
  Io_Worker worker_;
  // The navigator reads folders on threads of its own, which share this.
  std::shared_ptr<File_System> navigator_files_;
  std::unique_ptr<File_System> walk_files_;
  std::unique_ptr<Probe_Copier> copier_;
  std::unique_ptr<Pauser> pauser_;
  std::unique_ptr<Random_Source> random_;
  std::unique_ptr<Volume_Source> volumes_;
  // Each run's record kept on disk; none where the user has no home.
  std::unique_ptr<Record_Journal> journal_;
  Drive_Watch drive_watch_;
  Run_State state_;
  End_Signals end_signals_;

 public:
  // The window over the machine's own volumes.
  explicit Main_Form(QWidget* parent = nullptr);
  // The window whose drive list offers the volumes of `volumes`.
  explicit Main_Form(std::unique_ptr<Volume_Source> volumes, QWidget* parent = nullptr);
  // The same, whose navigator reads folders through `navigator_files`.
  Main_Form(std::unique_ptr<Volume_Source> volumes, std::shared_ptr<File_System> navigator_files,
            QWidget* parent = nullptr);
  // The same, whose probes' calls on the drive go through `hooks`.
  Main_Form(std::unique_ptr<Volume_Source> volumes, std::shared_ptr<File_System> navigator_files,
            Copier_Hooks hooks, QWidget* parent = nullptr);
  ~Main_Form() override;

  const Run_State& State() const { return state_; }
  // The record of the run under way, or of the last one.
  const Run_Record& Record() const { return run_control_.Record(); }

  // The controls, each under its own name, also as its object name.
  QGroupBox* const Result_Frame;
  Drive_List* const Result_Drive;
  Dir_List* const Result_Dir;
  File_List* const Result_File;
  QLabel* const Progress_Label;
  QLabel* const Save_Label;
  QLineEdit* const Ext_Text;
  QLabel* const Count_Label;
  QLabel* const Count_Val;
  QLabel* const Delay_Label;
  QLineEdit* const Delay_Text;
  QCheckBox* const Recurse_Check;
  QPushButton* const Start_Button;
  QPushButton* const Exit_Button;

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

  // Event_Pump. While the window is only kept alive, input waits for the next
  // event run, except what ends the program: a click of Exit_Button (mouse
  // or access key) and the window's close. An end signal (SIGTERM, SIGINT,
  // SIGHUP) ends the program as Exit does.
  void Run_Pending_Events() override;
  void Wait_For_Events(std::chrono::milliseconds longest) override;
  bool Keep_Alive() override;
  // Ends the program: a run under way unwinds at its next event run, and
  // then the window closes and the event loop returns 0.
  void End_Program() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Lay_Out_Controls();
  void Connect_Handlers();
  void Show_Start_Folder();
  void Show_Status(const QString& shown, const QString& whole);
  // Shows `head` and then `tail` whole, in a smaller face where they need
  // it; only a head too long even so is shortened, before the tail. The
  // tooltip has `whole`.
  void Show_Head_And_Tail(const QString& head, const QString& tail, const QString& whole);
  // Shows `whole`, escaped already, as much as fits (Fitted_Status).
  void Show_Status_Text(const QString& whole);
  void Show_Nothing_Checked(const Run_Record& record);
  void Show_Live_Figures();
  // Count_Val's tooltip, which goes on to say how many drive faults were
  // found, or how many files could not be checked, once some were.
  QString Count_Tooltip() const;
  bool Ends_Program(QObject* receiver, QEvent* event) const;
  // Handles held input, then the window events as `flags` say; throws
  // Program_End once the program has been ended.
  void Run_Events(QEventLoop::ProcessEventsFlags flags);
  void Notice_Ending();

  void Start_Clicked();
  // Reads every file of the folder shown once, off the window's thread,
  // unless a run or another scrub is under way.
  void Scrub_Clicked();
  // Shows what the scrub found since the last look, and its end once over.
  void Show_Scrub_News();
  void Show_Scrub_End(const Scrub_Session::News& news);
  void Drive_Changed(const std::string& previous);
  void Drive_Gone();
  void Focus_Moved(QWidget* now);
  void Focus_Entered(QObject* control, Qt::FocusReason reason);
  void Show_Delay_Validity();
  void Key_Typed();
  void Focus_After(QWidget* caption);
  void Open_Drive_Root();
  std::array<QWidget*, 3> Navigator_Lists() const;
  // The frame and labels whose access keys move the focus on.
  std::array<QWidget*, 3> Access_Key_Captions() const;

  Run_Control run_control_;
  Input_Hold* const input_hold_;
  QSocketNotifier* const end_notifier_;
  // Built on the run control's record, so declared after it.
  Report_Window* const report_;
  // Samples the record for the live figures while a run goes on.
  QTimer* const live_timer_;
  Live_Figures live_;
  QAction* scrub_action_ = nullptr;
  // The scrub under way; none between scrubs. Start_Button stops it.
  std::unique_ptr<Scrub_Session> scrub_;
  // Looks at the scrub's news while it goes on.
  QTimer* const scrub_timer_;
  // A failure the scrub found stays on the status line until then, rather
  // than giving way to the figures at the next look.
  std::chrono::steady_clock::time_point failure_shown_until_{};
  // Start clicks being handled, nested one inside the other during a run.
  int start_clicks_under_way_ = 0;
  bool ended_ = false;
  // The status line says that no file can be checked, and keeps saying it
  // while the run goes on so.
  bool nothing_checked_shown_ = false;
};

}  // namespace palvimo
