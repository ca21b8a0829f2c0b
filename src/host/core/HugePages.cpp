#include "host/core/HugePages.h"

#include <sys/mman.h>

#include <cstdint>

namespace host {

void AdviseHugePages(void* data, size_t size) {
  constexpr uintptr_t kHugePage = uintptr_t(2) << 20;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHugePage - 1) / kHugePage * kHugePage;
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) / kHugePage * kHugePage;
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace host
