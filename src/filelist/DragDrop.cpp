#include "filelist/DragDrop.h"

#include "app/shell/ErrorReport.h"
#include "filelist/CleanPath.h"
#include "filelist/FileAttributes.h"
#include "filelist/FileListModel.h"
#include "filelist/LocalFileUrl.h"
#include "app/shell/RawFileName.h"

#include <QMimeData>
#include <QUrl>
#include <cerrno>
#include <sys/stat.h>

namespace tabulory {

std::optional<QStringList> DroppedPaths(const QMimeData& data) {
  if (!data.hasUrls()) return std::nullopt;
  QStringList paths;
  for (const QUrl& url : data.urls()) {
    if (!url.isLocalFile()) return std::nullopt;
    paths << LocalPathOfUrl(url);
  }
  if (paths.isEmpty()) return std::nullopt;
  return paths;
}

bool ListView1_OLEDragOver(const QMimeData& data) { return DroppedPaths(data).has_value(); }

void ListView1_OLEDragDrop(FileListModel& list, const QStringList& paths, Messages& messages,
                           const EventPump& pump) {
  FileListModel::AppendBatch batch(list);
  for (const QString& p : paths) {
    // A folder: the entry exists and its attributes carry the directory bit.
    struct stat st {};
    const bool found = ::lstat(FileNameBytes(p).constData(), &st) == 0;
    if (!found && errno != ENOENT && errno != ENOTDIR)
      throw ProcedureError(QStringLiteral("Cannot examine the dropped path ") + p);
    if (!found || !IsFolderPath(p)) {
      list.AddEntry(p);
      continue;
    }
    QStringList folders{p + kPathSeparator};
    GetSubDirectories2016(folders, true, messages, pump);
    AddFolderTreeFiles(list, folders, QStringLiteral("*.*"));
  }
}

}  // namespace tabulory
