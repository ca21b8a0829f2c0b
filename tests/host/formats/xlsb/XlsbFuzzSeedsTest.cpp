// The .xlsb fuzz target's seed corpus, written from the tests' own fixtures,
// and the inputs that once broke it, which must now open or fail cleanly.
#include <gtest/gtest.h>

#include <filesystem>

#include "formats/xlsb/XlsbFixtures.h"
#include "formats/xlsb/fuzz/XlsbFuzzInput.h"
#include "fuzz/FuzzCase.h"
#include "host/core/Application.h"
#include "host/core/HostError.h"
#include "host/core/SheetStore.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"
#include "host/core/calc/Evaluator.h"
#include "host/core/calc/WorkbookCells.h"

namespace {

using namespace xlsbfixtures;

// Every formula of the workbook holds the result the engine computes.
void ExpectFreshResults(const std::string& path) {
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  host::calc::WorkbookCells cells(book);
  host::calc::Evaluator engine(cells);
  const std::vector<host::Worksheet*> sheets = book.Worksheets();
  for (size_t s = 0; s < sheets.size(); ++s)
    for (const auto& [row, column] : sheets[s]->Store().FormulaCells()) {
      const host::calc::Evaluator::Outcome fresh = engine.Cell(static_cast<int>(s), row, column);
      const host::StoredValue stored = sheets[s]->Store().Value(row, column);
      if (!fresh.evaluated) continue;
      if (fresh.value.type == host::calc::Value::Type::Number || fresh.value.type == host::calc::Value::Type::Boolean) {
        EXPECT_EQ(stored.number, fresh.value.number) << row << "," << column;
      } else {
        EXPECT_EQ(stored.text, fresh.value.type == host::calc::Value::Type::Text ? fresh.value.text
                                                                                 : std::string(host::calc::ErrorText(fresh.value.error)))
            << row << "," << column;
      }
    }
  app.Quit();
}

TEST(XlsbFuzzSeeds, WriteSeedCorpus) {
  const std::string seeds = TABULORY_XLSB_FUZZ_SEEDS;
  std::filesystem::create_directories(seeds);
  const std::string shared = PtgRefN(0, -1) + PtgNum(2) + std::string(1, '\x05');
  const std::pair<const char*, std::string> sheets[] = {
      // Formulas whose stored results are stale (a number, text, an error
      // are due): the save after the sort writes fresh ones.
      {"kinds", Row(0) + Number(0, 2) + Rk(1, 6) + Text(2, "t") + Shared(3, 0) + Bool(4, true) + Error(5, 7) +
                    FormulaNumber(6, 0, PtgStr("x")) + FormulaNumber(7, 0, PtgInt(1) + PtgInt(0) + PtgOp(0x06)) +
                    Row(1, true) + Number(0, 1) + FormulaNumber(1, 9, PtgRef(1, 0)) + Row(2) + Number(0, 3)},
      {"shared", Row(0) + Number(0, 3) + FormulaNumber(1, 6, PtgExp(0), U32(1)) + SharedFormula(0, 1, 1, 1, shared) +
                     Row(1) + Number(0, 1) + FormulaNumber(1, 2, PtgExp(0), U32(1))},
  };
  const std::string strings = Record(159, U32(1) + U32(1)) + Record(19, std::string(1, '\0') + Wide("s")) + Record(160, "");
  for (const auto& [name, data] : sheets) {
    fixtures::WriteFile(seeds + "/" + name + ".parts", SheetPart(data, MergeCells({Area(2, 2, 2, 3)})) + "\n----\n" + strings);
    ASSERT_TRUE(xlsbfuzz::WritePackage(seeds + "/" + name + ".xlsb", fixtures::ReadFile(seeds + "/" + name + ".parts")));
    fuzzcase::Exercise(seeds + "/" + name + ".xlsb");
    ExpectFreshResults(seeds + "/" + name + ".xlsb");
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(seeds), {}), 4);
}

TEST(XlsbFuzzSeeds, FormerCrashInputsOpenOrFailCleanly) {
  const std::filesystem::path folder = TABULORY_XLSB_FUZZ_REGRESSIONS;
  fixtures::TempDir dir;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename() == ".keep") continue;
    SCOPED_TRACE(entry.path().filename().string());
    const std::string path = dir.File("case.xlsb");
    ASSERT_TRUE(xlsbfuzz::WritePackage(path, fixtures::ReadFile(entry.path().string())));
    try {
      fuzzcase::Exercise(path);
    } catch (const host::HostDefect& defect) {
      ADD_FAILURE() << defect.what();
    } catch (const host::HostError&) {
    }
  }
}

}  // namespace
