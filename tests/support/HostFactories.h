#pragma once
// Host factories for tests: one that cannot create an instance, one that
// throws, and one that gives an instance of the embedded host.

#include "batch/HostFactory.h"

#include <stdexcept>

#if __has_include("host/Application.h")
#include "host/Application.h"
#define TABULORY_TEST_HAS_HOST 1
#endif

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

// Gives a real instance of the embedded host when the engine is built in;
// otherwise a non-null handle that stands for one (the start-up check only
// tests for an instance and releases it).
class WorkingHostFactory : public HostFactory {
 public:
  std::shared_ptr<host::Application> Create() override {
    ++calls;
#ifdef TABULORY_TEST_HAS_HOST
    return std::make_shared<host::Application>();
#else
    static int token;
    return std::shared_ptr<host::Application>(std::shared_ptr<int>(),
                                              reinterpret_cast<host::Application*>(&token));
#endif
  }
  int calls = 0;
};

}  // namespace tabulory::testing
