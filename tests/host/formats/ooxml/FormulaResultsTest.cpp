// After a sort or a hide, the saved .xlsx holds true formula results in
// each formula cell's <v>: running totals, a lookup from another sheet into
// the sorted range, SUBTOTAL(109) over hidden rows. A formula the host
// cannot compute keeps its value and the workbook asks for recalculation.

#include <gtest/gtest.h>

#include <xlsxwriter.h>

#include "Fixtures.h"
#include "host/core/Application.h"
#include "host/core/CellRef.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"

using fixtures::TempDir;

namespace {

constexpr int kRows = 5;
constexpr double kKeys[kRows] = {5, 3, 1, 4, 2};
constexpr double kAmounts[kRows] = {10, 20, 30, 40, 50};

// Data!A2:D6 keys, amounts, a running total and a row product; Report
// looks into it. Stored results are what libxlsxwriter wrote (0).
std::string WriteBook(const TempDir& dir, bool withVolatile) {
  const std::string path = dir.File("book.xlsx");
  lxw_workbook* wb = workbook_new(path.c_str());
  lxw_worksheet* data = workbook_add_worksheet(wb, "Data");
  lxw_worksheet* report = workbook_add_worksheet(wb, "Report");
  worksheet_write_string(data, 0, 0, "key", nullptr);
  worksheet_write_string(data, 0, 1, "amount", nullptr);
  for (int r = 0; r < kRows; ++r) {
    const std::string row = std::to_string(r + 2);
    worksheet_write_number(data, r + 1, 0, kKeys[r], nullptr);
    worksheet_write_number(data, r + 1, 1, kAmounts[r], nullptr);
    const std::string running = r == 0 ? "=B2" : "=C" + std::to_string(r + 1) + "+B" + row;
    worksheet_write_formula(data, r + 1, 2, running.c_str(), nullptr);
    worksheet_write_formula(data, r + 1, 3, ("=A" + row + "*B" + row).c_str(), nullptr);
  }
  worksheet_write_formula(report, 0, 0, "=VLOOKUP(1,Data!A2:B6,2,FALSE)", nullptr);
  worksheet_write_formula(report, 1, 0, "=SUBTOTAL(109,Data!B2:B6)", nullptr);
  worksheet_write_formula(report, 2, 0, "=INDEX(Data!C2:C6,1)&\" first\"", nullptr);
  if (withVolatile) worksheet_write_formula(report, 3, 0, "=NOW()+Data!B2", nullptr);
  EXPECT_EQ(workbook_close(wb), LXW_NO_ERROR);
  return path;
}

TEST(FormulaResults, ASortAndAHideLeaveTrueResults) {
  TempDir dir;
  const std::string path = WriteBook(dir, false);
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
    EXPECT_EQ(data.Cells(r + 2, 4).Number(), (r + 1) * sorted[r]) << "row product, row " << r + 2;
  }
  EXPECT_EQ(report.Cells(1, 1).Number(), 30);
  EXPECT_EQ(report.Cells(2, 1).Number(), 150 - 50);
  EXPECT_EQ(report.Cells(3, 1).Value(), "30 first");
  EXPECT_EQ(report.Cells(3, 1).Kind(), host::CellKind::Text);
}

TEST(FormulaResults, AFormulaTheHostCannotComputeIsLeftToTheRecalculation) {
  TempDir dir;
  const std::string path = WriteBook(dir, true);
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  host::Worksheet& data = *book.Worksheets()[0];
  data.GetRange("A2:D6").Sort(host::Cells(2, 1));
  book.Save();
  EXPECT_EQ(book.FormulasLeftToRecalculate(), 1);
  const std::string workbookXml = fixtures::ReadZip(path)["xl/workbook.xml"];
  EXPECT_NE(workbookXml.find("fullCalcOnLoad=\"1\""), std::string::npos);
  EXPECT_EQ(book.Worksheets()[1]->Cells(1, 1).Number(), 30);
}

TEST(FormulaResults, AnUnchangedWorkbookKeepsItsStoredResults) {
  TempDir dir;
  const std::string path = WriteBook(dir, false);
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  book.Save();
  EXPECT_EQ(book.Worksheets()[1]->Cells(1, 1).Number(), 0);  // as written, never computed here
}

}  // namespace
