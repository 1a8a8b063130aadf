#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <vector>

#include "engine/run_record.h"

namespace palvimo {

// The failures of a run as a table: time, file, step and reason. It keeps
// its own copy of each row, so that the table never reads the record while
// the run changes it.
class Failure_Model : public QAbstractTableModel {
 public:
  enum Column { Time, File, Step, Reason, Column_Count };
  // The role to sort by: the time column sorts in the order the failures
  // happened, the others by their text.
  static constexpr int Sort_Role = Qt::UserRole;

  explicit Failure_Model(QObject* parent = nullptr);

  // Adds the failures beyond those shown. `failures` must begin with the
  // rows already shown: a new run's list comes after Clear().
  void Follow(const std::vector<Failure_Entry>& failures);
  void Clear();

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  struct Row {
    QString time;
    QString file;
    QString step;
    QString reason;
  };
  std::vector<Row> rows_;
};

}  // namespace palvimo
