#include "host/core/HostError.h"

#include <new>


namespace host {

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
