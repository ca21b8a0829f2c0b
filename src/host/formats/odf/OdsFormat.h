#pragma once
// OpenDocument spreadsheets (.ods) in the formats' registry: a zip package
// whose mimetype entry names a spreadsheet (or a spreadsheet template).

#include "host/formats/WorkbookFormat.h"

namespace host::odf {

// The registry's entry.
WorkbookFormat Format();

}  // namespace host::odf
