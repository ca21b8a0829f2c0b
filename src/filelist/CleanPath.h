#pragma once
// Collapsing doubled separators in paths built by joining a folder, a
// separator and a name (a folder that already ends in a separator, such as a
// root folder, gives a doubled one).

#include <QString>

namespace tabulory {

// The platform's separator as used in list entries.
#ifdef Q_OS_WIN
inline constexpr QChar kPathSeparator = u'\\';
#else
inline constexpr QChar kPathSeparator = u'/';
#endif

// POSIX rule: every "//" becomes "/" in one left-to-right pass over the whole
// text, the start included ("///" gives "//", "////" gives "//").
QString CleanPathPosix(const QString& path);

// Backslash rule of a Windows build: outside a leading run of backslashes,
// "\\" becomes "\" in one pass; a text that starts with one or more
// backslashes comes out starting with exactly two (a network path).
QString CleanPathWindows(const QString& path);

// The rule of the platform this program was built for.
QString CleanPath(const QString& path);

}  // namespace tabulory
