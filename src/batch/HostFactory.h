#pragma once
// How the program gets a new instance of the embedded spreadsheet host. The
// start-up check and the batch run ask a factory, so tests can hand in one
// that fails.

#include <memory>

namespace host {
class Application;
}

namespace tabulory {

class HostFactory {
 public:
  virtual ~HostFactory() = default;

  // Starts a new host instance. Gives nullptr, or throws, when none can be
  // created. The caller owns the instance; releasing it does not Quit it.
  virtual std::shared_ptr<host::Application> Create() = 0;
};

}  // namespace tabulory
