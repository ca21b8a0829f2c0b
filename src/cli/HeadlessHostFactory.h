#pragma once
// Host instances without a window, for a program that has no display: a
// block can only be named, never highlighted.

#include "batch/HostFactory.h"
#include "host/core/Application.h"

namespace tabulory::cli {

class HeadlessHostFactory : public HostFactory {
 public:
  std::shared_ptr<host::Application> Create() override { return std::make_shared<host::Application>(); }
};

}  // namespace tabulory::cli
