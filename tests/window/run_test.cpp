#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include <QTimer>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <QClipboard>
#include <QMenu>
#include <QHeaderView>
#include <QTableView>
#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>

#include "engine/record_json.h"
#include "engine/run_report.h"
#include "form_fixture.h"
#include "platform/late_removals.h"
#include "stalling_file_system.h"
#include "window/drive_list.h"
#include "window/error_text.h"
#include "window/failure_model.h"
#include "window/live_figures.h"
#include "window/report_window.h"
#include "window/status_line.h"

namespace palvimo::testing {
namespace {

// Runs over a temporary tree of small files, with a short pause per probe.
class Run_Test : public Form_Test {
 protected:
  void SetUp() override {
    Form_Test::SetUp();
    for (int i = 0; i < 40; ++i) tree.Write_File("file" + std::to_string(i) + ".dat", "some data");
    for (int i = 0; i < 10; ++i) tree.Write_File("sub/inner" + std::to_string(i) + ".dat", "more data");
    form->Result_Dir->Set_Path(tree.Root());
    form->Delay_Text->setText("1");
    // A run that a failing test would leave going is stopped, and said so.
    QTimer::singleShot(30000, form.get(), [this] {
      if (!form->State().Is_Running) return;
      ADD_FAILURE() << "the run did not end";
      form->Start_Button->click();
    });
  }

  std::vector<QWidget*> Inputs() const {
    return {form->Delay_Text, form->Ext_Text, form->Result_File, form->Result_Dir, form->Result_Drive,
            form->Recurse_Check};
  }
  bool Inputs_Locked() const {
    for (QWidget* input : Inputs())
      if (input->isEnabled()) return false;
    return true;
  }
  bool Inputs_Unlocked() const {
    for (QWidget* input : Inputs())
      if (!input->isEnabled()) return false;
    return true;
  }
  bool Probed_Some() const { return form->Count_Val->text() != "0"; }

  // Ends the program with `end` from inside a run, once it has probed: the
  // event loop returns 0 when the run has unwound, and no probe copy is left.
  void Expect_Run_Ends_Program(const std::function<void()>& end) {
    bool start_returned = false;
    bool visible_while_unwinding = false;
    QTimer::singleShot(0, form.get(), [&] {
      form->Start_Button->click();
      start_returned = true;
    });
    Each_Event_Run user([&] {
      if (!Probed_Some()) return false;
      end();
      visible_while_unwinding = form->isVisible();
      return true;
    });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(start_returned);
    EXPECT_TRUE(visible_while_unwinding);
    EXPECT_FALSE(form->isVisible());
    Expect_No_Copy_Left_At_The_End();
  }

  std::vector<std::string> Copies_Left() const { return tree.Files_Ending_In(".PVF"); }

