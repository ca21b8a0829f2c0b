#include "host/formats/csv/CsvWorkbook.h"

#include "host/core/HostError.h"
#include "host/formats/csv/CsvSheet.h"

namespace host::csv {

CsvWorkbook::CsvWorkbook(const std::string& path)
    : path_(path), document_(CsvDocument::Open(path)), entries_{SheetEntry{document_.SheetName(), true}} {}

SheetStore* CsvWorkbook::Sheet(size_t index) { return index == 0 ? &sheet_ : nullptr; }

void CsvWorkbook::Save() {
  if (document_.RowsMoved() > 0) document_.Save(path_);
}

std::unique_ptr<WorkbookStore> OpenCsv(const std::string& path) { return std::make_unique<CsvWorkbook>(path); }

}  // namespace host::csv
