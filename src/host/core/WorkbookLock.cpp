#include "host/core/WorkbookLock.h"

#include "host/core/FileReplacement.h"
#include "host/core/HeldFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "host/core/HostError.h"

namespace host {

namespace {

// The profile field of this host's own lock files: the process id follows.
constexpr std::string_view kOwnMarker = "tabulory-pid:";

std::string Folder(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The whole of a small file; nothing when it cannot be read.
std::optional<std::string> ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return text;
}

// The fields of a LibreOffice lock line; a backslash takes the next character
// as it is, a comma separates fields and a semicolon ends the record.
// Nothing when the text holds no complete record of five fields.
std::optional<std::vector<std::string>> LockFields(std::string_view text) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\\') {
      if (++i == text.size()) return std::nullopt;
      fields.back() += text[i];
    } else if (c == ',') {
      fields.emplace_back();
    } else if (c == ';') {
      if (fields.size() < 5) return std::nullopt;
      return fields;
    } else if (c == '\n' || c == '\r' || c == '\0') {
      return std::nullopt;
    } else {
      fields.back() += c;
    }
  }
  return std::nullopt;
}

std::string EscapedField(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == ',' || c == ';' || c == '\\') out += '\\';
    if (c == '\n' || c == '\r') c = ' ';
    out += c;
  }
  return out;
}

std::string ThisHostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

// Day, month, year and time as LibreOffice writes them, in local time.
std::string LockTime(time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[32];
  std::strftime(text, sizeof text, "%d.%m.%Y %H:%M", &local);
  return text;
}

