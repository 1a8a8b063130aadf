#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <vector>

#include "engine/run_record.h"

namespace palvimo {

// The failures of a run as a table, a row for each file and kind however
// often it failed: the file, whether the drive is at fault or the file was
// not checked, the reason, how many times, and the first and last time. It
// keeps its own copy of each row, so that the table never reads the record
// while the run changes it.
class Failure_Model : public QAbstractTableModel {
 public:
  enum Column { File, Outcome, Reason, Times, First, Last, Column_Count };
  // The role to sort by: the times sort as they happened and the count by
  // its number, the others by their text.
  static constexpr int Sort_Role = Qt::UserRole;

  explicit Failure_Model(QObject* parent = nullptr);

  // Shows the groups as they are now. `groups` must begin with the rows
  // already shown, each perhaps grown since: a new run's list comes after
  // Clear().
  void Follow(const std::vector<Failure_Group>& groups);
  void Clear();

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  struct Row {
    QString file;
    QString outcome;
    QString reason;
    std::uint64_t count = 0;
    QString last;
    qint64 last_ms = 0;  // since the epoch, to sort by
    QString first;
  };
  static void Set_Times(Row& row, const Failure_Group& group);

  std::vector<Row> rows_;
};

}  // namespace palvimo
