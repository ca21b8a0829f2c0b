#pragma once
// Removing rows from the file list. Both operations leave the list alone
// while the window shows the busy pointer (a batch run or a scan is working).

namespace tabulory {

class FileListModel;
class Messages;
class PointerState;

// Removes row `selectedRow` (1-based; 0 = no row selected) unless the pointer
// is busy. Returns true when a row went.
bool RemoveSelected(FileListModel& list, int selectedRow, const PointerState& pointer);

// Removes every row unless the pointer is busy.
void ClearList(FileListModel& list, const PointerState& pointer);

// The "Clear List" button: ClearList as statement 100 of a guarded procedure.
void PushButton7_Click(FileListModel& list, const PointerState& pointer, Messages& messages);

}  // namespace tabulory
