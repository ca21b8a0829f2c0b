// Pages put in on another thread while a buffer is written never change
// what was written, whether the writer is ahead of that thread or behind it.
// Large buffers and tables start on a 2 MB boundary, so that huge pages can
// cover them whole.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "host/core/HugePages.h"
#include "host/core/RowNumbers.h"
#include "host/io/PartMemory.h"

namespace {

TEST(PagePrefault, LeavesWhatIsWrittenMeanwhile) {
  const struct {
    const char* name;
    size_t size;
    size_t step;  // bytes written at a time
  } cases[] = {
      {"below the size it starts from", host::PagePrefault::kFrom - 1, 4096},
      {"large, written in small steps", (size_t(24) << 20) + 123, 1000},
      {"large, written at once", size_t(24) << 20, size_t(24) << 20},
  };
  for (const auto& c : cases) {
    host::PartMemory buffer = host::AllocatePartMemory(c.size);
    {
      host::PagePrefault prefault(buffer.get(), c.size);
      for (size_t at = 0; at < c.size; at += c.step)
        for (size_t i = at; i < std::min(c.size, at + c.step); ++i) buffer[i] = static_cast<char>(i * 7 + 1);
    }
    size_t wrong = 0;
    for (size_t i = 0; i < c.size; ++i) wrong += buffer[i] != static_cast<char>(i * 7 + 1);
    EXPECT_EQ(wrong, 0u) << c.name;
  }
}

TEST(HugePageAllocator, LargeTablesStartOnAHugePage) {
  constexpr uintptr_t kHugePage = uintptr_t(2) << 20;
  const struct {
    size_t elements;  // of 8 bytes
    bool aligned;
  } cases[] = {{1000, false}, {(size_t(4) << 20) / 8, true}, {(size_t(9) << 20) / 8 + 3, true}};
  for (const auto& c : cases) {
    host::HugeVector<uint64_t> table;
    table.reserve(c.elements);
    if (c.aligned) {
      EXPECT_EQ(reinterpret_cast<uintptr_t>(table.data()) % kHugePage, 0u) << c.elements;
    }
    for (size_t i = 0; i < c.elements; ++i) table.push_back(i * 3);
    EXPECT_EQ(table.back(), (c.elements - 1) * 3);
    table.push_back(1);  // grows into a new table, the old one freed
    EXPECT_EQ(table[c.elements / 2], c.elements / 2 * 3);
  }
  host::PartMemory part = host::AllocatePartMemory((size_t(2) << 20) + 1);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(part.get()) % kHugePage, 0u);
  // A list of a number per row takes huge pages from half a million rows.
  host::RowNumbers rows(600000);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(rows.data()) % kHugePage, 0u);
}

}  // namespace
