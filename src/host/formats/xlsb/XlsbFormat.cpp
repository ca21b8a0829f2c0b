#include "host/formats/xlsb/XlsbFormat.h"

#include "host/formats/xlsb/XlsbWorkbook.h"
#include "host/io/ZipDirectory.h"

namespace host::xlsb {

bool ClaimsXlsb(const ContentProbe& probe) {
  if (probe.container != Container::ZipPackage) return false;
  const std::string types = probe.part("[Content_Types].xml", 1 << 20);
  // The type ends where its attribute's quote does (no "+xml": the part is binary).
  return types.find(std::string(kMainContentType) + "\"") != std::string::npos ||
         types.find(std::string(kMainContentType) + "'") != std::string::npos;
}

std::unique_ptr<WorkbookStore> OpenXlsb(const std::string& path) { return std::make_unique<XlsbWorkbook>(path); }

// A sort holds the parts about five times over: the sheet as read, its cell
// index (a few dozen bytes for each cell of a few dozen bytes), the pieces
// written and their deflated copies (measured: 148 MB at the peak for parts
// of 24 MB, the process itself included).
MemoryNeed XlsbMemoryNeed(const std::string& path) {
  const uint64_t parts = InflatedSizeOf(path, {".bin", ".xml", ".rels"});
  return {5 * parts, "its parts inflate to " + SizeText(parts)};
}

WorkbookFormat Format() { return WorkbookFormat{FileFormat::XlsbWorkbook, Container::ZipPackage, {".xlsb"}, ClaimsXlsb, OpenXlsb,
                                                XlsbMemoryNeed}; }

}  // namespace host::xlsb
