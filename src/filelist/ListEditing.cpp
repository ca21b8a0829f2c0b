#include "filelist/ListEditing.h"

#include "app/shell/ErrorReport.h"
#include "app/shell/MousePointer.h"
#include "filelist/FileListModel.h"

namespace tabulory {

bool RemoveSelected(FileListModel& list, int selectedRow, const PointerState& pointer) {
  if (pointer.IsBusy()) return false;
  if (list.Count() < 1 || selectedRow < 1 || selectedRow > list.Count()) return false;
  list.RemoveEntry(selectedRow);
  return true;
}

void ClearList(FileListModel& list, const PointerState& pointer) {
  if (!pointer.IsBusy()) list.Clear();
}

void PushButton7_Click(FileListModel& list, const PointerState& pointer, Messages& messages) {
  GuardedProcedure p(messages, QStringLiteral("in Tabulorix2021/08/31.Form1.PushButton7_Click "));
  p.Do(100, [&] { ClearList(list, pointer); });
}

}  // namespace tabulory
