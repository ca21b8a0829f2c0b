#pragma once
// The folder walk that collects a folder and every folder below it, and the
// adding of the files of such a folder list. Used by the folder scan and by
// dropped folders.

#include <QString>
#include <QStringList>
#include <functional>

namespace tabulory {

class FileListModel;
class GuardedProcedure;
class Messages;

// Paths longer than this (in characters) are neither walked nor entered.
inline constexpr int kPathLimit = 260;

// Lets the window answer during a long walk; the default processes pending
// Qt events when an application object exists, at most every 10 ms.
using EventPump = std::function<void()>;
void ProcessPendingEvents();

// Location text of the walk's error report.
QString GetSubDirectories2016Location();

// True when a folder name holds a control character (below 32, or 127 to
// 159) or "?".
bool HasOddChars(const QString& name);
// The same test for a name as its bytes on disk; bytes that are not valid in
// the file-name encoding make the name odd too.
bool HasOddChars(const QByteArray& rawName);

// Extends `folders` (paths ending in the separator) in place with the folders
// below its entries, level by level (breadth first; with `recurse` all
// levels). A folder whose sub-folders cannot be listed for lack of permission
// or because it is gone is removed from the list with its subtree, silently.
// Other failures are reported with the walk's own location text.
void GetSubDirectories2016(QStringList& folders, bool recurse, Messages& messages,
                           const EventPump& pump = ProcessPendingEvents);

// Appends to `list` every file of every folder in `folders` whose name
// matches `pattern`, skipping names starting "~", files that no longer exist
// and files whose attributes are exactly hidden + archive (34). With a guard
// each step runs as a numbered statement (118 to 130) of the caller;
// without one a failure ends the routine with an exception.
void AddFolderTreeFiles(FileListModel& list, const QStringList& folders, const QString& pattern,
                        GuardedProcedure* guard = nullptr);

}  // namespace tabulory
