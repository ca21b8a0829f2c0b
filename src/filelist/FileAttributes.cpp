#include "filelist/FileAttributes.h"

#include "app/shell/RawFileName.h"
#include "filelist/CleanPath.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace tabulory {

namespace {

QByteArray NativePath(const QString& path) {
  QString p = path;
  while (p.size() > 1 && p.endsWith(kPathSeparator)) p.chop(1);
  return FileNameBytes(p);
}

bool NameIsHidden(const QByteArray& native) {
  const qsizetype slash = native.lastIndexOf('/');
  const qsizetype start = slash + 1;
  return start < native.size() && native[start] == '.';
}

}  // namespace

int AttributesFromMode(unsigned mode, bool linkTargetIsFolder, bool hiddenName) {
  int attrs = 0;
  if (S_ISDIR(mode)) attrs |= kAttrDirectory;
  if (S_ISLNK(mode)) {
    attrs |= kAttrReparsePoint;
    if (linkTargetIsFolder) attrs |= kAttrDirectory;
  } else if (!(mode & S_IWUSR)) {
    attrs |= kAttrReadOnly;
  }
  if (S_ISREG(mode)) attrs |= kAttrArchive;
  if (hiddenName) attrs |= kAttrHidden;
  return attrs;
}

std::optional<int> FileAttributes(const QString& path) {
  if (path.isEmpty()) return std::nullopt;
  const QByteArray native = NativePath(path);
  struct stat st {};
  if (::lstat(native.constData(), &st) != 0) return std::nullopt;
  bool targetIsFolder = false;
  if (S_ISLNK(st.st_mode)) {
    struct stat target {};
    targetIsFolder = ::stat(native.constData(), &target) == 0 && S_ISDIR(target.st_mode);
  }
  return AttributesFromMode(st.st_mode, targetIsFolder, NameIsHidden(native));
}

namespace {

// One lstat of `name` relative to `dirFd` (AT_FDCWD: a whole path), and the
// target's stat when it is a link.
FileProbe ProbeAt(int dirFd, const QByteArray& name) {
  FileProbe probe;
  struct stat st {};
  if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) return probe;
  if (!S_ISLNK(st.st_mode)) {
    probe.exists = !S_ISDIR(st.st_mode);
    probe.attributes = AttributesFromMode(st.st_mode, false, NameIsHidden(name));
    return probe;
  }
  struct stat target {};
  const bool reachable = ::fstatat(dirFd, name.constData(), &target, 0) == 0;
  probe.exists = reachable && !S_ISDIR(target.st_mode);
  probe.attributes =
      AttributesFromMode(st.st_mode, reachable && S_ISDIR(target.st_mode), NameIsHidden(name));
  return probe;
}

}  // namespace

FileProbe ProbeFile(const QString& path) {
  if (path.isEmpty()) return {};
  return ProbeAt(AT_FDCWD, FileNameBytes(path));
}

FileProbe ProbeFileAt(int folderFd, const QByteArray& name) {
  if (name.isEmpty()) return {};
  return ProbeAt(folderFd, name);
}

bool IsFolderPath(const QString& path) {
  const auto attrs = FileAttributes(path);
  return attrs && (*attrs & kAttrDirectory);
}

bool IsDriveRoot(const QString& path) {
  const QByteArray native = NativePath(path);
  if (native == "/") return true;
  struct stat self {}, parent {};
  if (::stat(native.constData(), &self) != 0 || !S_ISDIR(self.st_mode)) return false;
  if (::stat((native + "/..").constData(), &parent) != 0) return false;
  return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

bool FileExists(const QString& path) {
  if (path.isEmpty()) return false;
  struct stat st {};
  return ::stat(FileNameBytes(path).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool PathExists(const QString& path) {
  if (path.isEmpty()) return false;
  struct stat st {};
  return ::stat(FileNameBytes(path).constData(), &st) == 0;
}

}  // namespace tabulory
