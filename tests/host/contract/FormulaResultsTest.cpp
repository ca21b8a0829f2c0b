// After a sort or a hide, the saved workbook holds true formula results in
// each format's stored-result field: running totals, a row product in a
// block sort, a lookup from another sheet into the sorted range,
// SUBTOTAL(109) over hidden rows. LibreOffice, which does not recalculate
// on load by default, shows the stored results, and they must equal what it
// computes itself. A formula the host cannot compute keeps its value and is
// counted. The workbook is written by libxlsxwriter (.xlsx) and converted
// by LibreOffice (.ods).

#include <gtest/gtest.h>

#include <xlsxwriter.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "formats/odf/OdsFixtures.h"
#include "host/core/Application.h"
#include "host/core/CellRef.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"

using fixtures::TempDir;

namespace {

constexpr int kRows = 5;
constexpr double kKeys[kRows] = {5, 3, 1, 4, 2};
constexpr double kAmounts[kRows] = {10, 20, 30, 40, 50};

// Data!A2:D6 keys, amounts, a running total and a row product shown in
// euros; Report looks into it. Stored results are what libxlsxwriter wrote (0).
std::string WriteXlsx(const TempDir& dir, bool withVolatile) {
  const std::string path = dir.File("book.xlsx");
  lxw_workbook* wb = workbook_new(path.c_str());
  lxw_worksheet* data = workbook_add_worksheet(wb, "Data");
  lxw_worksheet* report = workbook_add_worksheet(wb, "Report");
  lxw_format* euros = workbook_add_format(wb);
  format_set_num_format(euros, "[$\xE2\x82\xAC-2] #,##0.00");
  worksheet_write_string(data, 0, 0, "key", nullptr);
  worksheet_write_string(data, 0, 1, "amount", nullptr);
  for (int r = 0; r < kRows; ++r) {
    const std::string row = std::to_string(r + 2);
    worksheet_write_number(data, r + 1, 0, kKeys[r], nullptr);
    worksheet_write_number(data, r + 1, 1, kAmounts[r], nullptr);
    const std::string running = r == 0 ? "=B2" : "=C" + std::to_string(r + 1) + "+B" + row;
    worksheet_write_formula(data, r + 1, 2, running.c_str(), nullptr);
    worksheet_write_formula(data, r + 1, 3, ("=A" + row + "*B" + row + "/100").c_str(), euros);
  }
  worksheet_write_formula(report, 0, 0, "=VLOOKUP(1,Data!A2:B6,2,FALSE)", nullptr);
  worksheet_write_formula(report, 1, 0, "=SUBTOTAL(109,Data!B2:B6)", nullptr);
  worksheet_write_formula(report, 2, 0, "=INDEX(Data!C2:C6,1)&\" first\"", nullptr);
  // Results whose kind the sort changes: a number that becomes an error, a
  // boolean that turns, a text with a run of spaces.
  worksheet_write_formula(report, 0, 1, "=Data!A2/(Data!A2-1)", nullptr);
  worksheet_write_formula(report, 1, 1, "=Data!B2>20", nullptr);
  worksheet_write_formula(report, 2, 1, "=\"a  b \"&Data!A2", nullptr);
  if (withVolatile) worksheet_write_formula(report, 3, 0, "=NOW()+Data!B2", nullptr);
  EXPECT_EQ(workbook_close(wb), LXW_NO_ERROR);
  return path;
}

struct Format {
  const char* name;
  // The workbook in the format; "" when its writer is not installed.
  std::function<std::string(const TempDir& dir, bool withVolatile)> write;
};

void PrintTo(const Format& format, std::ostream* out) { *out << format.name; }

const Format kFormats[] = {
    {"xlsx", WriteXlsx},
    {"ods",
     [](const TempDir& dir, bool withVolatile) -> std::string {
       if (!fixtures::HaveSoffice()) return "";
       std::filesystem::create_directories(dir.File("ods"));
       return odsfixtures::SofficeConvert(WriteXlsx(dir, withVolatile), "ods", dir, dir.File("ods"));
     }},
};

class FormulaResults : public ::testing::TestWithParam<Format> {};

TEST_P(FormulaResults, ASortAndAHideLeaveTrueResults) {
  TempDir dir;
  const std::string path = GetParam().write(dir, false);
  if (path.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& data = *book.Worksheets()[0];
    data.GetRange("A2:D6").Sort(host::Cells(2, 1));  // by key: amounts 30, 50, 20, 40, 10
    data.Rows(3).SetHidden(true);                    // key 2, amount 50
    book.Save();
    EXPECT_EQ(book.FormulasLeftToRecalculate(), 0);
    app.Quit();
  }
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  host::Worksheet& data = *book.Worksheets()[0];
  host::Worksheet& report = *book.Worksheets()[1];
  const double sorted[kRows] = {30, 50, 20, 40, 10};
  // The rows' formulas moved with them: the first row's "=B2" now stands
  // in row 6 as "=B6", the others add up from row 2.
  const double running[kRows] = {30, 80, 100, 140, 10};
  for (int r = 0; r < kRows; ++r) {
    EXPECT_EQ(data.Cells(r + 2, 3).Number(), running[r]) << "running total, row " << r + 2;
    EXPECT_DOUBLE_EQ(data.Cells(r + 2, 4).Number(), (r + 1) * sorted[r] / 100) << "row product, row " << r + 2;
  }
  EXPECT_EQ(report.Cells(1, 1).Number(), 30);
  EXPECT_EQ(report.Cells(2, 1).Number(), 150 - 50);
  EXPECT_EQ(report.Cells(3, 1).Value(), "30 first");
  EXPECT_EQ(report.Cells(3, 1).Kind(), host::CellKind::Text);
  EXPECT_EQ(report.Cells(1, 2).Kind(), host::CellKind::Error);
  EXPECT_EQ(report.Cells(1, 2).Text(), "#DIV/0!");
  EXPECT_EQ(report.Cells(2, 2).Kind(), host::CellKind::Boolean);
  EXPECT_EQ(report.Cells(3, 2).Value(), "a  b 1");

  if (!fixtures::HaveSoffice()) return;
  // LibreOffice shows the stored results as it computes them, and as the host does.
  const auto stored = fixtures::SofficeShownSheets(path, dir, false);
  const auto computed = fixtures::SofficeShownSheets(path, dir, true);
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored, computed);
  struct Shown {
    host::Worksheet* sheet;
    const char* name;
    int firstRow, lastRow, firstColumn, lastColumn;
  } formulas[] = {{&data, "Data", 2, 6, 3, 4}, {&report, "Report", 1, 3, 1, 2}};
  for (const Shown& f : formulas)
    for (int r = f.firstRow; r <= f.lastRow; ++r)
      for (int c = f.firstColumn; c <= f.lastColumn; ++c) {
        const auto& rows = computed.at(f.name);
        ASSERT_LT(static_cast<size_t>(r - 1), rows.size());
        ASSERT_LT(static_cast<size_t>(c - 1), rows[static_cast<size_t>(r - 1)].size());
        EXPECT_EQ(f.sheet->Cells(r, c).Text(), rows[static_cast<size_t>(r - 1)][static_cast<size_t>(c - 1)])
            << f.name << " row " << r << " column " << c;
      }
}

