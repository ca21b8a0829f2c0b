#include "host/formats/biff/XlsFormat.h"

#include "host/core/HostError.h"
#include "host/formats/biff/BiffRecords.h"
#include "host/formats/biff/XlsWorkbook.h"

namespace host::biff {

namespace {

// A "Workbook" stream that starts as BIFF8 (an Excel 5.0/95 writer may also
// name its stream "Workbook": the BOF decides).
bool ClaimsCompoundFile(const ContentProbe& probe) {
  if (probe.container != Container::CompoundFile) return false;
  const std::string head = probe.part("Workbook", 8);
  return !head.empty() && DetectBiffVersion(head) != BiffVersion::Biff5;
}

}  // namespace

WorkbookFormat Format() {
  return WorkbookFormat{FileFormat::Biff8Workbook, Container::CompoundFile, {".xls"}, ClaimsCompoundFile, OpenXls,
                        XlsMemoryNeed};
}

std::string Excel95Refusal(const std::string& path) {
  return CannotOpen(path, "it is an Excel 95 workbook; save it as Excel 97–2003 or .xlsx first").Description();
}

std::string Excel4Refusal(const std::string& path) {
  return CannotOpen(path, "it is an Excel 4.0 or older workbook; save it as Excel 97–2003 or .xlsx first")
      .Description();
}

}  // namespace host::biff
