#include "host/io/PartMemory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <algorithm>
#include <cstdint>
#include <new>

namespace host {

namespace {

constexpr size_t kHugePage = size_t(2) << 20;

}  // namespace

void PartMemoryFree::operator()(char* p) const { std::free(p); }

PartMemory AllocatePartMemory(size_t size) {
  if (size < kHugePage) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    return PartMemory(static_cast<char*>(p));
  }
  // Whole huge pages, aligned, so that the kernel can map every one of them.
  const size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
  void* p = std::aligned_alloc(kHugePage, rounded);
  if (!p) throw std::bad_alloc();
  // Advice only: where huge pages are unavailable the buffer works as it is.
  madvise(p, rounded, MADV_HUGEPAGE);
  return PartMemory(static_cast<char*>(p));
}

void AdviseHugePages(char* data, size_t size) {
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHugePage - 1) / kHugePage * kHugePage;
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) / kHugePage * kHugePage;
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

char* ScratchBuffer::Reserve(size_t size) {
  if (!data_ || size > capacity_) {
    data_.reset();
    capacity_ = std::max(size, capacity_ + capacity_ / 2);
    data_ = AllocatePartMemory(capacity_);
  }
  return data_.get();
}

}  // namespace host
