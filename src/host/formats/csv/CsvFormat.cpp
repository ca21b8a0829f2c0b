#include "host/formats/csv/CsvFormat.h"

#include "host/formats/csv/CsvWorkbook.h"

namespace host::csv {

namespace {

bool ClaimsText(const ContentProbe& probe) {
  return probe.container == Container::Text && (probe.extension == "csv" || probe.extension == "tsv");
}

}  // namespace

WorkbookFormat Format() { return WorkbookFormat{FileFormat::Text, Container::Text, {".csv", ".tsv"}, ClaimsText, OpenCsv, CsvMemoryNeed}; }

}  // namespace host::csv
