#include "window/report_window.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <nlohmann/json.hpp>

#include "engine/drive_text.h"
#include "engine/record_json.h"
#include "engine/run_report.h"
#include "window/display_text.h"
#include "window/error_text.h"
#include "window/failure_model.h"
#include "window/past_runs_view.h"
#include "window/speed_plot.h"

namespace palvimo {

namespace {

// Once a second: the figures still read as live, and the labels, each laid
// out again as its text changes, cost a run of small files a few per cent of
// its probes at four times a second.
constexpr std::chrono::milliseconds Update_Every{1000};

// A selectable label of one line, as each figure's value is. Qt sizes a
// selectable label by laying its text out as a document, twice, whenever
// the text changes, which the figures do every second; one line's size is
// its text's advance and its font's height.
class Line_Label : public QLabel {
 public:
  using QLabel::QLabel;

  QSize sizeHint() const override {
    const QFontMetrics metrics = fontMetrics();
    const int room = 2 * margin();
    return QSize(metrics.horizontalAdvance(text()) + room, metrics.height() + room).grownBy(contentsMargins());
  }
  QSize minimumSizeHint() const override { return sizeHint(); }
};

// A label whose text can be selected and copied; what does not fit its width
// is cut, and its tooltip has it whole.
template <typename Label = QLabel>
Label* Selectable_Label(QWidget* parent, const char* name) {
  auto* label = new Label(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // A long path is cut rather than widen the window.
  label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  return label;
}

}  // namespace

QRect Place_Beside(const QRect& main, QSize wanted, QSize least, const QRect& screen) {
  constexpr int gap = 8;
  const int right_room = screen.right() - main.right() - gap;
  const int left_room = main.left() - screen.left() - gap;
  const int below_room = screen.bottom() - main.bottom() - gap;
  const int above_room = main.top() - screen.top() - gap;
  const int width = std::min(wanted.width(), screen.width());
  const int height = std::min(wanted.height(), screen.height());
  const int top = std::clamp(main.top(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - height));
  const int left = std::clamp(main.left(), screen.left(), std::max(screen.left(), screen.right() + 1 - width));
  struct Side {
    int room;
    bool across;  // beside: the room is a width
  };
  const Side sides[] = {{right_room, true}, {left_room, true}, {below_room, false}, {above_room, false}};
  const auto place = [&](const Side& side, int size) {
    if (side.across) {
      const int x = &side == &sides[0] ? main.right() + 1 + gap : main.left() - gap - size;
      return QRect(x, top, size, height);
    }
    const int y = &side == &sides[2] ? main.bottom() + 1 + gap : main.top() - gap - size;
    return QRect(left, y, width, size);
  };
  for (const Side& side : sides) {
    const int needed = side.across ? width : height;
    if (side.room >= needed) return place(side, needed);
  }
  for (const Side& side : sides) {
    const int least_size = side.across ? least.width() : least.height();
    if (side.room >= least_size) return place(side, side.room);
  }
  const Side& roomiest = *std::max_element(std::begin(sides), std::end(sides),
                                           [](const Side& a, const Side& b) { return a.room < b.room; });
  QRect placed = place(roomiest, roomiest.across ? width : height);
  placed.moveLeft(std::clamp(placed.left(), screen.left(), std::max(screen.left(), screen.right() + 1 - placed.width())));
  placed.moveTop(std::clamp(placed.top(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - placed.height())));
  return placed;
}

namespace {

void Show_Text(QLabel* label, const QString& text) {
  label->setText(text);
  label->setToolTip(text);
  label->setAccessibleDescription(text);
}

}  // namespace

Report_Window::Report_Window(const Run_Record& record, const Record_Journal* journal, QWidget* parent)
    : QDialog(parent),
      record_(record),
      journal_(journal),
      record_folder_(journal ? Default_Record_Folder() : std::string()),
      verdict_(Selectable_Label(this, "Verdict_Label")),
      figures_(new QFormLayout),
      record_place_(Selectable_Label(this, "Record_Label")),
      failures_(new Failure_Model(this)),
      sorted_failures_(new QSortFilterProxyModel(this)),
      failure_table_(new QTableView(this)),
      not_kept_(new QLabel(this)),
      plot_(new Speed_Plot(this)),
      save_result_(Selectable_Label(this, "Save_Result_Label")),
      no_failures_(new QLabel(this)),
      copy_button_(new QPushButton(tr("&Copy"), this)),
      save_button_(new QPushButton(tr("&Save…"), this)),
      update_timer_(new QTimer(this)) {
  setObjectName(QStringLiteral("Report_Window"));
  setWindowTitle(tr("Palvimo report"));
  setModal(false);
  copy_button_->setObjectName(QStringLiteral("Copy_Button"));
  save_button_->setObjectName(QStringLiteral("Save_Button"));
  Lay_Out();
  update_timer_->setInterval(Update_Every);
  connect(update_timer_, &QTimer::timeout, this, [this] {
    if (changed_ || record_.Running())
      Refresh();
    else
      Show_Record_Place();  // the record may have failed to write since
  });
  connect(copy_button_, &QPushButton::clicked, this, &Report_Window::Copy_Clicked);
  connect(save_button_, &QPushButton::clicked, this, &Report_Window::Save_Clicked);
}

void Report_Window::Lay_Out() {
  QFont verdict_font = verdict_->font();
  verdict_font.setBold(true);
  verdict_->setFont(verdict_font);
  verdict_->setWordWrap(true);
  record_place_->setWordWrap(true);
  drive_ = Selectable_Label(this, "Drive_Label");
  drive_->setAccessibleName(tr("Drive"));
  failure_table_->setObjectName(QStringLiteral("Failures_Table"));
  not_kept_->setObjectName(QStringLiteral("Not_Kept_Label"));
  plot_->setObjectName(QStringLiteral("Speed_Plot"));

  sorted_failures_->setSourceModel(failures_);
  sorted_failures_->setSortRole(Failure_Model::Sort_Role);
  failure_table_->setModel(sorted_failures_);
  failure_table_->setAccessibleName(tr("Failures"));
  failure_table_->setSortingEnabled(true);
  failure_table_->sortByColumn(Failure_Model::First, Qt::AscendingOrder);
  failure_table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  failure_table_->setSelectionMode(QAbstractItemView::SingleSelection);
  failure_table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Tab leaves the table for the buttons; the arrow keys move inside it.
  failure_table_->setTabKeyNavigation(false);
  failure_table_->setWordWrap(false);
  failure_table_->setTextElideMode(Qt::ElideMiddle);
  failure_table_->setAlternatingRowColors(true);
  failure_table_->verticalHeader()->hide();
  failure_table_->verticalHeader()->setDefaultSectionSize(failure_table_->fontMetrics().height() + 6);
  QHeaderView* header = failure_table_->horizontalHeader();
  const QFontMetrics metrics = failure_table_->fontMetrics();
  header->resizeSection(Failure_Model::Outcome, metrics.horizontalAdvance(QStringLiteral("not checked  ")) + 12);
  header->resizeSection(Failure_Model::Times, metrics.horizontalAdvance(QStringLiteral("Times  ")) + 12);
  // The reason says what went wrong, and takes the room the others leave;
  // the file, shortened in its middle, keeps its name in view.
  header->setStretchLastSection(false);
  header->setSectionResizeMode(Failure_Model::Reason, QHeaderView::Stretch);
  header->setMinimumSectionSize(metrics.horizontalAdvance(QStringLiteral("Times")) + 12);
  Fit_Columns();
  failure_table_->installEventFilter(this);
  Add_Sort_Keys();

  no_failures_->setObjectName(QStringLiteral("No_Failures_Label"));
  no_failures_->setText(tr("No failures."));
  no_failures_->setVisible(false);
  auto* failures_caption = new QLabel(tr("&Failures:"), this);
  failures_caption->setBuddy(failure_table_);
  auto* plot_caption = new QLabel(tr("Speed of each file checked:"), this);
  not_kept_->setVisible(false);
  for (QPushButton* button : {copy_button_, save_button_}) button->setAutoDefault(false);
  auto* close_button = new QPushButton(tr("Close"), this);
  close_button->setAutoDefault(false);
  connect(close_button, &QPushButton::clicked, this, &QDialog::close);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(save_result_, 1);
  buttons->addWidget(copy_button_);
  buttons->addWidget(save_button_);
  auto* past_runs_button = new QPushButton(tr("&Past runs…"), this);
  past_runs_button->setAutoDefault(false);
  connect(past_runs_button, &QPushButton::clicked, this, [this] { Open_Past_Runs(this); });
  buttons->addWidget(past_runs_button);
  buttons->addWidget(close_button);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(drive_);
  layout->addWidget(verdict_);
  layout->addLayout(figures_);
  layout->addWidget(record_place_);
  layout->addWidget(failures_caption);
  layout->addWidget(failure_table_, 3);
  layout->addWidget(no_failures_);
  layout->addWidget(not_kept_);
  layout->addWidget(plot_caption);
  layout->addWidget(plot_, 2);
  layout->addLayout(buttons);
  resize(900, 620);
}

// Ctrl+1 to Ctrl+6 sort the table by its columns in turn, as a click on the
// header does: a second time by the same column, the other way round. The
// header's context menu lists the same.
// The file and the two times give up room, down to a third of theirs,
// before the reason is left fewer than 30 characters.
void Report_Window::Fit_Columns() {
  QHeaderView* header = failure_table_->horizontalHeader();
  const QFontMetrics metrics = failure_table_->fontMetrics();
  const int file_width = metrics.horizontalAdvance(QString(28, QLatin1Char('n')));
  const int time_width = metrics.horizontalAdvance(QStringLiteral("2026-12-08 03:17:13 UTC  ")) + 12;
  const int reason_least = metrics.horizontalAdvance(QString(30, QLatin1Char('n')));
  const int spare = failure_table_->viewport()->width() - header->sectionSize(Failure_Model::Outcome) -
                    header->sectionSize(Failure_Model::Times) - reason_least;
  const double share = std::clamp(static_cast<double>(spare) / (file_width + 2 * time_width), 1.0 / 3, 1.0);
  header->resizeSection(Failure_Model::File, static_cast<int>(file_width * share));
  header->resizeSection(Failure_Model::First, static_cast<int>(time_width * share));
  header->resizeSection(Failure_Model::Last, static_cast<int>(time_width * share));
}

bool Report_Window::eventFilter(QObject* watched, QEvent* event) {
  if (watched == failure_table_ && event->type() == QEvent::Resize) Fit_Columns();
  return QDialog::eventFilter(watched, event);
}

void Report_Window::Add_Sort_Keys() {
  for (int column = 0; column < Failure_Model::Column_Count; ++column) {
    const QString name = failures_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    auto* action = new QAction(tr("Sort by %1").arg(name), this);
    action->setShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + column)));
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [this, column] { Sort_By(column); });
    addAction(action);
    sort_actions_.push_back(action);
  }
  QHeaderView* header = failure_table_->horizontalHeader();
  header->setContextMenuPolicy(Qt::CustomContextMenu);
  // Popped up rather than run in an event loop of its own, which would hold
  // a run up while it is open.
  connect(header, &QWidget::customContextMenuRequested, this, [this, header](const QPoint& at) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (QAction* action : sort_actions_) menu->addAction(action);
    menu->popup(header->mapToGlobal(at));
  });
}

