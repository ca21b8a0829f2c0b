#include "host/core/HostError.h"

#include <cerrno>

#include <new>


namespace host {

HostError CannotOpen(const std::string& path, const std::string& why) {
  return HostError("Cannot open \"" + path + "\": " + why + ".");
}

std::string FileErrorReason(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return "it does not exist";
    case EACCES:
    case EPERM:
    case EROFS: return "permission was denied";
    case ENOSPC:
    case EDQUOT: return "the disk is full";
    case EISDIR: return "it is a folder";
    case EFBIG: return "the file would grow past the largest file this user may write";
    case EIO: return "the disk could not be read or written";
    default: return "the system refused it";
  }
}

void RethrowAsHostError(const std::string& subject) {
  try {
    throw;
  } catch (const HostError&) {
    throw;
  } catch (const XmlFault& fault) {
    throw HostError(subject + " is not acceptable XML: " + fault.message + ".");
  } catch (const std::bad_alloc&) {
    throw HostError(subject + " needs more memory than this computer has free.");
  } catch (...) {
    // The library's own text is left out: it means nothing to the user.
    throw HostDefect(subject + " could not be handled (an unforeseen fault of the host).");
  }
}

}  // namespace host
