#pragma once
// The one exception type of the host: a description in the host's own words
// that names the file (where there is one) and what went wrong.

#include <stdexcept>
#include <string>

namespace host {

class HostError : public std::runtime_error {
 public:
  explicit HostError(const std::string& description) : std::runtime_error(description), description_(description) {}
  // The description, in the host's own words, fit to show the user.
  const std::string& Description() const noexcept { return description_; }

 private:
  std::string description_;
};

// The refusal to open a file, in one wording for every format:
// Cannot open "PATH": WHY. (why without its final full stop).
HostError CannotOpen(const std::string& path, const std::string& why);

// Why a call on a file failed, in plain words ("it does not exist",
// "permission was denied", "the disk is full"), never the system's text.
std::string FileErrorReason(int error);

// A failure the host did not foresee (a library or standard-library exception
// caught where a file is opened or saved). Callers see a HostError; tests and
// the fuzz target treat it as a defect of the host.
class HostDefect : public HostError {
 public:
  explicit HostDefect(const std::string& description) : HostError(description) {}
};

// A fault found in the XML of a part, with what is wrong and where.
struct XmlFault {
  std::string message;
};

// Rethrows the exception being handled as a HostError: a HostError as it is,
// an XML fault, a lack of memory or anything else with the subject in front
// (subject names the file and part, e.g. `Cannot open "a.xlsx": the part x`).
// Call only inside a catch block.
[[noreturn]] void RethrowAsHostError(const std::string& subject);

}  // namespace host
