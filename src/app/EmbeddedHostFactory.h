#pragma once
// The host factory of the window program: new instances of the embedded
// host, which show the host's own window when made visible. The headless
// command has its own (cli/HeadlessHostFactory) and links no window.

#include "batch/HostFactory.h"

namespace tabulory {

class EmbeddedHostFactory : public HostFactory {
 public:
  std::shared_ptr<host::Application> Create() override;
};

}  // namespace tabulory
