#pragma once
// The one sheet of a CSV file, over the document its workbook holds: what
// the core reads of it and the moves it applies. Hidden rows are refused (a
// CSV file cannot keep them); rows run past 1,048,576 as far as the file does.

#include "host/core/SheetStore.h"
#include "host/formats/csv/CsvDocument.h"

namespace host::csv {

class CsvSheet : public SheetStore {
 public:
  explicit CsvSheet(CsvDocument& document) : document_(&document) {}

  bool UsedArea(CellArea& area) const override;
  StoredValue Value(int row, int column) const override;
  std::string_view FormatCode(int, int) const override { return "General"; }
  std::string Formula(int, int) const override { return {}; }
  // The field as written: "007" shows as "007".
  std::optional<std::string> StoredText(int row, int column) const override;
  bool RowHidden(int) const override { return false; }
  void SetRowHidden(int, bool hidden) override;
  bool HoldsFormulas() const override { return false; }
  // A CSV file has no grid: its sheet is as long as the file, and never
  // shorter than XFD1048576's.
  CellArea Grid() const override;
  void ReadSortKeys(int firstRow, int lastRow, int keyColumn, SortKeyList& keys) const override {
    document_->ReadSortKeys(firstRow, lastRow, keyColumn, keys);
  }
  size_t MoveRows(const RowMove& move) override { return document_->MoveRows(move); }

 private:
  CsvDocument* document_;
};

}  // namespace host::csv
