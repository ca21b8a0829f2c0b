// Sorting ranges: the order of value kinds, stability, what moves with a row
// and what stays, formulas, and the ranges that are refused.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <thread>

#include "Fixtures.h"
#include "host/core/Application.h"
#include "host/core/HostError.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"

using fixtures::ColumnTexts;
using fixtures::TempDir;

namespace {

// Rows whose column A holds each key (numbers, booleans, errors starting
// with '#', inline text, "" for no cell) and column B the row's number.
std::string KeyRows(const std::vector<std::string>& keys) {
  std::string xml;
  for (size_t i = 0; i < keys.size(); ++i) {
    std::string r = std::to_string(i + 1);
    const std::string& key = keys[i];
    xml += "<row r=\"" + r + "\">";
    char* end = nullptr;
    std::strtod(key.c_str(), &end);
    if (key.empty()) {
    } else if (key == "TRUE" || key == "FALSE") {
      xml += "<c r=\"A" + r + "\" t=\"b\"><v>" + std::string(key == "TRUE" ? "1" : "0") + "</v></c>";
    } else if (key[0] == '#') {
      xml += "<c r=\"A" + r + "\" t=\"e\"><f>1/0</f><v>" + key + "</v></c>";
    } else if (*end == '\0') {
      xml += "<c r=\"A" + r + "\"><v>" + key + "</v></c>";
    } else {
      xml += "<c r=\"A" + r + "\" t=\"inlineStr\"><is><t>" + key + "</t></is></c>";
    }
    xml += "<c r=\"B" + r + "\"><v>" + r + "</v></c></row>";
  }
  return xml;
}

TEST(Sort, KindsInHostOrderEmptyLastAndStable) {
  TempDir dir;
  std::vector<std::string> keys = {"pear", "10",    "TRUE", "",     "#DIV/0!", "Apple", "FALSE", "-2.5",
                                   "apple", "banana", "10",  "",     "2",       "APPLE", "TRUE"};
  std::string path = dir.File("keys.xlsx");
  fixtures::WriteZip(path, fixtures::MinimalWorkbook(KeyRows(keys)));
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  host::Worksheet& sheet = *book.Worksheets()[0];
  host::Range used = sheet.UsedRange();
  EXPECT_EQ(used.Address(), "$A$1:$B$15");
  used.Sort(host::Cells(1, 1), 1);
  EXPECT_EQ(ColumnTexts(sheet, 1, 1, 15),
            (std::vector<std::string>{"-2.5", "2", "10", "10", "Apple", "apple", "APPLE", "banana", "pear", "FALSE",
                                      "TRUE", "TRUE", "#DIV/0!", "", ""}));
  // Equal keys keep their order: the rows' own numbers tell.
  EXPECT_EQ(ColumnTexts(sheet, 2, 1, 15),
            (std::vector<std::string>{"8", "13", "2", "11", "6", "9", "14", "10", "1", "7", "3", "15", "5", "4", "12"}));

  book.Save();
  host::Application again;
  host::Worksheet& reread = *again.Workbooks().Open(path).Worksheets()[0];
  EXPECT_EQ(ColumnTexts(reread, 2, 1, 15), ColumnTexts(sheet, 2, 1, 15));
  EXPECT_EQ(ColumnTexts(reread, 1, 1, 15), ColumnTexts(sheet, 1, 1, 15));
}

TEST(Sort, TextFromSharedStringsSortsWithoutRegardToCase) {
  TempDir dir;
  std::string path = fixtures::WriteKeyColumn(dir, "keys.xlsx", {"delta", "Bravo", "", "alpha", "charlie", "ALPHA", "3"});
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  host::Worksheet& sheet = *book.Worksheets()[0];
  sheet.UsedRange().Sort(host::Cells(1, 1));
  EXPECT_EQ(ColumnTexts(sheet, 1, 1, 7),
            (std::vector<std::string>{"3", "alpha", "ALPHA", "Bravo", "charlie", "delta", ""}));
  EXPECT_EQ(ColumnTexts(sheet, 2, 1, 7), (std::vector<std::string>{"7", "4", "6", "2", "5", "1", "3"}));
}

TEST(Sort, DescendingKeepsEmptyCellsLast) {
  TempDir dir;
  std::string path = fixtures::WriteKeyColumn(dir, "keys.xlsx", {"1", "", "3", "b", "2"});
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
  sheet.UsedRange().Sort(host::Cells(1, 1), 2);
  EXPECT_EQ(ColumnTexts(sheet, 1, 1, 5), (std::vector<std::string>{"b", "3", "2", "1", ""}));
}

TEST(Sort, OnlyTheRangeColumnsMoveAndRowAttributesStay) {
  TempDir dir;
  std::string rows =
      "<row r=\"1\" ht=\"30\" customHeight=\"1\"><c r=\"A1\"><v>9</v></c><c r=\"B1\" s=\"1\"><v>3</v></c>"
      "<c r=\"C1\"><v>100</v></c><c r=\"D1\"><v>1000</v></c></row>"
      "<row r=\"2\" outlineLevel=\"1\"><c r=\"A2\"><v>8</v></c><c r=\"B2\"><v>1</v></c><c r=\"C2\"><v>200</v></c></row>"
      "<row r=\"3\"><c r=\"A3\"><v>7</v></c><c r=\"B3\"><v>2</v></c><c r=\"D3\"><v>3000</v></c></row>";
  std::string styles =
      "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
      "<cellXfs count=\"2\"><xf numFmtId=\"0\"/><xf numFmtId=\"2\"/></cellXfs></styleSheet>";
  std::string path = dir.File("cols.xlsx");
  fixtures::WriteZip(path, fixtures::MinimalWorkbook(rows, "", styles));
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& sheet = *book.Worksheets()[0];
    sheet.GetRange("B1:C3").Sort(host::Cells(1, 2));
    EXPECT_EQ(ColumnTexts(sheet, 1, 1, 3), (std::vector<std::string>{"9", "8", "7"}));  // left of the range
    EXPECT_EQ(ColumnTexts(sheet, 2, 1, 3), (std::vector<std::string>{"1", "2", "3.00"}));  // style moved along
    EXPECT_EQ(ColumnTexts(sheet, 3, 1, 3), (std::vector<std::string>{"200", "", "100"}));
    EXPECT_EQ(ColumnTexts(sheet, 4, 1, 3), (std::vector<std::string>{"1000", "", "3000"}));  // right of the range
    book.Save();
  }
  std::string xml = fixtures::ReadZip(path)["xl/worksheets/sheet1.xml"];
  EXPECT_NE(xml.find("<row r=\"1\" ht=\"30\" customHeight=\"1\">"), std::string::npos) << xml;
  EXPECT_NE(xml.find("<row r=\"2\" outlineLevel=\"1\">"), std::string::npos) << xml;
  EXPECT_NE(xml.find("<c r=\"B3\" s=\"1\"><v>3</v></c>"), std::string::npos) << xml;
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
  EXPECT_EQ(ColumnTexts(sheet, 3, 1, 3), (std::vector<std::string>{"200", "", "100"}));
  EXPECT_EQ(sheet.Cells(3, 2).Text(), "3.00");
}

