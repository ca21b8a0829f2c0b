#pragma once
// One folder's entries as the fillers see them: names in the order a file
// manager shows them (case-insensitive name order), with what each entry is.

#include <QByteArray>
#include <QString>
#include <vector>

namespace tabulory {

struct DirectoryEntry {
  enum class Kind { File, Folder, Missing };  // Missing: a broken link or a vanished entry
  QString name;       // decoded name
  QByteArray raw;     // the name's bytes on disk
  Kind kind = Kind::Missing;
  bool isLink = false;
  // False when the bytes are not valid in the file-name encoding; the decoded
  // name then does not lead back to the entry.
  bool validName = true;
};

// Reads the entries of `folder` (without "." and ".."). Returns 0, or the
// errno of the failure (EACCES, ENOENT, ENOTDIR ...) with `entries` holding
// what was read before it.
int ReadDirectory(const QString& folder, std::vector<DirectoryEntry>& entries);

}  // namespace tabulory
