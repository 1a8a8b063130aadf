#include "window/past_runs_view.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <set>

#include "engine/record_journal.h"
#include "engine/run_report.h"
#include "window/display_text.h"
#include "window/off_thread.h"
#include "window/run_trend_plot.h"

namespace palvimo {

namespace {

QString Speed_Text(double bytes_per_second) {
  return bytes_per_second > 0 ? Display_Text(Format_Speed(bytes_per_second)) : QStringLiteral("–");
}

QList<QStandardItem*> Row_Of(const Past_Run& run) {
  using namespace std::chrono;
  const QString result = run.unfinished ? QCoreApplication::translate("Past_Runs_View", "cut short") : Display_Text(run.verdict);
  const QStringList texts = {
      Display_Text(Format_Utc(run.start)),
      Display_Text(run.drive),
      Display_Text(run.folder),
      run.seconds ? Display_Text(Format_Duration(duration_cast<steady_clock::duration>(duration<double>(*run.seconds))))
                  : QStringLiteral("–"),
      Display_Text(Format_Count(run.probes)),
      Display_Text(Format_Count(run.drive_faults)),
      Display_Text(Format_Count(run.not_checked)),
      Speed_Text(run.read_speed),
      Speed_Text(run.write_speed),
      Speed_Text(run.read_back_speed),
      result};
  QList<QStandardItem*> items;
  for (const QString& text : texts) {
    auto* item = new QStandardItem(text);
    item->setEditable(false);
    item->setToolTip(text);
    items.append(item);
  }
  for (const int column : {Past_Runs_View::Probes, Past_Runs_View::Faults, Past_Runs_View::Not_Checked,
                           Past_Runs_View::Read, Past_Runs_View::Write, Past_Runs_View::Read_Back})
    items[column]->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  if (!run.verdict_text.empty()) items[Past_Runs_View::Result]->setToolTip(Display_Text(run.verdict_text));
  return items;
}

}  // namespace

Past_Runs_View::Past_Runs_View(std::string folder, QWidget* parent)
    : QWidget(parent),
      folder_(std::move(folder)),
      drive_choice_(new QComboBox(this)),
      table_(new QTableView(this)),
      rows_(new QStandardItemModel(0, Columns, this)),
      plot_(new Run_Trend_Plot(this)),
      note_(new QLabel(this)) {
  setObjectName(QStringLiteral("Past_Runs_View"));
  setWindowTitle(tr("Palvimo past runs"));
  drive_choice_->setObjectName(QStringLiteral("Drive_Choice"));
  table_->setObjectName(QStringLiteral("Past_Runs_Table"));
  plot_->setObjectName(QStringLiteral("Run_Trend_Plot"));
  note_->setObjectName(QStringLiteral("Past_Runs_Note"));
  note_->setTextFormat(Qt::PlainText);
  note_->setWordWrap(true);

  rows_->setHorizontalHeaderLabels({tr("Date"), tr("Drive"), tr("Folder"),
                                    tr("Duration"), tr("Probes"),
                                    tr("Drive faults"), tr("Not checked"),
                                    tr("Read"), tr("Write"), tr("Read back"),
                                    tr("Result")});
  table_->setModel(rows_);
  table_->setAccessibleName(tr("Past runs"));
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setTabKeyNavigation(false);
  table_->setWordWrap(false);
  table_->setTextElideMode(Qt::ElideMiddle);
  table_->setAlternatingRowColors(true);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  drive_choice_->setAccessibleName(tr("Drive"));

  auto* drive_caption = new QLabel(tr("&Drive:"), this);
  drive_caption->setBuddy(drive_choice_);
  auto* choice_row = new QHBoxLayout;
  choice_row->addWidget(drive_caption);
  choice_row->addWidget(drive_choice_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(choice_row);
  layout->addWidget(table_, 3);
  layout->addWidget(new QLabel(tr("Average speed of each run of the drive:"), this));
  layout->addWidget(plot_, 2);
  layout->addWidget(note_);

  connect(drive_choice_, &QComboBox::currentIndexChanged, this, &Past_Runs_View::Show_Drive);
  // A double click or Enter opens the run.
  connect(table_, &QAbstractItemView::activated, this, [this](const QModelIndex& index) { Open_Row(index.row()); });
}

void Past_Runs_View::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Refresh();
}

void Past_Runs_View::Refresh() {
  if (reading_) return;
  reading_ = true;
  note_->setText(tr("Reading the runs kept…"));
  Run_Off_Thread<Run_History>(
      this, [folder = folder_] { return Read_Run_History(folder); },
      [this](Run_History history) { Take(std::move(history)); });
}

void Past_Runs_View::Take(Run_History history) {
  reading_ = false;
  runs_ = std::move(history.runs);
  const QString chosen = drive_choice_->currentData().toString();
  {
    const QSignalBlocker quiet(drive_choice_);
    drive_choice_->clear();
    drive_choice_->addItem(tr("All drives"), QString());
    std::set<std::string> listed;
    for (const Past_Run& run : runs_) {
      if (run.drive_key.empty() || !listed.insert(run.drive_key).second) continue;
      drive_choice_->addItem(Display_Text(run.drive.empty() ? run.drive_key : run.drive),
                             QString::fromStdString(run.drive_key));
    }
    drive_choice_->setCurrentIndex(std::max(0, drive_choice_->findData(chosen)));
  }
  std::size_t noted = 0;
  for (const Past_Run& run : runs_) noted += run.notes.empty() ? 0 : 1;
  if (history.problem) {
    note_->setText(Display_Text(*history.problem));
  } else if (runs_.empty()) {
    note_->setText(tr("No run has been kept yet."));
  } else if (noted > 0) {
    note_->setText(QStringLiteral("%1 of the records have lines that could not be read; open one to see which.")
                       .arg(noted));
  } else {
    note_->clear();
  }
  Show_Drive();
  emit Listed();
}

void Past_Runs_View::Show_Drive() {
  const std::string key = drive_choice_->currentData().toString().toStdString();
  shown_ = key.empty() ? runs_ : Runs_Of_Drive(runs_, key);
  rows_->removeRows(0, rows_->rowCount());
  for (const Past_Run& run : shown_) rows_->appendRow(Row_Of(run));
  // All drives together would plot no one drive's speed: the newest run's
  // drive stands for them.
  const std::string plotted = !key.empty() || shown_.empty() ? key : shown_.front().drive_key;
  plot_->Set_Runs(plotted.empty() ? shown_ : Runs_Of_Drive(shown_, plotted));
}

void Past_Runs_View::Open_Row(int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= shown_.size()) return;
  const Past_Run run = shown_[static_cast<std::size_t>(row)];
  auto* dialog = new QDialog(this);
  dialog->setObjectName(QStringLiteral("Past_Run_Report"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(tr("Palvimo run of %1").arg(Display_Text(Format_Utc(run.start))));
  auto* text = new QPlainTextEdit(dialog);
  text->setObjectName(QStringLiteral("Past_Run_Text"));
  text->setReadOnly(true);
  text->setAccessibleName(tr("Record"));
  text->setPlainText(tr("Reading the record…"));
  (new QVBoxLayout(dialog))->addWidget(text);
  dialog->resize(640, 420);
  dialog->show();
  Run_Off_Thread<std::vector<std::string>>(
      text, [path = run.file] { return Record_Text_Lines(Read_Record_Lines(path)); },
      [text](std::vector<std::string> lines) {
        QStringList shown;
        for (const std::string& line : lines) shown.append(Display_Text(line));
        text->setPlainText(shown.join(QLatin1Char('\n')));
      });
}

void Open_Past_Runs(QWidget* owner) {
  auto* view = owner->findChild<Past_Runs_View*>(QString(), Qt::FindDirectChildrenOnly);
  if (view == nullptr) {
    view = new Past_Runs_View(Default_Record_Folder(), owner);
    view->setWindowFlag(Qt::Window);
    view->resize(880, 520);
  }
  if (view->isVisible()) view->Refresh();
  view->show();
  view->raise();
  view->activateWindow();
}

}  // namespace palvimo
