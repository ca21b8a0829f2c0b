#pragma once
// A CSV or TSV file as a workbook of the host: one sheet named after the
// file, whose rows can be sorted but not hidden (the format cannot keep
// hidden rows), saved with the records' own bytes in the new order.

#include <memory>
#include <string>
#include <vector>

#include "host/core/MemoryBudget.h"
#include "host/core/WorkbookStore.h"
#include "host/formats/csv/CsvDocument.h"
#include "host/formats/csv/CsvSheet.h"

namespace host::csv {

class CsvWorkbook : public WorkbookStore {
 public:
  // Reads the file at path; HostError naming it when it cannot be read.
  explicit CsvWorkbook(const std::string& path);

  const std::string& Path() const override { return path_; }
  const std::vector<SheetEntry>& Sheets() const override { return entries_; }
  SheetStore* Sheet(size_t index) override;
  size_t ActiveTab() const override { return 0; }
  // Writes the file anew when a sort moved rows; otherwise nothing.
  void Save() override;

 private:
  std::string path_;
  CsvDocument document_;
  std::vector<SheetEntry> entries_;
  CsvSheet sheet_{document_};  // the one sheet, over document_
};

// Opens a CSV (or, by its extension, TSV) file as a workbook.
std::unique_ptr<WorkbookStore> OpenCsv(const std::string& path);
// What opening, sorting and saving the CSV file at path takes: its text and
// the records of its fields, about three times the file's size (twice, measured, and a margin).
MemoryNeed CsvMemoryNeed(const std::string& path);

}  // namespace host::csv