TEST_P(FormulaResults, AFormulaTheHostCannotComputeIsLeftToTheRecalculation) {
  TempDir dir;
  const std::string path = GetParam().write(dir, true);
  if (path.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  host::Worksheet& data = *book.Worksheets()[0];
  data.GetRange("A2:D6").Sort(host::Cells(2, 1));
  book.Save();
  EXPECT_EQ(book.FormulasLeftToRecalculate(), 1);
  if (std::string(GetParam().name) == "xlsx") {
    const std::string workbookXml = fixtures::ReadZip(path)["xl/workbook.xml"];
    EXPECT_NE(workbookXml.find("fullCalcOnLoad=\"1\""), std::string::npos);
  }
  EXPECT_EQ(book.Worksheets()[1]->Cells(1, 1).Number(), 30);
}

TEST_P(FormulaResults, AnUnchangedWorkbookKeepsItsStoredResults) {
  TempDir dir;
  const std::string path = GetParam().write(dir, false);
  if (path.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  const auto before = fixtures::ReadZip(path);
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  book.Save();
  EXPECT_EQ(fixtures::ReadZip(path), before);  // never computed here
}

// Rows the host hides are hidden by hand, not by a filter: SUBTOTAL 1-11
// take them in and 101-111 leave them out; AGGREGATE leaves them out under
// options 1, 3, 5 and 7. One table of every function number.
TEST_P(FormulaResults, SubtotalsAndAggregatesAfterAHide) {
  const std::vector<double> all = {10, 20, 30, 40, 50}, shown = {10, 30, 40, 50};  // row 3 (20) hidden
  auto sum = [](const std::vector<double>& v) {
    double s = 0;
    for (double x : v) s += x;
    return s;
  };
  auto variance = [&](const std::vector<double>& v, bool sample) {
    const double mean = sum(v) / static_cast<double>(v.size());
    double s = 0;
    for (double x : v) s += (x - mean) * (x - mean);
    return s / static_cast<double>(v.size() - (sample ? 1 : 0));
  };
  // SUBTOTAL's function numbers 1 to 11 over a list of values.
  auto function = [&](int n, const std::vector<double>& v) -> double {
    double product = 1;
    for (double x : v) product *= x;
    switch (n) {
      case 1: return sum(v) / static_cast<double>(v.size());
      case 2: case 3: return static_cast<double>(v.size());
      case 4: return *std::max_element(v.begin(), v.end());
      case 5: return *std::min_element(v.begin(), v.end());
      case 6: return product;
      case 7: return std::sqrt(variance(v, true));
      case 8: return std::sqrt(variance(v, false));
      case 9: return sum(v);
      case 10: return variance(v, true);
      default: return variance(v, false);
    }
  };
  struct Case {
    std::string formula;
    double expected;
  };
  std::vector<Case> cases;
  for (int n = 1; n <= 11; ++n) {
    cases.push_back({"=SUBTOTAL(" + std::to_string(n) + ",Data!B2:B6)", function(n, all)});
    cases.push_back({"=SUBTOTAL(" + std::to_string(100 + n) + ",Data!B2:B6)", function(n, shown)});
  }
  for (int option = 0; option <= 7; ++option)
    cases.push_back({"=AGGREGATE(9," + std::to_string(option) + ",Data!B2:B6)", option % 2 ? sum(shown) : sum(all)});

  TempDir dir;
  std::string path = dir.File("subtotals.xlsx");
  lxw_workbook* wb = workbook_new(path.c_str());
  lxw_worksheet* data = workbook_add_worksheet(wb, "Data");
  lxw_worksheet* report = workbook_add_worksheet(wb, "Report");
  for (size_t r = 0; r < all.size(); ++r) worksheet_write_number(data, static_cast<int>(r) + 1, 1, all[r], nullptr);
  for (size_t i = 0; i < cases.size(); ++i)
    worksheet_write_formula(report, static_cast<int>(i), 0, cases[i].formula.c_str(), nullptr);
  ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
  if (std::string(GetParam().name) == "ods") {
    if (!fixtures::HaveSoffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    std::filesystem::create_directories(dir.File("ods"));
    path = odsfixtures::SofficeConvert(path, "ods", dir, dir.File("ods"));
    ASSERT_FALSE(path.empty());
  }
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    book.Worksheets()[0]->Rows(3).SetHidden(true);
    book.Save();
    EXPECT_EQ(book.FormulasLeftToRecalculate(), 0);
  }
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  for (size_t i = 0; i < cases.size(); ++i)
    EXPECT_NEAR(book.Worksheets()[1]->Cells(static_cast<int>(i) + 1, 1).Number(), cases[i].expected,
                1e-9 * std::max(1.0, std::fabs(cases[i].expected)))
        << cases[i].formula;
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, FormulaResults, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<Format>& info) { return std::string(info.param.name); });

}  // namespace
