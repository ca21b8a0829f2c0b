#pragma once
// The Excel 97–2003 workbook (.xls) in the formats' registry: a compound
// file whose "Workbook" stream begins with a BIFF8 BOF. Older Excel
// workbooks are told apart here and refused with what to do instead.

#include <string>

#include "host/formats/WorkbookFormat.h"

namespace host::biff {

// The registry's entry.
WorkbookFormat Format();

// The refusals of an Excel 5.0/95 workbook and of an Excel 4.0 or older one.
std::string Excel95Refusal(const std::string& path);
std::string Excel4Refusal(const std::string& path);

}  // namespace host::biff
