#include "host/odf/TreeMemory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <pugixml.hpp>
#include <unordered_map>

namespace host::odf {

namespace {

constexpr size_t kChunk = size_t(2) << 20;
constexpr size_t kAlign = 16;
// Larger requests get chunks of their own.
constexpr size_t kLargest = kChunk / 4;

struct Chunk {
  size_t live = 0;  // allocations not yet released
};

std::mutex mutex;
std::unordered_map<uintptr_t, Chunk> chunks;  // by base address
char* current = nullptr;                      // the chunk small requests are cut from
size_t used = 0;                              // bytes of it handed out

char* NewChunk(size_t size) {
  void* p = std::aligned_alloc(kChunk, size);
  if (!p) return nullptr;
  ::madvise(p, size, MADV_HUGEPAGE);  // advice only
  chunks.emplace(reinterpret_cast<uintptr_t>(p), Chunk{});
  return static_cast<char*>(p);
}

void* Allocate(size_t size) {
  std::lock_guard<std::mutex> lock(mutex);
  if (size > kLargest) {
    char* p = NewChunk((size + kChunk - 1) / kChunk * kChunk);
    if (p) chunks[reinterpret_cast<uintptr_t>(p)].live = 1;
    return p;
  }
  size = (size + kAlign - 1) / kAlign * kAlign;
  if (!current || used + size > kChunk) {
    if (current && chunks[reinterpret_cast<uintptr_t>(current)].live == 0) {
      chunks.erase(reinterpret_cast<uintptr_t>(current));
      std::free(current);
    }
    current = NewChunk(kChunk);
    used = 0;
    if (!current) return nullptr;
  }
  void* p = current + used;
  used += size;
  ++chunks[reinterpret_cast<uintptr_t>(current)].live;
  return p;
}

void Deallocate(void* p) {
  if (!p) return;
  std::lock_guard<std::mutex> lock(mutex);
  uintptr_t base = reinterpret_cast<uintptr_t>(p) & ~(uintptr_t(kChunk) - 1);
  auto it = chunks.find(base);
  if (it == chunks.end()) {
    std::free(p);  // taken before these functions were in use
    return;
  }
  if (--it->second.live > 0) return;
  if (reinterpret_cast<char*>(base) == current) {
    used = 0;  // the chunk in use starts over
    return;
  }
  chunks.erase(it);
  std::free(reinterpret_cast<void*>(base));
}

}  // namespace

void UseChunkedTreeMemory() {
  static std::once_flag once;
  std::call_once(once, [] { pugi::set_memory_management_functions(Allocate, Deallocate); });
}

}  // namespace host::odf
