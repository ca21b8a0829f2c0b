// Opening workbooks and reading them as displayed: formats, dates, formulas,
// shared and inline strings, sheets of every kind, used ranges.

#include <gtest/gtest.h>

#include "Fixtures.h"
#include "host/core/Application.h"
#include "host/core/HostError.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"

using fixtures::TempDir;

namespace {

TEST(WorkbookRead, MixedWorkbookShowsValuesAsDisplayed) {
  TempDir dir;
  std::string path = fixtures::WriteMixedWorkbook(dir);
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  EXPECT_EQ(app.Workbooks().Count(), 1);
  EXPECT_EQ(&app.Workbooks()(1), &book);
  EXPECT_EQ(book.Name(), "mixed.xlsx");
  EXPECT_FALSE(book.Date1904());

  std::vector<host::Worksheet*> sheets = book.Worksheets();
  ASSERT_EQ(sheets.size(), 2u);  // the chart sheet is not a worksheet
  EXPECT_EQ(sheets[0]->Name(), "Data");
  EXPECT_EQ(sheets[1]->Name(), "Second");
  EXPECT_EQ(sheets[0]->Index(), 1);
  EXPECT_EQ(sheets[1]->Index(), 3);  // the chart sheet counts for positions

  host::Worksheet& data = *sheets[0];
  EXPECT_EQ(data.Cells(1, 1).Text(), "Name");
  EXPECT_EQ(data.Cells(2, 1).Text(), "pear");
  EXPECT_EQ(data.Cells(2, 2).Text(), "1,234.50");
  EXPECT_EQ(data.Cells(4, 2).Text(), "0.13");
  EXPECT_EQ(data.Cells(5, 2).Text(), "100,000.00");
  EXPECT_EQ(data.Cells(2, 3).Text(), "2024-01-10");
  EXPECT_EQ(data.Cells(3, 3).Text(), "2024-02-11");
  EXPECT_EQ(data.Cells(2, 4).Text(), "10.00%");
  EXPECT_EQ(data.Cells(7, 1).Text(), "TRUE");
  // A formula shows its cached value.
  EXPECT_EQ(data.Cells(7, 2).Text(), "101,238.63");
  EXPECT_EQ(data.Cells(7, 2).Formula(), "SUM(B2:B6)");
  // Cells the sheet does not hold read as empty.
  EXPECT_EQ(data.Cells(100, 100).Text(), "");
  EXPECT_EQ(data.Cells(9, 6).Text(), "");
  EXPECT_EQ(data.Cells(9, 6).Kind(), host::CellKind::Blank);
}

TEST(WorkbookRead, UsedRangeCoversStyleOnlyCells) {
  TempDir dir;
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(fixtures::WriteMixedWorkbook(dir));
  host::Range used = book.Worksheets()[0]->UsedRange();
  EXPECT_EQ(used.Address(), "$A$1:$F$9");  // F9 holds only a style
  EXPECT_EQ(used.Rows().Count(), 9);
  EXPECT_EQ(used.Rows()(used.Rows().Count()).Row(), 9);
  EXPECT_EQ(used.Columns()(used.Columns().Count()).Column(), 6);
  EXPECT_EQ(used.Row(), 1);
  EXPECT_EQ(used.Column(), 1);
  EXPECT_EQ(&used.Worksheet(), book.Worksheets()[0]);
  EXPECT_EQ(book.Worksheets()[1]->UsedRange().Address(), "$A$1:$A$3");
}

TEST(WorkbookRead, EmptySheetUsesA1AndLaterStartIsKept) {
  TempDir dir;
  std::string path = dir.File("empty.xlsx");
  fixtures::WriteZip(path, fixtures::MinimalWorkbook(""));
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
  EXPECT_EQ(sheet.UsedRange().Address(), "$A$1");
  EXPECT_EQ(sheet.UsedRange().Rows()(1).Row(), 1);

  std::string later = dir.File("later.xlsx");
  fixtures::WriteZip(later, fixtures::MinimalWorkbook(
                                "<row r=\"3\"><c r=\"C3\"><v>1</v></c></row><row r=\"10\"><c r=\"E10\"><v>2</v></c></row>"));
  host::Worksheet& s2 = *app.Workbooks().Open(later).Worksheets()[0];
  EXPECT_EQ(s2.UsedRange().Address(), "$C$3:$E$10");
  EXPECT_EQ(s2.MaxRow(), 10);
  EXPECT_EQ(s2.MaxColumn(), 5);
}

TEST(WorkbookRead, ActiveSheetFollowsTheActiveTab) {
  TempDir dir;
  std::string path = fixtures::WriteMixedWorkbook(dir);
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  EXPECT_EQ(book.ActiveSheet().Name(), "Data");

  // The same workbook with the chart sheet as the active tab.
  auto entries = fixtures::ReadZip(path);
  std::string& workbookXml = entries["xl/workbook.xml"];
  size_t view = workbookXml.find("<workbookView");
  ASSERT_NE(view, std::string::npos);
  workbookXml.insert(view + 13, " activeTab=\"1\"");
  std::vector<std::pair<std::string, std::string>> parts(entries.begin(), entries.end());
  std::string chartActive = dir.File("chart-active.xlsx");
  fixtures::WriteZip(chartActive, parts);
  host::Workbook& second = app.Workbooks().Open(chartActive);
  EXPECT_THROW(second.ActiveSheet(), host::HostError);

  workbookXml.replace(view + 13, 14, " activeTab=\"2\"");
  std::string thirdPath = dir.File("second-active.xlsx");
  fixtures::WriteZip(thirdPath, std::vector<std::pair<std::string, std::string>>(entries.begin(), entries.end()));
  EXPECT_EQ(app.Workbooks().Open(thirdPath).ActiveSheet().Name(), "Second");
}

TEST(WorkbookRead, SharedStringsJoinRunsAndIgnorePhonetics) {
  TempDir dir;
  std::string sst =
      "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"3\" uniqueCount=\"3\">"
      "<si><t>plain &amp; simple</t></si>"
      "<si><r><rPr><b/></rPr><t>Bold</t></r><r><t xml:space=\"preserve\"> and not</t></r></si>"
      "<si><t>\xE6\x9D\xB1\xE4\xBA\xAC</t><rPh sb=\"0\" eb=\"2\"><t>TOKYO</t></rPh><phoneticPr fontId=\"1\"/></si>"
      "</sst>";
  std::string path = dir.File("sst.xlsx");
  fixtures::WriteZip(path, fixtures::MinimalWorkbook(
                               "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
                               "<c r=\"C1\" t=\"s\"><v>2</v></c>"
                               "<c r=\"D1\" t=\"inlineStr\"><is><r><t>in</t></r><r><t>line_x0041_</t></r></is></c>"
                               "<c r=\"E1\" t=\"e\"><v>#DIV/0!</v></c><c r=\"F1\" t=\"b\"><v>0</v></c>"
                               "<c r=\"G1\" t=\"str\"><f>\"a\"&amp;\"b\"</f><v>ab</v></c></row>",
                               sst));
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
  EXPECT_EQ(sheet.Cells(1, 1).Text(), "plain & simple");
  EXPECT_EQ(sheet.Cells(1, 2).Text(), "Bold and not");
  EXPECT_EQ(sheet.Cells(1, 3).Text(), "\xE6\x9D\xB1\xE4\xBA\xAC");
  EXPECT_EQ(sheet.Cells(1, 4).Text(), "inlineA");
  EXPECT_EQ(sheet.Cells(1, 5).Text(), "#DIV/0!");
  EXPECT_EQ(sheet.Cells(1, 5).Kind(), host::CellKind::Error);
  EXPECT_EQ(sheet.Cells(1, 6).Text(), "FALSE");
  EXPECT_EQ(sheet.Cells(1, 7).Text(), "ab");
  EXPECT_EQ(sheet.Cells(1, 7).Formula(), "\"a\"&\"b\"");
}

TEST(WorkbookRead, NumberFormatsFromStylesAndDateSystems) {
  TempDir dir;
  std::string styles =
      "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
      "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"[&gt;100]&quot;big&quot;;0.0\"/></numFmts>"
      "<cellXfs count=\"4\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"164\"/><xf numFmtId=\"49\"/></cellXfs>"
      "</styleSheet>";
  std::string rows =
      "<row r=\"1\"><c r=\"A1\" s=\"1\"><v>1</v></c><c r=\"B1\" s=\"2\"><v>150</v></c><c r=\"C1\" s=\"2\"><v>5</v></c>"
      "<c r=\"D1\"><v>0.1</v></c><c r=\"E1\"><v>123456789012</v></c><c r=\"F1\" s=\"3\"><v>12</v></c>"
      "<c r=\"G1\" s=\"1\" t=\"d\"><v>2024-03-05T00:00:00</v></c></row>";
  std::string path = dir.File("formats.xlsx");
  fixtures::WriteZip(path, fixtures::MinimalWorkbook(rows, "", styles));
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
  EXPECT_EQ(sheet.Cells(1, 1).Text(), "1/1/1900");
  EXPECT_EQ(sheet.Cells(1, 2).Text(), "big");
  EXPECT_EQ(sheet.Cells(1, 3).Text(), "5.0");
  EXPECT_EQ(sheet.Cells(1, 4).Text(), "0.1");
  EXPECT_EQ(sheet.Cells(1, 5).Text(), "1.23457E+11");
  EXPECT_EQ(sheet.Cells(1, 6).Text(), "12");
  EXPECT_EQ(sheet.Cells(1, 7).Text(), "3/5/2024");
  EXPECT_EQ(sheet.Cells(1, 2).FormatCode(), "[>100]\"big\";0.0");

  // The same serial in the 1904 system is four years and a day later.
  auto parts = fixtures::MinimalWorkbook(rows, "", styles);
  for (auto& [name, xml] : parts)
    if (name == "xl/workbook.xml") xml.replace(xml.find("<sheets>"), 8, "<workbookPr date1904=\"1\"/><sheets>");
  std::string path1904 = dir.File("formats1904.xlsx");
  fixtures::WriteZip(path1904, parts);
  host::Workbook& book = app.Workbooks().Open(path1904);
  EXPECT_TRUE(book.Date1904());
  EXPECT_EQ(book.Worksheets()[0]->Cells(1, 1).Text(), "1/2/1904");
}

TEST(WorkbookRead, StrictNamespacesAndPrefixesAreRead) {
  TempDir dir;
  auto parts = fixtures::MinimalWorkbook("");
  for (auto& [name, xml] : parts) {
    if (name == "xl/worksheets/sheet1.xml")
      xml = "<x:worksheet xmlns:x=\"http://purl.oclc.org/ooxml/spreadsheetml/main\"><x:sheetData>"
            "<x:row r=\"2\"><x:c r=\"B2\" t=\"inlineStr\"><x:is><x:t>strict</x:t></x:is></x:c></x:row>"
            "</x:sheetData></x:worksheet>";
    if (name == "xl/workbook.xml")
      xml = "<workbook xmlns=\"http://purl.oclc.org/ooxml/spreadsheetml/main\" "
            "xmlns:r=\"http://purl.oclc.org/ooxml/officeDocument/relationships\">"
            "<sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
    if (name == "xl/_rels/workbook.xml.rels" || name == "_rels/.rels") {
      size_t p;
      while ((p = xml.find("http://schemas.openxmlformats.org/officeDocument/2006/relationships/")) != std::string::npos)
        xml.replace(p, 68, "http://purl.oclc.org/ooxml/officeDocument/relationships/");
    }
  }
  std::string path = dir.File("strict.xlsx");
  fixtures::WriteZip(path, parts);
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
  EXPECT_EQ(sheet.Name(), "S");
  EXPECT_EQ(sheet.Cells(2, 2).Text(), "strict");
  EXPECT_EQ(sheet.UsedRange().Address(), "$B$2");
}

TEST(WorkbookRead, RangesFromReferences) {
  TempDir dir;
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(fixtures::WriteMixedWorkbook(dir));
  host::Worksheet& sheet = *book.Worksheets()[0];
  EXPECT_EQ(sheet.GetRange("B2:D9").Address(), "$B$2:$D$9");
  EXPECT_EQ(sheet.GetRange("$B$2:$D$9").Address(), "$B$2:$D$9");
  EXPECT_EQ(sheet.GetRange("D9:B2").Address(), "$B$2:$D$9");
  EXPECT_EQ(sheet.GetRange("B5").Address(), "$B$5");
  EXPECT_EQ(sheet.GetRange("XFD1048576").Address(), "$XFD$1048576");
  host::Range block = sheet.GetRange("C5:E10");
  EXPECT_EQ(block.Row(), 5);
  EXPECT_EQ(block.Column(), 3);
  EXPECT_EQ(block.Rows().Count(), 6);
  EXPECT_EQ(block.Rows()(6).Row(), 10);
  EXPECT_EQ(block.Columns()(3).Column(), 5);
  for (const char* bad : {"", "B", "1B", "XFE1", "A1048577", "A0", "B2:", "B2:D9:E1", "B 2"})
    EXPECT_THROW(sheet.GetRange(bad), host::HostError) << bad;
  EXPECT_EQ(book.ResolveRange("'Second'!A1:A2", sheet).Worksheet().Name(), "Second");
  EXPECT_EQ(book.ResolveRange("A1:A2", sheet).Worksheet().Name(), "Data");
  EXPECT_THROW(book.ResolveRange("Nope!A1", sheet), host::HostError);
  EXPECT_EQ(host::Cells(1, 28).column, 28);
  EXPECT_THROW(host::Cells(0, 1), host::HostError);
}

TEST(WorkbookRead, AFormulaNeverCalculatedIsNotBlank) {
  TempDir dir;
  // What scripts write: <f> without <v>; beside it what spreadsheet programs
  // write for formulas that give "" and 0.
  std::string rows =
      "<row r=\"1\"><c r=\"A1\"><f>B1*2</f></c><c r=\"B1\" t=\"str\"><f>\"\"</f><v></v></c>"
      "<c r=\"C1\"><f>0</f><v>0</v></c><c r=\"D1\" t=\"str\"><f t=\"shared\" ref=\"D1:D2\" si=\"0\">C1</f></c></row>";
  std::string path = dir.File("uncalculated.xlsx");
  fixtures::WriteZip(path, fixtures::MinimalWorkbook(rows));
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
  for (int column : {1, 4}) {
    try {
      (void)sheet.Cells(1, column).Text();
      ADD_FAILURE() << "column " << column << " read as if it had a value";
    } catch (const host::HostError& error) {
      std::string what = error.what();
      std::string cell = column == 1 ? "Cell A1 " : "Cell D1 ";
      EXPECT_NE(what.find(cell), std::string::npos) << what;
      EXPECT_NE(what.find("holds a formula that has never been calculated"), std::string::npos) << what;
      EXPECT_NE(what.find("uncalculated.xlsx"), std::string::npos) << what;
    }
  }
  EXPECT_EQ(sheet.Cells(1, 2).Text(), "");
  EXPECT_EQ(sheet.Cells(1, 3).Text(), "0");
  EXPECT_EQ(sheet.Cells(1, 1).Formula(), "B1*2");
}

}  // namespace