  // Runs `act` on another thread once a probe copy exists, that is while a
  // probe with a long delay pauses.
  std::jthread Once_Copy_Exists(std::function<void()> act) const {
    return std::jthread([this, act = std::move(act)](std::stop_token stop) {
      while (!stop.stop_requested() && Copies_Left().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      if (!stop.stop_requested()) act();
    });
  }

  // Starts a run with a pause long enough never to end by itself, ends the
  // program with `end` during the first pause, and checks that the run
  // unwound, leaving no copy, and the event loop returned 0.
  void Expect_Pause_Cut_Short_By(const std::function<void()>& end) {
    form->Delay_Text->setText("20000");
    QTimer::singleShot(0, form.get(), [this] { form->Start_Button->click(); });
    const std::jthread ender = Once_Copy_Exists(end);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(form->isVisible());
    Expect_No_Copy_Left_At_The_End();
  }

  // As the program does once its window has closed: a copy whose removal
  // the worker did not finish in time is waited for, a few seconds at most.
  void Expect_No_Copy_Left_At_The_End() const {
    EXPECT_TRUE(Wait_For_Late_Removals(std::chrono::seconds(5)).empty());
    EXPECT_TRUE(Copies_Left().empty());
  }
};

TEST_F(Run_Test, StartLocksTheInputsThenStopRestoresTheIdleLookAtOnce) {
  struct {
    bool seen = false;
    bool locked = false;
    QString caption;
    bool running = false;
    std::size_t copies = 0;
    QString count;
  } first_event_run;
  struct {
    bool done = false;
    QString count_before;
    QString count_after;
    QString caption;
    bool unlocked = false;
    bool running = true;
  } stop;

  Each_Event_Run user([&] {
    if (!first_event_run.seen) {
      // The walk runs events before its first copy begins.
      first_event_run = {true, Inputs_Locked(), form->Start_Button->text(), form->State().Is_Running,
                         Copies_Left().size(), form->Count_Val->text()};
    }
    if (!Probed_Some()) return false;
    stop.count_before = form->Count_Val->text();
    form->Start_Button->click();
    stop = {true, stop.count_before, form->Count_Val->text(), form->Start_Button->text(), Inputs_Unlocked(),
            form->State().Is_Running};
    return true;
  });
  form->Start_Button->click();  // returns when the run has ended

  ASSERT_TRUE(first_event_run.seen);
  EXPECT_TRUE(first_event_run.locked);
  EXPECT_EQ(first_event_run.caption, "S&top");
  EXPECT_TRUE(first_event_run.running);
  EXPECT_EQ(first_event_run.copies, 0u);
  EXPECT_EQ(first_event_run.count, "0");

  ASSERT_TRUE(stop.done);
  EXPECT_EQ(stop.caption, "&Start");
  EXPECT_TRUE(stop.unlocked);
  EXPECT_FALSE(stop.running);
  EXPECT_EQ(stop.count_after, stop.count_before);

  // The run has ended, idle; the count still shows (or, when the stop let a
  // probe complete, shows that probe counted from the reset value).
  EXPECT_FALSE(form->State().Is_Running);
  EXPECT_FALSE(form->State().Stop_Requested);
  EXPECT_EQ(form->Start_Button->text(), "&Start");
  EXPECT_TRUE(Inputs_Unlocked());
  EXPECT_TRUE(form->Count_Val->text() == stop.count_before || form->Count_Val->text() == "1");
  EXPECT_TRUE(Copies_Left().empty());
  // The verdict takes the status line; the navigator followed the walk and
  // still shows a folder of the tree.
  EXPECT_TRUE(form->Progress_Label->accessibleDescription().startsWith("Checked ")) << form->Progress_Label->accessibleDescription().toStdString();
  EXPECT_EQ(form->Result_Dir->Path().rfind(tree.Root(), 0), 0u) << form->Result_Dir->Path();
  EXPECT_EQ(form->Result_File->Path(), form->Result_Dir->Path());
}

struct Keyboard_Run {
  const char* how;
  Qt::Key start;
  Qt::KeyboardModifiers start_modifiers;
  Qt::Key stop;
  Qt::KeyboardModifiers stop_modifiers;
};

TEST_F(Run_Test, KeyboardStartsAndStopsARun) {
  // With the file list the last list focused, the key handler leaves the
  // navigator alone on Space and Enter, and each run takes the tree as root.
  Focus(form->Result_File);
  for (const Keyboard_Run& keys : {Keyboard_Run{"access keys", Qt::Key_S, Qt::AltModifier, Qt::Key_T, Qt::AltModifier},
                                   Keyboard_Run{"focused button", Qt::Key_Return, {}, Qt::Key_Space, {}}}) {
    SCOPED_TRACE(keys.how);
    Focus(form->Start_Button);
    ASSERT_EQ(form->State().Focused_List, "Result_File");
    bool stop_typed = false;
    Each_Event_Run user([&] {
      if (!form->State().Is_Running || !Probed_Some()) return false;
      EXPECT_TRUE(Inputs_Locked());
      Type(keys.stop, keys.stop_modifiers);
      // Handled in the same event run, as a click of the mouse would be.
      EXPECT_FALSE(form->State().Is_Running);
      EXPECT_EQ(form->Start_Button->text(), "&Start");
      stop_typed = true;
      return true;
    });
    Type(keys.start, keys.start_modifiers);
    EXPECT_TRUE(QTest::qWaitFor([&] { return stop_typed && !form->State().Is_Running; }, 30000));
    EXPECT_EQ(form->Start_Button->text(), "&Start");
    EXPECT_TRUE(Inputs_Unlocked());
    EXPECT_TRUE(Copies_Left().empty());
  }
}

TEST_F(Run_Test, ExitDuringARunEndsTheProgramLeavingNoCopy) {
  Expect_Run_Ends_Program([this] { form->Exit_Button->click(); });
}

TEST_F(Run_Test, ClosingTheWindowDuringARunEndsTheProgramLeavingNoCopy) {
  Expect_Run_Ends_Program([this] { form->close(); });
}

TEST_F(Run_Test, ExitOrClosingWhileIdleEndsTheProgram) {
  const std::vector<std::pair<const char*, std::function<void()>>> ways = {
      {"Alt+X", [] { Type(Qt::Key_X, Qt::AltModifier); }},
      {"Enter on Exit_Button", [this] { Focus(form->Exit_Button); Type(Qt::Key_Return); }},
      {"closing the window", [this] { form->close(); }},
      {"SIGTERM", [] { raise(SIGTERM); }},
      {"SIGINT", [] { raise(SIGINT); }},
      {"SIGHUP", [] { raise(SIGHUP); }},
  };
  for (const auto& [how, end] : ways) {
    SCOPED_TRACE(how);
    Show_Form();
    QTimer::singleShot(0, form.get(), end);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(form->isVisible());
  }
}

// While a probe pauses, a Stop click waits; a click of Exit_Button, or its
// access key, ends the program at once.
TEST_F(Run_Test, ExitDuringAPauseEndsTheProgramAtOnceWhileOtherInputWaits) {
  const std::vector<std::pair<const char*, std::function<void()>>> ways = {
      {"mouse", [this] { QTest::mouseClick(form->Exit_Button, Qt::LeftButton); }},
      {"Alt+X", [this] { QTest::keyClick(form.get(), Qt::Key_X, Qt::AltModifier); }},
  };
  for (const auto& [how, exit] : ways) {
    SCOPED_TRACE(how);
    bool stop_waited = false;
    bool ending = false;
    Expect_Pause_Cut_Short_By([this, exit = exit, &stop_waited, &ending] {
      QMetaObject::invokeMethod(form.get(), [this, exit, &stop_waited, &ending] {
        QTest::mouseClick(form->Start_Button, Qt::LeftButton);
        stop_waited = form->State().Is_Running && !form->State().Stop_Requested;
        exit();
        ending = !form->Keep_Alive();
      }, Qt::QueuedConnection);
    });
    EXPECT_TRUE(stop_waited);
    EXPECT_TRUE(ending);
    Show_Form();
    form->Result_Dir->Set_Path(tree.Root());
  }
}

TEST_F(Run_Test, EndSignalDuringAPauseEndsTheProgram) {
  Expect_Pause_Cut_Short_By([] { kill(getpid(), SIGTERM); });
}

// Input given while the window is only kept alive reaches its controls at
// the next event run, in the order it was given.
TEST_F(Run_Test, InputHeldWhileKeptAliveComesInOrderAtTheNextEventRun) {
  form->Delay_Text->clear();
  QMetaObject::invokeMethod(form.get(), [this] {
    QTest::keyClick(form->Delay_Text, Qt::Key_7);
    QTest::mouseClick(form->Recurse_Check, Qt::LeftButton);
    QTest::keyClick(form->Delay_Text, Qt::Key_8);
  }, Qt::QueuedConnection);
  EXPECT_TRUE(form->Keep_Alive());
  EXPECT_EQ(form->Delay_Text->text(), "");
  EXPECT_TRUE(form->Recurse_Check->isChecked());

  form->Run_Pending_Events();
  EXPECT_EQ(form->Delay_Text->text(), "78");
  EXPECT_FALSE(form->Recurse_Check->isChecked());
  EXPECT_FALSE(form->State().Recurse_On);
}

TEST_F(Run_Test, KeepingTheWindowAliveRunsNoHandlerUntilTheNextEventRun) {
  QTimer::singleShot(1, form->Recurse_Check, &QCheckBox::click);
  QTest::qSleep(20);
  EXPECT_TRUE(form->Keep_Alive());
  EXPECT_TRUE(form->Recurse_Check->isChecked());
  EXPECT_TRUE(form->State().Recurse_On);

  form->Run_Pending_Events();
  EXPECT_FALSE(form->Recurse_Check->isChecked());
  EXPECT_FALSE(form->State().Recurse_On);
}

TEST_F(Run_Test, ClickThatCannotStartARunSaysWhyInTheStatusLine) {
  form->Ext_Text->setText("");
  form->Start_Button->click();
  EXPECT_FALSE(form->Progress_Label->text().isEmpty());
  EXPECT_EQ(form->Start_Button->text(), "&Start");
  EXPECT_TRUE(Inputs_Unlocked());

  // The whole text stays in the label's description; the line shows what fits.
  form->Ext_Text->setText(".PVF");
  const std::string doomed = tree.Make_Dir(std::string(120, 'n') + "/doomed");
  form->Result_Dir->Set_Path(doomed);
  std::filesystem::remove(doomed);
  form->Start_Button->click();
  const QString shown = form->Progress_Label->text();
  EXPECT_TRUE(form->Progress_Label->accessibleDescription().contains(QString::fromStdString(doomed)));
  EXPECT_LE(form->Progress_Label->fontMetrics().horizontalAdvance(shown), form->Progress_Label->contentsRect().width());
  EXPECT_TRUE(shown.startsWith("Cannot open the folder: ")) << shown.toStdString();
  EXPECT_TRUE(shown.contains("/doomed")) << shown.toStdString();
  EXPECT_EQ(form->Start_Button->text(), "&Start");
  EXPECT_TRUE(Inputs_Unlocked());
  EXPECT_FALSE(form->State().Is_Running);
  // A run cut short shows in the error colour; with no fault found, its
  // report waits to be asked for.
  EXPECT_EQ(form->Progress_Label->palette().color(form->Progress_Label->foregroundRole()),
            Tone_Colour(Text_Tone::Error, QApplication::palette(form->Progress_Label).color(QPalette::Window)));
  EXPECT_FALSE(form->findChild<Report_Window*>()->isVisible());
}

// Runs whose probes fail in known ways: a file of the user's sits at the
// copy's name of every top-level file with an even number, so that its probe
// leaves it not checked ("the copy's name is taken"); and the drive fails
// reads as `reads` says.
class Failing_Run_Test : public Run_Test {
 protected:
  enum class Reads { Fine, Failing_Some, Locked };

