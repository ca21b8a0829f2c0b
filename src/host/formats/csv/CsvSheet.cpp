#include "host/formats/csv/CsvSheet.h"

#include <algorithm>

namespace host::csv {

bool CsvSheet::UsedArea(CellArea& area) const {
  if (document_->UsedRowCount() == 0) return false;
  area = CellArea{1, 1, document_->UsedRowCount(), document_->UsedColumnCount()};
  return true;
}

CellArea CsvSheet::Grid() const {
  return CellArea{1, 1, std::max(kMaxRows, document_->RowCount()), kMaxColumns};
}

StoredValue CsvSheet::Value(int row, int column) const {
  if (row > document_->RowCount()) return {};
  return document_->Value(row, column);
}

std::optional<std::string> CsvSheet::StoredText(int row, int column) const {
  if (row > document_->RowCount()) return std::string();
  return document_->Text(row, column);
}

void CsvSheet::SetRowHidden(int, bool hidden) {
  if (hidden) document_->RefuseHiddenRows();
}

}  // namespace host::csv