bool ProcessLives(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

// This boot of the machine ("" where the system does not say).
std::string BootId() {
  std::string id = ReadSmallFile("/proc/sys/kernel/random/boot_id").value_or("");
  while (!id.empty() && (id.back() == '\n' || id.back() == '\0')) id.pop_back();
  return id;
}

// When the process started, in clock ticks since the boot ("" when unknown):
// with the boot id it tells the process that wrote a lock from a later one
// that was given the same id.
std::string StartTimeOf(pid_t pid) {
  const std::string stat = ReadSmallFile("/proc/" + std::to_string(pid) + "/stat").value_or("");
  size_t at = stat.rfind(')');
  if (at == std::string::npos) return {};
  // Field 22 (starttime) is the 20th after the command's closing parenthesis.
  for (int field = 0; field < 20 && at != std::string::npos; ++field) at = stat.find(' ', at + 1);
  if (at == std::string::npos) return {};
  const size_t end = stat.find(' ', at + 1);
  return stat.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
}

// Our own lock's holder: the process id, and where the lock gives them, the
// boot and the start time it was written with.
bool OwnHolderLives(std::string_view holder) {
  const std::string text(holder);
  pid_t pid = 0;
  try {
    pid = static_cast<pid_t>(std::stol(text));
  } catch (...) {
    return true;  // not readable: it counts, as a lock of someone else would
  }
  if (pid <= 0) return true;
  if (pid == ::getpid() || !ProcessLives(pid)) return false;
  const size_t first = text.find(':');
  if (first == std::string::npos) return true;  // an older lock: the id alone
  const size_t second = text.find(':', first + 1);
  const std::string boot = text.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
  const std::string started = second == std::string::npos ? std::string() : text.substr(second + 1);
  return boot == BootId() && started == StartTimeOf(pid);
}

std::string ProcessName(pid_t pid) {
  std::string comm = ReadSmallFile("/proc/" + std::to_string(pid) + "/comm").value_or("");
  while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\0')) comm.pop_back();
  return comm;
}

// The LibreOffice profile a soffice.bin command line uses; empty for the
// user's default profile.
std::string ProfileOfCommandLine(const std::string& cmdline) {
  constexpr std::string_view kOption = "-env:UserInstallation=";
  size_t start = 0;
  while (start < cmdline.size()) {
    size_t end = cmdline.find('\0', start);
    if (end == std::string::npos) end = cmdline.size();
    std::string_view arg(cmdline.data() + start, end - start);
    if (arg.starts_with(kOption)) return std::string(arg.substr(kOption.size()));
    if (arg.starts_with("-") && arg.substr(1).starts_with(kOption)) return std::string(arg.substr(kOption.size() + 1));
    start = end + 1;
  }
  return {};
}

std::string WithoutTrailingSlash(std::string url) {
  while (url.size() > 1 && url.back() == '/') url.pop_back();
  return url;
}

// True unless this computer shows that no LibreOffice process of the user
// runs with the profile the lock names. When the process table cannot be
// read, or the user is unknown here, the lock counts.
bool LibreOfficeMayHoldIt(const std::string& login, const std::string& profileUrl) {
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getpwnam_r(login.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return true;
  const uid_t uid = found->pw_uid;
  const std::string defaultProfile = "file://" + std::string(found->pw_dir) + "/.config/libreoffice/4";
  const std::string wanted = WithoutTrailingSlash(profileUrl);

  DIR* proc = ::opendir("/proc");
  if (!proc) return true;
  bool holds = false;
  while (dirent* item = ::readdir(proc)) {
    std::string_view name = item->d_name;
    if (name.empty() || name.find_first_not_of("0123456789") != std::string_view::npos) continue;
    const std::string dir = "/proc/" + std::string(name);
    struct stat info {};
    if (::stat(dir.c_str(), &info) != 0 || info.st_uid != uid) continue;
    if (ProcessName(static_cast<pid_t>(std::stol(std::string(name)))) != "soffice.bin") continue;
    std::optional<std::string> cmdline = ReadSmallFile(dir + "/cmdline");
    if (!cmdline) {
      holds = true;  // a LibreOffice we cannot look into may be the one
      break;
    }
    std::string profile = ProfileOfCommandLine(*cmdline);
    if (WithoutTrailingSlash(profile.empty() ? defaultProfile : profile) == wanted) {
      holds = true;
      break;
    }
  }
  ::closedir(proc);
  return holds;
}

std::string InUseText(const std::string& path, const std::string& who) {
  return "\"" + path + "\" is open in another program (" + who + ").";
}

// "by USER on HOST since TIME", each part only when known.
std::string ByWhom(const std::string& user, const std::string& host, const std::string& time) {
  std::string out;
  if (!user.empty()) out += "by " + user;
  if (!host.empty()) out += (out.empty() ? "on " : " on ") + host;
  if (!time.empty()) out += (out.empty() ? "since " : " since ") + time;
  return out.empty() ? "in use by an unknown user" : out;
}

// The holder a LibreOffice-format lock file names, or nothing when it does
// not count (absent or stale).
std::optional<std::string> LockFileHolder(const std::string& lockPath) {
  struct stat info {};
  if (::lstat(lockPath.c_str(), &info) != 0) return std::nullopt;
  std::optional<std::string> text = S_ISREG(info.st_mode) ? ReadSmallFile(lockPath) : std::nullopt;
  std::optional<std::vector<std::string>> fields = text ? LockFields(*text) : std::nullopt;
  if (!fields) return "LibreOffice, in use by an unknown user";
  const std::string& fullName = (*fields)[0];
  const std::string& login = (*fields)[1];
  const std::string& host = (*fields)[2];
  const std::string& time = (*fields)[3];
  const std::string& profile = (*fields)[4];
  const bool ours = profile.starts_with(kOwnMarker);
  const std::string user = fullName.empty() ? login : fullName;
  if (!host.empty() && host == ThisHostName()) {
    if (ours) {
      // Instances of this one process take turns on their own; only a lock
      // of another process that still runs counts (a process id given again
      // after a restart does not).
      if (!OwnHolderLives(std::string_view(profile).substr(kOwnMarker.size()))) return std::nullopt;
    } else if (!LibreOfficeMayHoldIt(login, profile)) {
      return std::nullopt;
    }
  }
  return std::string(ours ? "Tabulory, " : "LibreOffice, ") + ByWhom(user, host, time);
}

// The user an owner file names: a length byte and that many bytes of the
// name in the system's 8-bit code page, padded to 54 bytes, then a 16-bit
// length and the name again in UTF-16. Nothing when neither can be read.
std::optional<std::string> OwnerFileUser(const std::string& bytes) {
  auto utf8 = [](uint32_t code) {
    std::string out;
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
  };
  auto byte = [&bytes](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.size() >= 56) {
    const size_t length = byte(54) | (byte(55) << 8);
    if (length > 0 && 56 + 2 * length <= bytes.size()) {
      std::string name;
      bool clean = true;
      for (size_t i = 0; i < length; ++i) {
        uint32_t unit = byte(56 + 2 * i) | (byte(57 + 2 * i) << 8);
        if (unit < 0x20 || (unit >= 0xD800 && unit <= 0xDFFF)) clean = false;
        name += utf8(unit);
      }
      if (clean) return name;
    }
  }
  if (bytes.empty()) return std::nullopt;
  const size_t length = byte(0);
  if (length == 0 || length > 53 || bytes.size() < 1 + length) return std::nullopt;
  std::string name;
  for (size_t i = 1; i <= length; ++i) {
    if (byte(i) < 0x20) return std::nullopt;
    name += utf8(byte(i));  // Latin-1 stands in for the unknown code page
  }
  return name;
}

// The holder an owner file names, or nothing when there is none.
std::optional<std::string> OwnerFileHolder(const std::string& ownerPath) {
  struct stat info {};
  if (::lstat(ownerPath.c_str(), &info) != 0) return std::nullopt;
  std::optional<std::string> bytes = S_ISREG(info.st_mode) ? ReadSmallFile(ownerPath) : std::nullopt;
  std::optional<std::string> user = bytes ? OwnerFileUser(*bytes) : std::nullopt;
  if (!user) return "Microsoft Excel, in use by an unknown user";
  return "Microsoft Excel, " + ByWhom(*user, "", LockTime(info.st_mtime));
}

// The holder of an advisory lock on the workbook itself, or nothing.
std::optional<std::string> AdvisoryLockHolder(const std::string& path) {
  // Without waiting: a named pipe in a workbook's place must not hang the check.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;  // opening the workbook will say what is wrong
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = 0;
  probe.l_len = 0;
  const bool tested = ::fcntl(fd, F_GETLK, &probe) == 0;
  ::close(fd);
  if (!tested || probe.l_type == F_UNLCK) return std::nullopt;
  if (probe.l_pid <= 0) return std::string("a program that locked the file");
  const std::string name = ProcessName(probe.l_pid);
  const std::string program = name == "soffice.bin" ? "LibreOffice" : name.empty() ? "a program" : name;
  return program + ", process " + std::to_string(probe.l_pid) + " on this computer";
}

struct UserNames {
  std::string fullName;
  std::string login;
};

UserNames CurrentUser() {
  UserNames names;
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
    names.login = found->pw_name;
    std::string gecos = found->pw_gecos ? found->pw_gecos : "";
    names.fullName = gecos.substr(0, gecos.find(','));
  }
  if (names.login.empty()) {
    const char* user = std::getenv("USER");
    names.login = user ? user : std::to_string(::getuid());
  }
  return names;
}

std::string OwnLockLine() {
  const UserNames user = CurrentUser();
  return EscapedField(user.fullName) + "," + EscapedField(user.login) + "," + EscapedField(ThisHostName()) + "," +
         LockTime(std::time(nullptr)) + "," + std::string(kOwnMarker) + std::to_string(::getpid()) + ":" + BootId() + ":" +
         StartTimeOf(::getpid()) + ";";
}

}  // namespace


