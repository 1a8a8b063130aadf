#include "window/failure_model.h"

#include "engine/run_report.h"
#include "window/display_text.h"

namespace palvimo {

Failure_Model::Failure_Model(QObject* parent) : QAbstractTableModel(parent) {}

void Failure_Model::Follow(const std::vector<Failure_Entry>& failures) {
  if (failures.size() <= rows_.size()) return;
  beginInsertRows({}, static_cast<int>(rows_.size()), static_cast<int>(failures.size()) - 1);
  for (std::size_t at = rows_.size(); at < failures.size(); ++at) {
    const Failure_Entry& failure = failures[at];
    rows_.push_back({Display_Text(Format_Utc(failure.time)), Display_Text(failure.path),
                     Display_Text(Step_Name(failure.kind)), Display_Text(failure.reason)});
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
  if (role == Sort_Role && index.column() == Time) return index.row();
  // A long path or reason is cut by its column; the tooltip has it whole.
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Sort_Role) return {};
  switch (index.column()) {
    case Time: return row.time;
    case File: return row.file;
    case Step: return row.step;
    case Reason: return row.reason;
    default: return {};
  }
}

QVariant Failure_Model::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
  switch (section) {
    case Time: return QStringLiteral("Time");
    case File: return QStringLiteral("File");
    case Step: return QStringLiteral("Step");
    case Reason: return QStringLiteral("Reason");
    default: return {};
  }
}

}  // namespace palvimo
