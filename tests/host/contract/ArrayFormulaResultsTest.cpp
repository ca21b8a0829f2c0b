// After a sort, every cell of an array formula of several cells holds the
// fresh result: a dynamic array whose result has the size of the spill
// range the file records (the first cell holds the formula, the others its
// values), an array entered over an area (its result fitted to the area),
// and a formula that reads cells of the spill. A dynamic array whose result
// would spill over another area is left to the recalculation on open.
// The workbook is an .xlsx written by hand as the reference program writes
// dynamic arrays (t="array" with a cm attribute naming a cell metadata block
// of xl/metadata.xml whose dynamic-array properties set fDynamic), and the
// same workbook as LibreOffice saves it as .ods (matrices with
// table:number-matrix-*-spanned) and .xls (ARRAY records); results checked
// against LibreOffice's own after it recalculates the saved file.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

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

const char kMetadata[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<metadata xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
    "xmlns:xda=\"http://schemas.microsoft.com/office/spreadsheetml/2017/dynamicarray\">"
    "<metadataTypes count=\"1\"><metadataType name=\"XLDAPR\" minSupportedVersion=\"120000\" copy=\"1\" pasteAll=\"1\" "
    "pasteValues=\"1\" merge=\"1\" splitFirst=\"1\" rowColShift=\"1\" clearFormats=\"1\" clearComments=\"1\" assign=\"1\" "
    "coerce=\"1\" cellMeta=\"1\"/></metadataTypes>"
    "<futureMetadata name=\"XLDAPR\" count=\"1\"><bk><extLst><ext uri=\"{bdbb8cdc-fa1e-496e-a857-3c3f30c029c3}\">"
    "<xda:dynamicArrayProperties fDynamic=\"1\" fCollapsed=\"0\"/></ext></extLst></bk></futureMetadata>"
    "<cellMetadata count=\"1\"><bk><rc t=\"1\" v=\"0\"/></bk></cellMetadata></metadata>";

std::string Num(const std::string& ref, int n) { return "<c r=\"" + ref + "\"><v>" + std::to_string(n) + "</v></c>"; }
std::string Str(const std::string& ref, const std::string& text) {
  return "<c r=\"" + ref + "\" t=\"str\"><v>" + text + "</v></c>";
}

// "Data": A1:A5 the keys 5, 3, 1, 4, 2 and B1:B5 "k5".."k2", with the
// results the unsorted rows give: D1:D5 the dynamic array =A1:A5*2, E1:E5
// the dynamic array =B1:B5&"x", F1:F2 the array {=A1:A3*10} entered over two
// cells, G1 =SUM(D1:D5)+F2; extraRow1 and extraRow2 are more cells of rows
// 1 and 2, after these.
std::string WriteBook(const TempDir& dir, const std::string& name, const std::string& extraRow1 = "",
                      const std::string& extraRow2 = "") {
  const int keys[] = {5, 3, 1, 4, 2};
  std::string rows;
  for (int i = 0; i < 5; ++i) {
    const std::string r = std::to_string(i + 1), key = std::to_string(keys[i]);
    rows += "<row r=\"" + r + "\">" + Num("A" + r, keys[i]) + "<c r=\"B" + r + "\" t=\"inlineStr\"><is><t>k" + key +
            "</t></is></c>";
    if (i == 0) {
      rows += "<c r=\"D1\" cm=\"1\"><f t=\"array\" ref=\"D1:D5\">A1:A5*2</f><v>10</v></c>"
              "<c r=\"E1\" cm=\"1\" t=\"str\"><f t=\"array\" ref=\"E1:E5\">B1:B5&amp;\"x\"</f><v>k5x</v></c>"
              "<c r=\"F1\"><f t=\"array\" ref=\"F1:F2\">A1:A3*10</f><v>50</v></c>"
              "<c r=\"G1\"><f>SUM(D1:D5)+F2</f><v>60</v></c>" + extraRow1;
    } else {
      rows += Num("D" + r, keys[i] * 2) + Str("E" + r, "k" + key + "x");
      if (i == 1) rows += Num("F2", 30) + extraRow2;
    }
    rows += "</row>";
  }
  auto parts = fixtures::MinimalWorkbook(rows);
  for (auto& [part, xml] : parts)
    if (part == "xl/workbook.xml") xml.replace(xml.find("Sheet1"), 6, "Data");
  fixtures::AddWorkbookPart(parts, "metadata.xml", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheetMetadata+xml",
                            "sheetMetadata", kMetadata);
  const std::string path = dir.File(name);
  fixtures::WriteZip(path, parts);
  return path;
}

// The same sheet as binary records (MS-XLSB), the dynamic arrays as arrays
// entered over their areas (no cell metadata): each cell of an array holds
// a formula record naming the array's first cell (PtgExp), whose BrtArrFmla
// holds the formula.
std::string WriteXlsb(const TempDir& dir) {
  using namespace xlsbfixtures;
  auto u32 = [](uint32_t v) {
    std::string out;
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
  };
  auto formula = [&](const std::string& rgce, const std::string& rgcb) {
    return u32(static_cast<uint32_t>(rgce.size())) + rgce + u32(static_cast<uint32_t>(rgcb.size())) + rgcb;
  };
  // A member of the array whose first cell is row 0 of column: its cached number or text.
  auto number = [&](int column, double cached) { return FormulaNumber(column, cached, PtgExp(0), u32(static_cast<uint32_t>(column))); };
  auto text = [&](int column, const std::string& cached) {
    return Record(8, u32(static_cast<uint32_t>(column)) + u32(0) + Wide(cached) + std::string(2, '\0') +
                         formula(PtgExp(0), u32(static_cast<uint32_t>(column))));
  };
  auto array = [&](int lastRow, int column, const std::string& rgce) {
    return Record(426, Area(0, lastRow, column, column) + std::string(1, '\0') + formula(rgce, ""));
  };
  const int keys[] = {5, 3, 1, 4, 2};
  std::string data;
  for (int r = 0; r < 5; ++r) {
    const std::string key = std::to_string(keys[r]);
    data += Row(r) + Number(0, keys[r]) + Text(1, "k" + key) + number(3, keys[r] * 2);
    if (r == 0) data += array(4, 3, PtgArea(0, 4, 0, 0, false) + PtgInt(2) + PtgOp(0x05));
    data += text(4, "k" + key + "x");
    if (r == 0) data += array(4, 4, PtgArea(0, 4, 1, 1, false) + PtgStr("x") + PtgOp(0x08));
    if (r == 0) data += number(5, 50) + array(1, 5, PtgArea(0, 2, 0, 0, false) + PtgInt(10) + PtgOp(0x05)) +
                       FormulaNumber(6, 60, PtgArea(0, 4, 3, 3, false) + PtgFuncVar(1, 4) + PtgRef(1, 5, false, false) + PtgOp(0x03));
    if (r == 1) data += number(5, 30);
  }
  return Write(dir, "arrays.xlsb", Package({{"Data", data, "", {}, ""}}, {}));
}

struct Format {
  const char* name;
  std::function<std::string(const TempDir& dir)> write;  // "" when LibreOffice is not installed
};

void PrintTo(const Format& format, std::ostream* out) { *out << format.name; }

const Format kFormats[] = {
    {"xlsx", [](const TempDir& dir) { return WriteBook(dir, "arrays.xlsx"); }},
    {"ods",
     [](const TempDir& dir) -> std::string {
       if (!fixtures::HaveSoffice()) return "";
       std::filesystem::create_directories(dir.File("ods"));
       return odsfixtures::SofficeConvert(WriteBook(dir, "arrays.xlsx"), "ods", dir, dir.File("ods"));
     }},
    {"xls",
     [](const TempDir& dir) -> std::string {
       const std::string bytes =
           xlsfixtures::ConvertedCached([](const TempDir& d) { return WriteBook(d, "arrays.xlsx"); }, "xls");
       if (bytes.empty()) return "";
       fixtures::WriteFile(dir.File("arrays.xls"), bytes);
       return dir.File("arrays.xls");
     }},
    {"xlsb", WriteXlsb},
};

class ArrayFormulaResults : public ::testing::TestWithParam<Format> {};

TEST_P(ArrayFormulaResults, EveryCellOfAnArrayGetsItsFreshResult) {
  TempDir dir;
  const std::string path = GetParam().write(dir);
  if (path.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    book.Worksheets()[0]->GetRange("A1:B5").Sort(host::Cells(1, 1));  // keys 1..5
    book.Save();
    EXPECT_EQ(book.FormulasLeftToRecalculate(), 0);
  }
  host::Application app;
  host::Worksheet& data = *app.Workbooks().Open(path).Worksheets()[0];
  for (int r = 1; r <= 5; ++r) {
    EXPECT_EQ(data.Cells(r, 4).Number(), 2 * r) << "D" << r;
    EXPECT_EQ(data.Cells(r, 5).Kind(), host::CellKind::Text) << "E" << r;
    EXPECT_EQ(data.Cells(r, 5).Text(), "k" + std::to_string(r) + "x") << "E" << r;
  }
  EXPECT_EQ(data.Cells(1, 6).Number(), 10);
  EXPECT_EQ(data.Cells(2, 6).Number(), 20);
  EXPECT_EQ(data.Cells(1, 7).Number(), 30 + 20);
  if (std::string(GetParam().name) == "xlsx") {
    // The dynamic array stays one: its first cell keeps cm, the part its metadata.
    auto parts = fixtures::ReadZip(path);
    const std::string& sheet = parts["xl/worksheets/sheet1.xml"];
    EXPECT_NE(sheet.find("<c r=\"D1\" cm=\"1\"><f t=\"array\" ref=\"D1:D5\">A1:A5*2</f><v>2</v></c>"), std::string::npos)
        << sheet;
    EXPECT_NE(sheet.find("<c r=\"E2\" t=\"str\"><v>k2x</v></c>"), std::string::npos) << sheet;
    EXPECT_EQ(parts["xl/metadata.xml"], kMetadata);
  }

  if (!fixtures::HaveSoffice()) return;
  // LibreOffice computes the arrays itself as it opens a file; the formula
  // that reads them it shows as stored until it recalculates.
  const auto stored = fixtures::SofficeShownSheets(path, dir, false);
  const auto computed = fixtures::SofficeShownSheets(path, dir, true);
  ASSERT_EQ(computed.count("Data"), 1u);
  ASSERT_EQ(stored.count("Data"), 1u);
  EXPECT_EQ(stored.at("Data"), computed.at("Data"));
  const auto& rows = computed.at("Data");
  ASSERT_GE(rows.size(), 5u);
  for (size_t r = 0; r < 5; ++r)
    for (size_t c = 3; c < 7; ++c) {
      const std::string shown = c < rows[r].size() ? rows[r][c] : "";  // a row's empty cells at its end are left out
      EXPECT_EQ(data.Cells(static_cast<int>(r) + 1, static_cast<int>(c) + 1).Text(), shown) << "row " << r + 1 << " column " << c + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, ArrayFormulaResults, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<Format>& info) { return std::string(info.param.name); });

// A dynamic array whose result would spill over another area than the one
// recorded: every cell keeps its value, and the array is counted once.
TEST(DynamicArrayResults, ASpillOverAnotherAreaIsLeftToTheRecalculation) {
  const struct {
    const char* what;
    std::string row1, row2;
  } kCases[] = {
      // Three values, a range of two recorded.
      {"a result of another size", "<c r=\"H1\" cm=\"1\"><f t=\"array\" ref=\"H1:H2\">A1:A3*1</f><v>5</v></c>",
       Num("H2", 3)},
      // The cell the result's second value would fill holds a formula of its own.
      {"a covered cell not empty", "<c r=\"H1\" cm=\"1\"><f t=\"array\" ref=\"H1:H2\">A1:A2*1</f><v>5</v></c>",
       "<c r=\"H2\"><f>A2+100</f><v>103</v></c>"},
      // A cell metadata block the part does not hold: taken as a dynamic array.
      {"an unknown metadata block", "<c r=\"H1\" cm=\"2\"><f t=\"array\" ref=\"H1:H2\">A1:A3*1</f><v>5</v></c>",
       Num("H2", 3)},
  };
  for (const auto& c : kCases) {
    TempDir dir;
    const std::string path = WriteBook(dir, "left.xlsx", c.row1, c.row2);
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& data = *book.Worksheets()[0];
    data.GetRange("A1:B5").Sort(host::Cells(1, 1));
    book.Save();
    EXPECT_EQ(book.FormulasLeftToRecalculate(), 1) << c.what;
    EXPECT_EQ(data.Cells(1, 8).Number(), 5) << c.what;
    EXPECT_EQ(data.Cells(1, 4).Number(), 2) << c.what;  // the other arrays are computed
    EXPECT_NE(fixtures::ReadZip(path)["xl/workbook.xml"].find("fullCalcOnLoad=\"1\""), std::string::npos) << c.what;
  }
}

}  // namespace
