#pragma once
// Memory for the large buffers a package reads into and writes from. Parts
// of tens of megabytes are written once right after they are allocated; in
// 4 KB pages every page costs a fault (more than inflating into it), so large
// buffers ask the kernel for huge pages, and scratch buffers are reused.

#include <atomic>
#include <cstddef>
#include <memory>
#include <thread>

#include "host/core/HugePages.h"  // AdviseHugePages, for the buffers read into

namespace host {

struct PartMemoryFree {
  void operator()(char* p) const;
};

// A buffer from AllocatePartMemory, freed with it.
using PartMemory = std::unique_ptr<char[], PartMemoryFree>;

// Room for size bytes (at least one), not cleared; buffers from 2 MB up are
// aligned and advised for huge pages. Throws std::bad_alloc when memory is out.
PartMemory AllocatePartMemory(size_t size);


// Has the kernel put in the pages of a fresh buffer on another thread while
// this one writes the buffer from its start: the kernel clears every fresh
// page before first use, which costs about as much as inflating into it, and
// this way the two run side by side. Started at construction; stopped and
// waited for at destruction (which must come before the buffer is freed).
// Nothing for buffers under kFrom bytes, for a process that has one core,
// or where the kernel does not populate pages on request.
class PagePrefault {
 public:
  static constexpr size_t kFrom = size_t(8) << 20;

  PagePrefault(char* data, size_t size);
  ~PagePrefault();
  PagePrefault(const PagePrefault&) = delete;
  PagePrefault& operator=(const PagePrefault&) = delete;

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A buffer that grows on demand and keeps its memory between uses.
class ScratchBuffer {
 public:
  // At least size bytes, contents not kept.
  char* Reserve(size_t size);

 private:
  PartMemory data_;
  size_t capacity_ = 0;
};

}  // namespace host
