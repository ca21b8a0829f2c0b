// The fuzz target's seed corpus, written by the tests' own fixtures, and the
// inputs that once broke the fuzz target, which must now open or fail cleanly.

#include <gtest/gtest.h>

#include <filesystem>

#include "Fixtures.h"
#include "fuzz/FuzzCase.h"
#include "host/core/Application.h"
#include "host/core/HostError.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"

using fixtures::TempDir;

namespace {

TEST(FuzzSeeds, WriteSeedCorpus) {
  std::string seeds = TABULORY_FUZZ_SEEDS;
  std::filesystem::create_directories(seeds);
  TempDir dir;
  std::vector<std::string> files = {
      fixtures::WriteMixedWorkbook(dir),
      fixtures::WriteKeyColumn(dir, "keys.xlsx", {"b", "1", "TRUE", "", "a"}),
  };
  auto minimal = [&](const std::string& name, const std::string& rows, const std::string& sst = "",
                     const std::string& styles = "") {
    std::string path = dir.File(name);
    fixtures::WriteZip(path, fixtures::MinimalWorkbook(rows, sst, styles));
    files.push_back(path);
  };
  minimal("formulas.xlsx",
          "<row r=\"1\"><c r=\"A1\"><v>3</v></c><c r=\"B1\"><f>A1*2+$A$1</f><v>9</v></c></row>"
          "<row r=\"2\" hidden=\"1\"><c r=\"A2\"><v>1</v></c><c r=\"B2\"><f t=\"shared\" ref=\"B2:B3\" si=\"0\">A2*10</f><v>10</v></c></row>"
          "<row r=\"3\"><c r=\"A3\" t=\"e\"><v>#N/A</v></c><c r=\"B3\"><f t=\"shared\" si=\"0\"/><v>20</v></c></row>");
  minimal("strings.xlsx",
          "<row r=\"1\"><c r=\"A1\" t=\"s\" s=\"1\"><v>0</v></c><c r=\"B1\" t=\"inlineStr\"><is><r><t>x</t></r></is></c>"
          "<c r=\"C1\" t=\"d\"><v>2024-01-02</v></c></row>",
          "<sst><si><r><t>a</t></r><rPh><t>b</t></rPh></si></sst>",
          "<styleSheet><numFmts><numFmt numFmtId=\"164\" formatCode=\"0.0;[Red]-0.0;@\"/></numFmts>"
          "<cellXfs><xf/><xf numFmtId=\"164\"/></cellXfs></styleSheet>");
  for (const std::string& file : files) {
    std::string name = std::filesystem::path(file).filename().string();
    std::filesystem::copy_file(file, seeds + "/" + name, std::filesystem::copy_options::overwrite_existing);
    // The same workbook as plain part XML (sheet, strings, styles, workbook),
    // the form in which the fuzz target mutates parts directly.
    auto parts = fixtures::ReadZip(file);
    std::string text;
    for (const char* part : {"xl/worksheets/sheet1.xml", "xl/sharedStrings.xml", "xl/styles.xml", "xl/workbook.xml"}) {
      if (!text.empty()) text += "\n----\n";
      text += parts.count(part) ? parts[part] : std::string();
    }
    fixtures::WriteFile(seeds + "/" + name + ".parts", text);
  }
  EXPECT_GE(std::distance(std::filesystem::directory_iterator(seeds), {}), 4);
}

TEST(FuzzSeeds, FormerCrashInputsOpenOrFailCleanly) {
  std::filesystem::path folder = TABULORY_FUZZ_REGRESSIONS;
  if (!std::filesystem::exists(folder)) GTEST_SKIP() << "no regression folder";
  int cases = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.') continue;
    ++cases;
    TempDir dir;
    std::string path = dir.File("case.xlsx");
    ASSERT_TRUE(fuzzcase::WriteWorkbook(path, fixtures::ReadFile(entry.path().string())));
    SCOPED_TRACE(entry.path().filename().string());
    try {
      fuzzcase::Exercise(path);
    } catch (const host::HostDefect& defect) {
      ADD_FAILURE() << "a fault the host did not foresee: " << defect.what();
    } catch (const host::HostError&) {
    } catch (const std::exception& other) {
      ADD_FAILURE() << "an exception that is not a HostError: " << other.what();
    }
  }
  RecordProperty("cases", cases);
}

}  // namespace
