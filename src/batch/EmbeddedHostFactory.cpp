#include "batch/EmbeddedHostFactory.h"

#include "host/Application.h"

namespace tabulory {

std::shared_ptr<host::Application> EmbeddedHostFactory::Create() {
  // The host runs inside this process; an instance is a fresh object.
  return std::make_shared<host::Application>();
}

}  // namespace tabulory
