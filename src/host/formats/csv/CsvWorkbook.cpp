#include "host/formats/csv/CsvWorkbook.h"

#include "host/core/HostError.h"
#include "host/core/SortPlan.h"

namespace host::csv {

namespace {

// The one sheet of a CSV file, over the document its workbook holds.
class CsvSheet : public SheetStore {
 public:
  explicit CsvSheet(CsvDocument& document) : document_(&document) {}

  bool UsedArea(CellArea& area) const override {
    if (document_->UsedRowCount() == 0) return false;
    area = CellArea{1, 1, document_->UsedRowCount(), document_->UsedColumnCount()};
    return true;
  }
  StoredValue Value(int row, int column) const override {
    if (row > document_->RowCount()) return {};
    return document_->Value(row, column);
  }
  std::string_view FormatCode(int, int) const override { return "General"; }
  std::string Formula(int, int) const override { return {}; }
  // The field as written: "007" shows as "007".
  std::optional<std::string> StoredText(int row, int column) const override {
    if (row > document_->RowCount()) return std::string();
    return document_->Text(row, column);
  }
  bool RowHidden(int) const override { return false; }
  void SetRowHidden(int, bool hidden) override {
    if (hidden) document_->RefuseHiddenRows();
  }
  size_t RowsHiddenSinceOpen() const override { return 0; }
  bool HoldsFormulas() const override { return false; }
  bool Sort(const CellArea& area, int keyColumn, bool descending) override {
    return document_->SortRows(area, keyColumn, descending);
  }
  size_t RowsMoved() const override { return document_->RowsMoved(); }

 private:
  CsvDocument* document_;
};

}  // namespace

CsvWorkbook::CsvWorkbook(const std::string& path)
    : path_(path), document_(CsvDocument::Open(path)), entries_{SheetEntry{document_.SheetName(), true}} {}

std::unique_ptr<SheetStore> CsvWorkbook::TakeSheet(size_t index) {
  if (index != 0 || taken_) return nullptr;
  taken_ = true;
  return std::make_unique<CsvSheet>(document_);
}

void CsvWorkbook::Save(const std::vector<const SheetStore*>& sheets) {
  (void)sheets;  // the one sheet works on document_ itself
  if (document_.RowsMoved() > 0) document_.Save(path_);
}

std::unique_ptr<WorkbookStore> OpenCsv(const std::string& path) { return std::make_unique<CsvWorkbook>(path); }

}  // namespace host::csv
