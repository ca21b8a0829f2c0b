#pragma once
// The one exception type of the host: a description in the host's own words
// that names the file (where there is one) and what went wrong.

#include <stdexcept>
#include <string>

namespace host {

class HostError : public std::runtime_error {
 public:
  explicit HostError(const std::string& description) : std::runtime_error(description) {}
};

}  // namespace host
