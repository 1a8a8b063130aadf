#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "engine/run_history.h"

class QComboBox;
class QLabel;
class QStandardItemModel;
class QTableView;

namespace palvimo {

class Run_Trend_Plot;

// The runs kept on this machine, newest first, one row each (when, which
// drive and folder, how long, how many probes and faults, the speeds), with
// a choice of drive and a plot of that drive's speed run by run. Opening a
// row shows that run's record as text. The records are read on a thread of
// their own: a stalled home never holds the window up.
class Past_Runs_View : public QWidget {
  Q_OBJECT

 public:
  enum Column { Date, Drive, Folder, Duration, Probes, Faults, Not_Checked, Read, Write, Read_Back, Result, Columns };

  // Lists the records kept in `folder`.
  explicit Past_Runs_View(std::string folder, QWidget* parent = nullptr);

  // Reads the records afresh; the rows follow once they are read.
  void Refresh();
  // The runs listed, newest first, as the drive chosen leaves them.
  const std::vector<Past_Run>& Shown() const { return shown_; }

 signals:
  // The records were read and the rows show them.
  void Listed();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Take(Run_History history);
  void Show_Drive();
  void Open_Row(int row);

  const std::string folder_;
  QComboBox* const drive_choice_;
  QTableView* const table_;
  QStandardItemModel* const rows_;
  Run_Trend_Plot* const plot_;
  QLabel* const note_;
  std::vector<Past_Run> runs_;
  std::vector<Past_Run> shown_;
  bool reading_ = false;
};

// Shows the past runs kept in the default folder in a window of their own,
// owned by `owner`, made the first time and raised after.
void Open_Past_Runs(QWidget* owner);

}  // namespace palvimo
