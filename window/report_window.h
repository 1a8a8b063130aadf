#pragma once

#include <QDialog>
#include <QRect>
#include <QString>
#include <chrono>
#include <string>
#include <vector>

#include "engine/record_journal.h"
#include "engine/run_record.h"

class QAction;
class QFormLayout;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class QTimer;

namespace palvimo {

class Failure_Model;
class Speed_Plot;

// Where a window of `wanted` size goes beside `main` on `screen`: to its
// right, else its left, else below or above it, in the first of these with
// room; shrunk to no less than `least` where none has room for all of it.
// Only a screen too small for both windows side by side or one above the
// other leaves them overlapping, and then the report keeps to the side with
// the most room.
QRect Place_Beside(const QRect& main, QSize wanted, QSize least, const QRect& screen);

// The report of the run under way, or of the last one, in a window of its
// own beside the main one: the verdict, the figures, the failures and the
// speed plot, with the place of the record kept on disk. It only reads the
// record in memory and never holds the run up: it follows the record a few
// times a second while it is shown, and not at all while it is hidden.
class Report_Window : public QDialog {
  Q_OBJECT

 public:
  // Reports on `record`, which outlives the window; `journal`, when there is
  // one, says where the record is kept on disk.
  Report_Window(const Run_Record& record, const Record_Journal* journal, QWidget* parent);

  // The record changed; the window shows it at its next update.
  void Record_Changed();
  // Shows the record as it is now, when the window is shown.
  void Refresh();
  // Shows the window, beside its parent the first time. A window that opens
  // by itself leaves the focus where the user has it.
  void Open(bool activate);
  // Writes the whole record as JSON to `path`; the window says whether it
  // could.
  bool Save_To(const QString& path);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Lay_Out();
  // Sizes the failures' columns to the table's width.
  void Fit_Columns();
  void Show_Drive();
  void Show_Figures();
  void Show_Record_Place();
  void Copy_Clicked();
  void Save_Clicked();
  void Place_Beside_Parent();
  void Add_Sort_Keys();
  // Sorts the failures by `column`; by the column they are sorted by
  // already, the other way round.
  void Sort_By(int column);

  const Run_Record& record_;
  const Record_Journal* const journal_;
  const std::string record_folder_;
  QLabel* const verdict_;
  // The drive behind the folder and its health, above the verdict.
  QLabel* drive_ = nullptr;
  QFormLayout* const figures_;
  QLabel* const record_place_;
  Failure_Model* const failures_;
  QSortFilterProxyModel* const sorted_failures_;
  QTableView* const failure_table_;
  QLabel* const not_kept_;
  Speed_Plot* const plot_;
  QLabel* const save_result_;
  // In the table's place while the run has no failures.
  QLabel* const no_failures_;
  std::vector<QAction*> sort_actions_;
  QPushButton* const copy_button_;
  QPushButton* const save_button_;
  QTimer* const update_timer_;
  // The start of the run shown; a record begun since is a new run.
  std::chrono::system_clock::time_point shown_start_{};
  bool changed_ = true;
  bool placed_ = false;
};

}  // namespace palvimo
