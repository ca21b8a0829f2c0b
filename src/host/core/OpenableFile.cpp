#include "host/core/OpenableFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "host/core/HostError.h"

namespace host {

void CheckOpenable(const std::string& path) {
  const std::string cannot = "Cannot open \"" + path + "\": ";
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    throw HostError(cannot + (errno == ENOENT || errno == ENOTDIR ? "it does not exist."
                              : errno == EACCES                   ? "permission to reach it was denied."
                                                                  : "the system cannot find it."));
  if (S_ISDIR(st.st_mode)) throw HostError(cannot + "it is a folder, not a workbook.");
  if (!S_ISREG(st.st_mode))
    throw HostError(cannot + "it is not a regular file (a pipe, device or socket), so it holds no workbook.");
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw HostError(cannot + (errno == EACCES || errno == EPERM ? "permission to read it was denied." : "it cannot be read."));
  ::close(fd);
  if (st.st_size == 0) throw HostError(cannot + "it is empty (0 bytes), so it holds no workbook.");
}

}  // namespace host
