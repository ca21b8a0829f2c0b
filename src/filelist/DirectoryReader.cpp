#include "filelist/DirectoryReader.h"

#include "app/shell/RawFileName.h"

#include <QFile>
#include <QUtf8StringView>
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tabulory {

namespace {

// The kernel's directory record, as getdents64 fills the buffer.
struct KernelDirent {
  ino64_t ino;
  off64_t off;
  unsigned short reclen;
  unsigned char type;
  char name[1];
};

DirectoryEntry::Kind KindByStat(int dirFd, const char* name) {
  struct stat st {};
  if (::fstatat(dirFd, name, &st, 0) != 0) return DirectoryEntry::Kind::Missing;
  if (S_ISDIR(st.st_mode)) return DirectoryEntry::Kind::Folder;
  return S_ISREG(st.st_mode) ? DirectoryEntry::Kind::File : DirectoryEntry::Kind::Special;
}

}  // namespace

FolderHandle::FolderHandle(const QString& folder) {
  const QByteArray native = FileNameBytes(folder.isEmpty() ? QStringLiteral(".") : folder);
  fd_ = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) error_ = errno;
}

FolderHandle::~FolderHandle() {
  if (fd_ >= 0) ::close(fd_);
}

int ReadDirectory(const FolderHandle& folder, std::vector<DirectoryEntry>& entries,
                  bool foldersOnly) {
  entries.clear();
  if (folder.Fd() < 0) return folder.OpenError() ? folder.OpenError() : EBADF;
  const int fd = folder.Fd();
  // Read straight from the open folder: no second open, no status query.
  ::lseek(fd, 0, SEEK_SET);
  alignas(8) char buffer[32768];
  int error = 0;
  for (;;) {
    const long got = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
    if (got < 0) {
      error = errno;
      break;
    }
    if (got == 0) break;
    for (long at = 0; at < got;) {
      const auto* d = reinterpret_cast<const KernelDirent*>(buffer + at);
      at += d->reclen;
      const char* n = buffer + (at - d->reclen) + offsetof(KernelDirent, name);
      if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
      if (foldersOnly && d->type != DT_DIR && d->type != DT_LNK && d->type != DT_UNKNOWN) continue;
      DirectoryEntry e;
      e.raw = QByteArray(n);
      e.name = QFile::decodeName(e.raw);
      // Names are UTF-8 here: valid bytes decode and encode back unchanged.
      e.validName = QUtf8StringView(e.raw).isValidUtf8();
      switch (d->type) {
        case DT_DIR: e.kind = DirectoryEntry::Kind::Folder; break;
        case DT_REG:
          e.kind = DirectoryEntry::Kind::File;
          e.regular = true;
          break;
        case DT_LNK:
          e.isLink = true;
          e.kind = KindByStat(fd, n);
          break;
        case DT_UNKNOWN: {
          struct stat st {};
          if (::fstatat(fd, n, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            e.isLink = S_ISLNK(st.st_mode);
            e.regular = S_ISREG(st.st_mode);
          }
          e.kind = KindByStat(fd, n);
          break;
        }
        default: e.kind = DirectoryEntry::Kind::Special; break;  // devices, pipes, sockets
      }
      if (foldersOnly && e.kind != DirectoryEntry::Kind::Folder) continue;
      entries.push_back(std::move(e));
    }
  }
  std::sort(entries.begin(), entries.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
    const int c = a.name.compare(b.name, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a.raw < b.raw;
  });
  return error;
}

int ReadDirectory(const QString& folder, std::vector<DirectoryEntry>& entries, bool foldersOnly) {
  const FolderHandle handle(folder);
  return ReadDirectory(handle, entries, foldersOnly);
}

}  // namespace tabulory
