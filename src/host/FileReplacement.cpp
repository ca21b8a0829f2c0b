#include "host/FileReplacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "host/HostError.h"

namespace host {

namespace {

constexpr size_t kGather = 256 * 1024;

}  // namespace

FileIdentity FileIdentity::Of(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return {st.st_dev, st.st_ino, st.st_size, static_cast<long long>(st.st_mtim.tv_sec),
          static_cast<long long>(st.st_mtim.tv_nsec)};
}

std::string SaveErrorReason(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT: return "the disk is full";
    case EACCES:
    case EPERM:
    case EROFS: return "permission was denied";
    default: return "the system refused it";
  }
}

FileReplacement::FileReplacement(const std::string& path, const FileIdentity* opened) : path_(path) {
  if (!ResolveSaveTarget(path, target_) || ::stat(target_.file.c_str(), &original_) != 0)
    Fail("the file is no longer there");
  if (!S_ISREG(original_.st_mode)) Fail("no file stands there now (a folder or a device does)");
  if (!MayWrite(target_.file)) Fail("the file is read-only");
  if (opened && !(FileIdentity::Of(target_.file) == *opened))
    Fail("the file changed on disk since it was opened");
  RemoveStaleTemporaries(target_.folder);
  fd_ = MakeTemporary(target_.folder, temp_);
  if (fd_ < 0) {
    const int error = errno;
    temp_.clear();
    Fail("no file can be made in its folder (" + SaveErrorReason(error) + ")");
  }
}

FileReplacement::~FileReplacement() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
}

void FileReplacement::Fail(const std::string& reason) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty() && !committed_) ::unlink(temp_.c_str());
  temp_.clear();
  throw HostError("Cannot save \"" + path_ + "\": " + reason + "; the file was not changed.");
}

void FileReplacement::CloseDescriptor() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void FileReplacement::Flush() {
  for (size_t done = 0; done < gathered_.size();) {
    const ssize_t n = ::write(fd_, gathered_.data() + done, gathered_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(SaveErrorReason(errno));
    done += static_cast<size_t>(n);
  }
  gathered_.clear();
}

void FileReplacement::Write(std::string_view bytes) {
  if (fd_ < 0) Fail("the new file is no longer open");
  if (gathered_.size() + bytes.size() > kGather) Flush();
  gathered_.append(bytes);
  if (gathered_.size() >= kGather) Flush();
}

FileIdentity FileReplacement::Commit() {
  if (fd_ < 0) {
    // The writer made the temporary by its name: open it again to flush it.
    fd_ = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) Fail("the new file cannot be read back (" + SaveErrorReason(errno) + ")");
  } else {
    Flush();
  }
  if (::fsync(fd_) != 0) Fail("the new file cannot be flushed to disk (" + SaveErrorReason(errno) + ")");
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0) Fail(SaveErrorReason(errno));
  TakeOwnerAndMode(temp_, original_);
  if (::rename(temp_.c_str(), target_.file.c_str()) != 0) Fail("the file cannot be replaced (" + SaveErrorReason(errno) + ")");
  committed_ = true;
  SyncFolder(target_.folder);
  return FileIdentity::Of(target_.file);
}

void ReplaceFile(const std::string& path, FileIdentity* opened, const ByteEmitter& emit) {
  FileReplacement replacement(path, opened);
  emit([&](std::string_view bytes) { replacement.Write(bytes); });
  const FileIdentity now = replacement.Commit();
  if (opened) *opened = now;
}

}  // namespace host
