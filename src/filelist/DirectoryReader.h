#pragma once
// One folder's entries as the fillers see them: names in the order a file
// manager shows them (case-insensitive name order), with what each entry is.

#include <QByteArray>
#include <QString>
#include <vector>

namespace tabulory {

struct DirectoryEntry {
  // File: a regular file (or a link to one). Special: a pipe, device or
  // socket (or a link to one), which holds no workbook and would block a
  // read. Missing: a broken link or a vanished entry.
  enum class Kind { File, Folder, Special, Missing };
  QString name;       // decoded name
  QByteArray raw;     // the name's bytes on disk
  Kind kind = Kind::Missing;
  bool isLink = false;
  bool regular = false;  // the listing itself says: a regular file
  // False when the bytes are not valid in the file-name encoding; the decoded
  // name then does not lead back to the entry.
  bool validName = true;
};

// An open folder, for reading its entries and looking names up in it.
class FolderHandle {
 public:
  explicit FolderHandle(const QString& folder);
  ~FolderHandle();
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;
  int Fd() const { return fd_; }
  int OpenError() const { return error_; }  // errno of a failed open, else 0

 private:
  int fd_ = -1;
  int error_ = 0;
};

// Reads the entries of a folder (without "." and ".."). Returns 0, or the
// errno of the failure (EACCES, ENOENT, ENOTDIR ...) with `entries` holding
// what was read before it. With `foldersOnly` the entries that are plainly
// not folders are passed over unread (a walk only wants sub-folders).
int ReadDirectory(const FolderHandle& folder, std::vector<DirectoryEntry>& entries,
                  bool foldersOnly = false);
int ReadDirectory(const QString& folder, std::vector<DirectoryEntry>& entries,
                  bool foldersOnly = false);

}  // namespace tabulory
