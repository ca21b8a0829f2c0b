#pragma once
// The "Add All Excel Files In Folder" button: asks for an extension and a
// folder, walks the folder tree and appends every matching file.

#include "filelist/FolderWalk.h"

#include <QString>

namespace tabulory {

class FileDialogs;
class FileListModel;
class Messages;
class PointerState;
class SettingsStore;

// The prompt for the extension, and the folder dialog's prompt.
QString ExtensionPromptText();
QString FolderPromptText();

// The click. Extension is stored as soon as one is given, LastFolder as soon
// as a folder is chosen; the pointer shows the hourglass while the tree is
// walked and its files are added.
void PushButton5_Click(FileListModel& list, Messages& messages, SettingsStore& settings,
                       PointerState& pointer, FileDialogs& dialogs,
                       const EventPump& pump = ProcessPendingEvents);

}  // namespace tabulory