TEST(Sort, MovedFormulasShiftAndKeepTheFlagsWhenEveryResultIsComputed) {
  TempDir dir;
  std::string rows =
      "<row r=\"1\"><c r=\"A1\"><v>3</v></c><c r=\"B1\"><f>A1*2+$A$1</f><v>9</v></c></row>"
      "<row r=\"2\"><c r=\"A2\"><v>1</v></c><c r=\"B2\"><f t=\"shared\" ref=\"B2:B3\" si=\"0\">A2*10</f><v>10</v></c></row>"
      "<row r=\"3\"><c r=\"A3\"><v>2</v></c><c r=\"B3\"><f t=\"shared\" si=\"0\"/><v>20</v></c></row>";
  std::string path = dir.File("formulas.xlsx");
  fixtures::WriteZip(path, fixtures::MinimalWorkbook(rows));
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& sheet = *book.Worksheets()[0];
    EXPECT_EQ(sheet.Cells(3, 2).Formula(), "A3*10");
    sheet.UsedRange().Sort(host::Cells(1, 1));
    EXPECT_EQ(ColumnTexts(sheet, 1, 1, 3), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(sheet.Cells(1, 2).Formula(), "A1*10");
    EXPECT_EQ(sheet.Cells(2, 2).Formula(), "A2*10");
    EXPECT_EQ(sheet.Cells(3, 2).Formula(), "A3*2+$A$1");
    EXPECT_EQ(sheet.Cells(3, 2).Text(), "9");  // cached value travels with the cell
    book.Save();
  }
  auto parts = fixtures::ReadZip(path);
  // Every moved formula got its fresh result: the workbook part stays as it was.
  for (const auto& [name, bytes] : fixtures::MinimalWorkbook(rows))
    if (name == "xl/workbook.xml") EXPECT_EQ(parts[name], bytes);
  const std::string& xml = parts["xl/worksheets/sheet1.xml"];
  EXPECT_EQ(xml.find("t=\"shared\""), std::string::npos) << xml;
  // The save wrote the moved formula's fresh result (3*2+1), not the one it had.
  EXPECT_NE(xml.find("<c r=\"B3\"><f>A3*2+$A$1</f><v>7</v></c>"), std::string::npos) << xml;
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
  EXPECT_EQ(sheet.Cells(1, 2).Formula(), "A1*10");
  EXPECT_EQ(sheet.Cells(2, 2).Formula(), "A2*10");
}

