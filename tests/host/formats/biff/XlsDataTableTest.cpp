// An .xls data table (a FORMULA record whose expression is a ptgTbl, the
// first followed by its TABLE record) has no formula of its own for the
// engine: after a sort or a hide its cells keep their stored results, are
// counted as left to the recalculation when the file is opened, and the
// globals ask for that recalculation, while the sheet's other formulas get
// fresh results. LibreOffice writes no data table to .xls, so the workbook
// stream is written record by record here and put in place of the stream
// of a file LibreOffice wrote; python3-xlrd and LibreOffice read the saved
// file back.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "XlsFixtures.h"
#include "host/core/Application.h"
#include "host/core/Cell.h"
#include "host/core/Range.h"
#include "host/core/Workbook.h"
#include "host/core/Workbooks.h"
#include "host/core/Worksheet.h"
#include "host/io/CompoundFile.h"
#include "host/io/CompoundFileWriter.h"

using fixtures::TempDir;
using xlsfixtures::Cell;
using xlsfixtures::Double;
using xlsfixtures::Le;
using xlsfixtures::Rec;

namespace {

constexpr uint16_t kXf = 15;  // the cells' XF (General)

std::string Number(uint16_t row, uint16_t column, double value) { return Rec(0x0203, Cell(row, column, kXf) + Double(value)); }

std::string Formula(uint16_t row, uint16_t column, double result, const std::string& rgce) {
  return Rec(0x0006, Cell(row, column, kXf) + Double(result) + Le(0, 2) + Le(0, 4) + Le(rgce.size(), 2) + rgce);
}

// ptgRefV of one cell: relative row and column unless absolute.
std::string RefV(uint16_t row, uint16_t column, bool absolute) {
  return std::string(1, '\x44') + Le(row, 2) + Le(column | (absolute ? 0 : 0xC000), 2);
}
const std::string kMul(1, '\x05');

// Sheet "Data" (0-based rows, as stored): A1:A3 keys 3, 1, 2; B1:B3 amounts
// 30, 10, 20; C1:C3 =A<r>*B<r> storing 0. A two-input data table: E1
// =$H$1*$H$2, row input values F1:G1 (2, 3) for H1, column input values
// E2:E3 (5, 7) for H2, the table F2:G3 storing its true results 10, 15,
// 14, 21; H1 and H2 hold 1.
std::string DataTableStream() {
  std::string xfs;  // 15 style XFs and the cells' XF, all General
  for (int i = 0; i <= kXf; ++i) xfs += Rec(0x00E0, Le(0, 2) + Le(0, 2) + Le(i < kXf ? 0xFFF5 : 0x0001, 2) + std::string(14, '\0'));
  const std::string font = Rec(0x0031, Le(200, 2) + Le(0, 2) + Le(0x7FFF, 2) + Le(400, 2) + Le(0, 2) + Le(0, 4) +
                                           Le(5, 1) + Le(0, 1) + "Arial");
  const std::string window = Rec(0x003D, Le(0, 2) + Le(0, 2) + Le(0x4000, 2) + Le(0x2000, 2) + Le(0x38, 2) + Le(0, 2) +
                                             Le(0, 2) + Le(1, 2) + Le(600, 2));
  const std::string name = "Data";
  std::string globals = xlsfixtures::Bof(0x0005) + Rec(0x0042, Le(1200, 2)) + window + font + xfs;
  const size_t positionAt = globals.size() + 4;
  globals += Rec(0x0085, Le(0, 4) + Le(0, 2) + Le(name.size(), 1) + Le(0, 1) + name) + xlsfixtures::Eof();

  const double keys[] = {3, 1, 2}, amounts[] = {30, 10, 20};
  const double rowInputs[] = {2, 3}, columnInputs[] = {5, 7};
  std::string sheet = xlsfixtures::Bof(0x0010) + Rec(0x0200, Le(0, 4) + Le(3, 4) + Le(0, 2) + Le(8, 2) + Le(0, 2));
  for (uint16_t r = 0; r < 3; ++r)
    sheet += Rec(0x0208, Le(r, 2) + Le(0, 2) + Le(8, 2) + Le(0x00FF, 2) + Le(0, 4) + Le(0x000F0100, 4));
  const std::string table = std::string(1, '\x02') + Le(1, 2) + Le(5, 2);  // ptgTbl: the table's first cell F2
  for (uint16_t r = 0; r < 3; ++r) {
    sheet += Number(r, 0, keys[r]) + Number(r, 1, amounts[r]) + Formula(r, 2, 0, RefV(r, 0, false) + RefV(r, 1, false) + kMul);
    if (r == 0) {
      sheet += Formula(0, 4, 1, RefV(0, 7, true) + RefV(1, 7, true) + kMul);
      for (uint16_t c = 0; c < 2; ++c) sheet += Number(0, 5 + c, rowInputs[c]);
    } else {
      sheet += Number(r, 4, columnInputs[r - 1]);
      for (uint16_t c = 0; c < 2; ++c) {
        sheet += Formula(r, 5 + c, rowInputs[c] * columnInputs[r - 1], table);
        // TABLE after the first cell's FORMULA: F2:G3, two inputs (fTbl2), row input H1, column input H2.
        if (r == 1 && c == 0)
          sheet += Rec(0x0236, Le(1, 2) + Le(2, 2) + Le(5, 1) + Le(6, 1) + Le(0x0008, 2) + Le(0, 2) + Le(7, 2) + Le(1, 2) + Le(7, 2));
      }
    }
    if (r < 2) sheet += Number(r, 7, 1);
  }
  sheet += Rec(0x023E, Le(0x06B6, 2) + std::string(16, '\0')) + xlsfixtures::Eof();
  globals.replace(positionAt, 4, Le(globals.size(), 4));
  return globals + sheet;
}

// The body of the globals' RECALCID record (which asks for a full
// recalculation when opened), or "none".
std::string RecalcId(const std::string& path) {
  const host::io::CompoundFile file = host::io::CompoundFile::FromFile(path);
  const std::string stream = file.ReadStream(file.Find("Workbook"));
  for (size_t at = 0; at + 4 <= stream.size();) {
    const unsigned type = static_cast<unsigned char>(stream[at]) | static_cast<unsigned char>(stream[at + 1]) << 8;
    const size_t size = static_cast<unsigned char>(stream[at + 2]) | static_cast<unsigned char>(stream[at + 3]) << 8;
    if (type == 0x01C1) return stream.substr(at + 4, size);
    if (type == 0x000A) break;  // the globals' EOF
    at += 4 + size;
  }
  return "none";
}

TEST(XlsDataTable, ItsCellsAreLeftToTheRecalculationWhileOtherFormulasAreComputed) {
  const std::string& container = xlsfixtures::LibreOfficeXls();
  if (container.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; no .xls container";
  struct Case {
    const char* what;
    std::function<void(host::Worksheet&)> change;
    std::vector<double> products;  // C1:C3 after the change
  };
  const Case cases[] = {
      {"a sort beside the table", [](host::Worksheet& s) { s.GetRange("A1:C3").Sort(host::Cells(1, 1)); }, {10, 40, 90}},
      {"a hidden row", [](host::Worksheet& s) { s.SetRowHidden(2, true); }, {90, 10, 40}},
  };
  const std::vector<std::vector<double>> table = {{10, 15}, {14, 21}};  // F2:G3, as stored
  for (const Case& c : cases) {
    TempDir dir;
    const std::string path = dir.File("table.xls");
    const host::io::CompoundFile source(container, "table.xls");
    fixtures::WriteFile(path, host::io::WriteCompoundFile(source, {{source.Find("Workbook"), DataTableStream()}}));
    ASSERT_EQ(RecalcId(path), "none") << c.what;
    {
      host::Application app;
      host::Workbook& book = app.Workbooks().Open(path);
      c.change(*book.Worksheets()[0]);
      book.Save();
      EXPECT_EQ(book.FormulasLeftToRecalculate(), 1) << c.what;  // the table (one formula over four cells), no other
    }
    EXPECT_NE(RecalcId(path), "none") << c.what;

    host::Application app;
    host::Worksheet& data = *app.Workbooks().Open(path).Worksheets()[0];
    for (int r = 1; r <= 3; ++r) EXPECT_EQ(data.Cells(r, 3).Number(), c.products[r - 1]) << c.what << ", row " << r;
    for (int r = 2; r <= 3; ++r)
      for (int col = 6; col <= 7; ++col)
        EXPECT_EQ(data.Cells(r, col).Number(), table[r - 2][col - 6]) << c.what << ", row " << r << " column " << col;

    if (xlsfixtures::HavePython("xlrd")) {
      const std::vector<std::string> cells = xlsfixtures::XlrdCells(path, dir);
      ASSERT_FALSE(cells.empty()) << c.what << ": xlrd cannot read the file";
      auto has = [&](int row0, int column0, double value) {
        const std::string line = "0 " + std::to_string(row0) + " " + std::to_string(column0) + " 2 " + std::to_string(static_cast<int>(value)) + ".0";
        return std::find(cells.begin(), cells.end(), line) != cells.end();
      };
      for (int r = 0; r < 3; ++r) EXPECT_TRUE(has(r, 2, c.products[r])) << c.what << ", xlrd, C" << r + 1;
      for (int r = 0; r < 2; ++r)
        for (int col = 0; col < 2; ++col) EXPECT_TRUE(has(r + 1, 5 + col, table[r][col])) << c.what << ", xlrd, table";
    }

    // LibreOffice shows the stored results and computes the same ones itself.
    for (const bool recalculate : {false, true}) {
      auto shown = fixtures::SofficeShownSheets(path, dir, recalculate);
      ASSERT_EQ(shown.count("Data"), 1u) << c.what << ": LibreOffice cannot read the file";
      const auto& rows = shown["Data"];
      ASSERT_GE(rows.size(), 3u) << c.what;
      for (int r = 0; r < 3; ++r) {
        ASSERT_GE(rows[r].size(), 7u) << c.what << ", row " << r + 1;
        EXPECT_EQ(rows[r][2], std::to_string(static_cast<int>(c.products[r]))) << c.what << ", LibreOffice, C" << r + 1;
        if (r == 0) continue;
        for (int col = 0; col < 2; ++col)
          EXPECT_EQ(rows[r][5 + col], std::to_string(static_cast<int>(table[r - 1][col])))
              << c.what << ", LibreOffice" << (recalculate ? " recalculated" : "") << ", table row " << r + 1;
      }
    }
  }
}

}  // namespace
