#pragma once
// Host factories for tests: one that cannot create an instance, one that
// throws, and one that gives an instance of the embedded host.

#include "batch/HostFactory.h"
#include "host/core/Application.h"

#include <stdexcept>

namespace tabulory::testing {

class FailingHostFactory : public HostFactory {
 public:
  std::shared_ptr<host::Application> Create() override {
    ++calls;
    return nullptr;
  }
  int calls = 0;
};

class ThrowingHostFactory : public HostFactory {
 public:
  std::shared_ptr<host::Application> Create() override {
    ++calls;
    throw std::runtime_error("cannot start the host");
  }
  int calls = 0;
};

// Gives a real instance of the embedded host.
class WorkingHostFactory : public HostFactory {
 public:
  std::shared_ptr<host::Application> Create() override {
    ++calls;
    return std::make_shared<host::Application>();
  }
  int calls = 0;
};

}  // namespace tabulory::testing
