#include "host/formats/xlsb/XlsbFormat.h"

#include "host/formats/xlsb/XlsbWorkbook.h"

namespace host::xlsb {

bool ClaimsXlsb(const ContentProbe& probe) {
  if (probe.container != Container::ZipPackage) return false;
  const std::string types = probe.part("[Content_Types].xml", 1 << 20);
  // The type ends where its attribute's quote does (no "+xml": the part is binary).
  return types.find(std::string(kMainContentType) + "\"") != std::string::npos ||
         types.find(std::string(kMainContentType) + "'") != std::string::npos;
}

std::unique_ptr<WorkbookStore> OpenXlsb(const std::string& path) { return std::make_unique<XlsbWorkbook>(path); }

WorkbookFormat Format() { return WorkbookFormat{FileFormat::XlsbWorkbook, Container::ZipPackage, {".xlsb"}, ClaimsXlsb, OpenXlsb}; }

}  // namespace host::xlsb
