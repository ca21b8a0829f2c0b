#include "filelist/FolderScan.h"

#include "app/shell/ErrorReport.h"
#include "app/shell/Messages.h"
#include "app/shell/MousePointer.h"
#include "app/shell/SettingsStore.h"
#include "filelist/CleanPath.h"
#include "filelist/FileDialogs.h"
#include "filelist/FileListModel.h"

namespace tabulory {

QString ExtensionPromptText() {
  return QStringLiteral("Enter file extension to load:\r\r"
                        "(* for all files, txt for all txt files, doc for all doc files, etc.)");
}

QString FolderPromptText() { return QStringLiteral("Please select folder:"); }

void PushButton5_Click(FileListModel& list, Messages& messages, SettingsStore& settings,
                       PointerState& pointer, FileDialogs& dialogs, const EventPump& pump) {
  GuardedProcedure p(messages, QStringLiteral("in Tabulorix2021/08/31.Form1.PushButton5_Click "));
  QString extension;
  p.Do(100, [&] {
    extension = messages.Prompt(ExtensionPromptText(), QString(),
                                settings.Read(QStringLiteral("Extension"), QStringLiteral("xl*")));
    if (!extension.isEmpty()) settings.Write(QStringLiteral("Extension"), extension);
  });
  if (p.If(102, [&] { return extension.isEmpty(); })) return;
  p.Do(104, [&] { settings.Write(QStringLiteral("Extension"), extension); });

  QString chosen;
  p.Do(106, [&] {
    chosen = dialogs.PickFolder(FolderPromptText(), settings.Read(QStringLiteral("LastFolder")));
  });
  if (p.If(108, [&] { return chosen.isEmpty(); })) return;
  QString lastFolder;
  p.Do(333, [&] { lastFolder = chosen; });
  p.Do(334, [&] { settings.Write(QStringLiteral("LastFolder"), lastFolder); });

  p.Do(110, [&] { pointer.SetPointer(MousePointer::Hourglass); });
  QStringList folders;
  p.Do(112, [&] { folders = QStringList{chosen + kPathSeparator}; });
  p.Do(114, [&] { GetSubDirectories2016(folders, true, messages, pump); });
  AddFolderTreeFiles(list, folders, QStringLiteral("*.") + extension, &p);  // 116 to 130
  p.Do(132, [&] { pointer.SetPointer(MousePointer::Default); });
}

}  // namespace tabulory
