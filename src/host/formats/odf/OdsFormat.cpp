#include "host/formats/odf/OdsFormat.h"

#include "host/formats/odf/OdsWorkbook.h"

namespace host::odf {

namespace {

bool ClaimsPackage(const ContentProbe& probe) {
  return probe.container == Container::ZipPackage &&
         probe.part("mimetype", 256).rfind("application/vnd.oasis.opendocument.spreadsheet", 0) == 0;
}

}  // namespace

WorkbookFormat Format() {
  return WorkbookFormat{FileFormat::OpenDocumentSpreadsheet, Container::ZipPackage, {".ods"}, ClaimsPackage, OpenOds,
                        OdsMemoryNeed};
}

}  // namespace host::odf
