#pragma once
// Text files of records (.csv, .tsv) in the formats' registry: plain text is
// a workbook only where its name says it holds records.

#include "host/formats/WorkbookFormat.h"

namespace host::csv {

// The registry's entry.
WorkbookFormat Format();

}  // namespace host::csv
