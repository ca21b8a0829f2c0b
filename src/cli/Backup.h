#pragma once
// The backup of a workbook kept before it is saved over (--backup).

#include <QString>

namespace tabulory::cli {

// Copies the file at `path` to path+suffix, with the original's mode and
// modification time, replacing an older backup of that name only once the
// copy is complete. Throws ProcedureError naming both files when it cannot
// be made; the original is untouched then.
void KeepBackup(const QString& path, const QString& suffix);

}  // namespace tabulory::cli
