#pragma once
// The one way every format writes a workbook back over its file: through any
// symbolic links to the real file; refused, with the file untouched, when it
// is gone, read-only, or no longer the file that was opened (another program
// saved it meanwhile); the new bytes in a temporary beside it, flushed to
// disk, given the original's owner, mode and extended attributes (its ACL
// among them, set last so its mask stays exact), then renamed over it.
//
// The file stays the file the user had: where the temporary could not take
// its owner or group (a group member saving a colleague's file), or the file
// has other hard links, the new content is written into the file itself,
// but only once it is complete and durable beside it, under a journal name
// that names the file; a save interrupted then is finished by the next
// open for change (FinishInterruptedSave), so the file is never left half
// written.
//
// Every refusal and failure says "Cannot save "PATH": REASON; the file was
// not changed." and leaves no temporary behind; so does a signal that ends
// the process while the temporary is written (RemoveHeldFiles), though a
// journal, once complete, stays for the next open to finish.

#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

#include "host/core/SaveTarget.h"

namespace host {

// What tells one file from another and one version of it from the next.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  long long seconds = 0, nanoseconds = 0;  // last modification

  // The identity of the file at path now; all zero when it cannot be read.
  static FileIdentity Of(const std::string& path);
  bool operator==(const FileIdentity&) const = default;
};

class FileReplacement {
 public:
  // True when a save of the file st describes can only rename the new file
  // over it, never write into it (see above): one link, and an owner and
  // group a file this process makes takes as made. A store may then keep
  // reading the opened file's pages after the save.
  static bool OnlyRenames(const struct stat& st);
  // Begins replacing the file at path. With opened, the file must still be
  // the one read then. Throws HostError (nothing changed) when it may not be
  // replaced or no temporary can be made.
  FileReplacement(const std::string& path, const FileIdentity* opened);
  ~FileReplacement();  // removes the temporary unless committed
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // The temporary, open for reading and writing, for a writer that places
  // its bytes itself (a zip archive seeks back to its headers). Such a
  // writer does not also use Write.
  int Descriptor() const { return fd_; }
  // Appends bytes to the temporary (gathered into large writes).
  void Write(std::string_view bytes);
  // Flushes the temporary to disk, gives it the original's owner and mode
  // and renames it over the file. Returns the new file's identity.
  FileIdentity Commit();
  // Throws the save's HostError with reason.
  [[noreturn]] void Fail(const std::string& reason);

 private:
  void Flush();
  // Writes bytes to the temporary after what is written.
  void WriteOut(std::string_view bytes);
  // The new content, complete in the temporary, written into the file itself.
  void WriteInPlace();

  std::string path_;
  SaveTarget target_;
  struct stat original_ {};
  std::string temp_;
  int fd_ = -1;
  std::string gathered_;
  size_t written_ = 0;        // bytes written by Write so far
  size_t writeBackFrom_ = 0;  // where the bytes not yet handed to the disk begin
  bool committed_ = false;
  int held_ = -1;  // the temporary's place among the files a signal removes
};

// A writer's bytes, piece by piece, to the sink it is given.
using ByteEmitter = std::function<void(const std::function<void(std::string_view)>& sink)>;

// Writes what emit gives over the file at path through a FileReplacement;
// opened, when given, is checked and then set to the new file's identity.
// sourceIntact, when given, is asked once emit is done: false (what emit
// read was lost under it, its file shortened by another program) refuses
// the save as a file changed since it was opened.
void ReplaceFile(const std::string& path, FileIdentity* opened, const ByteEmitter& emit,
                 const std::function<bool()>& sourceIntact = {});

// Gives file every extended attribute of original, byte for byte (user
// attributes, security labels, the POSIX ACL); those this process may not
// set are left as the system gives them. Call after any chmod: the ACL then
// sets the mode's group bits back to its mask.
void CopyExtendedAttributes(const std::string& original, const std::string& file);


// Finishes a save into the file at path that was interrupted after its new
// content was complete (its journal beside it): the content goes in, the
// journal goes. Nothing to do in the usual case; a journal that cannot be
// applied is left for the next try and reported as HostError.
void FinishInterruptedSave(const std::string& path);

}  // namespace host
