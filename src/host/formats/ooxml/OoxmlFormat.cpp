#include "host/formats/ooxml/OoxmlFormat.h"

#include "host/formats/ooxml/WorkbookFile.h"

namespace host::ooxml {

namespace {

// Every workbook main part type (workbook, template, with macros, add-in)
// is an "...sheet.main", "...template.main" or "...addin.macroEnabled.main".
bool ClaimsPackage(const ContentProbe& probe) {
  if (probe.container != Container::ZipPackage) return false;
  const std::string types = probe.part("[Content_Types].xml", 1 << 20);
  for (const char* main : {"spreadsheetml.sheet.main+xml", "spreadsheetml.template.main+xml",
                           "ms-excel.sheet.macroEnabled.main+xml", "ms-excel.template.macroEnabled.main+xml",
                           "ms-excel.addin.macroEnabled.main+xml"})
    if (types.find(main) != std::string::npos) return true;
  return false;
}

std::unique_ptr<WorkbookStore> Open(const std::string& path) { return std::make_unique<WorkbookFile>(path); }

}  // namespace

WorkbookFormat Format() {
  return WorkbookFormat{FileFormat::OoxmlWorkbook, Container::ZipPackage, {".xlsx", ".xlsm", ".xltx", ".xltm"},
                        ClaimsPackage, Open, OoxmlMemoryNeed};
}

}  // namespace host::ooxml