void Report_Window::Sort_By(int column) {
  const QHeaderView* header = failure_table_->horizontalHeader();
  const Qt::SortOrder order = header->sortIndicatorSection() == column && header->sortIndicatorOrder() == Qt::AscendingOrder
                                  ? Qt::DescendingOrder
                                  : Qt::AscendingOrder;
  failure_table_->sortByColumn(column, order);
}

void Report_Window::Record_Changed() { changed_ = true; }

void Report_Window::Refresh() {
  if (!isVisible()) return;
  changed_ = false;
  // A line shown or hidden lays the whole window out there and then; the
  // layout waits for all of the refresh's changes instead and is done once.
  layout()->setEnabled(false);
  if (record_.Start_Time() != shown_start_) {
    failures_->Clear();
    shown_start_ = record_.Start_Time();
  }
  Show_Text(verdict_, record_.Began() ? Display_Text(Verdict_Text(record_))
                                      : tr("No run yet: choose a folder and press Start."));
  Show_Text_Tone(verdict_, record_.Failed_Of(Failure_Class::Drive_Fault) > 0 || !record_.Ended_Because().empty()
                               ? Text_Tone::Error
                           : record_.Failed() > 0 ? Text_Tone::Warning
                                                  : Text_Tone::Plain);
  Show_Drive();
  Show_Figures();
  Show_Record_Place();
  failures_->Follow(record_.Failure_Groups());
  const std::uint64_t not_kept = record_.Failures_Not_Grouped();
  not_kept_->setVisible(not_kept > 0);
  if (not_kept > 0) {
    not_kept_->setText(tr("And %1 more failures of other files, not kept.").arg(Display_Text(Format_Count(not_kept))));
  }
  // A run without failures says so in a line, rather than leave an empty
  // table where they would be; the plot takes the room.
  const bool none = record_.Began() && record_.Failed() == 0;
  if (none) no_failures_->setText(record_.Running() ? tr("No failures so far.") : tr("No failures."));
  no_failures_->setVisible(none);
  failure_table_->setVisible(!none);
  plot_->Set_Points(record_.Speeds());
  copy_button_->setEnabled(record_.Began());
  save_button_->setEnabled(record_.Began());
  layout()->setEnabled(true);
  layout()->invalidate();
}

