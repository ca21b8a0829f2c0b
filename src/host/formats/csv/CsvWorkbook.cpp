#include <sys/stat.h>

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


MemoryNeed CsvMemoryNeed(const std::string& path) {
  struct stat st {};
  const uint64_t size = ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
  return {3 * size, "the file holds " + SizeText(size) + " of text, read whole with a record of every field"};
}
}  // namespace host::csv
