// After a sort or a hide, the saved workbook holds true formula results in
// each format's stored-result field: running totals, a row product in a
// block sort, a lookup from another sheet into the sorted range,
// SUBTOTAL(109) over hidden rows. LibreOffice, which does not recalculate
// on load by default, shows the stored results, and they must equal what it
// computes itself. A formula the host cannot compute keeps its value and is
// counted. The workbook is written by libxlsxwriter (.xlsx), converted by
// LibreOffice (.ods, and .xls with LibreOffice's results) and written
// record by record (.xlsb).

#include <gtest/gtest.h>

#include <xlsxwriter.h>

#include <filesystem>
#include <functional>

#include "Fixtures.h"
#include "formats/biff/XlsFixtures.h"
#include "formats/odf/OdsFixtures.h"
#include "formats/xlsb/XlsbFixtures.h"
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

// The same workbook as LibreOffice saves it as .xls, each result computed
// by LibreOffice (the .xlsx it reads holds none).
std::string WriteXls(const TempDir& dir, bool withVolatile) {
  const std::string bytes = xlsfixtures::ConvertedCached(
      [withVolatile](const TempDir& d) {
        const std::string xlsx = WriteXlsx(d, withVolatile);
        auto parts = fixtures::ReadZip(xlsx);
        std::vector<std::pair<std::string, std::string>> uncomputed;
        for (auto& [name, bytes] : parts) {
          for (size_t at; (at = bytes.find("</f><v>0</v>")) != std::string::npos;) bytes.erase(at + 4, 8);
          uncomputed.emplace_back(name, bytes);
        }
        fixtures::WriteZip(xlsx, uncomputed);
        return xlsx;
      },
      "xls");
  if (bytes.empty()) return "";
  fixtures::WriteFile(dir.File("book.xls"), bytes);
  return dir.File("book.xls");
}

// The same workbook as binary records (MS-XLSB), its formulas as tokens
// (the row product without the euro format); stored results 0.
std::string WriteXlsb(const TempDir& dir, bool withVolatile) {
  using namespace xlsbfixtures;
  std::string data = Row(0) + Text(0, "key") + Text(1, "amount");
  for (int r = 1; r <= kRows; ++r) {
    const auto row = static_cast<uint32_t>(r);
    const std::string running = r == 1 ? PtgRef(1, 1) : PtgRef(row - 1, 2) + PtgRef(row, 1) + PtgOp(0x03);
    data += Row(r) + Number(0, kKeys[r - 1]) + Number(1, kAmounts[r - 1]) + FormulaNumber(2, 0, running) +
            FormulaNumber(3, 0, PtgRef(row, 0) + PtgRef(row, 1) + PtgOp(0x05) + PtgInt(100) + PtgOp(0x06));
  }
  const std::string a2 = PtgRef3d(0, 1, 0), b2 = PtgRef3d(0, 1, 1);  // Data!A2, Data!B2
  std::string report =
      Row(0) + FormulaNumber(0, 0, PtgInt(1) + PtgArea3d(0, 1, 5, 0, 1) + PtgInt(2) + PtgBool(false) + PtgFuncVar(4, 102)) +
      FormulaNumber(1, 0, a2 + a2 + PtgInt(1) + PtgOp(0x04) + PtgOp(0x15) + PtgOp(0x06)) +
      Row(1) + FormulaNumber(0, 0, PtgInt(109) + PtgArea3d(0, 1, 5, 1, 1) + PtgFuncVar(2, 344)) +
      FormulaNumber(1, 0, b2 + PtgInt(20) + PtgOp(0x0D)) +
      Row(2) + FormulaNumber(0, 0, PtgArea3d(0, 1, 5, 2, 2) + PtgInt(1) + PtgFuncVar(2, 29) + PtgStr(" first") + PtgOp(0x08)) +
      FormulaNumber(1, 0, PtgStr("a  b ") + a2 + PtgOp(0x08));
  if (withVolatile) report += Row(3) + FormulaNumber(0, 0, PtgFunc(74) + b2 + PtgOp(0x03));
  return Write(dir, "book.xlsb", Package({{"Data", data}, {"Report", report}}, {}));
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
    {"xls", WriteXls},
    {"xlsb", WriteXlsb},
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
        std::string shown = rows[static_cast<size_t>(r - 1)][static_cast<size_t>(c - 1)];
        // LibreOffice has no boolean type: a boolean result read from a
        // binary file (.xls, .xlsb) is the number 1 or 0 to it.
        if (f.sheet->Cells(r, c).Kind() == host::CellKind::Boolean && (shown == "1" || shown == "0"))
          shown = shown == "1" ? "TRUE" : "FALSE";
        EXPECT_EQ(f.sheet->Cells(r, c).Text(), shown) << f.name << " row " << r << " column " << c;
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
  const std::string before = fixtures::ReadFile(path);
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  book.Save();
  EXPECT_TRUE(fixtures::ReadFile(path) == before);  // never computed here, nothing written
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, FormulaResults, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<Format>& info) { return std::string(info.param.name); });

}  // namespace
