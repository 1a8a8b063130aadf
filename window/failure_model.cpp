#include "window/failure_model.h"

#include <QCoreApplication>
#include <chrono>

#include "engine/run_report.h"
#include "window/display_text.h"

namespace palvimo {

Failure_Model::Failure_Model(QObject* parent) : QAbstractTableModel(parent) {}

void Failure_Model::Set_Times(Row& row, const Failure_Group& group) {
  row.count = group.count;
  row.last = Display_Text(Format_Utc(group.last));
  row.last_ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(group.last.time_since_epoch()).count();
}

void Failure_Model::Follow(const std::vector<Failure_Group>& groups) {
  // A group already shown changes only by failing again.
  int first_changed = -1;
  int last_changed = -1;
  for (std::size_t at = 0; at < rows_.size() && at < groups.size(); ++at) {
    if (rows_[at].count == groups[at].count) continue;
    Set_Times(rows_[at], groups[at]);
    if (first_changed < 0) first_changed = static_cast<int>(at);
    last_changed = static_cast<int>(at);
  }
  if (first_changed >= 0) emit dataChanged(index(first_changed, Times), index(last_changed, Last));
  if (groups.size() <= rows_.size()) return;
  beginInsertRows({}, static_cast<int>(rows_.size()), static_cast<int>(groups.size()) - 1);
  for (std::size_t at = rows_.size(); at < groups.size(); ++at) {
    const Failure_Group& group = groups[at];
    Row row{Display_Text(group.path),
            Class_Of(group.kind) == Failure_Class::Drive_Fault ? QCoreApplication::translate("Failure_Model", "drive fault")
                                                               : QCoreApplication::translate("Failure_Model", "not checked"),
            Display_Text(group.reason), 0, {}, 0, Display_Text(Format_Utc(group.first))};
    Set_Times(row, group);
    rows_.push_back(std::move(row));
  }
  endInsertRows();
}

void Failure_Model::Clear() {
  if (rows_.empty()) return;
  beginResetModel();
  rows_.clear();
  endResetModel();
}

int Failure_Model::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int Failure_Model::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Column_Count; }

QVariant Failure_Model::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const Row& row = rows_[static_cast<std::size_t>(index.row())];
  if (role == Sort_Role) {
    switch (index.column()) {
      // The rows come in the order of their first failures.
      case First: return index.row();
      case Last: return row.last_ms;
      case Times: return static_cast<qulonglong>(row.count);
      default: break;
    }
  }
  if (role == Qt::TextAlignmentRole && index.column() == Times) {
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  }
  // A long path or reason is cut by its column; the tooltip has it whole.
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Sort_Role) return {};
  switch (index.column()) {
    case File: return row.file;
    case Outcome: return row.outcome;
    case Reason: return row.reason;
    case Times: return QString::number(row.count);
    case First: return row.first;
    case Last: return row.last;
    default: return {};
  }
}

QVariant Failure_Model::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
  switch (section) {
    case File: return QCoreApplication::translate("Failure_Model", "File");
    case Outcome: return QCoreApplication::translate("Failure_Model", "Outcome");
    case Reason: return QCoreApplication::translate("Failure_Model", "Reason");
    case Times: return QCoreApplication::translate("Failure_Model", "Times");
    case First: return QCoreApplication::translate("Failure_Model", "First");
    case Last: return QCoreApplication::translate("Failure_Model", "Last");
    default: return {};
  }
}

}  // namespace palvimo