// The drive as the run found it, with how its health changed once it ended;
// the line stays hidden for a run that did not look.
void Report_Window::Show_Drive() {
  const auto& drive = record_.Drive();
  const auto& health = record_.Start_Health();
  std::string text;
  if (record_.Began() && drive && health) {
    text = "Drive: " + Drive_Text(*drive, *health);
    if (const auto& change = record_.Health_Changed()) {
      if (const std::string changed = Health_Change_Text(*change); !changed.empty()) text += "; " + changed;
    }
  }
  drive_->setVisible(!text.empty());
  Show_Text(drive_, Display_Text(text));
}

// A row is made or removed only when the figures listed grow or shrink (the
// first failure, the first large file); otherwise its caption and value are
// set, which changes nothing for figures that did not change.
void Report_Window::Show_Figures() {
  std::vector<Report_Figure> figures = record_.Began() ? Report_Figures(record_) : std::vector<Report_Figure>{};
  // The drive has its own line at the top.
  std::erase_if(figures, [](const Report_Figure& figure) { return figure.label == "Drive"; });
  const int rows = static_cast<int>(figures.size());
  while (figures_->rowCount() > rows) figures_->removeRow(figures_->rowCount() - 1);
  while (figures_->rowCount() < rows) {
    QLabel* value = Selectable_Label<Line_Label>(this, "Figure_Value");
    auto* caption = new QLabel(this);
    caption->setBuddy(value);
    figures_->addRow(caption, value);
  }
  const auto label_at = [this](int row, QFormLayout::ItemRole role) {
    return static_cast<QLabel*>(figures_->itemAt(row, role)->widget());
  };
  for (int row = 0; row < rows; ++row) {
    const Report_Figure& figure = figures[static_cast<std::size_t>(row)];
    const QString label = Display_Text(figure.label);
    QLabel* const value = label_at(row, QFormLayout::FieldRole);
    if (value->accessibleName() != label) value->setAccessibleName(label);
    label_at(row, QFormLayout::LabelRole)->setText(label + ":");
    Show_Text(value, Display_Text(figure.value));
  }
}