  void SetUp() override {
    // Reads of file1.dat, file5.dat, file9.dat... fail as a failing drive's
    // do, or every read is refused as a locked file's is.
    copier_hooks.read_source = [this](int fd, void* buffer, std::size_t size) -> ssize_t {
      const Reads now = reads;
      if (now == Reads::Locked) {
        errno = EACCES;
        return -1;
      }
      std::error_code error;
      const std::string name =
          std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error).filename().string();
      if (now == Reads::Failing_Some && name.starts_with("file") && name.ends_with(".dat") &&
          std::atoi(name.c_str() + 4) % 4 == 1) {
        errno = EIO;
        return -1;
      }
      return read(fd, buffer, size);
    };
    Run_Test::SetUp();
    for (int i = 0; i < 40; i += 2) tree.Write_File("file" + std::to_string(i) + ".dat.PVF", "the user's");
  }

  // The window goes first: its worker may call the hook until it ends.
  void TearDown() override { form.reset(); }

  std::atomic<Reads> reads = Reads::Fine;

  // Starts a run, and stops it at the first event run at which `enough` holds.
  void Run_Until(const std::function<bool()>& enough) {
    Each_Event_Run user([&] {
      if (!form->State().Is_Running || !enough()) return false;
      form->Start_Button->click();
      return true;
    });
    form->Start_Button->click();
  }

