#include "filelist/FileDialogs.h"

#include "filelist/CleanPath.h"
#include "filelist/LocalFileUrl.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace tabulory {

namespace {

constexpr int kFolderDialogPathLimit = 260;

// "Excel Files (*.xl*)|*.xl*|" -> "Excel Files (*.xl*)"; the pattern is
// already in the description.
QString QtFilterFromPairs(const QString& filter) {
  const QStringList parts = filter.split(u'|', Qt::SkipEmptyParts);
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    const QString pattern = QString(parts[i + 1]).replace(u';', u' ');
    filters << (description.contains(pattern) ? description
                                              : description + QStringLiteral(" (") + pattern + u')');
  }
  return filters.join(QStringLiteral(";;"));
}

QString FolderOf(const QString& path) {
  return QDir::toNativeSeparators(QFileInfo(path).absolutePath());
}

}  // namespace

QString ReturnedTextFromPaths(const QStringList& paths) {
  if (paths.isEmpty()) return {};
  if (paths.size() == 1) return QDir::toNativeSeparators(paths.front());
  QStringList absolute;
  for (const QString& p : paths)
    absolute << QDir::toNativeSeparators(QFileInfo(p).absoluteFilePath());
  // The dialog picks in one folder; should the paths come from several, the
  // common folder leads and the names keep the rest of their paths.
  QString folder = FolderOf(absolute.front());
  for (const QString& p : absolute) {
    while (!(p.startsWith(folder) &&
             (folder.endsWith(kPathSeparator) || p.mid(folder.size(), 1) == kPathSeparator))) {
      const QString up = FolderOf(folder);
      if (up == folder) break;  // the root: common to every absolute path
      folder = up;
    }
  }
  QString text = folder;
  const qsizetype skip = folder.endsWith(kPathSeparator) ? folder.size() : folder.size() + 1;
  for (const QString& p : absolute) text += QChar(u'\0') + p.mid(skip);
  return text;
}

QString ReturnedTextFromUrls(const QList<QUrl>& urls) {
  return ReturnedTextFromPaths(LocalPathsOfUrls(urls));
}

QString QtFileDialogs::OpenFiles(const OpenFilesRequest& request) {
  QFileDialog dialog(parent_, request.title, request.fileName, QtFilterFromPairs(request.filter));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // A single-choice dialog accepts a typed name of a file that does not exist;
  // Qt's multi-selection mode only offers existing files.
  dialog.setFileMode((request.flags & kOpenMultiSelect) ? QFileDialog::ExistingFiles
                                                       : QFileDialog::AnyFile);
  if (dialog.exec() != QDialog::Accepted) return {};
  return ReturnedTextFromUrls(dialog.selectedUrls());
}

QString QtFileDialogs::PickFolder(const QString& prompt, const QString& startFolder) {
  const QString start = QFileInfo(startFolder).isDir() ? startFolder : QString();
  const QUrl url = QFileDialog::getExistingDirectoryUrl(parent_, prompt, QUrl::fromLocalFile(start));
  if (url.isEmpty() || !url.isLocalFile()) return {};
  QString chosen = LocalPathOfUrl(url);
  if (chosen.isEmpty()) return {};
  while (chosen.size() > 1 && chosen.endsWith(kPathSeparator)) chosen.chop(1);
  // The folder dialog hands back paths shorter than the path limit only; a
  // longer one counts as a choice without a usable path.
  if (chosen.size() >= kFolderDialogPathLimit) return {};
  return chosen;
}

}  // namespace tabulory
