// After a sort or a hide, the saved workbook holds true formula results in
// each format's stored-result field: running totals, a row product in a
// block sort, a lookup from another sheet into the sorted range,
// SUBTOTAL(109) over hidden rows. LibreOffice, which does not recalculate
// on load by default, shows the stored results, and they must equal what it
// computes itself. A formula the host cannot compute keeps its value and is
// counted. The workbook is written by libxlsxwriter (.xlsx), converted by
// LibreOffice (.ods, and .xls with LibreOffice's results) and written
// record by record (.xlsb). A second table gives each kind of result a
// format's record can change to (text, an error, empty text, a boolean,
// text longer than a record), read back by the host, LibreOffice (as stored
// and recalculated) and, for .xls, python3-xlrd.

#include <gtest/gtest.h>

#include <xlsxwriter.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <sstream>
#include <tuple>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "formats/biff/XlsFixtures.h"
#include "formats/odf/OdsFixtures.h"
#include "formats/xlsb/XlsbFixtures.h"
#include "host/core/Application.h"
#include "host/core/CellRef.h"
#include "host/core/SheetStore.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"
#include "host/io/CompoundFile.h"

using fixtures::TempDir;

namespace {

constexpr int kRows = 5;
constexpr double kKeys[kRows] = {5, 3, 1, 4, 2};
constexpr double kAmounts[kRows] = {10, 20, 30, 40, 50};

// Data!A2:D6 keys, amounts, a running total and a row product (=A<r>*B<r>
// then productTail, in format productFormat when given); Report holds the
// formulas report[row][column] (without "="), and the workbook the defined
// names (name, "=formula"). Stored results are what libxlsxwriter writes (0).
std::string WriteXlsxBook(const std::string& path, const std::string& productTail, const char* productFormat,
                          const std::vector<std::vector<std::string>>& report,
                          const std::vector<std::pair<std::string, std::string>>& names = {}) {
  lxw_workbook* wb = workbook_new(path.c_str());
  for (const auto& [name, formula] : names) workbook_define_name(wb, name.c_str(), formula.c_str());
  lxw_worksheet* data = workbook_add_worksheet(wb, "Data");
  lxw_worksheet* sheet = workbook_add_worksheet(wb, "Report");
  lxw_format* format = productFormat ? workbook_add_format(wb) : nullptr;
  if (format) format_set_num_format(format, productFormat);
  worksheet_write_string(data, 0, 0, "key", nullptr);
  worksheet_write_string(data, 0, 1, "amount", nullptr);
  for (int r = 0; r < kRows; ++r) {
    const std::string row = std::to_string(r + 2);
    worksheet_write_number(data, r + 1, 0, kKeys[r], nullptr);
    worksheet_write_number(data, r + 1, 1, kAmounts[r], nullptr);
    const std::string running = r == 0 ? "=B2" : "=C" + std::to_string(r + 1) + "+B" + row;
    worksheet_write_formula(data, r + 1, 2, running.c_str(), nullptr);
    worksheet_write_formula(data, r + 1, 3, ("=A" + row + "*B" + row + productTail).c_str(), format);
  }
  for (size_t r = 0; r < report.size(); ++r)
    for (size_t c = 0; c < report[r].size(); ++c)
      if (!report[r][c].empty())
        worksheet_write_formula(sheet, static_cast<lxw_row_t>(r), static_cast<lxw_col_t>(c), ("=" + report[r][c]).c_str(), nullptr);
  EXPECT_EQ(workbook_close(wb), LXW_NO_ERROR);
  return path;
}

// The row product shown in euros; Report looks into Data: a lookup, the
// visible amounts, text, in column B results whose kind the sort changes
// (a number that becomes an error, a boolean that turns, a text with a run
// of spaces), and in C1 a defined name for the first key.
std::string WriteXlsx(const TempDir& dir, bool withVolatile) {
  std::vector<std::vector<std::string>> report = {{"VLOOKUP(1,Data!A2:B6,2,FALSE)", "Data!A2/(Data!A2-1)", "FirstKey*10"},
                                                  {"SUBTOTAL(109,Data!B2:B6)", "Data!B2>20"},
                                                  {"INDEX(Data!C2:C6,1)&\" first\"", "\"a  b \"&Data!A2"}};
  if (withVolatile) report.push_back({"NOW()+Data!B2"});
  return WriteXlsxBook(dir.File("book.xlsx"), "/100", "[$\xE2\x82\xAC-2] #,##0.00", report, {{"FirstKey", "=Data!$A$2"}});
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

// Data as binary records (MS-XLSB): headers, then keys, amounts, the
// running total and the row product =A<r>*B<r> followed by productTail's
// tokens; stored results 0.
std::string XlsbData(const std::string& productTail) {
  using namespace xlsbfixtures;
  std::string data = Row(0) + Text(0, "key") + Text(1, "amount");
  for (int r = 1; r <= kRows; ++r) {
    const auto row = static_cast<uint32_t>(r);
    const std::string running = r == 1 ? PtgRef(1, 1) : PtgRef(row - 1, 2) + PtgRef(row, 1) + PtgOp(0x03);
    data += Row(r) + Number(0, kKeys[r - 1]) + Number(1, kAmounts[r - 1]) + FormulaNumber(2, 0, running) +
            FormulaNumber(3, 0, PtgRef(row, 0) + PtgRef(row, 1) + PtgOp(0x05) + productTail);
  }
  return data;
}

// The same workbook as binary records, its formulas as tokens (the row
// product without the euro format); stored results 0.
std::string WriteXlsb(const TempDir& dir, bool withVolatile) {
  using namespace xlsbfixtures;
  const std::string data = XlsbData(PtgInt(100) + PtgOp(0x06));
  const std::string a2 = PtgRef3d(0, 1, 0), b2 = PtgRef3d(0, 1, 1);  // Data!A2, Data!B2
  std::string report =
      Row(0) + FormulaNumber(0, 0, PtgInt(1) + PtgArea3d(0, 1, 5, 0, 1) + PtgInt(2) + PtgBool(false) + PtgFuncVar(4, 102)) +
      FormulaNumber(1, 0, a2 + a2 + PtgInt(1) + PtgOp(0x04) + PtgOp(0x15) + PtgOp(0x06)) +
      Row(1) + FormulaNumber(0, 0, PtgInt(109) + PtgArea3d(0, 1, 5, 1, 1) + PtgFuncVar(2, 344)) +
      FormulaNumber(1, 0, b2 + PtgInt(20) + PtgOp(0x0D)) +
      Row(2) + FormulaNumber(0, 0, PtgArea3d(0, 1, 5, 2, 2) + PtgInt(1) + PtgFuncVar(2, 29) + PtgStr(" first") + PtgOp(0x08)) +
      FormulaNumber(1, 0, PtgStr("a  b ") + a2 + PtgOp(0x08));
  if (withVolatile) report += Row(3) + FormulaNumber(0, 0, PtgFunc(74) + b2 + PtgOp(0x03));
  return Write(dir, "book.xlsb", Package({{"Data", data, "", {}, ""}, {"Report", report, "", {}, ""}}, {}));
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
  // The hand-written .xlsb workbook defines no names.
  const bool names = std::string(GetParam().name) != "xlsb";
  if (names) EXPECT_EQ(report.Cells(1, 3).Number(), 10);

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
  } formulas[] = {{&data, "Data", 2, 6, 3, 4}, {&report, "Report", 1, 3, 1, 2}, {&report, "Report", 1, 1, 3, names ? 3 : 0}};
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

// What says whether the file asks to be recalculated when opened: the
// workbook part (.xlsx, .xlsb), the RECALCID record of the globals (.xls);
// an .ods document has nothing that asks.
std::string RecalculationFlags(const std::string& path, const std::string& format) {
  if (format == "xlsx") return fixtures::ReadZip(path)["xl/workbook.xml"];
  if (format == "xlsb") return fixtures::ReadZip(path)["xl/workbook.bin"];
  if (format != "xls") return "";
  const host::io::CompoundFile file = host::io::CompoundFile::FromFile(path);
  const std::string stream = file.ReadStream(file.Find("Workbook"));
  for (size_t at = 0; at + 4 <= stream.size();) {
    const unsigned type = static_cast<unsigned char>(stream[at]) | static_cast<unsigned char>(stream[at + 1]) << 8;
    const size_t size = static_cast<unsigned char>(stream[at + 2]) | static_cast<unsigned char>(stream[at + 3]) << 8;
    if (type == 0x01C1) return stream.substr(at + 4, size);  // RECALCID
    if (type == 0x000A) break;                              // the globals' EOF
    at += 4 + size;
  }
  return "none";
}

// A sort whose every changed result was computed keeps the flags as the
// file had them; one that leaves a result (NOW()) asks for the recalculation.
TEST_P(FormulaResults, TheFileAsksToBeRecalculatedOnlyWhenAResultIsLeft) {
  for (const bool withVolatile : {false, true}) {
    TempDir dir;
    const std::string path = GetParam().write(dir, withVolatile);
    if (path.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    const std::string format = GetParam().name;
    const std::string before = RecalculationFlags(path, format);
    {
      host::Application app;
      host::Workbook& book = app.Workbooks().Open(path);
      book.Worksheets()[0]->GetRange("A2:D6").Sort(host::Cells(2, 1));
      book.Save();
      EXPECT_EQ(book.FormulasLeftToRecalculate(), withVolatile ? 1 : 0) << format;
    }
    const bool asks = withVolatile && format != "ods";
    EXPECT_EQ(RecalculationFlags(path, format) != before, asks) << format << (withVolatile ? ", NOW() left" : ", all computed");
  }
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

// The kinds of results: a workbook (see WriteXlsxBook) whose
// Report column A looks into Data, one formula of Report() a row. Stored
// results are what each writer stores (0 where it computes none).
constexpr int kDataRows = kRows;

// One of Report's formulas: as text, as BIFF12 tokens, and its result once
// Data is sorted by key and row 3 (key 2, amount 50) hidden, and once row 3
// (key 3, amount 20) alone is hidden.
struct ReportFormula {
  std::string text;
  std::string tokens;
  host::StoredValue sorted, unsorted;
};

host::StoredValue Result(host::CellKind kind, double number, std::string text = "") {
  host::StoredValue value;
  value.kind = kind;
  value.number = number;
  value.text = std::move(text);
  return value;
}
host::StoredValue N(double number) { return Result(host::CellKind::Number, number); }
host::StoredValue T(std::string text) { return Result(host::CellKind::Text, 0, std::move(text)); }

std::string Repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

const std::vector<ReportFormula>& Report() {
  using namespace xlsbfixtures;
  using host::CellKind;
  const std::string a2 = PtgRef3d(0, 1, 0), b2 = PtgRef3d(0, 1, 1);  // Data!A2, Data!B2
  static const std::vector<ReportFormula> formulas = {
      // A lookup from another sheet into the sorted range.
      {"VLOOKUP(1,Data!A2:B6,2,FALSE)", PtgInt(1) + PtgArea3d(0, 1, 5, 0, 1) + PtgInt(2) + PtgBool(false) + PtgFuncVar(4, 102),
       N(30), N(30)},
      // The visible rows only.
      {"SUBTOTAL(109,Data!B2:B6)", PtgInt(109) + PtgArea3d(0, 1, 5, 1, 1) + PtgFuncVar(2, 344), N(100), N(130)},
      // Text (a STRING record in .xls, written anew).
      {"INDEX(Data!C2:C6,1)&\" first\"", PtgArea3d(0, 1, 5, 2, 2) + PtgInt(1) + PtgFuncVar(2, 29) + PtgStr(" first") + PtgOp(0x08),
       T("30 first"), T("10 first")},
      // An error where a number stood.
      {"1/(Data!A2-1)", PtgInt(1) + a2 + PtgInt(1) + PtgOp(0x04) + PtgOp(0x15) + PtgOp(0x06),
       Result(CellKind::Error, 0, "#DIV/0!"), N(0.25)},
      // A number where text stood (LibreOffice stores "no"), and the reverse: empty text.
      {"IF(Data!A2=1,Data!B2,\"no\")", a2 + PtgInt(1) + PtgOp(0x0B) + b2 + PtgStr("no") + PtgFuncVar(3, 1), N(30), T("no")},
      {"IF(Data!A2=1,\"\",Data!A2)", a2 + PtgInt(1) + PtgOp(0x0B) + PtgStr("") + a2 + PtgFuncVar(3, 1), T(""), N(5)},
      {"Data!A2=1", a2 + PtgInt(1) + PtgOp(0x0B), Result(CellKind::Boolean, 1), Result(CellKind::Boolean, 0)},
      // Text that a hide alone changes to text of the same length (an .xls STRING record patched in place).
      {"SUBTOTAL(109,Data!B2:B6)&\" shown\"", PtgInt(109) + PtgArea3d(0, 1, 5, 1, 1) + PtgFuncVar(2, 344) + PtgStr(" shown") + PtgOp(0x08),
       T("100 shown"), T("130 shown")},
      // Text longer than one .xls record holds (a STRING record and its CONTINUE records).
      {"REPT(\"ab\",5000)&Data!A2", PtgStr("ab") + PtgInt(5000) + PtgFunc(30) + a2 + PtgOp(0x08), T(Repeated("ab", 5000) + "1"),
       T(Repeated("ab", 5000) + "5")},
  };
  return formulas;
}

// Report's results as the store reads them, against what each should be.
void ExpectReport(host::SheetStore& report, host::StoredValue ReportFormula::*expected) {
  for (size_t i = 0; i < Report().size(); ++i) {
    const ReportFormula& f = Report()[i];
    const host::StoredValue got = report.Value(static_cast<int>(i) + 1, 1);
    EXPECT_EQ(got.kind, (f.*expected).kind) << f.text;
    EXPECT_EQ(got.number, (f.*expected).number) << f.text;
    EXPECT_EQ(got.text, (f.*expected).text) << f.text;
  }
}

// Data's running totals and row products after the sort: the rows'
// formulas moved with them (the first row's =B2 now stands in row 6 as
// =B6; the others add up from row 2).
constexpr double kSortedAmounts[kDataRows] = {30, 50, 20, 40, 10};
constexpr double kSortedRunning[kDataRows] = {30, 80, 100, 140, 10};

std::string FreshResultsXlsx(const TempDir& dir, const std::string& file) {
  std::vector<std::vector<std::string>> report;
  for (const ReportFormula& f : Report()) report.push_back({f.text});
  return WriteXlsxBook(dir.File(file), "", nullptr, report);
}

// The same workbook with no stored results at all (written part by part),
// for LibreOffice to compute each one when it saves the workbook as .xls.
std::string FreshResultsUncomputed(const TempDir& dir, const std::string& file) {
  auto escaped = [](const std::string& text) {
    std::string out;
    for (char c : text) out += c == '"' ? std::string("&quot;") : c == '&' ? std::string("&amp;") : std::string(1, c);
    return out;
  };
  auto formula = [&](const std::string& ref, const std::string& text) { return "<c r=\"" + ref + "\"><f>" + escaped(text) + "</f></c>"; };
  auto number = [](const std::string& ref, double value) {
    return "<c r=\"" + ref + "\"><v>" + std::to_string(static_cast<int>(value)) + "</v></c>";
  };
  std::string data = "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>key</t></is></c>"
                     "<c r=\"B1\" t=\"inlineStr\"><is><t>amount</t></is></c></row>";
  for (int r = 0; r < kDataRows; ++r) {
    const std::string row = std::to_string(r + 2);
    data += "<row r=\"" + row + "\">" + number("A" + row, kKeys[r]) + number("B" + row, kAmounts[r]) +
            formula("C" + row, r == 0 ? "B2" : "C" + std::to_string(r + 1) + "+B" + row) +
            formula("D" + row, "A" + row + "*B" + row) + "</row>";
  }
  std::string report;
  for (size_t i = 0; i < Report().size(); ++i) {
    const std::string row = std::to_string(i + 1);
    report += "<row r=\"" + row + "\">" + formula("A" + row, Report()[i].text) + "</row>";
  }
  auto parts = fixtures::MinimalWorkbook(data);
  for (auto& [name, bytes] : parts)
    if (name == "xl/workbook.xml") bytes.replace(bytes.find("name=\"Sheet1\""), 13, "name=\"Data\"");
  fixtures::AddWorksheet(parts, "Report", report);
  fixtures::WriteZip(dir.File(file), parts);
  return dir.File(file);
}

std::string FreshResultsXlsb(const TempDir& dir, const std::string& file) {
  using namespace xlsbfixtures;
  const std::string data = XlsbData("");
  std::string report;
  for (size_t i = 0; i < Report().size(); ++i)
    report += Row(static_cast<int>(i)) + FormulaNumber(0, 0, Report()[i].tokens);
  return Write(dir, file, Package({{"Data", data, "", {}, ""}, {"Report", report, "", {}, ""}}, {}));
}

// The lines of the CSV that LibreOffice, run headless, writes of sheet
// number sheet (1-based) of the workbook at path; empty when it fails.
std::vector<std::string> LibreOfficeSheetLines(const std::string& path, int sheet, const TempDir& work) {
  const std::string out = work.File("csv");
  const std::string command = "cd '" + work.Path() + "' && timeout 180 soffice -env:UserInstallation=file://" + work.Path() +
                              "/profile --headless --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,"
                              "false,false,false," + std::to_string(sheet) + "' --outdir '" + out + "' '" + path +
                              "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0 || !std::filesystem::exists(out)) return {};
  std::vector<std::string> lines;
  for (const auto& entry : std::filesystem::directory_iterator(out)) {
    std::istringstream text(fixtures::ReadFile(entry.path()));
    for (std::string line; std::getline(text, line);) lines.push_back(line == "\"\"" ? "" : line);
  }
  return lines;
}

// What LibreOffice shows in the first rows × columns cells of each sheet
// (name, rows, columns) of the workbook at path once it has recalculated
// every formula (calculateAll): a line a row, the cells' texts joined by
// tabs, sheet after sheet; empty when it fails. A Basic macro in the run's
// own profile does it, so nothing beyond LibreOffice itself is needed: the
// profile is made by a first start, then the macro is put into its library.
std::vector<std::string> LibreOfficeRecalculated(const std::string& path,
                                                 const std::vector<std::tuple<std::string, int, int>>& sheets,
                                                 const TempDir& work) {
  const std::string profile = work.Path() + "/profile-macro";
  const std::string office = "cd '" + work.Path() + "' && timeout 180 soffice -env:UserInstallation=file://" + profile +
                             " --headless --invisible --norestore --nologo ";
  if (std::system((office + "--terminate_after_init >/dev/null 2>&1").c_str()) != 0) return {};
  const std::string module = profile + "/user/basic/Standard/Module1.xba";
  if (!std::filesystem::exists(module)) return {};
  fixtures::WriteFile(module,
                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<script:module xmlns:script=\"http://openoffice.org/2000/script\" script:name=\"Module1\" "
                      "script:language=\"StarBasic\">\n"
                      "Sub Recalculate(path As String, outPath As String, areas As String)\n"
                      "  Dim load(0) As New com.sun.star.beans.PropertyValue\n"
                      "  load(0).Name = &quot;Hidden&quot;\n"
                      "  load(0).Value = True\n"
                      "  doc = StarDesktop.loadComponentFromURL(ConvertToURL(path), &quot;_blank&quot;, 0, load())\n"
                      "  doc.calculateAll()\n"
                      "  n = FreeFile\n"
                      "  Open outPath For Output As #n\n"
                      "  For Each area In Split(areas, &quot;;&quot;)\n"
                      "    fields = Split(area, &quot;:&quot;)\n"
                      "    sheet = doc.Sheets.getByName(fields(0))\n"
                      "    For r = 0 To CLng(fields(1)) - 1\n"
                      "      shown = &quot;&quot;\n"
                      "      For c = 0 To CLng(fields(2)) - 1\n"
                      "        If c &gt; 0 Then shown = shown &amp; Chr(9)\n"
                      "        shown = shown &amp; sheet.getCellByPosition(c, r).getString()\n"
                      "      Next c\n"
                      "      Print #n, shown\n"
                      "    Next r\n"
                      "  Next area\n"
                      "  Close #n\n"
                      "  doc.close(True)\n"
                      "End Sub\n"
                      "</script:module>\n");
  std::string areas;
  for (const auto& [name, rows, columns] : sheets)
    areas += (areas.empty() ? "" : ";") + name + ":" + std::to_string(rows) + ":" + std::to_string(columns);
  const std::string out = work.File("recalculated.txt");
  const std::string macro = "macro:///Standard.Module1.Recalculate(\"" + path + "\",\"" + out + "\",\"" + areas + "\")";
  if (std::system((office + "'" + macro + "' >/dev/null 2>&1").c_str()) != 0 || !std::filesystem::exists(out)) return {};
  std::istringstream text(fixtures::ReadFile(out));
  std::vector<std::string> lines;
  for (std::string line; std::getline(text, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}


struct KindsFormat {
  const char* name;
  // The workbook in the format; "" when its writer is not installed.
  std::function<std::string(const TempDir& dir)> write;
};

void PrintTo(const KindsFormat& format, std::ostream* out) { *out << format.name; }

const KindsFormat kKindsFormats[] = {
    {"xlsx", [](const TempDir& dir) { return FreshResultsXlsx(dir, "fresh.xlsx"); }},
    {"xls",
     [](const TempDir& dir) -> std::string {
       static const std::string bytes =
           xlsfixtures::ConvertedCached([](const TempDir& d) { return FreshResultsUncomputed(d, "fresh.xlsx"); }, "xls");
       if (bytes.empty()) return "";
       fixtures::WriteFile(dir.File("fresh.xls"), bytes);
       return dir.File("fresh.xls");
     }},
    {"xlsb", [](const TempDir& dir) { return FreshResultsXlsb(dir, "fresh.xlsb"); }},
    {"ods",
     [](const TempDir& dir) -> std::string {
       if (!fixtures::HaveSoffice()) return "";
       std::filesystem::create_directories(dir.File("ods"));
       return odsfixtures::SofficeConvert(FreshResultsUncomputed(dir, "fresh.xlsx"), "ods", dir, dir.File("ods"));
     }},
};

class FormulaResultKinds : public ::testing::TestWithParam<KindsFormat> {};

// After a sort and a hide, the saved file holds true formula results of
// the right kind: running totals and row products that moved, a lookup from
// another sheet into the sorted range, SUBTOTAL(109) without the hidden row,
// text, an error, a number where text stood, empty text and a boolean. The
// host reads them back, and so do programs that do not calculate: LibreOffice
// (which keeps stored results on load) and, for .xls, python3-xlrd; and
// LibreOffice's own recalculation of the saved file (calculateAll) gives
// the same results.
TEST_P(FormulaResultKinds, ASortAndAHideLeaveTrueResultsOfEveryKind) {
  TempDir dir;
  const std::string path = GetParam().write(dir);
  if (path.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& data = *book.Worksheets()[0];
    data.GetRange("A2:D6").Sort(host::Cells(2, 1));
    data.Rows(3).SetHidden(true);
    book.Save();
    EXPECT_EQ(book.FormulasLeftToRecalculate(), 0);
    app.Quit();
  }
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  host::SheetStore& data = book.Worksheets()[0]->Store();
  host::SheetStore& report = book.Worksheets()[1]->Store();
  for (int r = 0; r < kDataRows; ++r) {
    EXPECT_EQ(data.Value(r + 2, 3).number, kSortedRunning[r]) << "running total, row " << r + 2;
    EXPECT_EQ(data.Value(r + 2, 4).number, (r + 1) * kSortedAmounts[r]) << "row product, row " << r + 2;
  }
  ExpectReport(report, &ReportFormula::sorted);
  std::vector<std::string> expected;  // Report's column A as LibreOffice's CSV gives it
  for (const ReportFormula& f : Report())
    expected.push_back(f.sorted.kind == host::CellKind::Number    ? std::to_string(static_cast<int>(f.sorted.number))
                       : f.sorted.kind == host::CellKind::Boolean ? "TRUE"
                                                                  : f.sorted.text);
  app.Quit();
  if (fixtures::HaveSoffice()) {
    TempDir work;
    std::vector<std::string> shown = LibreOfficeSheetLines(path, 2, work);
    // LibreOffice has no boolean type: a boolean result read from a binary
    // file is the number 1 to it.
    for (size_t i = 0; i < shown.size() && i < Report().size(); ++i)
      if (Report()[i].sorted.kind == host::CellKind::Boolean && shown[i] == "1") shown[i] = "TRUE";
    EXPECT_EQ(shown, expected) << "LibreOffice's reading of Report";
  }
  if (fixtures::HaveSoffice()) {
    // Each result as LibreOffice computes it from the saved file.
    TempDir work;
    const int reportRows = static_cast<int>(Report().size());
    std::vector<std::string> lines = LibreOfficeRecalculated(path, {{"Report", reportRows, 1}, {"Data", kDataRows + 1, 4}}, work);
    lines.resize(reportRows + kDataRows + 1);
    std::vector<std::string> recalculated(lines.begin(), lines.begin() + reportRows);
    for (size_t i = 0; i < recalculated.size(); ++i)
      if (Report()[i].sorted.kind == host::CellKind::Boolean && recalculated[i] == "1") recalculated[i] = "TRUE";
    EXPECT_EQ(recalculated, expected) << "LibreOffice's recalculation of Report";
    std::vector<std::string> data, dataShown;
    for (int r = 0; r < kDataRows; ++r) {
      data.push_back(std::to_string(static_cast<int>(kSortedRunning[r])) + "\t" +
                     std::to_string(static_cast<int>((r + 1) * kSortedAmounts[r])));
      const std::string& line = lines[static_cast<size_t>(reportRows + 1 + r)];  // past the headers
      const size_t second = line.find('\t', line.find('\t') + 1);
      dataShown.push_back(second == std::string::npos ? line : line.substr(second + 1));  // C and D
    }
    EXPECT_EQ(dataShown, data) << "LibreOffice's recalculation of Data";
  }
  if (std::string(GetParam().name) == "xls" && xlsfixtures::HavePython("xlrd")) {
    TempDir work;
    std::vector<std::string> lines;
    for (const std::string& line : xlsfixtures::XlrdCells(path, work))
      if (line.rfind("1 ", 0) == 0) lines.push_back(line);
    // sheet row column type value: 1 text, 2 number, 4 boolean, 5 error code.
    EXPECT_EQ(lines, (std::vector<std::string>{"1 0 0 2 30.0", "1 1 0 2 100.0", "1 2 0 1 30 first", "1 3 0 5 7",
                                               "1 4 0 2 30.0", "1 5 0 1 ", "1 6 0 4 1",
                                               "1 7 0 1 100 shown", "1 8 0 1 " + Repeated("ab", 5000) + "1"}));
  }
}

// A hide alone leaves true results too. In an .xls file whose results were
// true already only those over the amounts change: every record stays where
// it was, the ROW record's flag, their FORMULA records' result fields and a
// STRING record of the same size patched in place.
TEST_P(FormulaResultKinds, AHideAloneLeavesTrueResults) {
  TempDir dir;
  const std::string path = GetParam().write(dir);
  if (path.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  const bool xls = std::string(GetParam().name) == "xls";
  auto workbookStream = [&] {
    const host::io::CompoundFile file = host::io::CompoundFile::FromFile(path);
    return file.ReadStream(file.Find("Workbook"));
  };
  const std::string before = xls ? workbookStream() : std::string();
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    book.Worksheets()[0]->Rows(3).SetHidden(true);
    book.Save();
    EXPECT_EQ(book.FormulasLeftToRecalculate(), 0);
    app.Quit();
  }
  host::Application app;
  ExpectReport(app.Workbooks().Open(path).Worksheets()[1]->Store(), &ReportFormula::unsorted);
  app.Quit();
  if (xls) {
    const std::string after = workbookStream();
    ASSERT_EQ(after.size(), before.size());
    size_t differing = 0;
    for (size_t i = 0; i < after.size(); ++i) differing += after[i] != before[i];
    // The hidden flag; the result field and flags of the two formulas over
    // the amounts; the digit that differs in the second one's STRING record.
    EXPECT_LE(differing, 1u + 2 * 10u + 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, FormulaResultKinds, ::testing::ValuesIn(kKindsFormats),
                         [](const ::testing::TestParamInfo<KindsFormat>& info) { return std::string(info.param.name); });

}  // namespace