TEST(Sort, MovedFormulasDropTheCalculationChain) {
  TempDir dir;
  std::string rows =
      "<row r=\"1\"><c r=\"A1\"><v>2</v></c><c r=\"B1\"><f>A1+1</f><v>3</v></c></row>"
      "<row r=\"2\"><c r=\"A2\"><v>1</v></c><c r=\"B2\"><f>A2+1</f><v>2</v></c></row>";
  auto parts = fixtures::MinimalWorkbook(rows);
  fixtures::AddWorkbookPart(parts, "calcChain.xml", "application/vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml",
                            "calcChain",
                            "<calcChain xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                            "<c r=\"B1\" i=\"1\"/><c r=\"B2\"/></calcChain>");
  std::string path = dir.File("chain.xlsx");
  fixtures::WriteZip(path, parts);
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    book.Worksheets()[0]->UsedRange().Sort(host::Cells(1, 1));
    book.Save();
  }
  auto after = fixtures::ReadZip(path);
  EXPECT_EQ(after.count("xl/calcChain.xml"), 0u);
  EXPECT_EQ(after["[Content_Types].xml"].find("calcChain"), std::string::npos) << after["[Content_Types].xml"];
  EXPECT_NE(after["[Content_Types].xml"].find("/xl/worksheets/sheet1.xml"), std::string::npos);
  EXPECT_EQ(after["xl/_rels/workbook.xml.rels"].find("calcChain"), std::string::npos);
  EXPECT_NE(after["xl/_rels/workbook.xml.rels"].find("worksheets/sheet1.xml"), std::string::npos);
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
  EXPECT_EQ(sheet.Cells(1, 2).Formula(), "A1+1");
  EXPECT_EQ(sheet.Cells(2, 2).Formula(), "A2+1");
}

TEST(Sort, SortWithoutFormulasLeavesWorkbookPartAlone) {
  TempDir dir;
  std::string path = fixtures::WriteKeyColumn(dir, "k.xlsx", {"c", "a", "b"});
  auto before = fixtures::ReadZipRaw(path);
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  book.Worksheets()[0]->UsedRange().Sort(host::Cells(1, 1));
  book.Save();
  auto after = fixtures::ReadZipRaw(path);
  EXPECT_EQ(after["xl/workbook.xml"], before["xl/workbook.xml"]);
  EXPECT_EQ(after["xl/sharedStrings.xml"], before["xl/sharedStrings.xml"]);
  EXPECT_NE(after["xl/worksheets/sheet1.xml"], before["xl/worksheets/sheet1.xml"]);
}

