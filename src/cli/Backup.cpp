#include "cli/Backup.h"

#include "app/shell/ErrorReport.h"
#include "app/shell/RawFileName.h"
#include "host/core/FileReplacement.h"
#include "host/core/HostError.h"

#include <QFile>

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tabulory::cli {

namespace {

// Copies all of `from` into `to`; false with errno set on failure.
bool CopyBytes(int from, int to) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(to, buffer.data() + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return false;
      done += put;
    }
  }
}

// The next numbered backup of original: one past the highest FILE.~N~ beside it.
std::string NextNumberedBackup(const std::string& original) {
  const size_t slash = original.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : original.substr(0, slash == 0 ? 1 : slash);
  const std::string stem = (slash == std::string::npos ? original : original.substr(slash + 1)) + ".~";
  unsigned long highest = 0;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() <= stem.size() + 1 || name.compare(0, stem.size(), stem) != 0 || name.back() != '~') continue;
      const std::string digits = name.substr(stem.size(), name.size() - stem.size() - 1);
      if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
      highest = std::max(highest, std::stoul(digits));
    }
    ::closedir(dir);
  }
  return original + ".~" + std::to_string(highest + 1) + "~";
}

}  // namespace

void KeepBackup(const QString& path, const QString& suffix) {
  const std::string original = FileNameBytes(path).toStdString();
  const std::string backup = suffix == QLatin1String(kNumberedBackups)
                                 ? NextNumberedBackup(original)
                                 : original + FileNameBytes(suffix).toStdString();
  const QString shown = FileNameFromBytes(QByteArrayView(backup.data(), static_cast<qsizetype>(backup.size())));
  const auto fail = [&](int error) {
    throw ProcedureError(QStringLiteral("Cannot keep a backup of \"%1\" as \"%2\": %3.")
                             .arg(path, shown, QString::fromStdString(host::FileErrorReason(error))));
  };

  const int in = ::open(original.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) fail(errno);
  struct stat info {};
  if (::fstat(in, &info) != 0) {
    const int error = errno;
    ::close(in);
    fail(error);
  }
  // The copy is made under a temporary name beside the backup, so an older
  // backup is only replaced by a complete one.
  const size_t slash = backup.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : backup.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? backup : backup.substr(slash + 1);
  std::string temp = folder + "." + name + ".copying-XXXXXX";
  const int out = ::mkstemp(temp.data());
  if (out < 0) {
    const int error = errno;
    ::close(in);
    fail(error);
  }
  int error = CopyBytes(in, out) ? 0 : errno;
  ::close(in);
  const timespec times[2] = {info.st_atim, info.st_mtim};
  // The backup is the user's as the original is: owner and group where this
  // process may give them, then the mode, then the attributes (the ACL last).
  if (!error && ::fchown(out, info.st_uid, info.st_gid) != 0) (void)!::fchown(out, static_cast<uid_t>(-1), info.st_gid);
  if (!error && ::fchmod(out, info.st_mode & 07777) != 0) error = errno;
  if (!error) host::CopyExtendedAttributes(original, temp);
  if (!error && ::futimens(out, times) != 0) error = errno;
  if (!error && ::fsync(out) != 0) error = errno;
  if (::close(out) != 0 && !error) error = errno;
  if (!error && ::rename(temp.c_str(), backup.c_str()) != 0) error = errno;
  if (error) {
    ::unlink(temp.c_str());
    fail(error);
  }
}

}  // namespace tabulory::cli
