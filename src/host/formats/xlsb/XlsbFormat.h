#pragma once
// Binary workbooks (.xlsb) in the formats' registry: a zip package whose
// content types name a binary workbook main part.

#include "host/formats/WorkbookFormat.h"

namespace host::xlsb {

// True when the probe's package holds a binary workbook.
bool ClaimsXlsb(const ContentProbe& probe);

// Opens the binary workbook at path (HostError naming the file and the fault).
std::unique_ptr<WorkbookStore> OpenXlsb(const std::string& path);
// What opening, sorting and saving the binary workbook at path takes: its
// parts (records and XML) inflated, the records read from them and the new
// parts, about three times what the zip directory says they inflate to.
MemoryNeed XlsbMemoryNeed(const std::string& path);

// The registry's entry.
WorkbookFormat Format();

}  // namespace host::xlsb