TEST(Sort, AlreadySortedRangeChangesNothing) {
  TempDir dir;
  std::string path = fixtures::WriteKeyColumn(dir, "k.xlsx", {"1", "2", "a", ""});
  auto before = fixtures::ReadZipRaw(path);
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  book.Worksheets()[0]->UsedRange().Sort(host::Cells(1, 1));
  book.Save();
  EXPECT_EQ(fixtures::ReadZipRaw(path), before);
}

TEST(Sort, BlankRowsInsideTheRangeGoLastInTheirOrder) {
  TempDir dir;
  std::string rows =
      "<row r=\"1\"><c r=\"A1\"><v>5</v></c></row>"
      "<row r=\"3\"><c r=\"B3\"><v>77</v></c></row>"
      "<row r=\"4\"><c r=\"A4\"><v>1</v></c><c r=\"B4\"><v>11</v></c></row>";
  std::string path = dir.File("gaps.xlsx");
  fixtures::WriteZip(path, fixtures::MinimalWorkbook(rows));
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  host::Worksheet& sheet = *book.Worksheets()[0];
  sheet.GetRange("A1:B5").Sort(host::Cells(1, 1));
  EXPECT_EQ(ColumnTexts(sheet, 1, 1, 5), (std::vector<std::string>{"1", "5", "", "", ""}));
  // Row 2 (blank) and row 3 (empty key) follow in their old order, then row 5.
  EXPECT_EQ(ColumnTexts(sheet, 2, 1, 5), (std::vector<std::string>{"11", "", "", "77", ""}));
  book.Save();
  host::Application again;
  host::Worksheet& reread = *again.Workbooks().Open(path).Worksheets()[0];
  EXPECT_EQ(ColumnTexts(reread, 2, 1, 5), (std::vector<std::string>{"11", "", "", "77", ""}));
}

TEST(Sort, RefusedRangesChangeNothing) {
  TempDir dir;
  std::string rows =
      "<row r=\"1\"><c r=\"A1\"><v>3</v></c><c r=\"B1\"><v>1</v></c></row>"
      "<row r=\"2\"><c r=\"A2\"><v>2</v></c><c r=\"B2\"><v>1</v></c></row>"
      "<row r=\"3\"><c r=\"A3\"><v>1</v></c><c r=\"C3\"><f t=\"array\" ref=\"C3:C4\">A1:A2*2</f><v>6</v></c></row>"
      "<row r=\"4\"><c r=\"C4\"><v>4</v></c></row>";
  std::string path = dir.File("refused.xlsx");
  auto parts = fixtures::MinimalWorkbook(rows);
  for (auto& [name, xml] : parts)
    if (name == "xl/worksheets/sheet1.xml")
      xml = fixtures::SheetXml(rows, "<mergeCells count=\"1\"><mergeCell ref=\"B1:B2\"/></mergeCells>");
  fixtures::WriteZip(path, parts);
  std::string bytes = fixtures::ReadFile(path);
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  host::Worksheet& sheet = *book.Worksheets()[0];
  try {
    sheet.GetRange("A1:B3").Sort(host::Cells(1, 1));
    FAIL() << "a range cutting merged cells was sorted";
  } catch (const host::HostError& error) {
    EXPECT_NE(std::string(error.what()).find("merged"), std::string::npos) << error.what();
  }
  EXPECT_THROW(sheet.GetRange("A3:C4").Sort(host::Cells(1, 1)), host::HostError);  // array formula
  EXPECT_THROW(sheet.GetRange("A3:A4").Sort(host::Cells(1, 5)), host::HostError);  // key outside
  EXPECT_THROW(sheet.GetRange("A3:A4").Sort(host::Cells(1, 1), 3), host::HostError);
  EXPECT_EQ(ColumnTexts(sheet, 1, 1, 3), (std::vector<std::string>{"3", "2", "1"}));
  book.Save();
  auto after = fixtures::ReadZip(path);
  auto before = [&] {
    fixtures::WriteFile(dir.File("orig.xlsx"), bytes);
    return fixtures::ReadZip(dir.File("orig.xlsx"));
  }();
  EXPECT_EQ(after, before);
  // Outside the merged and array areas the sort works.
  sheet.GetRange("A3:A4").Sort(host::Cells(1, 1));
}

