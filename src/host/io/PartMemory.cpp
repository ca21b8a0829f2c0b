#include "host/io/PartMemory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <algorithm>
#include <cstdint>
#include <new>

#include "host/core/UsableCores.h"

namespace host {

namespace {

constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kSmallPage = 4096;

}  // namespace

void PartMemoryFree::operator()(char* p) const { std::free(p); }

PartMemory AllocatePartMemory(size_t size) { return PartMemory(static_cast<char*>(AllocateHugeAligned(size))); }

PagePrefault::PagePrefault(char* data, size_t size) {
  if (size < kFrom || UsableCores() < 2) return;  // on one core the faults would only change threads
  thread_ = std::thread([this, data, size] {
    // Huge page by huge page, from the start, so that the writer finds its
    // pages in place as long as this thread stays ahead of it; a page the
    // writer got to first is passed over by the kernel at little cost.
    const uintptr_t end = reinterpret_cast<uintptr_t>(data) + size;
    uintptr_t at = reinterpret_cast<uintptr_t>(data) / kSmallPage * kSmallPage;
    while (at < end && !stop_.load(std::memory_order_relaxed)) {
      const uintptr_t next = std::min(end, (at / kHugePage + 1) * kHugePage);
      if (madvise(reinterpret_cast<void*>(at), next - at, MADV_POPULATE_WRITE) != 0)
        break;  // an older kernel: the writer takes the faults itself
      at = next;
    }
  });
}

PagePrefault::~PagePrefault() {
  stop_.store(true, std::memory_order_relaxed);
  if (thread_.joinable()) thread_.join();
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
