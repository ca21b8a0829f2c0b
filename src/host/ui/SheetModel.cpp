#include "host/ui/SheetModel.h"

#include "host/Cell.h"
#include "host/Worksheet.h"
#include "host/ui/BlockReference.h"

namespace host::ui {

SheetModel::SheetModel(host::Worksheet& sheet, QObject* parent)
    : QAbstractTableModel(parent), sheet_(&sheet) {}

int SheetModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kRowCount;
}

int SheetModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant SheetModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role != Qt::DisplayRole && role != Qt::TextAlignmentRole) return {};
  try {
    const host::Cell cell = sheet_->Cells(index.row() + 1, index.column() + 1);
    if (role == Qt::DisplayRole) return QString::fromStdString(cell.Text());
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
  return QString::number(section + 1);
}

}  // namespace host::ui
