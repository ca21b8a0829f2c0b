#pragma once
// The file formats the host opens, one entry per format folder. Adding a
// format is its folder, one line in FormatRegistry.cpp and its tests:
// recognition, opening, messages and help all read this list.

#include <string>
#include <vector>

#include "host/formats/WorkbookFormat.h"

namespace host {

// Every format opened, in the order recognition asks them.
const std::vector<WorkbookFormat>& WorkbookFormats();

// The entry of a recognised kind; nullptr for kinds the host does not open.
const WorkbookFormat* FormatOf(FileFormat kind);

}  // namespace host
