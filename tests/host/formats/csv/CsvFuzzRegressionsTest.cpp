// Inputs that once broke the CSV fuzz target run through it again: each is
// read, sorted and written back, or refused, without a fault.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

#include "Fixtures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(CsvFuzzRegressions, FormerFindingsAreReadSortedOrRefused) {
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(TABULORY_CSV_FUZZ_REGRESSIONS)) {
    const std::string bytes = fixtures::ReadFile(entry.path().string());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ++count;
  }
  EXPECT_GT(count, 0u);
}
