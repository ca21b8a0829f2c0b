#include "filelist/AddFiles.h"

#include "app/shell/ErrorReport.h"
#include "app/shell/Messages.h"
#include "filelist/CleanPath.h"
#include "filelist/FileDialogs.h"
#include "filelist/FileListModel.h"

#include <QStringList>

namespace tabulory {

QString AddFilesTitle() { return QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"); }
// Every format the host opens first, so that a name of any of them typed
// under the first filter is taken; then Excel workbooks alone, as before, and
// the other formats alone.
QString AddFilesFilter() {
  return QStringLiteral("Workbooks (*.xl* *.ods *.csv *.tsv)|*.xl*;*.ods;*.csv;*.tsv|Excel Files (*.xl*)|*.xl*|"
                        "OpenDocument and CSV Files|*.ods;*.csv;*.tsv|");
}
QString TooManyFilesText() {
  return QStringLiteral("You've selected too many files to add.\r\r"
                        "Please try adding via the \"Add All\" button.");
}

void PushButton1_Click(FileListModel& list, FileDialogs& dialogs, Messages& messages) {
  GuardedProcedure p(messages, QStringLiteral("in Tabulorix2021/08/31.Form1.PushButton1_Click "));
  OpenFilesRequest request;
  p.Do(100, [&] { request.fileName.clear(); });
  p.Do(102, [&] { request.flags = kAddFilesFlags; });
  p.Do(104, [&] { request.title = AddFilesTitle(); });
  p.Do(106, [&] { request.filter = AddFilesFilter(); });
  QString returned;
  p.Do(108, [&] { returned = dialogs.OpenFiles(request); });
  if (returned.size() > kReturnedNameBuffer) {
    // The names do not fit the dialog's buffer: its own message, nothing added.
    messages.Show(TooManyFilesText());
    return;
  }
  if (returned.isEmpty()) return;  // 110: cancelled
  QStringList parts;
  p.Do(112, [&] { parts = returned.split(QChar(u'\0')); });
  if (parts.isEmpty()) return;
  if (parts.size() == 1) {  // 114 to 118
    p.Do(116, [&] { list.AddEntry(parts.front()); });
    return;
  }
  FileListModel::AppendBatch batch(list);
  for (qsizetype i = 1; i < parts.size(); ++i) {  // 120 to 126, 134
    QString path;
    p.Do(128, [&] { path = parts[0] + kPathSeparator + parts[i]; });
    p.Do(130, [&] { path = CleanPath(path); });
    p.Do(132, [&] { list.AddEntry(path); });
  }
}

}  // namespace tabulory
