#include "filelist/ListFiles.h"

#include "filelist/CleanPath.h"
#include "filelist/Wildcard.h"

#include <sys/stat.h>

namespace tabulory {

std::vector<DirectoryEntry> ListFileEntries(const FolderHandle& folder, const QString& pattern) {
  std::vector<DirectoryEntry> entries;
  ReadDirectory(folder, entries);  // a failing listing keeps what was read
  const WildcardPattern match(pattern);
  std::vector<DirectoryEntry> kept;
  kept.reserve(entries.size());
  for (DirectoryEntry& e : entries) {
    if (e.kind != DirectoryEntry::Kind::File || !match.Matches(e.name)) continue;
    // The listing already says the entry is an existing non-folder (a link:
    // its target was looked at). A name whose bytes do not decode cannot be
    // reached by its text, so it fails the existence test.
    if (!e.validName) continue;
    kept.push_back(std::move(e));
  }
  return kept;
}

FileNameArray ListFiles(const QString& folder, const QString& pattern) {
  QString dir = folder;
  if (!dir.endsWith(kPathSeparator)) dir += kPathSeparator;
  const FolderHandle handle(dir);
  QStringList names;
  for (const DirectoryEntry& e : ListFileEntries(handle, pattern)) names.append(e.name);
  return FileNameArray(std::move(names));
}

}  // namespace tabulory
