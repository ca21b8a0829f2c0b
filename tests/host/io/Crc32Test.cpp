// The checksum of two runs joined equals the checksum of the whole, for any
// place the whole is cut (an independent CRC-32, zlib's, is the reference).

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

#include "host/io/Crc32.h"

namespace {

uint32_t Reference(std::string_view bytes) {
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

TEST(Crc32, JoinedEqualsTheWhole) {
  std::mt19937 rng(7);
  std::string whole(300000, '\0');
  for (char& c : whole) c = static_cast<char>(rng());
  const struct {
    const char* name;
    size_t length, cut;
  } cases[] = {
      {"both empty", 0, 0},          {"first empty", 1000, 0},   {"second empty", 1000, 1000},
      {"one byte each", 2, 1},       {"odd cut", 300000, 12345}, {"second longer than 64 KB", 300000, 100},
      {"first longer", 300000, 299999},
  };
  for (const auto& c : cases) {
    const std::string_view all = std::string_view(whole).substr(0, c.length);
    const std::string_view first = all.substr(0, c.cut), second = all.substr(c.cut);
    EXPECT_EQ(host::io::Crc32Joined(Reference(first), Reference(second), second.size()), Reference(all)) << c.name;
  }
}

}  // namespace
