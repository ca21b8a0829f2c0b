#include "host/core/FileReplacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "host/core/HeldFiles.h"
#include "host/core/HostError.h"

namespace host {

namespace {

constexpr size_t kGather = 256 * 1024;
// Bytes written between two requests that the disk start writing them.
constexpr size_t kWriteBackStep = size_t(4) << 20;

// The journal of an in-place save of the file at path: beside it, hidden,
// ending in "#" as lock files do, so no scan by extension lists it.
std::string JournalOf(const SaveTarget& target) {
  const std::string name = target.file.substr(target.file.rfind('/') + 1);
  return target.folder + (target.folder.back() == '/' ? "" : "/") + ".~tabulory-inplace." + name + "#";
}

// Writes the content of from into the file at to itself (its inode, owner,
// links and attributes stay), flushed; false with errno set on failure.
bool CopyInto(const std::string& from, const std::string& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  const int out = ::open(to.c_str(), O_WRONLY | O_CLOEXEC);
  if (out < 0) {
    const int error = errno;
    ::close(in);
    errno = error;
    return false;
  }
  std::vector<char> buffer(1 << 20);
  off_t total = 0;
  bool ok = true;
  for (ssize_t n; ok && (n = ::read(in, buffer.data(), buffer.size())) != 0;) {
    if (n < 0) {
      ok = errno == EINTR;
      continue;
    }
    for (ssize_t done = 0; ok && done < n;) {
      const ssize_t w = ::pwrite(out, buffer.data() + done, static_cast<size_t>(n - done), total + done);
      if (w < 0 && errno == EINTR) continue;
      ok = w > 0;
      if (ok) done += w;
    }
    total += n;
  }
  ok = ok && ::ftruncate(out, total) == 0 && ::fsync(out) == 0;
  const int error = errno;
  ::close(in);
  ::close(out);
  errno = error;
  return ok;
}

}  // namespace

FileIdentity FileIdentity::Of(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return {st.st_dev, st.st_ino, st.st_size, static_cast<long long>(st.st_mtim.tv_sec),
          static_cast<long long>(st.st_mtim.tv_nsec)};
}

void CopyExtendedAttributes(const std::string& original, const std::string& file) {
  const ssize_t size = ::listxattr(original.c_str(), nullptr, 0);
  if (size <= 0) return;
  std::vector<char> names(static_cast<size_t>(size));
  const ssize_t got = ::listxattr(original.c_str(), names.data(), names.size());
  if (got <= 0) return;
  for (size_t at = 0; at < static_cast<size_t>(got);) {
    const char* name = names.data() + at;
    at += std::char_traits<char>::length(name) + 1;
    const ssize_t length = ::getxattr(original.c_str(), name, nullptr, 0);
    if (length < 0) continue;
    std::vector<char> value(static_cast<size_t>(length));
    if (::getxattr(original.c_str(), name, value.data(), value.size()) != length) continue;
    (void)::setxattr(file.c_str(), name, value.data(), value.size(), 0);
  }
}

FileReplacement::FileReplacement(const std::string& path, const FileIdentity* opened) : path_(path) {
  if (!ResolveSaveTarget(path, target_) || ::stat(target_.file.c_str(), &original_) != 0)
    Fail("the file is no longer there");
  if (!S_ISREG(original_.st_mode)) Fail("no file stands there now (a folder or a device does)");
  if (!MayWrite(target_.file)) Fail("the file is read-only");
  if (::access(JournalOf(target_).c_str(), F_OK) == 0)
    Fail("an earlier save into it was interrupted; open it again to finish that save first");
  if (opened && !(FileIdentity::Of(target_.file) == *opened))
    Fail("the file changed on disk since it was opened");
  RemoveStaleTemporaries(target_.folder);
  fd_ = MakeTemporary(target_.folder, temp_, held_);
  if (fd_ < 0) {
    const int error = errno;
    temp_.clear();
    Fail("no file can be made in its folder (" + FileErrorReason(error) + ")");
  }
}

FileReplacement::~FileReplacement() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
  ForgetHeldFile(held_);
}

void FileReplacement::Fail(const std::string& reason) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty() && !committed_) ::unlink(temp_.c_str());
  temp_.clear();
  ForgetHeldFile(held_);
  held_ = -1;
  throw HostError("Cannot save \"" + path_ + "\": " + reason + "; the file was not changed.");
}

