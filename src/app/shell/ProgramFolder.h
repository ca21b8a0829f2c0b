#pragma once
// The program's own folder (where the executable lives) and the optional files
// looked up in it: "HAND-M.CUR", "x/o.cjs", "drag.ico" and "Samples".

#include <QString>

namespace tabulory {

// The folder of the executable, without a trailing separator.
QString ProgramFolder();

// Points ProgramFolder() elsewhere (tests; an empty text restores the default).
void SetProgramFolder(const QString& folder);

// The program folder joined with a relative name such as "x/o.cjs", using the
// native separator.
QString ProgramPath(const QString& relative);

}  // namespace tabulory