void Report_Window::Show_Record_Place() {
  QString text;
  bool problem = false;
  if (!journal_) {
    text = tr("Runs are not recorded on disk: there is no home folder to keep them in.");
  } else if (const auto why = journal_->Problem()) {
    text = tr("The record cannot be written on disk: %1").arg(Display_Text(*why));
    problem = true;
  } else if (const std::string path = journal_->Path(); !path.empty()) {
    text = tr("Record on disk: %1").arg(Display_Text(path));
  } else {
    text = tr("Each run is recorded on disk in %1").arg(Display_Text(record_folder_));
  }
  Show_Text(record_place_, text);
  Show_Error_Text(record_place_, problem);
}

void Report_Window::Open(bool activate) {
  if (!isVisible()) {
    if (!placed_) Place_Beside_Parent();
    setAttribute(Qt::WA_ShowWithoutActivating, !activate);
    show();
  }
  raise();
  if (activate) activateWindow();
}

void Report_Window::Place_Beside_Parent() {
  placed_ = true;
  QWidget* main = parentWidget();
  if (!main) return;
  const QRect screen = main->screen()->availableGeometry();
  const QRect frame = main->frameGeometry();
  const QSize wanted = size().expandedTo(minimumSizeHint());
  QRect placed = Place_Beside(frame, wanted, minimumSizeHint(), screen);
  const auto area = [](const QRect& rect) { return qint64{rect.width()} * rect.height(); };
  if (placed.intersects(frame) || area(placed) < area(QRect(QPoint(), wanted))) {
    // A main window in the middle of a screen leaves neither side room
    // enough, and the report squeezed into one is unreadable; moved to the
    // screen's left edge, it leaves the right whole.
    const QRect moved = frame.translated(screen.left() - frame.left(), 0);
    const QRect beside = Place_Beside(moved, wanted, minimumSizeHint(), screen);
    if (!beside.intersects(moved) && (placed.intersects(frame) || area(beside) > area(placed))) {
      main->move(main->pos() + moved.topLeft() - frame.topLeft());
      placed = beside;
    }
  }
  // move() places the frame, as the rectangles above are reckoned.
  resize(placed.size());
  move(placed.topLeft());
}

