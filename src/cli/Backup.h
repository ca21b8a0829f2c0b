#pragma once
// The backup of a workbook kept before it is saved over (--backup).

#include <QString>

namespace tabulory::cli {

// The --backup word that keeps every backup, numbered as GNU cp numbers
// them: FILE.~1~, FILE.~2~, ...
inline constexpr char kNumberedBackups[] = "numbered";

// Copies the file at `path` to path+suffix (with kNumberedBackups: to the
// next free FILE.~N~), with the original's owner and group where this
// process may give them, its mode, extended attributes and modification
// time, replacing an older backup of that name only once the copy is
// complete. Throws ProcedureError naming both files when it cannot be made;
// the original is untouched then.
void KeepBackup(const QString& path, const QString& suffix);

}  // namespace tabulory::cli
