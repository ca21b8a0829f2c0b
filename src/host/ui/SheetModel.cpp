#include "host/ui/SheetModel.h"

#include "host/core/Cell.h"
#include "host/core/Worksheet.h"
#include "host/ui/BlockReference.h"

#include <algorithm>

namespace host::ui {

SheetModel::SheetModel(host::Worksheet& sheet, QObject* parent)
    : QAbstractTableModel(parent), sheet_(&sheet) {
  ReadHiddenRows();
}

void SheetModel::Reload() {
  beginResetModel();
  ReadHiddenRows();
  endResetModel();
}

void SheetModel::ReadHiddenRows() {
  hidden_.clear();
  shift_.clear();
  for (int row = 1; row <= kSheetRows; ++row)
    if (sheet_->RowHidden(row)) hidden_.push_back(row);
  shift_.reserve(hidden_.size());
  for (std::size_t k = 0; k < hidden_.size(); ++k)
    shift_.push_back(hidden_[k] - static_cast<int>(k));
}

int SheetModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kSheetRows - static_cast<int>(hidden_.size());
}

int SheetModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kSheetColumns;
}

int SheetModel::SheetRow(int gridRow) const {
  // Hidden row k lies before the wanted row exactly when the shown rows before
  // it (hidden_[k] - k - 1) are fewer than gridRow + 1.
  const auto before = std::upper_bound(shift_.begin(), shift_.end(), gridRow + 1) - shift_.begin();
  return gridRow + 1 + static_cast<int>(before);
}

int SheetModel::GridRow(int sheetRow) const {
  const auto before = std::lower_bound(hidden_.begin(), hidden_.end(), sheetRow) - hidden_.begin();
  const int gridRow = sheetRow - 1 - static_cast<int>(before);
  return gridRow < rowCount() ? gridRow : -1;
}

QVariant SheetModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role != Qt::DisplayRole && role != Qt::TextAlignmentRole && role != kIsNumberRole) return {};
  try {
    const host::Cell cell = sheet_->Cells(SheetRow(index.row()), index.column() + 1);
    if (role == Qt::DisplayRole) return QString::fromStdString(cell.Text());
    if (role == kIsNumberRole) return cell.Kind() == host::CellKind::Number;
    switch (cell.Kind()) {
      case host::CellKind::Number:
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      case host::CellKind::Boolean:
      case host::CellKind::Error:
        return QVariant::fromValue(Qt::AlignHCenter | Qt::AlignVCenter);
      default:
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
  } catch (...) {
    // A cell the engine cannot show stays blank rather than breaking the grid.
    return {};
  }
}

QVariant SheetModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignCenter);
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) return ColumnLetters(section + 1);
  return QString::number(SheetRow(section));
}

}  // namespace host::ui
