// The map of records by offset keeps every entry through its growth, tells
// an offset it does not hold, and holds any offset a part can have.

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

#include "host/core/OffsetMap.h"

namespace {

TEST(OffsetMap, KeepsEveryEntryThroughItsGrowthAndTellsOffsetsItLacks) {
  host::OffsetMap<std::string> map;
  std::map<uint32_t, std::string> expected;
  EXPECT_EQ(map.Find(0), nullptr);
  // Offsets of records side by side, others far apart, and both ends of the range.
  for (uint32_t i = 0; i < 5000; ++i) expected[i * 37] = "f" + std::to_string(i);
  for (uint32_t i = 1; i < 300; ++i) expected[0xFFFFFFFFu - i * 65537u] = "far" + std::to_string(i);
  expected[0xFFFFFFFFu] = "last";
  for (const auto& [offset, text] : expected) map[offset] = text;
  map[37] = "f1 again";  // a second write replaces, it adds nothing
  expected[37] = "f1 again";
  EXPECT_EQ(map.size(), expected.size());
  for (const auto& [offset, text] : expected) {
    const std::string* found = map.Find(offset);
    ASSERT_NE(found, nullptr) << offset;
    EXPECT_EQ(*found, text) << offset;
  }
  for (uint32_t absent : {1u, 38u, 5000u * 37u, 0xFFFFFFFEu}) EXPECT_EQ(map.Find(absent), nullptr) << absent;
}

}  // namespace
