#include "filelist/ListFiles.h"

#include "filelist/CleanPath.h"
#include "filelist/DirectoryReader.h"
#include "filelist/FileAttributes.h"
#include "filelist/Wildcard.h"

namespace tabulory {

FileNameArray ListFiles(const QString& folder, const QString& pattern) {
  QString dir = folder;
  if (!dir.endsWith(kPathSeparator)) dir += kPathSeparator;
  std::vector<DirectoryEntry> entries;
  ReadDirectory(dir, entries);  // a failing listing keeps what was read
  const WildcardPattern match(pattern);
  QStringList kept;
  for (const DirectoryEntry& e : entries) {
    if (e.kind != DirectoryEntry::Kind::File || !match.Matches(e.name)) continue;
    // The listing already says the entry is an existing non-folder; a name
    // whose bytes do not decode cannot be reached by its text, so it fails
    // the existence test. Links are tested through their target.
    if (!e.validName) continue;
    if (e.isLink && !FileExists(dir + e.name)) continue;
    kept.append(e.name);
  }
  return FileNameArray(std::move(kept));
}

}  // namespace tabulory
