#pragma once
// The host factory of the program: new instances of the embedded host.

#include "batch/HostFactory.h"

namespace tabulory {

class EmbeddedHostFactory : public HostFactory {
 public:
  std::shared_ptr<host::Application> Create() override;
};

}  // namespace tabulory
