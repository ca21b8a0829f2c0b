#include "app/ReportListModel.h"

namespace tabulory {

void ReportListModel::AddColumn(const QString& caption) {
  if (hasColumn_) {
    caption_ = caption;
    emit headerDataChanged(Qt::Horizontal, 0, 0);
    return;
  }
  beginInsertColumns({}, 0, 0);
  caption_ = caption;
  hasColumn_ = true;
  endInsertColumns();
}

void ReportListModel::Append(const QString& text) { Append(QStringList{text}); }

void ReportListModel::Append(const QStringList& texts) {
  if (texts.isEmpty()) return;
  const int first = Count();
  beginInsertRows({}, first, first + static_cast<int>(texts.size()) - 1);
  rows_.append(texts);
  endInsertRows();
}

bool ReportListModel::Remove(int row, int count) {
  if (row < 0 || count < 1 || row + count > Count()) return false;
  beginRemoveRows({}, row, row + count - 1);
  rows_.remove(row, count);
  endRemoveRows();
  return true;
}

void ReportListModel::Clear() {
  if (rows_.isEmpty()) return;
  beginResetModel();
  rows_.clear();
  endResetModel();
}

bool ReportListModel::Move(int from, int to) {
  if (from < 0 || from >= Count() || to < 0 || to >= Count()) return false;
  if (from == to) return true;
  // Qt names the destination as the row before which the moved row lands.
  const int destination = to > from ? to + 1 : to;
  beginMoveRows({}, from, from, {}, destination);
  rows_.move(from, to);
  endMoveRows();
  return true;
}

int ReportListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Count();
}

int ReportListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() || !hasColumn_ ? 0 : 1;
}

QVariant ReportListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= Count() || index.column() != 0) return {};
  if (role == Qt::DisplayRole || role == Qt::EditRole) return rows_.at(index.row());
  return {};
}

QVariant ReportListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && section == 0 && hasColumn_ && role == Qt::DisplayRole)
    return caption_;
  return QAbstractListModel::headerData(section, orientation, role);
}

}  // namespace tabulory
