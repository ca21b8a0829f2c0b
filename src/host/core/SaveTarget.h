#pragma once
// Where a save writes: the file behind any symbolic links (the link stays, its
// target is replaced), the temporary made beside that file, and the removal
// of temporaries that killed processes of this host left behind.

#include <sys/stat.h>

#include <string>

namespace host {

struct SaveTarget {
  std::string file;    // the real file, every link resolved
  std::string folder;  // the folder that holds it
};

// True when this process may replace the file at path: it may write it by
// its effective ids, and, for the superuser whom permissions do not stop,
// the file has a write bit at all (chmod a-w marks a file read-only for
// everyone). Checked before a workbook is opened for change and again when
// it is saved, for every format.
bool MayWrite(const std::string& path);
// Throws HostError ("... is read-only ...") for a regular file at path that
// MayWrite refuses; the one wording of that refusal.
void CheckMayChange(const std::string& path);

// Resolves path through its links; false (errno set) when that fails.
bool ResolveSaveTarget(const std::string& path, SaveTarget& target);

// Makes a new empty temporary in folder, named by this host's pattern (short
// whatever the workbook's name), on the list of held files (HeldFiles.h)
// from before it exists, so a signal never leaves it behind. Returns its open
// descriptor, its path in name and its slot in held, or -1 with errno set.
int MakeTemporary(const std::string& folder, std::string& name, int& held);

// Gives the new file at temp the owner and group of original where this
// process may set them, then its mode (a change of owner clears some bits).
void TakeOwnerAndMode(const std::string& temp, const struct stat& original);

// Flushes folder's list of names, so that a rename into it lasts.
void SyncFolder(const std::string& folder);

// Removes the temporaries in folder that a process of this host made and that
// no longer runs; any other file stays.
void RemoveStaleTemporaries(const std::string& folder);

}  // namespace host
