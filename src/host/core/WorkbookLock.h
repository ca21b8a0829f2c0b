#pragma once
// Workbooks in use by other programs, and this host's own claim on a workbook.
//
// Spreadsheet programs mark a workbook they have open: LibreOffice with a
// lock file ".~lock.NAME#" beside it (one line "full name,login,host,
// DD.MM.YYYY HH:MM,profile URL;") and an advisory lock on the file itself,
// the reference desktop program with an owner file "~$NAME" naming the user.
// The host honours all three before it opens a workbook for change, and
// writes a lock file in LibreOffice's format while it holds one, so other
// users' programs see the workbook in use.
//
// Stale locks: a LibreOffice lock file that names this computer counts only
// while a LibreOffice process of that user runs with the profile the lock
// names; this host's own lock file names its process id in the profile field
// ("tabulory-pid:N") and counts only while that process lives and is not
// this one (the instances of one process take turns by themselves). A lock file
// that names another computer always counts, and so does one that cannot be
// read.

#include <string>

namespace host {

// Holds a workbook for change from construction to destruction.
class WorkbookLock {
 public:
  // Checks that no other program holds the workbook at path (see InUseBy) and
  // writes this host's lock file beside it. HostError when the workbook is in
  // use or the lock file cannot be written; nothing is left behind then.
  explicit WorkbookLock(const std::string& path);
  // Removes the lock file, unless another program has replaced it since.
  ~WorkbookLock();
  WorkbookLock(const WorkbookLock&) = delete;
  WorkbookLock& operator=(const WorkbookLock&) = delete;

  // The lock file this host keeps; empty when the workbook's name leaves no
  // room for one (a lock file name is 8 bytes longer).
  const std::string& LockFilePath() const { return lockPath_; }

 private:
  std::string lockPath_;
  std::string content_;  // what was written, to tell our file from another's
  int slot_ = -1;        // its place in the held files (HeldFiles.h) a signal removes
};



// Throws HostError "PATH is open in another program (...)" when another
// program holds the workbook at path; returns quietly otherwise.
void CheckNotInUse(const std::string& path);

// The lock file LibreOffice keeps beside the workbook at path.
std::string LibreOfficeLockPath(const std::string& path);
// The owner file the reference desktop program keeps beside it.
std::string OwnerFilePath(const std::string& path);

}  // namespace host
