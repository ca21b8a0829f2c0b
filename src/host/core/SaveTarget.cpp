#include "host/core/SaveTarget.h"

#include <fcntl.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <random>
#include <vector>

#include "host/core/HeldFiles.h"
#include "host/core/HostError.h"

namespace host {

namespace {

constexpr char kMark[] = ".tabulory~";
constexpr size_t kRandomLength = 6;

// This host's name as it goes into a temporary's name: letters, digits, '-'
// and '.', at most 64 of them.
std::string HostTag() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) name[0] = '\0';
  std::string tag;
  for (const char* c = name; *c && tag.size() < 64; ++c)
    if ((*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') || *c == '-' || *c == '.')
      tag += *c;
  return tag.empty() ? "host" : tag;
}

// ".tabulory~<host>~" : what every temporary of this host starts with.
std::string Prefix() { return std::string(kMark) + HostTag() + "~"; }

bool IsAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

bool RandomPart(const std::string& name, size_t at) {
  for (size_t i = at; i < at + kRandomLength; ++i)
    if (i >= name.size() || !IsAlnum(name[i])) return false;
  return true;
}

// The process id in a temporary's name of this host ("<prefix><pid>~XXXXXX",
// or that name with libzip's ".XXXXXX" after it: libzip writes through a
// temporary of its own beside the file it makes), or 0 when the name is not one.
pid_t PidOf(const std::string& name, const std::string& prefix) {
  if (name.compare(0, prefix.size(), prefix) != 0) return 0;
  size_t at = prefix.size();
  size_t digits = at;
  while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9') ++digits;
  if (digits == at || digits - at > 9 || digits >= name.size() || name[digits] != '~') return 0;
  const size_t ours = digits + 1 + kRandomLength;
  if (!RandomPart(name, digits + 1)) return 0;
  if (name.size() != ours && !(name.size() == ours + 1 + kRandomLength && name[ours] == '.' && RandomPart(name, ours + 1)))
    return 0;
  return static_cast<pid_t>(std::atol(name.substr(at, digits - at).c_str()));
}

}  // namespace

bool MayWrite(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return false;
  return ::geteuid() != 0 || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

void CheckMayChange(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !MayWrite(path))
    throw HostError("\"" + path + "\" is read-only: you may not change it, so it was left as it is.");
}

bool ResolveSaveTarget(const std::string& path, SaveTarget& target) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return false;
  target.file = real;
  std::free(real);
  size_t slash = target.file.rfind('/');
  target.folder = slash == 0 ? "/" : target.file.substr(0, slash);
  return true;
}

int MakeTemporary(const std::string& folder, std::string& name, int& held) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device random;
  const std::string stem =
      folder + (folder.back() == '/' ? "" : "/") + Prefix() + std::to_string(::getpid()) + "~";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = stem;
    for (size_t i = 0; i < kRandomLength; ++i) candidate += kLetters[random() % (sizeof kLetters - 1)];
    // Listed before it exists: a signal at any moment after the file is
    // made finds it on the list.
    held = RememberHeldFile(candidate);
    const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      name = candidate;
      return fd;
    }
    const int error = errno;
    ForgetHeldFile(held);
    held = -1;
    if (error != EEXIST) {
      errno = error;
      return -1;
    }
  }
  errno = EEXIST;
  return -1;
}

void RemoveStaleTemporaries(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  const std::string prefix = Prefix();
  const pid_t self = ::getpid();
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    pid_t pid = PidOf(name, prefix);
    if (pid <= 0 || pid == self) continue;
    // A process that still runs (or that we may not signal) keeps its file.
    if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
    std::string path = folder + (folder.back() == '/' ? "" : "/") + name;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(path.c_str());
  }
  ::closedir(dir);
}

void TakeOwnerAndMode(const std::string& temp, const struct stat& original) {
  if (::chown(temp.c_str(), original.st_uid, original.st_gid) != 0)
    (void)!::chown(temp.c_str(), static_cast<uid_t>(-1), original.st_gid);
  ::chmod(temp.c_str(), original.st_mode & 07777);
}

void SyncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace host
