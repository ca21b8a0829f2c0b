#pragma once
// Files and folders dropped onto the file list from a file manager. Dropped
// data is a list of local file URLs (text/uri-list); anything else is refused.

#include "filelist/FolderWalk.h"

#include <QStringList>
#include <optional>

class QMimeData;

namespace tabulory {

class FileListModel;
class Messages;

// The local paths a drop carries, in drop order, or nothing when the data
// offers no list of local files.
std::optional<QStringList> DroppedPaths(const QMimeData& data);

// Drag over the list: true when the drop may happen (the data offers files).
bool ListView1_OLEDragOver(const QMimeData& data);

// The drop: each path in order; a file is appended unchanged, a folder is
// walked and every file below it appended (names starting "~" and files with
// attributes exactly hidden + archive left out). Throws ProcedureError when a
// path cannot be examined; rows appended before stay.
void ListView1_OLEDragDrop(FileListModel& list, const QStringList& paths, Messages& messages,
                           const EventPump& pump = ProcessPendingEvents);

}  // namespace tabulory
