#pragma once
// Where a save writes: the file behind any symbolic links (the link stays, its
// target is replaced), the temporary made beside that file, and the removal
// of temporaries that killed processes of this host left behind.

#include <string>

namespace host {

struct SaveTarget {
  std::string file;    // the real file, every link resolved
  std::string folder;  // the folder that holds it
};

// Resolves path through its links; false (errno set) when that fails.
bool ResolveSaveTarget(const std::string& path, SaveTarget& target);

// Makes a new empty temporary in folder, named by this host's pattern (short
// whatever the workbook's name). Returns its open descriptor and its path in
// name, or -1 with errno set.
int MakeTemporary(const std::string& folder, std::string& name);

// Removes the temporaries in folder that a process of this host made and that
// no longer runs; any other file stays.
void RemoveStaleTemporaries(const std::string& folder);

}  // namespace host
