#pragma once
// Memory for the large buffers a package reads into and writes from. Parts
// of tens of megabytes are written once right after they are allocated; in
// 4 KB pages every page costs a fault (more than inflating into it), so large
// buffers ask the kernel for huge pages, and scratch buffers are reused.

#include <cstddef>
#include <memory>

namespace host {

struct PartMemoryFree {
  void operator()(char* p) const;
};

// A buffer from AllocatePartMemory, freed with it.
using PartMemory = std::unique_ptr<char[], PartMemoryFree>;

// Room for size bytes (at least one), not cleared; buffers from 2 MB up are
// aligned and advised for huge pages. Throws std::bad_alloc when memory is out.
PartMemory AllocatePartMemory(size_t size);

// Asks for huge pages over the whole 2 MB pages within data..data + size, a
// buffer allocated but not yet touched (a string reserved before it is
// filled); advice only, nothing when the buffer is smaller.
void AdviseHugePages(char* data, size_t size);

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
