#pragma once
// The optional skin: a Qt style sheet in the program folder's "x/o.cjs".

#include <QString>
#include <optional>

namespace tabulory {

// True when Qt can parse `sheet` as a style sheet (an empty one included).
// Needs a QApplication.
bool IsValidStyleSheet(const QString& sheet);

// The style sheet in a skin file; nothing when the file is missing,
// unreadable, not UTF-8 text or not a valid style sheet.
std::optional<QString> ReadSkinFile(const QString& path);

}  // namespace tabulory
