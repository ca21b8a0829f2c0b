#include "host/formats/FormatRegistry.h"

#include "host/formats/biff/XlsFormat.h"
#include "host/formats/csv/CsvFormat.h"
#include "host/formats/odf/OdsFormat.h"
#include "host/formats/ooxml/OoxmlFormat.h"
#include "host/formats/xlsb/XlsbFormat.h"

namespace host {

const std::vector<WorkbookFormat>& WorkbookFormats() {
  static const std::vector<WorkbookFormat> formats = {
      ooxml::Format(),
      biff::Format(),
      xlsb::Format(),
      odf::Format(),
      csv::Format(),
  };
  return formats;
}

const WorkbookFormat* FormatOf(FileFormat kind) {
  for (const WorkbookFormat& format : WorkbookFormats())
    if (format.kind == kind) return &format;
  return nullptr;
}

}  // namespace host
