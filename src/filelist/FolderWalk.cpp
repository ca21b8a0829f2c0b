#include "filelist/FolderWalk.h"

#include "app/ErrorReport.h"
#include "filelist/CleanPath.h"
#include "filelist/DirectoryReader.h"
#include "filelist/FileAttributes.h"
#include "filelist/FileListModel.h"
#include "filelist/ListFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace tabulory {

namespace {

// Folder attribute values that keep a folder out of the walk: hidden+system
// folders (and such links), as the system's own protected folders are marked.
bool IsProtectedFolderValue(int attrs) {
  return attrs == (kAttrDirectory | kAttrSystem | kAttrHidden) ||
         attrs == (kAttrDirectory | kAttrSystem | kAttrHidden | kAttrReparsePoint);
}

// Listing failures that leave a folder out silently: no permission, or gone.
bool IsQuietListingError(int error) {
  return error == EACCES || error == EPERM || error == ENOENT || error == ENOTDIR ||
         error == ELOOP || error == ENAMETOOLONG;
}

QByteArray RealPath(const QString& path) {
  char buffer[PATH_MAX];
  if (!::realpath(QFile::encodeName(path).constData(), buffer)) return {};
  return QByteArray(buffer);
}

// True when the linked folder `folder` + `name` is `folder` itself or one of
// the folders above it: walking it would never end.
bool LinkLeadsBack(const QString& folder, const QString& name) {
  const QByteArray target = RealPath(folder + name);
  if (target.isEmpty()) return true;
  QString prefix = folder;
  for (;;) {
    if (RealPath(prefix) == target) return true;
    while (prefix.size() > 1 && prefix.endsWith(kPathSeparator)) prefix.chop(1);
    const qsizetype cut = prefix.lastIndexOf(kPathSeparator);
    if (cut < 0 || prefix.size() <= 1) return false;
    prefix.truncate(cut + 1);
  }
}

// Runs a statement under the caller's guard, or plainly when there is none.
template <typename F>
void Step(GuardedProcedure* guard, int statement, F&& body) {
  if (guard)
    guard->Do(statement, body);
  else
    body();
}

template <typename F>
bool Test(GuardedProcedure* guard, int statement, F&& test) {
  if (guard) return guard->If(statement, test);
  return test();
}

}  // namespace

void ProcessPendingEvents() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

QString GetSubDirectories2016Location() {
  return QStringLiteral("in OrvennTitle2021/08/31.AddFolder.GetSubDirectories2016 ");
}

bool HasOddChars(const QString& name) {
  for (QChar c : name) {
    const char16_t u = c.unicode();
    if (u < 32 || (u >= 127 && u <= 159) || u == u'?') return true;
  }
  return false;
}

bool HasOddChars(const QByteArray& rawName) {
  const QString decoded = QFile::decodeName(rawName);
  if (QFile::encodeName(decoded) != rawName) return true;
  return HasOddChars(decoded);
}

void GetSubDirectories2016(QStringList& folders, bool recurse, Messages& messages,
                           const EventPump& pump) {
  GuardedProcedure p(messages, GetSubDirectories2016Location());
  // 100, 102: the folders are read straight from the file system; nothing to create.
  QStringList next;  // 104
  std::vector<DirectoryEntry> entries;
  for (qsizetype i = 0; i < folders.size(); ++i) {  // 106
    const QString f = folders.at(i);
    if (p.If(108, [&] { return !IsFolderPath(f); })) continue;
    if (f.size() >= kPathLimit) continue;  // 110
    p.Do(112, [&] { pump(); });             // 112, 114
    if (p.If(116, [&] {
          const auto attrs = FileAttributes(f);
          return attrs && IsProtectedFolderValue(*attrs) && !IsDriveRoot(f);
        }))
      continue;
    int error = 0;
    p.Do(118, [&] {
      error = ReadDirectory(f, entries);
      for (const DirectoryEntry& e : entries) {  // 118 to 136
        if (e.kind != DirectoryEntry::Kind::Folder) continue;
        pump();                                          // 120
        const QString& n = e.name;                       // 122
        if (n.size() >= kPathLimit) continue;            // 124
        if (!e.validName || HasOddChars(n)) continue;    // 126
        if (n.contains(u'?')) continue;                  // 128
        if (n == u"." || n == u"..") continue;           // 130
        if (e.isLink && LinkLeadsBack(f, n)) continue;   // a link back up would never end
        next.append(f + n + kPathSeparator);             // 132, 134
      }
    });
    if (error != 0) {  // 138 to 148
      if (IsQuietListingError(error)) {
        const qsizetype at = folders.indexOf(f);
        if (at >= 0) {
          folders.removeAt(at);
          if (at <= i) --i;
        }
      } else {
        p.Report(118, QString::fromLocal8Bit(std::strerror(error)) + QStringLiteral(": ") + f);
      }
    }
  }
  if (recurse && !next.isEmpty()) GetSubDirectories2016(next, true, messages, pump);  // 150
  for (const QString& e : std::as_const(next)) {  // 152
    if (!p.If(154, [&] { return IsFolderPath(e); })) continue;
    p.Do(156, [&] { pump(); });
    if (p.If(158, [&] {
          const auto attrs = FileAttributes(e);
          return !attrs || !IsProtectedFolderValue(*attrs) || IsDriveRoot(e);
        }))
      p.Do(160, [&] { folders.append(e); });
  }
}

void AddFolderTreeFiles(FileListModel& list, const QStringList& folders, const QString& pattern,
                        GuardedProcedure* guard) {
  FileListModel::AppendBatch batch(list);
  for (const QString& f : folders) {
    QString d;
    Step(guard, 118, [&] { d = f.left(f.size() - 1); });
    FileNameArray names;
    Step(guard, 120, [&] { names = ListFiles(d, pattern); });
    for (int i = 1; i <= names.UpperBound(); ++i) {  // 122, 130
      const QString& n = names.At(i);
      if (Test(guard, 124, [&] { return n.startsWith(u'~'); })) continue;
      QString path;
      Step(guard, 126, [&] { path = d + kPathSeparator + n; });
      Step(guard, 128, [&] {
        const FileProbe probe = ProbeFile(path);
        if (probe.exists && probe.attributes &&
            *probe.attributes != (kAttrHidden | kAttrArchive))
          list.AddEntry(CleanPath(path));
      });
    }
  }
}

}  // namespace tabulory
