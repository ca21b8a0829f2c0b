#pragma once
// The "Add Excel Files" button: picks workbooks in the open dialog and appends
// each to the file list.

#include <QString>

namespace tabulory {

class FileDialogs;
class FileListModel;
class Messages;

// Size of the dialog's returned-name buffer in characters; a longer answer
// means too many files were picked.
inline constexpr int kReturnedNameBuffer = 30000;

// The dialog settings the button shows the dialog with.
inline constexpr int kAddFilesFlags = 2621953;
QString AddFilesTitle();
QString AddFilesFilter();
// The message for an answer that does not fit the buffer.
QString TooManyFilesText();

// The click: shows the dialog and appends one path unchanged, or each
// folder + separator + name through CleanPath; nothing on cancel; the
// "too many files" message and nothing added when the answer is too long.
void PushButton1_Click(FileListModel& list, FileDialogs& dialogs, Messages& messages);

}  // namespace tabulory