  Report_Window* Report() const { return form->findChild<Report_Window*>(); }
  QTableView* Failures_Table() const { return Report()->findChild<QTableView*>("Failures_Table"); }
  QLabel* Report_Label(const char* name) const { return Report()->findChild<QLabel*>(name); }

  static QColor Text_Colour(const QWidget* control) { return control->palette().color(control->foregroundRole()); }
};

// The colour a tone takes on `control`'s background.
QColor Tone_Of(const QWidget* control, Text_Tone tone) {
  return Tone_Colour(tone, QApplication::palette(control).color(control->backgroundRole()));
}

TEST_F(Failing_Run_Test, FaultsShowInTheErrorColourUntilTheNextStartAndTheirReportOpensByItself) {
  reads = Reads::Failing_Some;
  struct {
    bool seen = false;
    QColor count_colour;
    QString count_tooltip;
    bool report_shown = true;
  } during;
  Run_Until([&] {
    if (form->Record().Failed_Of(Failure_Class::Drive_Fault) < 2) return false;
    during = {true, Text_Colour(form->Count_Val), form->Count_Val->toolTip(), Report()->isVisible()};
    return true;
  });
  ASSERT_TRUE(during.seen);
  EXPECT_EQ(during.count_colour, Tone_Of(form->Count_Val, Text_Tone::Error));
  EXPECT_TRUE(during.count_tooltip.contains(" drive faults in ")) << during.count_tooltip.toStdString();
  EXPECT_FALSE(during.report_shown);

  const Run_Record& record = form->Record();
  const QString verdict = QString::fromStdString(Verdict_Text(record));
  EXPECT_TRUE(verdict.contains(" drive faults (")) << verdict.toStdString();
  EXPECT_EQ(form->Progress_Label->accessibleDescription(), verdict + " Ctrl+R shows them.");
  EXPECT_TRUE(form->Progress_Label->text().endsWith("Ctrl+R shows them.")) << form->Progress_Label->text().toStdString();
  EXPECT_EQ(Text_Colour(form->Progress_Label), Tone_Of(form->Progress_Label, Text_Tone::Error));
  EXPECT_EQ(Text_Colour(form->Count_Val), Tone_Of(form->Count_Val, Text_Tone::Error));
  EXPECT_EQ(form->Count_Val->toolTip(), QString("Number of files copied: %1 drive faults in %2 probes that checked a file")
                                            .arg(record.Failed_Of(Failure_Class::Drive_Fault)).arg(record.Checked()));

  // The report opened by itself, showing the run as it ended.
  ASSERT_TRUE(Report()->isVisible());
  EXPECT_EQ(Report_Label("Verdict_Label")->text(), verdict);
  // A row for each file and kind, however often it failed.
  const QAbstractItemModel& failures = *Failures_Table()->model();
  ASSERT_EQ(failures.rowCount(), static_cast<int>(record.Failure_Groups().size()));
  std::uint64_t failed = 0;
  for (int row = 0; row < failures.rowCount(); ++row) {
    EXPECT_TRUE(failures.index(row, Failure_Model::File).data().toString().endsWith(".dat"));
    const QString reason = failures.index(row, Failure_Model::Reason).data().toString();
    if (failures.index(row, Failure_Model::Outcome).data().toString() == "drive fault") {
      EXPECT_EQ(reason, "cannot read: Input/output error");
    } else {
      EXPECT_EQ(failures.index(row, Failure_Model::Outcome).data().toString(), "not checked");
      EXPECT_EQ(reason, "the copy's name is taken");
    }
    failed += failures.index(row, Failure_Model::Times).data().toString().toULongLong();
  }
  EXPECT_EQ(failed, record.Failed());

  // The next run finds no fault: the colours are back, and the closed report
  // stays closed.
  Report()->close();
  reads = Reads::Fine;
  for (const std::string& blocker : Copies_Left()) std::filesystem::remove(blocker);
  Run_Until([&] { return form->Record().Probes() >= 3; });
  EXPECT_EQ(form->Record().Failed(), 0u);
  EXPECT_NE(Text_Colour(form->Count_Val), Tone_Of(form->Count_Val, Text_Tone::Error));
  EXPECT_NE(Text_Colour(form->Progress_Label), Tone_Of(form->Progress_Label, Text_Tone::Error));
  EXPECT_EQ(form->Count_Val->toolTip(), "Number of files copied");
  EXPECT_TRUE(form->Progress_Label->accessibleDescription().contains("no drive faults found"))
      << form->Progress_Label->accessibleDescription().toStdString();
  EXPECT_FALSE(Report()->isVisible());
  // Opened again, it shows the new run, not the failures of the last.
  Report()->Open(true);
  EXPECT_EQ(Failures_Table()->model()->rowCount(), 0);
  EXPECT_EQ(Report_Label("Verdict_Label")->text(), QString::fromStdString(Verdict_Text(form->Record())));
}

// While a run goes on, the open report follows it; its table is reached by
// its access key and left with Tab.
TEST_F(Failing_Run_Test, OpenReportFollowsTheRunAndItsTableIsReachedByKeys) {
  QTest::keyClick(form.get(), Qt::Key_R, Qt::ControlModifier);
  ASSERT_TRUE(Report()->isVisible());
  QLabel* files_checked = nullptr;
  for (QLabel* label : Report()->findChildren<QLabel*>("Figure_Value"))
    if (label->accessibleName() == "Files checked") files_checked = label;
  QString seen_running;
  Run_Until([&] {
    if (!files_checked)
      for (QLabel* label : Report()->findChildren<QLabel*>("Figure_Value"))
        if (label->accessibleName() == "Files checked") files_checked = label;
    if (!files_checked || form->Record().Failed() == 0 || Failures_Table()->model()->rowCount() == 0) return false;
    seen_running = files_checked->text();
    return true;
  });
  EXPECT_FALSE(seen_running.isEmpty());
  EXPECT_FALSE(seen_running.startsWith("0 ")) << seen_running.toStdString();

  QTest::keyClick(Report(), Qt::Key_F, Qt::AltModifier);
  EXPECT_TRUE(Failures_Table()->hasFocus());
  QTest::keyClick(Failures_Table(), Qt::Key_Down);
  EXPECT_TRUE(Failures_Table()->hasFocus());
  QTest::keyClick(Failures_Table(), Qt::Key_Tab);
  EXPECT_TRUE(Report()->findChild<QPushButton*>("Copy_Button")->hasFocus());
}

TEST_F(Failing_Run_Test, ReportOpensByKeyAndMenuCopiesSavesAndSortsWhatTheRunFound) {
  Run_Until([&] { return form->Record().Failed() >= 3; });
  const Run_Record& record = form->Record();
  Report()->close();

  // Ctrl+R from a text box of the main window.
  Focus(form->Ext_Text);
  Type(Qt::Key_R, Qt::ControlModifier);
  ASSERT_TRUE(Report()->isVisible());
  Report()->close();
  // The context menu of any part of the window that has none of its own.
  QContextMenuEvent menu_request(QContextMenuEvent::Keyboard, QPoint(4, 4), form->Count_Label->mapToGlobal(QPoint(4, 4)));
  QApplication::sendEvent(form->Count_Label, &menu_request);
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(menu->actions().size(), 2);
  menu->actions().front()->trigger();
  menu->close();
  EXPECT_TRUE(Report()->isVisible());

  // The file that failed first most recently leads when sorted by first
  // failure, as they happened, not by the text of their times.
  Failures_Table()->sortByColumn(Failure_Model::First, Qt::DescendingOrder);
  EXPECT_EQ(Failures_Table()->model()->index(0, Failure_Model::File).data().toString(),
            QString::fromStdString(record.Failure_Groups().back().path));

  Report()->findChild<QPushButton*>("Copy_Button")->click();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromStdString(Report_Text(record)));

