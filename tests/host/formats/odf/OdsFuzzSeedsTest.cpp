// The .ods fuzz target's seed corpus, written from the tests' own fixtures,
// and the inputs that once broke it, which must now open or fail cleanly.
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/FuzzCase.h"
#include "host/core/HostError.h"
#include "host/formats/odf/OdsFixtures.h"
#include "host/formats/odf/fuzz/OdsFuzzInput.h"

namespace {

TEST(OdsFuzzSeeds, WriteSeedCorpus) {
  std::string seeds = TABULORY_ODS_FUZZ_SEEDS;
  std::filesystem::create_directories(seeds);
  using odsfixtures::Cell;
  std::string styles =
      "<number:number-style style:name=\"N2\"><number:number number:decimal-places=\"2\" "
      "number:min-integer-digits=\"1\" number:grouping=\"true\"/></number:number-style>"
      "<style:style style:name=\"ce2\" style:family=\"table-cell\" style:data-style-name=\"N2\"/>";
  std::string values =
      "<table:table table:name=\"V\"><table:table-row table:number-rows-repeated=\"2\">" +
      Cell("office:value-type=\"float\" office:value=\"2.5\" table:style-name=\"ce2\"") +
      Cell("office:value-type=\"date\" office:date-value=\"2024-02-29\"") +
      Cell("table:number-columns-spanned=\"2\" office:value-type=\"string\"", "<text:p>m</text:p>") +
      "<table:covered-table-cell/></table:table-row></table:table>";
  const std::pair<const char*, std::string> contents[] = {
      {"data", odsfixtures::Content(odsfixtures::DataTable() + odsfixtures::kOther)},
      {"values", odsfixtures::Content(values, styles)},
  };
  for (const auto& [name, content] : contents) {
    fixtures::WriteFile(seeds + "/" + name + ".parts", content + "\n----\n<office:document-styles/>\n----\n" +
                                                           odsfixtures::Settings("V") + "\n----\n" +
                                                           odsfixtures::Manifest());
    ASSERT_TRUE(odsfuzz::WritePackage(seeds + "/" + name + ".ods", fixtures::ReadFile(seeds + "/" + name + ".parts")));
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(seeds), {}), 4);
}

TEST(OdsFuzzSeeds, FormerCrashInputsOpenOrFailCleanly) {
  std::filesystem::path folder = TABULORY_ODS_FUZZ_REGRESSIONS;
  if (!std::filesystem::exists(folder)) return;
  fixtures::TempDir dir;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    SCOPED_TRACE(entry.path().filename().string());
    std::string path = dir.File("case.ods");
    ASSERT_TRUE(odsfuzz::WritePackage(path, fixtures::ReadFile(entry.path().string())));
    try {
      fuzzcase::Exercise(path);
    } catch (const host::HostDefect& defect) {
      ADD_FAILURE() << defect.what();
    } catch (const host::HostError&) {
    }
  }
}

}  // namespace
