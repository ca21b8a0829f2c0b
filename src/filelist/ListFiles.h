#pragma once
// The plain files of one folder that match a wildcard pattern.

#include "filelist/DirectoryReader.h"

#include <QString>
#include <QStringList>

namespace tabulory {

// Names numbered from 1; an array with no names has the upper bound 0, so a
// loop from 1 to UpperBound() does nothing.
class FileNameArray {
 public:
  FileNameArray() = default;
  explicit FileNameArray(QStringList names) : names_(std::move(names)) {}
  int UpperBound() const { return static_cast<int>(names_.size()); }
  const QString& At(int i) const { return names_.at(i - 1); }  // 1 <= i <= UpperBound()
  const QStringList& Names() const { return names_; }

 private:
  QStringList names_;
};

// Names (without folder) of the plain files in `folder` that match `pattern`
// (see WildcardMatch), hidden files included, folders, pipes, devices and
// sockets excluded, each one
// existing as FileExists says. A missing or unreadable folder gives no names.
FileNameArray ListFiles(const QString& folder, const QString& pattern);

// The same listing from an open folder, with what the listing knows of each
// name (used where the names are looked up in that folder next).
std::vector<DirectoryEntry> ListFileEntries(const FolderHandle& folder, const QString& pattern);

}  // namespace tabulory
