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
#include <utility>
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
// AlignedFrom up (4 MB by default, where rounding to whole huge pages costs
// little) as AllocateHugeAligned gives them, smaller ones from malloc. With
// Cleared false, the elements a vector grows by are left unwritten (but
// those given a value): for a table written whole right after it is made
// (a million sort keys filled on two threads, a list of a number per row),
// where a pass that clears it first would touch every page twice.
template <typename T, size_t AlignedFrom = (size_t(4) << 20), bool Cleared = true>
struct HugePageAllocator {
  static constexpr size_t kAlignedFrom = AlignedFrom;
  using value_type = T;
  template <typename U>
  struct rebind {
    using other = HugePageAllocator<U, AlignedFrom, Cleared>;
  };
  HugePageAllocator() = default;
  template <typename U>
  HugePageAllocator(const HugePageAllocator<U, AlignedFrom, Cleared>&) noexcept {}
  T* allocate(size_t n);
  void deallocate(T* p, size_t) noexcept;
  template <typename U>
    requires(!Cleared)
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
    requires(!Cleared)
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <typename U>
  bool operator==(const HugePageAllocator<U, AlignedFrom, Cleared>&) const noexcept {
    return true;
  }
};

template <typename T>
using HugeVector = std::vector<T, HugePageAllocator<T>>;

template <typename T, size_t AlignedFrom = (size_t(4) << 20)>
using UnclearedAllocator = HugePageAllocator<T, AlignedFrom, false>;

template <typename T, size_t AlignedFrom, bool Cleared>
T* HugePageAllocator<T, AlignedFrom, Cleared>::allocate(size_t n) {
  if (n > size_t(-1) / sizeof(T)) throw std::bad_alloc();
  return static_cast<T*>(AllocateHugeAligned(n * sizeof(T), kAlignedFrom));
}

template <typename T, size_t AlignedFrom, bool Cleared>
void HugePageAllocator<T, AlignedFrom, Cleared>::deallocate(T* p, size_t) noexcept {
  std::free(p);
}

}  // namespace host