void FileReplacement::Flush() {
  WriteOut(gathered_);
  gathered_.clear();
}

void FileReplacement::WriteOut(std::string_view bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(FileErrorReason(errno));
    done += static_cast<size_t>(n);
  }
  written_ += bytes.size();
  // The disk starts on what is written while the rest is made, so that the
  // flush of the commit waits only for the last of it. A hint: the commit's
  // fsync is what makes the file durable, and a failure here shows there.
  if (written_ - writeBackFrom_ >= kWriteBackStep) {
    ::sync_file_range(fd_, static_cast<off_t>(writeBackFrom_), static_cast<off_t>(written_ - writeBackFrom_),
                      SYNC_FILE_RANGE_WRITE);
    writeBackFrom_ = written_;
  }
}

void FileReplacement::Write(std::string_view bytes) {
  if (fd_ < 0) Fail("the new file is no longer open");
  if (gathered_.size() + bytes.size() > kGather) Flush();
  if (bytes.size() >= kGather) return WriteOut(bytes);  // a large piece as it is: never copied
  gathered_.append(bytes);
  if (gathered_.size() >= kGather) Flush();
}

bool FileReplacement::OnlyRenames(const struct stat& st) {
  return S_ISREG(st.st_mode) && st.st_nlink == 1 &&
         (::geteuid() == 0 || (st.st_uid == ::geteuid() && st.st_gid == ::getegid()));
}

FileIdentity FileReplacement::Commit() {
  if (fd_ < 0) Fail("the new file is no longer open");
  Flush();
  if (::fsync(fd_) != 0) Fail("the new file cannot be flushed to disk (" + FileErrorReason(errno) + ")");
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0) Fail(FileErrorReason(errno));
  TakeOwnerAndMode(temp_, original_);
  CopyExtendedAttributes(target_.file, temp_);
  struct stat made {};
  const bool sameOwner = ::stat(temp_.c_str(), &made) == 0 && made.st_uid == original_.st_uid &&
                         made.st_gid == original_.st_gid;
  if (!sameOwner || original_.st_nlink > 1) {
    WriteInPlace();
  } else {
    if (::rename(temp_.c_str(), target_.file.c_str()) != 0)
      Fail("the file cannot be replaced (" + FileErrorReason(errno) + ")");
    committed_ = true;
    SyncFolder(target_.folder);
  }
  return FileIdentity::Of(target_.file);
}

void FileReplacement::WriteInPlace() {
  // The complete content becomes the journal first: from then on a stop
  // at any moment is finished by the next open for change.
  const std::string journal = JournalOf(target_);
  ForgetHeldFile(held_);  // complete from here on: a signal leaves it
  held_ = -1;
  if (::rename(temp_.c_str(), journal.c_str()) != 0)
    Fail("the new file cannot be kept beside it (" + FileErrorReason(errno) + ")");
  temp_ = journal;
  SyncFolder(target_.folder);
  if (!CopyInto(journal, target_.file)) {
    // Whatever part went in, the journal holds the whole: the next open
    // for change finishes it.
    committed_ = true;
    throw HostError("Cannot save \"" + path_ + "\": writing into it failed (" + FileErrorReason(errno) +
                    "); its new content is kept beside it and goes in when it is next opened for change.");
  }
  ::unlink(journal.c_str());
  committed_ = true;
  SyncFolder(target_.folder);
}

void FinishInterruptedSave(const std::string& path) {
  SaveTarget target;
  if (!ResolveSaveTarget(path, target)) return;
  const std::string journal = JournalOf(target);
  struct stat st {};
  if (::lstat(journal.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  if (!CopyInto(journal, target.file))
    throw HostError("Cannot open \"" + path + "\" for change: an earlier save into it was interrupted and cannot be "
                    "finished (" + FileErrorReason(errno) + ").");
  ::unlink(journal.c_str());
  SyncFolder(target.folder);
}

void ReplaceFile(const std::string& path, FileIdentity* opened, const ByteEmitter& emit,
                 const std::function<bool()>& sourceIntact) {
  FileReplacement replacement(path, opened);
  emit([&](std::string_view bytes) { replacement.Write(bytes); });
  if (sourceIntact && !sourceIntact()) replacement.Fail("the file changed on disk since it was opened");
  const FileIdentity now = replacement.Commit();
  if (opened) *opened = now;
}

}  // namespace host
