#include "filelist/DirectoryReader.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace tabulory {

namespace {

DirectoryEntry::Kind KindByStat(int dirFd, const char* name) {
  struct stat st {};
  if (::fstatat(dirFd, name, &st, 0) != 0) return DirectoryEntry::Kind::Missing;
  return S_ISDIR(st.st_mode) ? DirectoryEntry::Kind::Folder : DirectoryEntry::Kind::File;
}

}  // namespace

int ReadDirectory(const QString& folder, std::vector<DirectoryEntry>& entries) {
  entries.clear();
  const QByteArray native = QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder);
  DIR* dir = ::opendir(native.constData());
  if (!dir) return errno;
  const int fd = ::dirfd(dir);
  int error = 0;
  for (;;) {
    errno = 0;
    const dirent* d = ::readdir(dir);
    if (!d) {
      error = errno;
      break;
    }
    const char* n = d->d_name;
    if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
    DirectoryEntry e;
    e.raw = QByteArray(n);
    e.name = QFile::decodeName(e.raw);
    e.validName = QFile::encodeName(e.name) == e.raw;
    switch (d->d_type) {
      case DT_DIR: e.kind = DirectoryEntry::Kind::Folder; break;
      case DT_LNK:
        e.isLink = true;
        e.kind = KindByStat(fd, n);
        break;
      case DT_UNKNOWN: {
        struct stat st {};
        if (::fstatat(fd, n, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) e.isLink = true;
        e.kind = KindByStat(fd, n);
        break;
      }
      default: e.kind = DirectoryEntry::Kind::File; break;  // regular files, devices, pipes
    }
    entries.push_back(std::move(e));
  }
  ::closedir(dir);
  std::sort(entries.begin(), entries.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
    const int c = a.name.compare(b.name, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a.raw < b.raw;
  });
  return error;
}

}  // namespace tabulory
