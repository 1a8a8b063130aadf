#include "window/main_form.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QShortcutEvent>
#include <QSocketNotifier>
#include <QStyle>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <iostream>
#include <optional>

#include "engine/catalogue.h"
#include "engine/delay_text.h"
#include "engine/run_report.h"
#include "engine/scrub_text.h"
#include "platform/check_error.h"
#include "platform/worker_file_system.h"
#include "window/dir_list.h"
#include "window/display_link.h"
#include "window/display_text.h"
#include "window/drive_list.h"
#include "window/error_text.h"
#include "window/file_list.h"
#include "window/input_hold.h"
#include "window/last_result_lookup.h"
#include "window/palvimo.xpm"
#include "window/report_window.h"
#include "window/status_line.h"
#include "window/system_volumes.h"

namespace palvimo {

namespace {

// Positions and sizes are laid out in twips: 15 twips to a logical pixel.
int Pixels(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

// How often the live figures are sampled and shown during a run.
constexpr std::chrono::milliseconds Live_Every{500};

// How often the scrub's figures are looked at and shown.
constexpr std::chrono::milliseconds Scrub_News_Every{250};

// How long a failure the scrub found stays on the status line at least.
constexpr std::chrono::seconds Scrub_Failure_Shown{3};

// The scrub's failures its summary's tooltip names, at the most.
constexpr std::size_t Scrub_Failures_Listed = 10;

// Probes that must all leave their file not checked before the status line
// says that no file can be: one locked file met first is no reason to.
constexpr std::uint64_t Probes_Before_Nothing_Checked = 5;

// Puts a control at its place in its container (the window, or the frame
// for the three lists) under its name, with its tooltip.
template <typename Control>
Control* Place(Control* control, const char* name, int left, int top, int width, int height,
               const QString& tooltip = {}) {
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(Pixels(left), Pixels(top), Pixels(width), Pixels(height));
  if (!tooltip.isEmpty()) control->setToolTip(tooltip);
  return control;
}

// The bold face of the captions and the two buttons, in the system's
// sans-serif family where "MS Sans Serif" is missing.
QFont Bold_Font(qreal points) {
  const QString wanted = QStringLiteral("MS Sans Serif");
  QFont font(QFontDatabase::hasFamily(wanted) ? wanted
                                              : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
  font.setPointSizeF(points);
  font.setBold(true);
  return font;
}

Check_Box_State Box_State(Qt::CheckState state) {
  switch (state) {
    case Qt::Unchecked: return Check_Box_State::Unchecked;
    case Qt::PartiallyChecked: return Check_Box_State::Greyed;
    case Qt::Checked: return Check_Box_State::Checked;
  }
  return Check_Box_State::Checked;
}

// The keys that open the highlighted drive or folder: Space and Enter typed
// as characters, not as part of a command with Ctrl, Alt or Meta.
bool Is_Open_Key(const QKeyEvent& key) {
  const bool character_key = key.key() == Qt::Key_Space || key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
  return character_key && !(key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

}  // namespace

Main_Form::Main_Form(QWidget* parent) : Main_Form(Make_System_Volumes(), parent) {}

Main_Form::Main_Form(std::unique_ptr<Volume_Source> volumes, QWidget* parent)
    : Main_Form(std::move(volumes), Make_Local_File_System(), parent) {}

Main_Form::Main_Form(std::unique_ptr<Volume_Source> volumes, std::shared_ptr<File_System> navigator_files,
                     QWidget* parent)
    : Main_Form(std::move(volumes), std::move(navigator_files), Copier_Hooks{}, parent) {}

Main_Form::Main_Form(std::unique_ptr<Volume_Source> volumes, std::shared_ptr<File_System> navigator_files,
                     Copier_Hooks hooks, QWidget* parent)
    : QWidget(parent),
      file_system_(Make_Local_File_System()),
      worker_(*this),
      navigator_files_(std::move(navigator_files)),
      walk_files_(Make_Worker_File_System(file_system_, worker_)),
      copier_(Make_Probe_Copier(worker_, std::move(hooks))),
      pauser_(Make_Pauser(*this)),
      random_(Make_Clock_Random()),
      volumes_(std::move(volumes)),
      journal_(Default_Record_Folder().empty() ? nullptr
                                               : std::make_unique<Record_Journal>(Default_Record_Folder(), std::cerr)),
      Result_Frame(new QGroupBox(this)),
      Result_Drive(new Drive_List(*volumes_, Result_Frame)),
      Result_Dir(new Dir_List(navigator_files_, Result_Frame)),
      Result_File(new File_List(navigator_files_, Result_Frame)),
      Progress_Label(new QLabel(this)),
      Save_Label(new QLabel(this)),
      Ext_Text(new QLineEdit(this)),
      Count_Label(new QLabel(this)),
      Count_Val(new QLabel(this)),
      Delay_Label(new QLabel(this)),
      Delay_Text(new QLineEdit(this)),
      Recurse_Check(new QCheckBox(this)),
      Start_Button(new QPushButton(this)),
      Exit_Button(new QPushButton(this)),
      run_control_(state_, *this, Check_Services{*walk_files_, *copier_, *pauser_, *random_, *this, std::cerr, journal_.get(),
                                                Default_Catalogue_Folder(), &drive_watch_}),
      input_hold_(new Input_Hold([this](QObject* receiver, QEvent* event) { return Ends_Program(receiver, event); },
                                 this)),
      end_notifier_(new QSocketNotifier(end_signals_.Notify_Fd(), QSocketNotifier::Read, this)),
      report_(new Report_Window(run_control_.Record(), journal_.get(), this)),
      live_timer_(new QTimer(this)),
      scrub_timer_(new QTimer(this)) {
  setWindowTitle(tr("Palvimo"));
  setWindowIcon(QIcon(QPixmap(palvimo_xpm)));
  setFixedSize(Pixels(6996), Pixels(4944));
  setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen()->availableGeometry()));
  Lay_Out_Controls();
  Connect_Handlers();
  Show_Start_Folder();
  // The first control in tab order that can take the focus.
  Result_Drive->setFocus();
}

Main_Form::~Main_Form() {
  // The children outlive this part of the window; a focus change while they
  // are destroyed must not reach it.
  disconnect(qApp, nullptr, this, nullptr);
}

void Main_Form::Lay_Out_Controls() {
  Place(Result_Frame, "Result_Frame", 120, 120, 5172, 4215)->setTitle(tr("&Directory Contents:"));
  Place(Result_Drive, "Result_Drive", 120, 240, 2412, 288, tr("Drive listed"));
  Place(Result_Dir, "Result_Dir", 120, 720, 2412, 3240, tr("Directory listed"));
  Place(Result_File, "Result_File", 2640, 240, 2412, 3720, tr("List of files in directory"));
  Place(Progress_Label, "Progress_Label", 120, 4560, 5175, 255, tr("Status"))->setTextFormat(Qt::PlainText);
  Place(Save_Label, "Save_Label", 5520, 240, 1332, 252)->setText(tr("&Extension:"));
  Place(Ext_Text, "Ext_Text", 5520, 600, 1332, 285, tr("Extension of copied files"))->setText(QStringLiteral(".PVF"));
  Place(Count_Label, "Count_Label", 5520, 1080, 1335, 252)->setText(tr("File count:"));
  Place(Count_Val, "Count_Val", 5520, 1440, 1335, 285, Count_Tooltip())->setText(QStringLiteral("0"));
  Place(Delay_Label, "Delay_Label", 5520, 1920, 1335, 255)->setText(tr("De&lay (msec):"));
  Place(Delay_Text, "Delay_Text", 5520, 2280, 1335, 285, tr("Delay between copying a file"))
      ->setText(QStringLiteral("500"));
  Place(Recurse_Check, "Recurse_Check", 5520, 2880, 1332, 252, tr("Recurse subdirectories"))->setText(tr("&Recurse"));
  Place(Start_Button, "Start_Button", 5520, 3840, 1332, 372, tr("Make list of directory contents"))
      ->setText(tr("&Start"));
  Place(Exit_Button, "Exit_Button", 5520, 4440, 1332, 372, tr("Exit program"))->setText(tr("E&xit"));

  // What assistive technology names each control by; the count's name
  // carries its number (Show_Count), as a caption and a figure read apart
  // would say only "0".
  Result_Drive->setAccessibleName(tr("Drive"));
  Result_Dir->setAccessibleName(tr("Folders"));
  Result_File->setAccessibleName(tr("Files"));
  Progress_Label->setAccessibleName(tr("Status"));
  Show_Count("0");

  Save_Label->setBuddy(Ext_Text);
  Delay_Label->setBuddy(Delay_Text);
  Recurse_Check->setChecked(true);
  Count_Val->setTextFormat(Qt::PlainText);
  Count_Val->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  Count_Val->setBackgroundRole(QPalette::Base);
  Count_Val->setAutoFillBackground(true);
  // The buttons click on Enter while they have the focus, as on Space.
  Start_Button->setAutoDefault(true);
  Exit_Button->setAutoDefault(true);

  const std::initializer_list<QWidget*> captions = {Result_Frame, Save_Label, Count_Label, Delay_Label};
  for (QWidget* caption : captions) caption->setFont(Bold_Font(7.8));
  for (QPushButton* button : {Start_Button, Exit_Button}) button->setFont(Bold_Font(9.6));
  // The lists keep the window's own font rather than take the frame's bold.
  QFont window_font = font();
  window_font.setResolveMask(QFont::AllPropertiesResolved);
  for (QWidget* list : Navigator_Lists()) list->setFont(window_font);

  const std::initializer_list<QWidget*> tab_order = {
      Result_Frame, Result_Drive, Result_Dir,  Result_File, Progress_Label, Save_Label,    Ext_Text,
      Count_Label,  Count_Val,    Delay_Label, Delay_Text,  Recurse_Check,  Start_Button, Exit_Button};
  for (auto next = tab_order.begin() + 1; next != tab_order.end(); ++next) setTabOrder(*(next - 1), *next);
}

void Main_Form::Connect_Handlers() {
  connect(Start_Button, &QPushButton::clicked, this, &Main_Form::Start_Clicked);
  connect(Recurse_Check, &QCheckBox::clicked, this,
          [this] { run_control_.Recurse_Click(Box_State(Recurse_Check->checkState())); });
  connect(Exit_Button, &QPushButton::clicked, this, &QWidget::close);
  connect(end_notifier_, &QSocketNotifier::activated, this, [this] {
    end_notifier_->setEnabled(false);
    close();
  });
  connect(Result_Drive, &Drive_List::Drive_Changed, this, &Main_Form::Drive_Changed);
  connect(Result_Drive, &Drive_List::Drive_Gone, this, &Main_Form::Drive_Gone);
  connect(Result_Dir, &Dir_List::Path_Changed, this, [this] { Result_File->Set_Path(Result_Dir->Path()); });
  // Until a run begins, the folder chosen shows how its drive did last time,
  // over no other message; after, the verdict stays.
  auto* last_result = new Last_Result_Lookup(this, [this](const std::string& text, const std::string& before) {
    if (Record().Began() || Progress_Label->accessibleDescription() != Display_Text(before)) return false;
    Set_Status(text);
    return true;
  });
  connect(Result_Dir, &Dir_List::Path_Changed, last_result, [this, last_result] {
    if (!Record().Began()) last_result->Look_Up(Result_Dir->Path());
  });
  connect(Delay_Text, &QLineEdit::textChanged, this, &Main_Form::Show_Delay_Validity);
  // Ctrl+R, and the window's context menu, show the report.
  auto* show_report = new QAction(tr("Show the &report"), this);
  show_report->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  connect(show_report, &QAction::triggered, this, [this] { report_->Open(true); });
  addAction(show_report);
  // The menu pops up rather than runs its own event loop, which would hold a
  // run up while it is open.
  setContextMenuPolicy(Qt::CustomContextMenu);
  scrub_action_ = new QAction(tr("Check every file once (read only)"), this);
  scrub_action_->setObjectName(QStringLiteral("Scrub_Action"));
  connect(scrub_action_, &QAction::triggered, this, &Main_Form::Scrub_Clicked);
  addAction(scrub_action_);
  connect(this, &QWidget::customContextMenuRequested, this, [this, show_report](const QPoint& at) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(show_report);
    menu->addAction(scrub_action_);
    menu->popup(mapToGlobal(at));
  });
  live_timer_->setInterval(Live_Every);
  connect(live_timer_, &QTimer::timeout, this, &Main_Form::Show_Live_Figures);
  scrub_timer_->setInterval(Scrub_News_Every);
  connect(scrub_timer_, &QTimer::timeout, this, &Main_Form::Show_Scrub_News);
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { Focus_Moved(now); });
  // Key preview: the window's key handler sees Space and Enter before the
  // focused control does. The captions' access keys pass here too.
  const std::initializer_list<QWidget*> focusable = {Result_Drive, Result_Dir,    Result_File,  Ext_Text,
                                                      Delay_Text,   Recurse_Check, Start_Button, Exit_Button};
  for (QWidget* control : focusable) control->installEventFilter(this);
  for (QWidget* caption : Access_Key_Captions()) caption->installEventFilter(this);
}

// The drive / and the folder / are where the navigator starts. When / cannot
// be shown, the first drive that can be stands in for it (Drive_Changed);
// each drive that cannot leaves the list.
void Main_Form::Show_Start_Folder() { Result_Drive->Set_Drive("/"); }

std::array<QWidget*, 3> Main_Form::Navigator_Lists() const { return {Result_Drive, Result_Dir, Result_File}; }

std::array<QWidget*, 3> Main_Form::Access_Key_Captions() const { return {Result_Frame, Save_Label, Delay_Label}; }

std::string Main_Form::Read_Root_Path() { return Result_Dir->Path(); }

void Main_Form::Show_Folder(const std::string& path) { Result_Dir->Set_Path(path); }

void Main_Form::Set_Status(const std::string& text) {
  if (nothing_checked_shown_) return;
  Show_Status_Text(Display_Text(text));
}

void Main_Form::Show_Status_Text(const QString& whole) {
  Show_Status(Fitted_Status(whole, Progress_Label->fontMetrics(), Progress_Label->contentsRect().width()), whole);
}

void Main_Form::Show_Failure(const std::string& path, const std::string& reason) {
  if (nothing_checked_shown_) return;
  const QString shown_path = Display_Text(path);
  const QString shown_reason = Display_Text(reason);
  Show_Status(Fitted_Failure(shown_path, shown_reason, Progress_Label->fontMetrics(),
                             Progress_Label->contentsRect().width()),
              shown_path + QStringLiteral(": ") + shown_reason);
}

// The line shows what fits; the whole text stays readable to assistive
// technology.
void Main_Form::Show_Status(const QString& shown, const QString& whole) {
  Progress_Label->setFont(QFont());
  Progress_Label->setText(shown);
  Progress_Label->setToolTip(whole);
  Progress_Label->setAccessibleDescription(whole);
  Show_Error_Text(Progress_Label, false);
}

void Main_Form::Show_Count(const std::string& text) {
  const QString shown = Display_Text(text);
  Count_Val->setText(shown);
  Count_Val->setAccessibleName(tr("File count: %1").arg(shown));
}

QString Main_Form::Count_Tooltip() const { return tr("Number of files copied"); }

// The window's title carries the figures, so that they show also in the
// task bar while the window is hidden behind others.
void Main_Form::Show_Live_Figures() {
  const Run_Record& record = Record();
  live_.Sample(record, std::chrono::steady_clock::now());
  const QString figures = live_.Text(record);
  setWindowTitle(tr("Palvimo — %1").arg(figures));
  Count_Label->setToolTip(figures);
}

std::string Main_Form::Read_Extension() { return Ext_Text->text().toStdString(); }

std::string Main_Form::Read_Delay() { return Delay_Text->text().toStdString(); }

void Main_Form::Set_Button_Caption(const std::string& caption) { Start_Button->setText(Display_Text(caption)); }

void Main_Form::Set_Locked(Input input, bool locked) {
  QWidget* control = nullptr;
  switch (input) {
    case Input::Delay_Text: control = Delay_Text; break;
    case Input::Ext_Text: control = Ext_Text; break;
    case Input::Result_File: control = Result_File; break;
    case Input::Result_Dir: control = Result_Dir; break;
    case Input::Result_Drive: control = Result_Drive; break;
    case Input::Recurse_Check: control = Recurse_Check; break;
  }
  control->setEnabled(!locked);
}

// Called for every probe: it changes the count's look only when a run
// begins and once failures come, and leaves the report to its own pace. The
// count turns to the error colour for a fault of the drive's; files that
// could not be checked only warn.
void Main_Form::Show_Record(const Run_Record& record) {
  const std::uint64_t faults = record.Failed_Of(Failure_Class::Drive_Fault);
  if (record.Probes() == 0) {
    Show_Text_Tone(Count_Val, Text_Tone::Plain);
    Count_Val->setToolTip(Count_Tooltip());
  } else if (faults > 0) {
    Show_Text_Tone(Count_Val, Text_Tone::Error);
    Count_Val->setToolTip(
        (faults == 1 ? tr("%1: %2 drive fault in %3 probes that checked a file")
                     : tr("%1: %2 drive faults in %3 probes that checked a file"))
            .arg(Count_Tooltip(), Display_Text(Format_Count(faults)), Display_Text(Format_Count(record.Checked()))));
  } else if (record.Files_Not_Checked() > 0) {
    Show_Text_Tone(Count_Val, Text_Tone::Warning);
    Count_Val->setToolTip((record.Files_Not_Checked() == 1 ? tr("%1: no drive faults; %2 file could not be checked")
                                                           : tr("%1: no drive faults; %2 files could not be checked"))
                              .arg(Count_Tooltip(), Display_Text(Format_Count(record.Files_Not_Checked()))));
  }
  if (record.Running() && !live_timer_->isActive()) {
    Show_Live_Figures();
    live_timer_->start();
  }
  Show_Nothing_Checked(record);
  report_->Record_Changed();
}

// While a run has checked no file in its first few probes and after, the
// status line says why in place of the files it goes on trying.
void Main_Form::Show_Nothing_Checked(const Run_Record& record) {
  std::optional<std::string> why;
  if (record.Running() && record.Probes() >= Probes_Before_Nothing_Checked) why = Nothing_Checked_Reason(record);
  nothing_checked_shown_ = false;
  if (!why) return;
  Set_Status(*why);
  Show_Text_Tone(Progress_Label, Text_Tone::Warning);
  nothing_checked_shown_ = true;
}

// The verdict stays on the status line until the next run: in the error
// colour for faults of the drive's or a run that could not go on, as a
// warning for files not checked. The report opens by itself on the drive's
// faults, unless the program is ending.
void Main_Form::Show_Verdict(const Run_Record& record) {
  nothing_checked_shown_ = false;
  const bool faults = record.Failed_Of(Failure_Class::Drive_Fault) > 0;
  // The line shows the verdict's first sentence and the hint; a sentence
  // too long (a path in it) is shortened before the hint.
  const QString verdict = Display_Text(Verdict_Text(record));
  const QString hint = record.Failed() > 0 ? tr(" Ctrl+R shows them.") : QString();
  Show_Head_And_Tail(First_Sentence(verdict), hint, verdict + hint);
  live_timer_->stop();
  Show_Live_Figures();
  Show_Text_Tone(Progress_Label, faults || !record.Ended_Because().empty() ? Text_Tone::Error
                                 : record.Failed() > 0                     ? Text_Tone::Warning
                                                                           : Text_Tone::Plain);
  report_->Refresh();
  if (faults && !ended_) report_->Open(false);
}

void Main_Form::Show_Head_And_Tail(const QString& head, const QString& tail, const QString& whole) {
  Show_Status(QString(), whole);
  const int width = Progress_Label->contentsRect().width();
  const QFont fitting = Font_To_Fit(head + tail, Progress_Label->font(), width);
  const QFontMetrics metrics(fitting);
  Progress_Label->setFont(fitting);
  Progress_Label->setText(metrics.horizontalAdvance(head + tail) <= width
                              ? head + tail
                              : Fitted_Status(head, metrics, width - metrics.horizontalAdvance(tail)) + tail);
}

void Main_Form::Run_Pending_Events() { Run_Events(QEventLoop::AllEvents); }

void Main_Form::Wait_For_Events(std::chrono::milliseconds longest) {
  // When nothing is waiting, the timer ends the wait at the latest.
  QTimer wake;
  wake.setSingleShot(true);
  wake.start(longest);
  Run_Events(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void Main_Form::Run_Events(QEventLoop::ProcessEventsFlags flags) {
  input_hold_->Deliver_Held([this] { return ended_; });
  Notice_Ending();
  if (!ended_) QCoreApplication::processEvents(flags);
  Notice_Ending();
  if (ended_) throw Program_End{};
}

bool Main_Form::Keep_Alive() {
  Notice_Ending();
  if (!ended_) input_hold_->Process_Holding();
  Notice_Ending();
  return !ended_;
}

// What ends the program from outside the window's events: an end signal, or
// a lost display, before Qt gets to see it and exits at once.
void Main_Form::Notice_Ending() {
  if (!ended_ && (end_signals_.Received() || Display_Lost())) End_Program();
}

// During a probe only Exit_Button's access key and a click of Exit_Button go
// on at once: its press on it with the left button, then, the button being
// down, the release that may click it. A press comes first to the window,
// which would pass it on to the control under the pointer.
bool Main_Form::Ends_Program(QObject* receiver, QEvent* event) const {
  switch (event->type()) {
    case QEvent::Shortcut:
      return receiver == Exit_Button;
    case QEvent::MouseButtonPress: {
      const auto& press = static_cast<const QMouseEvent&>(*event);
      const QObject* target =
          receiver == static_cast<QObject*>(windowHandle()) ? childAt(mapFromGlobal(press.globalPosition().toPoint())) : receiver;
      return target == Exit_Button && press.button() == Qt::LeftButton;
    }
    case QEvent::MouseButtonRelease:
      return Exit_Button->isDown();
    default:
      return false;
  }
}

void Main_Form::End_Program() {
  ended_ = true;
  QCoreApplication::exit(0);
}

bool Main_Form::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && Is_Open_Key(*static_cast<QKeyEvent*>(event))) Key_Typed();
  if (event->type() == QEvent::FocusIn) Focus_Entered(watched, static_cast<QFocusEvent*>(event)->reason());
  if (event->type() == QEvent::Shortcut) {
    // A button's access key clicks it at once, as the mouse does, rather
    // than by a timer that would wait for the next event run.
    if ((watched == Start_Button || watched == Exit_Button) &&
        !static_cast<QShortcutEvent*>(event)->isAmbiguous()) {
      static_cast<QPushButton*>(watched)->click();
      return true;
    }
    const auto captions = Access_Key_Captions();
    const auto caption = std::find(captions.begin(), captions.end(), watched);
    if (caption != captions.end()) {
      // The focus goes to the next control in tab order that can take it,
      // for the frame also when the focus is already inside it.
      Focus_After(*caption);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void Main_Form::Focus_After(QWidget* caption) {
  for (QWidget* next = caption->nextInFocusChain(); next != caption; next = next->nextInFocusChain()) {
    if (next->isEnabled() && next->isVisible() && (next->focusPolicy() & Qt::TabFocus) == Qt::TabFocus) {
      next->setFocus(Qt::ShortcutFocusReason);
      return;
    }
  }
}

void Main_Form::closeEvent(QCloseEvent* event) {
  End_Program();
  if (scrub_) scrub_->Stop();
  // A run under way still works on the window: it unwinds at its next event
  // run, and the Start click that began it then closes the window.
  if (start_clicks_under_way_ > 0)
    event->ignore();
  else
    QWidget::closeEvent(event);
}

void Main_Form::Start_Clicked() {
  if (ended_) return;
  // During a scrub the button is its Stop: a run and a scrub reading the
  // same drive at once would each measure the other.
  if (scrub_) {
    scrub_->Stop();
    return;
  }
  ++start_clicks_under_way_;
  scrub_action_->setEnabled(false);
  try {
    run_control_.Start_Click();
  } catch (const Program_End&) {
    // The program was ended during this run; the walk has unwound, every
    // probe copy deleted, and the event loop has been told to return.
  }
  --start_clicks_under_way_;
  if (start_clicks_under_way_ == 0) scrub_action_->setEnabled(true);
  if (ended_ && start_clicks_under_way_ == 0) close();
}

// The scrub reads the tree the navigator shows, through the navigator's file
// system, always whole: Recurse_Check is for runs. Its thread is let go
// rather than waited for (Scrub_Session), so the window answers throughout,
// also while a stalled drive holds a read.
void Main_Form::Scrub_Clicked() {
  const std::string root = Result_Dir->Path();
  if (ended_ || scrub_ || start_clicks_under_way_ > 0 || state_.Is_Running || root.empty()) return;
  scrub_ = std::make_unique<Scrub_Session>(navigator_files_, Default_Catalogue_Folder(), root,
                                           Scrub::Settings{false, std::chrono::hours(24)});
  scrub_action_->setEnabled(false);
  Set_Button_Caption("S&top");
  failure_shown_until_ = {};
  Show_Status_Text(tr("Listing the files of %1").arg(Display_Text(root)));
  scrub_timer_->start();
}

void Main_Form::Show_Scrub_News() {
  if (!scrub_) return;
  const Scrub_Session::News news = scrub_->Take_News();
  const auto now = std::chrono::steady_clock::now();
  for (const Failure_Entry& failure : news.failures) {
    Show_Failure(failure.path, failure.reason);
    Show_Text_Tone(Progress_Label,
                   Class_Of(failure.kind) == Failure_Class::Drive_Fault ? Text_Tone::Error : Text_Tone::Warning);
    failure_shown_until_ = now + Scrub_Failure_Shown;
  }
  if (news.result) {
    Show_Scrub_End(news);
    return;
  }
  // Nothing to show before the listing gives the totals.
  const bool listed = news.progress.elapsed.count() > 0;
  if (listed && now >= failure_shown_until_) Set_Status(Scrub_Progress_Text(news.progress, news.drive_faults));
}

// The summary stays on the status line, all of it in the tooltip with the
// first failures found: in the error colour when the drive showed faults or
// the folder could not be read, as a warning when files could not be
// checked or the catalogue not kept. The line always shows the verdict
// whole, the reading before it as much of it as fits.
void Main_Form::Show_Scrub_End(const Scrub_Session::News& news) {
  scrub_timer_->stop();
  scrub_.reset();
  Set_Button_Caption("&Start");
  scrub_action_->setEnabled(!ended_);
  const Scrub_Result& result = *news.result;
  if (!result.cannot_check.empty()) {
    Show_Status_Text(Display_Text(result.cannot_check));
    Show_Text_Tone(Progress_Label, Text_Tone::Error);
    return;
  }
  const QString summary = Display_Text(Scrub_Summary_Text(result));
  QString verdict = Display_Text(Scrub_Verdict_Text(result));
  const QString reading = summary.left(summary.size() - verdict.size()).trimmed();
  QString whole = summary;
  if (news.catalogue_problem) {
    verdict += QLatin1Char(' ') + tr("The catalogue is not kept.");
    whole += QLatin1Char(' ') + tr("The catalogue is not kept: %1").arg(Display_Text(*news.catalogue_problem));
  }
  // The failures are said one a line below, the first few: the window
  // keeps no report of a scrub.
  const std::size_t listed = std::min(result.failures.size(), Scrub_Failures_Listed);
  for (std::size_t index = 0; index < listed; ++index)
    whole += QLatin1Char('\n') + Display_Text(result.failures[index].path) + QStringLiteral(": ") +
             Display_Text(result.failures[index].reason);
  const std::uint64_t failed = result.tally.drive_faults + result.tally.not_checked;
  if (failed > listed) whole += QLatin1Char('\n') + tr("and %1 more").arg(Display_Text(Format_Count(failed - listed)));
  Show_Head_And_Tail(reading, QLatin1Char(' ') + verdict, whole);
  Show_Text_Tone(Progress_Label, result.tally.drive_faults > 0                                  ? Text_Tone::Error
                                 : result.tally.not_checked > 0 || news.catalogue_problem ? Text_Tone::Warning
                                                                                          : Text_Tone::Plain);
}

void Main_Form::Drive_Changed(const std::string& previous) {
  const std::string drive = Result_Drive->Drive();
  Result_Dir->Set_Path(drive, [this, drive, previous](const Check_Error& error) {
    // A drive that cannot be read leaves the list, so that the arrow keys and
    // the wheel go past it; the previous drive and folder stay.
    Result_Drive->Refuse(drive, previous);
    Show_Status_Text(tr("Cannot open the drive: %1 (%2)").arg(Display_Text(error.Path()), Display_Text(error.Reason())));
    // At start-up no folder has been shown yet: the next drive is tried.
    if (Result_Dir->Path().empty() && Result_Drive->Entry_Count() > 0)
      Result_Drive->Set_Drive(Result_Drive->Entry(0));
  });
}

// The folder shown stays while it can still be listed: unmounting a drive
// inside it, or the one it was on, may leave it in place.
void Main_Form::Drive_Gone() {
  Result_Dir->Reopen([this](const Check_Error&) { Open_Drive_Root(); });
}

void Main_Form::Open_Drive_Root() { Result_Dir->Set_Path(Result_Drive->Drive()); }

void Main_Form::Focus_Moved(QWidget* now) {
  for (QWidget* list : Navigator_Lists())
    if (now == list) state_.Focused_List = list->objectName().toStdString();
}

// Entering a text box from another control selects its text from the start,
// so that typing replaces it; coming back to the window, or out of a popup,
// leaves the text as the user left it.
void Main_Form::Focus_Entered(QObject* control, Qt::FocusReason reason) {
  if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return;
  for (QLineEdit* box : {Ext_Text, Delay_Text})
    if (control == box) box->setSelection(0, 255);
}

// A delay that does not read as a number gives no pause: the text shows it.
void Main_Form::Show_Delay_Validity() {
  Show_Error_Text(Delay_Text, !Parse_Delay(Delay_Text->text().toStdString()).has_value());
}

void Main_Form::Key_Typed() {
  const QString list = QString::fromStdString(state_.Focused_List).toUpper();
  if (list == QLatin1String("RESULT_DIR")) {
    Result_Dir->Open_Entry(Result_Dir->Highlighted_Index());
  } else if (list == QLatin1String("RESULT_DRIVE")) {
    Result_Drive->Set_Drive(Result_Drive->Entry(Result_Drive->Highlighted_Index()));
    Open_Drive_Root();
  }
}

}  // namespace palvimo
