#pragma once
// File attributes as the list's fillers test them, and the small existence
// probes. Every probe turns a failure into false (or "no attributes").

#include <QString>
#include <optional>

namespace tabulory {

// Attribute bits. On this platform they come from lstat: directory for
// folders (and for links that point at one), read-only when the owner may not
// write, hidden for names starting ".", archive for regular files, reparse
// point for symbolic links; system is never set.
enum FileAttribute : int {
  kAttrReadOnly = 1,
  kAttrHidden = 2,
  kAttrSystem = 4,
  kAttrDirectory = 16,
  kAttrArchive = 32,
  kAttrReparsePoint = 1024,
};

// The attribute value of a path, or nothing when it cannot be read. A trailing
// separator is ignored (except on the root itself).
std::optional<int> FileAttributes(const QString& path);

// True when the path's attributes can be read and include the directory bit.
bool IsFolderPath(const QString& path);

// True for the top folder of a file system: "/" or a mount point (its device
// differs from its parent's).
bool IsDriveRoot(const QString& path);

// True when the path names an existing entry that is not a folder and whose
// attributes can be read (no read or write access needed). A broken link is
// not an existing file.
bool FileExists(const QString& path);

// True when the path's modification time can be read.
bool PathExists(const QString& path);

// FileExists and FileAttributes of one path together, read with one lstat
// when the path is not a link.
struct FileProbe {
  bool exists = false;
  std::optional<int> attributes;
};
FileProbe ProbeFile(const QString& path);

// ProbeFile of a name looked up in an open folder (a descriptor), which
// spares the walk down the whole path.
FileProbe ProbeFileAt(int folderFd, const QByteArray& name);

// The attribute value for an lstat result (mode of the entry itself, whether
// a link's target is a folder, and the name's last component).
int AttributesFromMode(unsigned mode, bool linkTargetIsFolder, bool hiddenName);

}  // namespace tabulory
