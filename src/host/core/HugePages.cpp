#include "host/core/HugePages.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace host {

namespace {

constexpr uintptr_t kHugePage = uintptr_t(2) << 20;

}  // namespace

void AdviseHugePages(void* data, size_t size) {
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHugePage - 1) / kHugePage * kHugePage;
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) / kHugePage * kHugePage;
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

void* AllocateHugeAligned(size_t size, size_t alignedFrom) {
  if (size < std::max<size_t>(alignedFrom, kHugePage)) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    return p;
  }
  if (size > SIZE_MAX - kHugePage) throw std::bad_alloc();
  // Whole huge pages, aligned, so that the kernel can map every one of them.
  const size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
  void* p = std::aligned_alloc(kHugePage, rounded);
  if (!p) throw std::bad_alloc();
  // Advice only: where huge pages are unavailable the buffer works as it is.
  madvise(p, rounded, MADV_HUGEPAGE);
  return p;
}

}  // namespace host
