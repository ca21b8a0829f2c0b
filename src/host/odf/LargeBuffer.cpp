#include "host/odf/LargeBuffer.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace host::odf {

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
}

LargeBuffer::LargeBuffer(size_t size) : size_(size) {
  // Whole huge pages, aligned to one, so the advice covers all of it.
  size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
  if (rounded == 0) rounded = kHugePage;
  void* p = std::aligned_alloc(kHugePage, rounded);
  if (!p) throw std::bad_alloc();
  // Only advice: where huge pages are not available the memory is plain.
  ::madvise(p, rounded, MADV_HUGEPAGE);
  data_.reset(static_cast<char*>(p));
}

void LargeBuffer::Free::operator()(char* p) const { std::free(p); }

}  // namespace host::odf
