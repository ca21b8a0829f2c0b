// A mapped file reads as the file, also after its pages were let go; a file
// shortened under its mapping reads as zeros past its new end, and the
// mapping says it was lost, instead of the process ending with SIGBUS.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/io/MappedFile.h"

namespace {

TEST(MappedFile, ReadsTheFileUnlessShortenedUnderIt) {
  const struct {
    const char* name;
    size_t size;
    size_t shortenedTo;  // the size another program leaves; size when none does
  } cases[] = {
      {"a page's part", 100, 100},
      {"many pages", (size_t(3) << 20) + 5, (size_t(3) << 20) + 5},
      {"shortened to nothing", size_t(1) << 20, 0},
      {"shortened within its pages", (size_t(1) << 20) + 77, 300000},
  };
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("tabulory-mapped-" + std::to_string(getpid()));
  for (const auto& c : cases) {
    std::string bytes(c.size, '\0');
    for (size_t i = 0; i < c.size; ++i) bytes[i] = static_cast<char>('a' + i % 23);
    std::ofstream(path, std::ios::binary) << bytes;
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0) << c.name;
    host::MappedFile file = host::MappedFile::Map(fd, c.size);
    ::close(fd);
    ASSERT_TRUE(file) << c.name;
    EXPECT_EQ(file.Bytes(), bytes) << c.name;
    file.Release(0, c.size);
    EXPECT_EQ(file.Bytes(), bytes) << c.name << ", read again";

    if (c.shortenedTo < c.size) {
      file.Release(0, c.size);
      std::filesystem::resize_file(path, c.shortenedTo);
      // What lies in pages the file still has reads as it was; what lies
      // past them reads as zeros.
      const size_t kept = (c.shortenedTo + 4095) / 4096 * 4096;
      std::string expected = bytes.substr(0, c.shortenedTo) + std::string(c.size - c.shortenedTo, '\0');
      EXPECT_EQ(file.Bytes().substr(kept), std::string_view(expected).substr(kept)) << c.name;
    }
    EXPECT_EQ(file.Intact(), c.shortenedTo == c.size) << c.name;
  }
  std::filesystem::remove(path);
}

}  // namespace
