#include "filelist/FolderWalk.h"

#include "app/shell/ErrorReport.h"
#include "app/shell/RawFileName.h"
#include "filelist/CleanPath.h"
#include "filelist/DirectoryReader.h"
#include "filelist/FileAttributes.h"
#include "filelist/FileListModel.h"
#include "filelist/ListFiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QUtf8StringView>
#include <cerrno>
#include <climits>
#include <optional>
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

constexpr qint64 kEventInterval_ms = 10;

QByteArray RealPath(const QString& path) {
  char buffer[PATH_MAX];
  if (!::realpath(FileNameBytes(path).constData(), buffer)) return {};
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

// FileExists and the attributes of a file just listed in an open folder. A
// regular file whose name does not start with "." can only have the values
// 32 or 33, never hidden + archive, and the listing made a moment ago in this
// same step already saw it exist; only the other names need a look-up.
FileProbe ProbeListed(const FolderHandle& folder, const DirectoryEntry& entry, const QString& path) {
  if (entry.regular && !entry.isLink && !entry.raw.startsWith('.'))
    return FileProbe{true, kAttrArchive};
  if (folder.Fd() < 0) return ProbeFile(path);
  return ProbeFileAt(folder.Fd(), entry.raw);
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
  // Events are handled at most every few milliseconds: the window answers and
  // repaints as promptly as the eye can tell, and a walk over thousands of
  // folders does not spend its time asking an empty queue.
  static QElapsedTimer sinceLast;
  if (!QCoreApplication::instance()) return;
  if (sinceLast.isValid() && sinceLast.elapsed() < kEventInterval_ms) return;
  QCoreApplication::processEvents();
  sinceLast.start();
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
  if (!QUtf8StringView(rawName).isValidUtf8()) return true;  // names are UTF-8 here
  return HasOddChars(QFile::decodeName(rawName));
}

void GetSubDirectories2016(QStringList& folders, bool recurse, Messages& messages,
                           const EventPump& pump) {
  GuardedProcedure p(messages, GetSubDirectories2016Location());
  // 100, 102: the folders are read straight from the file system; nothing to create.
  QStringList next;  // 104
  std::vector<DirectoryEntry> entries;
  for (qsizetype i = 0; i < folders.size(); ++i) {  // 106
    const QString f = folders.at(i);
    std::optional<int> attrs;  // read once for the folder test and the attribute test
    if (p.If(108, [&] {
          attrs = FileAttributes(f);
          return !attrs || !(*attrs & kAttrDirectory);
        }))
      continue;
    if (f.size() >= kPathLimit) continue;  // 110
    p.Do(112, [&] { pump(); });             // 112, 114
    if (p.If(116, [&] { return attrs && IsProtectedFolderValue(*attrs) && !IsDriveRoot(f); }))
      continue;
    int error = 0;
    p.Do(118, [&] {
      error = ReadDirectory(f, entries, /*foldersOnly=*/true);
      for (const DirectoryEntry& e : entries) {  // 118 to 136
        if (e.kind != DirectoryEntry::Kind::Folder) continue;
        pump();                                          // 120
        const QString& n = e.name;                       // 122
        if (n.size() >= kPathLimit) continue;            // 124
        if (!e.validName || HasOddChars(n)) continue;    // 126
        if (n.contains(u'?')) continue;                  // 128
        if (n == u"." || n == u"..") continue;           // 130
        if (e.isLink && LinkLeadsBack(f, n)) continue;   // a link back up would never end
        QString sub;                                     // 132, 134
        sub.reserve(f.size() + n.size() + 1);
        next.append(sub.append(f).append(n).append(kPathSeparator));
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
    std::optional<int> attrs;
    if (!p.If(154, [&] {
          attrs = FileAttributes(e);
          return attrs && (*attrs & kAttrDirectory);
        }))
      continue;
    p.Do(156, [&] { pump(); });
    if (p.If(158, [&] { return !attrs || !IsProtectedFolderValue(*attrs) || IsDriveRoot(e); }))
      p.Do(160, [&] { folders.append(e); });
  }
}

void AddFolderTreeFiles(FileListModel& list, const QStringList& folders, const QString& pattern,
                        GuardedProcedure* guard) {
  FileListModel::AppendBatch batch(list);
  for (const QString& f : folders) {
    QString d;
    Step(guard, 118, [&] { d = f.left(f.size() - 1); });
    // The folder is opened once: its names are listed and then looked up in it.
    std::optional<FolderHandle> folder;
    std::vector<DirectoryEntry> names;  // ListFiles(d, pattern), with the listing's knowledge
    Step(guard, 120, [&] {
      folder.emplace(d.endsWith(kPathSeparator) || d.isEmpty() ? d : d + kPathSeparator);
      names = ListFileEntries(*folder, pattern);
    });
    for (const DirectoryEntry& entry : names) {  // 122, 130
      const QString& n = entry.name;
      if (Test(guard, 124, [&] { return n.startsWith(u'~'); })) continue;
      QString path;
      Step(guard, 126, [&] {
        path.reserve(d.size() + 1 + n.size());
        path.append(d).append(kPathSeparator).append(n);
      });
      Step(guard, 128, [&] {
        const FileProbe probe = ProbeListed(*folder, entry, path);
        if (probe.exists && probe.attributes &&
            *probe.attributes != (kAttrHidden | kAttrArchive))
          list.AddEntry(CleanPath(path));
      });
    }
  }
}

}  // namespace tabulory