  const std::string saved = tree.Root() + "/saved/report.json";
  EXPECT_FALSE(Report()->Save_To(QString::fromStdString(saved)));
  EXPECT_EQ(Text_Colour(Report_Label("Save_Result_Label")), Tone_Of(Report_Label("Save_Result_Label"), Text_Tone::Error));
  tree.Make_Dir("saved");
  ASSERT_TRUE(Report()->Save_To(QString::fromStdString(saved)));
  EXPECT_NE(Text_Colour(Report_Label("Save_Result_Label")), Tone_Of(Report_Label("Save_Result_Label"), Text_Tone::Error));
  const nlohmann::json json = nlohmann::json::parse(std::ifstream(saved));
  EXPECT_EQ(json, nlohmann::json::parse(Record_Json(record).dump()));
}

// Files that could not be checked are no fault of the drive's: the count
// and the verdict only warn, and the report waits to be asked for; a drive
// fault found later in the run turns the count to the error colour.
TEST_F(Failing_Run_Test, FilesNotCheckedWarnAndOnlyTheDrivesFaultsShowAsErrors) {
  struct {
    bool seen = false;
    QColor not_checked;
    QColor drive_fault;
  } during;
  Run_Until([&] {
    const Run_Record& record = form->Record();
    if (!during.seen && record.Files_Not_Checked() >= 2) {
      during.seen = true;
      during.not_checked = Text_Colour(form->Count_Val);
      reads = Reads::Failing_Some;
    }
    if (record.Failed_Of(Failure_Class::Drive_Fault) == 0) return false;
    during.drive_fault = Text_Colour(form->Count_Val);
    return true;
  });
  ASSERT_TRUE(during.seen);
  EXPECT_EQ(during.not_checked, Tone_Of(form->Count_Val, Text_Tone::Warning));
  EXPECT_EQ(during.drive_fault, Tone_Of(form->Count_Val, Text_Tone::Error));

  // A run whose files only went unchecked warns, and leaves its report closed.
  Report()->close();
  reads = Reads::Fine;
  Run_Until([&] { return form->Record().Files_Not_Checked() >= 2 && form->Record().Checked() >= 2; });
  const Run_Record& record = form->Record();
  EXPECT_EQ(record.Failed_Of(Failure_Class::Drive_Fault), 0u);
  EXPECT_EQ(Text_Colour(form->Count_Val), Tone_Of(form->Count_Val, Text_Tone::Warning));
  EXPECT_EQ(Text_Colour(form->Progress_Label), Tone_Of(form->Progress_Label, Text_Tone::Warning));
  const QString verdict = form->Progress_Label->accessibleDescription();
  EXPECT_TRUE(verdict.contains("no drive faults found.")) << verdict.toStdString();
  EXPECT_TRUE(verdict.contains(" could not be checked: ")) << verdict.toStdString();
  EXPECT_TRUE(verdict.contains("copy's name taken (file")) << verdict.toStdString();
  EXPECT_FALSE(Report()->isVisible());
}

// A run that can check no file says why in the status line while it goes
// on, and in its verdict once stopped.
TEST_F(Failing_Run_Test, RunThatCanCheckNothingSaysWhyUntilStopped) {
  for (const std::string& blocker : Copies_Left()) std::filesystem::remove(blocker);
  reads = Reads::Locked;
  QString while_running;
  Run_Until([&] {
    if (form->Record().Probes() < 8) return false;
    while_running = form->Progress_Label->accessibleDescription();
    return true;
  });
  const QString why = QString::fromStdString("No file could be checked: files cannot be read in " + tree.Root());
  EXPECT_TRUE(while_running.startsWith(why)) << while_running.toStdString();
  EXPECT_TRUE(while_running.endsWith("(Permission denied).")) << while_running.toStdString();
  EXPECT_TRUE(form->Progress_Label->accessibleDescription().startsWith(why))
      << form->Progress_Label->accessibleDescription().toStdString();
  EXPECT_EQ(Text_Colour(form->Progress_Label), Tone_Of(form->Progress_Label, Text_Tone::Warning));
  EXPECT_EQ(form->Record().Checked(), 0u);
}

// A record that cannot be written on disk leaves the run going, and the
// report says so where it shows the record's place.
TEST_F(Failing_Run_Test, RecordThatCannotBeWrittenIsSaidInTheReport) {
  const QByteArray state_home = qgetenv("XDG_STATE_HOME");
  tree.Write_File("not-a-folder", "");
  qputenv("XDG_STATE_HOME", QByteArray::fromStdString(tree.Root() + "/not-a-folder/state"));
  Show_Form();
  qputenv("XDG_STATE_HOME", state_home);
  form->Result_Dir->Set_Path(tree.Root());
  form->Delay_Text->setText("1");

  bool said = false;
  Run_Until([&] {
    if (form->Record().Failed() == 0) return false;
    if (!Report()->isVisible()) QTest::keyClick(form.get(), Qt::Key_R, Qt::ControlModifier);
    said = Report_Label("Record_Label")->text().contains("cannot be written");
    return said && form->Record().Probes() >= 5;
  });
  EXPECT_TRUE(said);
  EXPECT_EQ(Text_Colour(Report_Label("Record_Label")), Tone_Of(Report_Label("Record_Label"), Text_Tone::Error));
  EXPECT_GE(form->Record().Probes(), 5u);
}

// A run whose files are all in one folder that the navigator's drive stalls
// on: the walk reads it through its own worker, and goes on while the
// navigator waits.
TEST_F(Form_Test, RunGoesOnWhileTheNavigatorWaitsForAFolder) {
  for (int i = 0; i < 20; ++i) tree.Write_File("deep/file" + std::to_string(i) + ".dat", "some data");
  const auto gate = std::make_shared<Gate>();
  navigator_files = std::make_shared<Stalling_File_System>(Stalling_File_System::Stalls{{tree.Path("deep"), gate}});
  Show_Form();
  Show(tree.Root());
  form->Delay_Text->setText("1");

  struct {
    bool stopped = false;
    std::string folder;
    bool reading = false;
  } seen;
  Each_Event_Run user([&] {
    if (form->Count_Val->text().toInt() < 3) return false;
    seen = {true, form->Result_Dir->Path(), form->Result_Dir->Reading() && form->Result_File->Reading()};
    form->Start_Button->click();
    return true;
  });
  form->Start_Button->click();  // returns when the run has ended
  ASSERT_TRUE(seen.stopped);
  EXPECT_EQ(seen.folder, tree.Path("deep"));
  EXPECT_TRUE(seen.reading);
  EXPECT_FALSE(form->State().Is_Running);
  EXPECT_TRUE(tree.Files_Ending_In(".PVF").empty());

  gate->Open();
  Wait_For_Lists();
  EXPECT_EQ(form->Result_Dir->Entry(form->Result_Dir->Highlighted_Index()), tree.Path("deep"));
  EXPECT_EQ(Files_Shown().size(), 20);
}

// A short clean run leaves its figures in the title, its verdict's first
// sentence whole on the status line with the rest in its tooltip, and a
// report that says "No failures" in place of an empty table.
TEST_F(Failing_Run_Test, CleanRunShowsItsFiguresItsVerdictAndNoFailures) {
  // Copies under a name of their own take no user's file's name.
  form->Ext_Text->setText(".CHK");
  Run_Until([&] { return form->Record().Files_Checked() >= 3; });
  const Run_Record& record = form->Record();
  ASSERT_EQ(record.Failed(), 0u);

  const QString title = form->windowTitle();
  const QString checked = QString::fromStdString(Format_Count(record.Files_Checked())) + " checked";
  EXPECT_TRUE(title.contains(checked)) << title.toStdString();
  EXPECT_TRUE(title.contains("0 drive faults")) << title.toStdString();
  EXPECT_TRUE(title.contains("0 not checked")) << title.toStdString();
  EXPECT_TRUE(title.contains(QString::fromStdString(Format_Bytes(Live_Figures::Bytes_Moved(record)))))
      << title.toStdString();

  const QString verdict = QString::fromStdString(Verdict_Text(record));
  EXPECT_EQ(form->Progress_Label->toolTip(), verdict);
  const QString first = First_Sentence(verdict);
  ASSERT_LT(first.size(), verdict.size());
  EXPECT_EQ(form->Progress_Label->text(), first);
  EXPECT_LE(QFontMetrics(form->Progress_Label->font()).horizontalAdvance(first),
            form->Progress_Label->contentsRect().width());

  Report()->Open(true);
  EXPECT_FALSE(Failures_Table()->isVisible());
  EXPECT_TRUE(Report_Label("No_Failures_Label")->isVisible());
  EXPECT_EQ(Report_Label("No_Failures_Label")->text(), "No failures.");
}

// The report goes beside the main window, shrunk where the screen has less
// room than it would like, and never over the main window while the screen
// can hold both.
TEST(Report_Place_Test, BesideTheMainWindowWhereTheScreenAllows) {
  const QRect screen(0, 0, 1280, 900);
  const QSize wanted(900, 620);
  const QSize least(420, 300);
  const QRect centred(407, 285, 466, 330);
  const QRect at_left(0, 0, 466, 330);
  const QRect at_right(814, 100, 466, 330);
  const QRect high(407, 0, 466, 330);
  for (const QRect& main : {at_left, at_right, high}) {
    const QRect placed = Place_Beside(main, wanted, least, screen);
    EXPECT_FALSE(placed.intersects(main)) << placed.x() << "," << placed.y();
    EXPECT_TRUE(screen.contains(placed)) << placed.x() << "," << placed.y();
    EXPECT_GE(placed.width(), least.width());
    EXPECT_GE(placed.height(), least.height());
  }
  // Room enough on the right: there, at its full size.
  EXPECT_EQ(Place_Beside(at_left, wanted, least, QRect(0, 0, 1920, 1080)), QRect(474, 0, 900, 620));
  // A window in the middle leaves too little room on any side: the report
  // keeps inside the screen (and the window moves aside, Place_Beside_Parent).
  EXPECT_TRUE(screen.contains(Place_Beside(centred, wanted, least, screen)));
}

// Ctrl+1 and on sort the failures by the columns in turn, and again by the
// same column the other way round.
TEST_F(Failing_Run_Test, ControlAndAColumnNumberSortsTheFailures) {
  reads = Reads::Failing_Some;
  Run_Until([&] { return form->Record().Failure_Groups().size() >= 3; });
  Report()->Open(true);
  ASSERT_TRUE(QTest::qWaitForWindowActive(Report()));
  ASSERT_FALSE(Report_Label("No_Failures_Label")->isVisible());
  QTableView* table = Failures_Table();
  ASSERT_TRUE(table->isVisible());
  Focus(table);

  const auto column_of = [table](int column) {
    QStringList values;
    for (int row = 0; row < table->model()->rowCount(); ++row)
      values << table->model()->index(row, column).data().toString();
    return values;
  };
  Type(Qt::Key_1, Qt::ControlModifier);
  QStringList files = column_of(Failure_Model::File);
  QStringList sorted = files;
  sorted.sort();
  EXPECT_EQ(files, sorted);
  EXPECT_EQ(table->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);

  Type(Qt::Key_1, Qt::ControlModifier);
  files = column_of(Failure_Model::File);
  std::reverse(sorted.begin(), sorted.end());
  EXPECT_EQ(files, sorted);

  Type(Qt::Key_3, Qt::ControlModifier);
  EXPECT_EQ(table->horizontalHeader()->sortIndicatorSection(), Failure_Model::Reason);
}

}  // namespace
}  // namespace palvimo::testing