TEST(Sort, HiddenRowsMadeBeforeASortAreKept) {
  TempDir dir;
  std::string path = fixtures::WriteKeyColumn(dir, "k.xlsx", {"c", "a", "b"});
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& sheet = *book.Worksheets()[0];
    sheet.Rows(2).SetHidden(true);
    sheet.Rows(6).SetHidden(true);
    sheet.GetRange("A1:B6").Sort(host::Cells(1, 1));
    EXPECT_TRUE(sheet.Rows(2).Hidden());
    EXPECT_TRUE(sheet.Rows(6).Hidden());
    book.Save();
  }
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
  // Row 2 ("a") was hidden: it keeps its place; the visible rows sort around it.
  EXPECT_EQ(ColumnTexts(sheet, 1, 1, 3), (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_TRUE(sheet.Rows(2).Hidden());
  EXPECT_TRUE(sheet.Rows(6).Hidden());
  EXPECT_FALSE(sheet.Rows(1).Hidden());
}

TEST(Sort, CellsWithoutReferencesGetThemWhenTheirRowChanges) {
  TempDir dir;
  // Cells and rows may leave out their r attribute: they follow the one before.
  std::string rows =
      "<row><c><v>3</v></c><c t=\"inlineStr\"><is><t>c</t></is></c><c><v>30</v></c></row>"
      "<row><c><v>1</v></c><c t=\"inlineStr\"><is><t>a</t></is></c><c><v>10</v></c></row>"
      "<row><c><v>2</v></c><c t=\"inlineStr\"><is><t>b</t></is></c></row>";
  std::string path = dir.File("implicit.xlsx");
  fixtures::WriteZip(path, fixtures::MinimalWorkbook(rows));
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& sheet = *book.Worksheets()[0];
    EXPECT_EQ(sheet.UsedRange().Address(), "$A$1:$C$3");
    sheet.GetRange("B1:C3").Sort(host::Cells(1, 2), 2);
    EXPECT_EQ(ColumnTexts(sheet, 2, 1, 3), (std::vector<std::string>{"c", "b", "a"}));
    EXPECT_EQ(ColumnTexts(sheet, 3, 1, 3), (std::vector<std::string>{"30", "", "10"}));
    book.Save();
  }
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
  EXPECT_EQ(ColumnTexts(sheet, 1, 1, 3), (std::vector<std::string>{"3", "1", "2"}));
  EXPECT_EQ(ColumnTexts(sheet, 2, 1, 3), (std::vector<std::string>{"c", "b", "a"}));
  EXPECT_EQ(ColumnTexts(sheet, 3, 1, 3), (std::vector<std::string>{"30", "", "10"}));
}

