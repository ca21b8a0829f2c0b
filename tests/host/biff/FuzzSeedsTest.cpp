// The .xls fuzz target's seed corpus, written from the tests' fixtures, and
// the inputs that once broke it, which must now be read or refused cleanly.

#include <gtest/gtest.h>

#include <filesystem>

#include "XlsFixtures.h"
#include "fuzz/ExerciseXls.h"
#include "host/biff/CompoundFile.h"

namespace {

TEST(BiffFuzzSeeds, WriteSeedCorpus) {
  if (xlsfixtures::LibreOfficeXls().empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; no .xls seeds";
  std::string seeds = TABULORY_BIFF_FUZZ_SEEDS;
  std::filesystem::create_directories(seeds);
  const std::string& xls = xlsfixtures::LibreOfficeXls();
  host::biff::CompoundFile file(xls, "seed.xls");
  fixtures::WriteFile(seeds + "/libreoffice.xls", xls);
  // The workbook stream alone, and each of its sheet substreams alone.
  std::string stream = file.ReadStream(file.Find("Workbook"));
  fixtures::WriteFile(seeds + "/workbook.stream", stream);
  EXPECT_NO_THROW(xlsfuzz::ExerciseXls(xls));
  EXPECT_NO_THROW(xlsfuzz::ExerciseXls(stream));
}

TEST(BiffFuzzSeeds, FormerCrashInputsAreReadOrRefused) {
  std::filesystem::path folder = TABULORY_BIFF_FUZZ_REGRESSIONS;
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename() == ".gitkeep") continue;
    ++count;
    EXPECT_NO_THROW(xlsfuzz::ExerciseXls(fixtures::ReadFile(entry.path().string()))) << entry.path();
  }
  if (count == 0) GTEST_SKIP() << "no former crash inputs yet";
}

}  // namespace
