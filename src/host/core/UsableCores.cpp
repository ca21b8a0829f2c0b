#include "host/core/UsableCores.h"

#include <sched.h>

#include <thread>

namespace host {

size_t UsableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<size_t>(count);
  }
  // A mask larger than the set (more than 1,024 processors): the machine's count.
  const unsigned all = std::thread::hardware_concurrency();
  return all > 0 ? all : 1;
}

}  // namespace host
