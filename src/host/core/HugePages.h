#pragma once
// Huge pages for large buffers: a buffer of tens of megabytes written right
// after it is allocated costs a page fault (and on this kind of machine a
// trip through the hypervisor) every 4 KB otherwise. Advice on a buffer
// reaches only the 2 MB pages wholly inside it, so a table of a few
// megabytes keeps up to 2 MB at its head in small pages; tables allocated
// with HugePageAllocator start on a 2 MB boundary and get huge pages whole.

#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

namespace host {

// Asks for huge pages over the whole 2 MB pages within data..data + size, a
// buffer allocated but not yet touched (a string or vector reserved before
// it is filled); advice only, nothing when the buffer is smaller.
void AdviseHugePages(void* data, size_t size);

// The same for the room a vector has reserved and not yet filled.
template <typename Vector>
void AdviseReserved(Vector& v) {
  AdviseHugePages(v.data(), v.capacity() * sizeof(*v.data()));
}

// Room for size bytes, freed with std::free: from alignedFrom (2 MB or
// more) up aligned to 2 MB, whole huge pages, advised; smaller ones from
// malloc. Throws std::bad_alloc when memory is out.
void* AllocateHugeAligned(size_t size, size_t alignedFrom = size_t(2) << 20);

// For the vectors of large tables (cell and row records, sort keys): from
// 4 MB up (where rounding to whole huge pages costs little) as
// AllocateHugeAligned gives them, smaller ones from malloc.
template <typename T>
struct HugePageAllocator {
  static constexpr size_t kAlignedFrom = size_t(4) << 20;
  using value_type = T;
  HugePageAllocator() = default;
  template <typename U>
  HugePageAllocator(const HugePageAllocator<U>&) noexcept {}
  T* allocate(size_t n);
  void deallocate(T* p, size_t) noexcept;
  template <typename U>
  bool operator==(const HugePageAllocator<U>&) const noexcept {
    return true;
  }
};

template <typename T>
using HugeVector = std::vector<T, HugePageAllocator<T>>;

template <typename T>
T* HugePageAllocator<T>::allocate(size_t n) {
  if (n > size_t(-1) / sizeof(T)) throw std::bad_alloc();
  return static_cast<T*>(AllocateHugeAligned(n * sizeof(T), kAlignedFrom));
}

template <typename T>
void HugePageAllocator<T>::deallocate(T* p, size_t) noexcept {
  std::free(p);
}

}  // namespace host
