// A mapped file reads as the file, also after its pages were let go or
// mapped ahead of a pass; a file shortened under its mapping reads as zeros
// past its new end, and the mapping says it was lost, instead of the process
// ending with SIGBUS. A view
// of runs of a file reads as the runs one after the other, however they line
// up with the pages, also after its pages were let go.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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
    for (size_t at = 0; at < c.size; at += 4096) file.PassedTo(at);
    EXPECT_EQ(file.Bytes(), bytes) << c.name << ", read in a pass";

    if (c.shortenedTo < c.size) {
      file.Release(0, c.size);
      std::filesystem::resize_file(path, c.shortenedTo);
      // A pass in order maps the pages ahead of it, those past the end too.
      for (size_t at = 0; at < c.size; at += 4096) file.PassedTo(at);
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

TEST(MappedFile, ViewsRunsOfTheFileAsOneStream) {
  using Run = host::MappedFile::Run;
  const struct {
    const char* name;
    std::vector<Run> runs;
    bool filePages;  // some of the view is the file's pages
  } cases[] = {
      {"one run on a page", {{4096, 3 * 4096 + 100}}, true},
      {"one run off the pages", {{1536, 20000}}, true},
      {"runs at two alignments, tables between them",
       {{1536, 64512}, {181760, 200000}, {382464 + 512, 150000}}, true},
      {"runs shorter than a page", {{512, 512}, {2048, 1024}, {9000, 700}}, false},
      {"a run past the end of the file", {{4096, 600000}}, false},
  };
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("tabulory-mapped-runs-" + std::to_string(getpid()));
  std::string bytes(580000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 4096);
  std::ofstream(path, std::ios::binary) << bytes;
  for (const auto& c : cases) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0) << c.name;
    host::MappedFile view = host::MappedFile::MapRuns(fd, c.runs);
    ::close(fd);
    std::string expected;
    bool inside = true;
    for (const Run& run : c.runs) {
      inside = inside && run.fileOffset + run.size <= bytes.size();
      if (inside) expected += bytes.substr(run.fileOffset, run.size);
    }
    if (!inside) {
      EXPECT_FALSE(view) << c.name;
      continue;
    }
    ASSERT_TRUE(view) << c.name;
    EXPECT_EQ(view.Bytes(), expected) << c.name;
    EXPECT_EQ(view.FileBytes() > 0, c.filePages) << c.name;
    for (size_t at = 0; at < expected.size(); at += 1000) view.PassedTo(at);
    view.Release(0, expected.size());
    EXPECT_EQ(view.Bytes(), expected) << c.name << ", read again";
  }
  std::filesystem::remove(path);
}

}  // namespace
