// The .xls fuzz target's seed corpus, written from the tests' fixtures, and
// the inputs that once broke it, which must now be read or refused cleanly.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "XlsFixtures.h"
#include "fuzz/ExerciseXls.h"
#include "host/io/CompoundFile.h"

namespace {

TEST(BiffFuzzSeeds, WriteSeedCorpus) {
  if (xlsfixtures::LibreOfficeXls().empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; no .xls seeds";
  std::string seeds = TABULORY_BIFF_FUZZ_SEEDS;
  std::filesystem::create_directories(seeds);
  const std::string& xls = xlsfixtures::LibreOfficeXls();
  host::io::CompoundFile file(xls, "seed.xls");
  fixtures::WriteFile(seeds + "/libreoffice.xls", xls);
  // The workbook stream alone, and each of its sheet substreams alone.
  std::string stream = file.ReadStream(file.Find("Workbook"));
  fixtures::WriteFile(seeds + "/workbook.stream", stream);
  EXPECT_NO_THROW(xlsfuzz::ExerciseXls(xls));
  EXPECT_NO_THROW(xlsfuzz::ExerciseXls(stream));
  // Workbooks with shared and array formulas, notes, links, merged cells and protection.
  const std::pair<const char*, std::function<std::string(const fixtures::TempDir&)>> more[] = {
      {"sort", xlsfixtures::SortXlsx}, {"array", xlsfixtures::ArrayXlsx}};
  for (const auto& [name, make] : more) {
    std::string bytes = xlsfixtures::ConvertedCached(make, "xls");
    host::io::CompoundFile book(bytes, "seed.xls");
    std::string workbook = book.ReadStream(book.Find("Workbook"));
    fixtures::WriteFile(seeds + "/" + name + ".stream", workbook);
    EXPECT_NO_THROW(xlsfuzz::ExerciseXls(workbook));
  }
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
