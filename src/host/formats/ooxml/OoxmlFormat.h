#pragma once
// Office Open XML workbooks (.xlsx, .xlsm, .xltx, .xltm) in the formats'
// registry: a zip package whose content types name a workbook main part.

#include "host/formats/WorkbookFormat.h"

namespace host::ooxml {

// The registry's entry.
WorkbookFormat Format();

}  // namespace host::ooxml