void Report_Window::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  Refresh();
  update_timer_->start();
}

void Report_Window::hideEvent(QHideEvent* event) {
  update_timer_->stop();
  QDialog::hideEvent(event);
}

void Report_Window::Copy_Clicked() {
  // The report text has its names escaped already, and keeps its lines.
  QGuiApplication::clipboard()->setText(QString::fromStdString(Report_Text(record_)));
  Show_Text(save_result_, tr("The report is on the clipboard."));
  Show_Error_Text(save_result_, false);
}

// The file dialog is opened, not run: a run goes on while the user picks a
// name.
void Report_Window::Save_Clicked() {
  std::string name = "palvimo-report-" + Format_Iso_Utc(record_.Start_Time()) + ".json";
  std::erase(name, ':');
  auto* dialog = new QFileDialog(this, tr("Save the report"), QDir::home().filePath(Display_Text(name)),
                                 tr("JSON (*.json)"));
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setDefaultSuffix(QStringLiteral("json"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) { Save_To(path); });
  dialog->open();
}

bool Report_Window::Save_To(const QString& path) {
  const std::string text = Record_Json(record_).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + '\n';
  QSaveFile file(path);
  const bool saved = file.open(QIODevice::WriteOnly) &&
                     file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size()) &&
                     file.commit();
  Show_Text(save_result_, saved ? tr("Saved as %1.").arg(path) : tr("Cannot save as %1: %2").arg(path, file.errorString()));
  Show_Error_Text(save_result_, !saved);
  return saved;
}

}  // namespace palvimo