std::string LibreOfficeLockPath(const std::string& path) { return Folder(path) + ".~lock." + FileName(path) + "#"; }

std::string OwnerFilePath(const std::string& path) { return Folder(path) + "~$" + FileName(path); }

void CheckNotInUse(const std::string& path) {
  std::optional<std::string> holder = LockFileHolder(LibreOfficeLockPath(path));
  if (!holder) holder = OwnerFileHolder(OwnerFilePath(path));
  if (!holder) holder = AdvisoryLockHolder(path);
  if (holder) throw HostError(InUseText(path, *holder));
}

WorkbookLock::WorkbookLock(const std::string& path) : lockPath_(LibreOfficeLockPath(path)), content_(OwnLockLine()) {
  CheckNotInUse(path);
  // Listed before the file exists, so a signal at any moment removes it.
  slot_ = RememberHeldFile(lockPath_);
  auto fail = [&](int error) {
    ForgetHeldFile(slot_);
    throw HostError("Cannot open \"" + path + "\" for change: its lock file " + lockPath_ +
                    " cannot be written (" + FileErrorReason(error) + ").");
  };
  int fd = ::open(lockPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0 && errno == EEXIST) {
    // A stale lock (checked above): ours replaces it. Should another program
    // claim the workbook meanwhile, its lock wins.
    ::unlink(lockPath_.c_str());
    fd = ::open(lockPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) {
      try {
        CheckNotInUse(path);
      } catch (...) {
        ForgetHeldFile(slot_);  // the lock there is the other program's
        throw;
      }
    }
  }
  if (fd < 0 && errno == ENAMETOOLONG) {
    // The name leaves no room for a lock file beside it: no other program can
    // keep one for this workbook either, so it is held without one.
    ForgetHeldFile(slot_);
    slot_ = -1;
    lockPath_.clear();
    return;
  }
  if (fd < 0) fail(errno);
  const ssize_t written = ::write(fd, content_.data(), content_.size());
  const int writeError = errno;
  if (::close(fd) != 0 || written != static_cast<ssize_t>(content_.size())) {
    ::unlink(lockPath_.c_str());
    fail(written < 0 ? writeError : EIO);
  }
}

WorkbookLock::~WorkbookLock() {
  if (lockPath_.empty()) return;
  ForgetHeldFile(slot_);
  if (ReadSmallFile(lockPath_) == content_) ::unlink(lockPath_.c_str());
}

}  // namespace host