TEST(Sort, TwoSortsInARowMoveCellsTwice) {
  TempDir dir;
  std::string rows =
      "<row r=\"1\"><c r=\"A1\"><v>2</v></c><c r=\"B1\"><v>1</v></c><c r=\"C1\"><f>B1+1</f><v>2</v></c></row>"
      "<row r=\"2\"><c r=\"A2\"><v>1</v></c><c r=\"B2\"><v>2</v></c><c r=\"C2\"><f>B2+1</f><v>3</v></c></row>";
  std::string path = dir.File("twice.xlsx");
  fixtures::WriteZip(path, fixtures::MinimalWorkbook(rows));
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  host::Worksheet& sheet = *book.Worksheets()[0];
  sheet.UsedRange().Sort(host::Cells(1, 1));
  EXPECT_EQ(sheet.Cells(1, 3).Formula(), "B1+1");
  sheet.UsedRange().Sort(host::Cells(1, 2));
  EXPECT_EQ(ColumnTexts(sheet, 2, 1, 2), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(sheet.Cells(1, 3).Formula(), "B1+1");
  EXPECT_EQ(sheet.Cells(2, 3).Formula(), "B2+1");
  book.Save();
  host::Application again;
  host::Worksheet& reread = *again.Workbooks().Open(path).Worksheets()[0];
  EXPECT_EQ(ColumnTexts(reread, 1, 1, 2), (std::vector<std::string>{"2", "1"}));
  EXPECT_EQ(reread.Cells(2, 3).Formula(), "B2+1");
}

// Sorts column A of rows holding the keys (column B: the row's number) in a
// thread of its own whose locale is root, and gives column A afterwards.
std::vector<std::string> SortedInRoot(const TempDir& dir, const std::vector<std::string>& keys) {
  std::string path = dir.File("order.xlsx");
  fixtures::WriteZip(path, fixtures::MinimalWorkbook(KeyRows(keys)));
  std::vector<std::string> texts;
  const char* before = std::getenv("LC_ALL");
  const std::string saved = before ? before : "";
  setenv("LC_ALL", "C", 1);
  std::thread([&] {
    host::Application app;
    host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
    sheet.UsedRange().Sort(host::Cells(1, 1));
    texts = ColumnTexts(sheet, 1, 1, static_cast<int>(keys.size()));
  }).join();
  before ? setenv("LC_ALL", saved.c_str(), 1) : unsetenv("LC_ALL");
  return texts;
}

TEST(Sort, TextsInTheLanguageOrder) {
  TempDir dir;
  const std::vector<std::string> ascii = {"f", "co-op", "Eclair", "coop", "cob", "@tag", "1a", "can't", "cant", "(x)"};
  const std::vector<std::string> asciiOrder = {"(x)", "@tag", "1a", "cant", "can't", "cob", "coop", "co-op", "Eclair", "f"};
  EXPECT_EQ(SortedInRoot(dir, ascii), asciiOrder);
  // With texts beyond ASCII among them the same texts keep their order.
  std::vector<std::string> mixed = ascii;
  mixed.insert(mixed.end(), {"éclair", "Äpfel", "Ωmega", "apfel", "ábc"});
  EXPECT_EQ(SortedInRoot(dir, mixed),
            (std::vector<std::string>{"(x)", "@tag", "1a", "ábc", "apfel", "Äpfel", "cant", "can't", "cob", "coop",
                                      "co-op", "Eclair", "éclair", "f", "Ωmega"}));
}

// A key formula without a stored result is computed for the sort; one the
// host cannot compute (a volatile or unknown function) refuses it.
TEST(Sort, AKeyFormulaNeverCalculatedIsComputedOrRefusesTheSort) {
  struct Case {
    const char* formula;  // in A3, between A1 3 and A2 1
    bool sorted;
  };
  const Case cases[] = {{"1+1", true}, {"NOW()", false}, {"NOSUCHFUNCTION(1)", false}};
  for (const Case& c : cases) {
    TempDir dir;
    std::string rows =
        "<row r=\"1\"><c r=\"A1\"><v>3</v></c><c r=\"B1\"><f>A1+1</f></c></row>"
        "<row r=\"2\"><c r=\"A2\"><v>1</v></c></row>"
        "<row r=\"3\"><c r=\"A3\"><f>" + std::string(c.formula) + "</f></c></row>";
    std::string path = dir.File("uncalculated.xlsx");
    fixtures::WriteZip(path, fixtures::MinimalWorkbook(rows));
    auto before = fixtures::ReadZipRaw(path);
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& sheet = *book.Worksheets()[0];
    if (c.sorted) {
      sheet.GetRange("A1:A3").Sort(host::Cells(1, 1));
      EXPECT_EQ(sheet.Cells(1, 1).Number(), 1) << c.formula;
      EXPECT_EQ(sheet.Cells(2, 1).Formula(), c.formula) << c.formula;
      EXPECT_EQ(sheet.Cells(3, 1).Number(), 3) << c.formula;
      continue;
    }
    try {
      sheet.UsedRange().Sort(host::Cells(1, 1));
      ADD_FAILURE() << "sorted by a formula without a value: " << c.formula;
    } catch (const host::HostError& error) {
      std::string what = error.what();
      EXPECT_NE(what.find("cell A3 holds a formula that has never been calculated"), std::string::npos) << what;
      EXPECT_NE(what.find("Sheet1"), std::string::npos) << what;
    }
    book.Save();
    EXPECT_EQ(fixtures::ReadZipRaw(path), before) << c.formula;
    // An uncalculated formula outside the key column moves like any cell.
    sheet.GetRange("A1:B2").Sort(host::Cells(1, 1));
    EXPECT_EQ(sheet.Cells(2, 2).Formula(), "A2+1") << c.formula;
  }
}

// A workbook of two sheets: Sheet1 with keys in column A, Sheet2 with
// sheet2Rows; extra goes into the workbook part after <sheets>.
std::vector<std::pair<std::string, std::string>> TwoSheets(const std::string& sheet2Rows, const std::string& extra) {
  auto parts = fixtures::MinimalWorkbook(
      "<row r=\"1\"><c r=\"A1\"><v>2</v></c></row><row r=\"2\"><c r=\"A2\"><v>1</v></c></row>");
  fixtures::AddWorksheet(parts, "Sheet2", sheet2Rows);
  for (auto& [name, xml] : parts)
    if (name == "xl/workbook.xml") xml.insert(xml.find("</sheets>") + 9, extra);
  return parts;
}

// A sort asks for a recalculation when the workbook is opened only where a
// result that depends on the moved cells is left uncomputed.
TEST(Sort, MovingCellsAsksForRecalculationOnlyWhereAResultIsLeft) {
  struct Case {
    const char* what;
    std::string sheet2Rows, extra;
    bool recalculates;
  };
  const Case cases[] = {
      {"a formula on another sheet, computed", "<row r=\"1\"><c r=\"A1\"><f>Sheet1!A1</f><v>2</v></c></row>", "", false},
      {"a formula the host does not compute", "<row r=\"1\"><c r=\"A1\"><f>Sheet1!A1+RAND()</f><v>2</v></c></row>", "", true},
      {"a data table, whose cells have no formula of their own",
       "<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\"><f>Sheet1!A1+A1</f><v>3</v></c></row>"
       "<row r=\"2\"><c r=\"A2\"><v>2</v></c><c r=\"B2\"><f t=\"dataTable\" ref=\"B2:B2\" dt2D=\"0\" dtr=\"0\" r1=\"A1\"/>"
       "<v>4</v></c></row>",
       "", true},
      {"a defined name", "<row r=\"1\"><c r=\"A1\"><v>5</v></c></row>",
       "<definedNames><definedName name=\"First\">Sheet1!$A$1</definedName></definedNames>", false},
      {"neither", "<row r=\"1\"><c r=\"A1\"><v>5</v></c></row>", "", false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::string path = dir.File("two.xlsx");
    fixtures::WriteZip(path, TwoSheets(c.sheet2Rows, c.extra));
    {
      host::Application app;
      host::Workbook& book = app.Workbooks().Open(path);
      book.Worksheets()[0]->UsedRange().Sort(host::Cells(1, 1));
      book.Save();
    }
    std::string workbook = fixtures::ReadZip(path)["xl/workbook.xml"];
    EXPECT_EQ(workbook.find("fullCalcOnLoad=\"1\"") != std::string::npos, c.recalculates) << c.what << ": " << workbook;
    EXPECT_EQ(workbook.find("<definedNames>") != std::string::npos, !c.extra.empty()) << c.what;
  }
}

TEST(Sort, ASortThatMovesNothingAsksForNoRecalculation) {
  TempDir dir;
  std::string path = dir.File("two.xlsx");
  auto parts = TwoSheets("<row r=\"1\"><c r=\"A1\"><f>Sheet1!A1</f><v>2</v></c></row>", "");
  fixtures::WriteZip(path, parts);
  auto before = fixtures::ReadZipRaw(path);
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    book.Worksheets()[0]->GetRange("A2:A2").Sort(host::Cells(1, 1));
    book.Save();
  }
  EXPECT_EQ(fixtures::ReadZipRaw(path), before);
}

}  // namespace
