#pragma once
// What a dry run tells about one workbook after the operation ran in memory.

#include "options/ProcessingOptions.h"

#include <QString>

namespace host {
class Workbook;
}

namespace tabulory::cli {

// One line per worksheet, in workbook order:
//   PATH: sheet "NAME": N rows would move        (sort)
//   PATH: sheet "NAME": N rows would be hidden   (filter)
QString DryRunLines(const QString& path, host::Workbook& workbook, Operation operation);

}  // namespace tabulory::cli
