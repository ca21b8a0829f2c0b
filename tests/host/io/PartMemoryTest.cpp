// Pages put in on another thread while a buffer is written never change
// what was written, whether the writer is ahead of that thread or behind it.

#include <gtest/gtest.h>

#include <cstring>

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

}  // namespace
