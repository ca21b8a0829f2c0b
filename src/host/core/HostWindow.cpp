#include "host/core/HostWindow.h"

#include <mutex>

namespace host {

namespace {
std::mutex& FactoryMutex() {
  static std::mutex mutex;
  return mutex;
}
HostWindowFactory& Factory() {
  static HostWindowFactory factory;
  return factory;
}
}  // namespace

void SetHostWindowFactory(HostWindowFactory factory) {
  std::lock_guard<std::mutex> lock(FactoryMutex());
  Factory() = std::move(factory);
}

HostWindowFactory GetHostWindowFactory() {
  std::lock_guard<std::mutex> lock(FactoryMutex());
  return Factory();
}

}  // namespace host
