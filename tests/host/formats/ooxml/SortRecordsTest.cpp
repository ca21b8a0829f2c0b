// Sorting keeps every record whole: hidden rows stay, notes, links and cell
// metadata travel with their cells, tables, merged cells and array formulas
// are kept intact or the sort is refused, protected sheets refuse.

#include <gtest/gtest.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <map>
#include <regex>

#include "Fixtures.h"
#include "host/core/Application.h"
#include "host/core/HostError.h"
#include "host/formats/ooxml/HyperlinkMoves.h"
#include "host/core/SortPlan.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"

using fixtures::ColumnTexts;
using fixtures::TempDir;

namespace {

// Column A the keys, column B "rowN" naming the row each record started in.
void WriteRecords(lxw_worksheet* ws, const std::vector<std::string>& keys, int firstRow = 0) {
  for (size_t i = 0; i < keys.size(); ++i) {
    lxw_row_t row = static_cast<lxw_row_t>(firstRow + i);
    worksheet_write_string(ws, row, 0, keys[i].c_str(), nullptr);
    worksheet_write_string(ws, row, 1, ("row" + std::to_string(row + 1)).c_str(), nullptr);
  }
}

void Close(lxw_workbook* wb) {
  if (workbook_close(wb) != LXW_NO_ERROR) throw std::runtime_error("libxlsxwriter failed");
}

// Sorts the range of the first sheet by its first column and saves; the
// parts of the file before and after.
using Parts = std::map<std::string, std::string>;
std::pair<Parts, Parts> SortAndSave(const std::string& path, const char* range, int order = 1) {
  Parts before = fixtures::ReadZip(path);
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Range area = book.Worksheets()[0]->GetRange(range);
    area.Sort(host::Cells(1, area.Column()), order);
    book.Save();
  }
  return {before, fixtures::ReadZip(path)};
}

std::string Refused(host::Range range) {
  try {
    range.Sort(host::Cells(1, range.Column()));
  } catch (const host::HostError& error) {
    return error.what();
  }
  return "";
}

// Every ref="..." of the element named in the part, in order.
std::vector<std::string> Refs(const std::string& xml, const std::string& element) {
  std::vector<std::string> out;
  std::regex pattern("<" + element + "\\b[^>]*\\sref=\"([^\"]+)\"");
  for (std::sregex_iterator it(xml.begin(), xml.end(), pattern), end; it != end; ++it) out.push_back((*it)[1]);
  return out;
}

TEST(SortRecords, HiddenRowsKeepTheirPlaceAndData) {
  TempDir dir;
  std::string path = dir.File("hidden.xlsx");
  lxw_workbook* wb = workbook_new(path.c_str());
  lxw_worksheet* ws = workbook_add_worksheet(wb, "People");
  WriteRecords(ws, {"e", "d", "c", "b", "a"});
  lxw_row_col_options hidden = {1, 0, 0};
  worksheet_set_row_opt(ws, 1, LXW_DEF_ROW_HEIGHT, nullptr, &hidden);
  worksheet_set_row_opt(ws, 3, LXW_DEF_ROW_HEIGHT, nullptr, &hidden);
  Close(wb);
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    book.Worksheets()[0]->UsedRange().Sort(host::Cells(1, 1));
    book.Save();
  }
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
  EXPECT_EQ(ColumnTexts(sheet, 1, 1, 5), (std::vector<std::string>{"a", "d", "c", "b", "e"}));
  EXPECT_EQ(ColumnTexts(sheet, 2, 1, 5), (std::vector<std::string>{"row5", "row2", "row3", "row4", "row1"}));
  EXPECT_TRUE(sheet.RowHidden(2));
  EXPECT_TRUE(sheet.RowHidden(4));
  EXPECT_FALSE(sheet.RowHidden(1));
}

// Notes on A1 and B3, links on B1 and A3; a note and a link in column D,
// outside the sorted range, stay.
std::string WriteNotesAndLinks(const TempDir& dir) {
  std::string path = dir.File("notes.xlsx");
  lxw_workbook* wb = workbook_new(path.c_str());
  lxw_worksheet* ws = workbook_add_worksheet(wb, "People");
  WriteRecords(ws, {"carol", "alice", "bob"});
  worksheet_write_comment(ws, 0, 0, "about carol");
  worksheet_write_comment(ws, 2, 1, "about row3");
  worksheet_write_url(ws, 0, 1, "https://carol.example/", nullptr);
  worksheet_write_url_opt(ws, 2, 0, "https://bob.example/", nullptr, "bob", nullptr);
  worksheet_write_string(ws, 0, 3, "stays", nullptr);
  worksheet_write_comment(ws, 0, 3, "note that stays");
  Close(wb);
  return path;
}

TEST(SortRecords, NotesAndLinksTravelWithTheirCells) {
  TempDir dir;
  auto [before, after] = SortAndSave(WriteNotesAndLinks(dir), "A1:B3");
  // carol went from row 1 to 3, alice from 2 to 1, bob from 3 to 2.
  std::vector<std::string> refs = Refs(after["xl/comments1.xml"], "comment");
  std::sort(refs.begin(), refs.end());
  EXPECT_EQ(refs, (std::vector<std::string>{"A3", "B2", "D1"}));
  // Each note shape: its anchor's top and bottom rows, its row and column.
  auto shapes = [](const std::string& vml) {
    std::regex shape(
        "<x:Anchor>\\s*\\d+, \\d+, (\\d+), \\d+, \\d+, \\d+, (\\d+), \\d+\\s*</x:Anchor>[\\s\\S]*?"
        "<x:Row>(\\d+)</x:Row>\\s*<x:Column>(\\d+)</x:Column>");
    std::map<int, std::vector<int>> byColumn;  // column -> top, bottom, row
    for (std::sregex_iterator it(vml.begin(), vml.end(), shape), end; it != end; ++it)
      byColumn[std::stoi((*it)[4])] = {std::stoi((*it)[1]), std::stoi((*it)[2]), std::stoi((*it)[3])};
    return byColumn;
  };
  auto old = shapes(before["xl/drawings/vmlDrawing1.vml"]);
  auto moved = shapes(after["xl/drawings/vmlDrawing1.vml"]);
  ASSERT_EQ(moved.size(), 3u);
  EXPECT_EQ(moved[0], (std::vector<int>{old[0][0] + 2, old[0][1] + 2, 2}));  // A1 -> A3
  EXPECT_EQ(moved[1], (std::vector<int>{old[1][0] - 1, old[1][1] - 1, 1}));  // B3 -> B2
  EXPECT_EQ(moved[3], old[3]);                                              // D1 stays
  EXPECT_EQ(Refs(after["xl/worksheets/sheet1.xml"], "hyperlink"), (std::vector<std::string>{"B3", "A2"}));
  // Everything else is byte for byte as before.
  for (const char* moved : {"xl/comments1.xml", "xl/drawings/vmlDrawing1.vml", "xl/worksheets/sheet1.xml"}) {
    before.erase(moved);
    after.erase(moved);
  }
  EXPECT_EQ(after, before);
}

TEST(SortRecords, NotesPartsStayWhenNoNoteMoved) {
  TempDir dir;
  // Descending, carol keeps row 1 with her note; the other notes stand
  // outside column A, though bob's link moves.
  auto [before, after] = SortAndSave(WriteNotesAndLinks(dir), "A1:A3", 2);
  EXPECT_EQ(Refs(after["xl/worksheets/sheet1.xml"], "hyperlink"), (std::vector<std::string>{"B1", "A2"}));
  EXPECT_EQ(after["xl/comments1.xml"], before["xl/comments1.xml"]);
  EXPECT_EQ(after["xl/drawings/vmlDrawing1.vml"], before["xl/drawings/vmlDrawing1.vml"]);
}

TEST(SortRecords, NotesFollowEverySortOfASession) {
  TempDir dir;
  std::string path = WriteNotesAndLinks(dir);
  auto before = fixtures::ReadZip(path);
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Range range = book.Worksheets()[0]->GetRange("A1:B3");
    range.Sort(host::Cells(1, 1));
    // Column B ("https://carol...", "row2", "row3") puts the rows back.
    range.Sort(host::Cells(1, 2));
    book.Save();
  }
  auto after = fixtures::ReadZip(path);
  EXPECT_EQ(after["xl/comments1.xml"], before["xl/comments1.xml"]);
  EXPECT_EQ(after["xl/drawings/vmlDrawing1.vml"], before["xl/drawings/vmlDrawing1.vml"]);
  EXPECT_EQ(Refs(after["xl/worksheets/sheet1.xml"], "hyperlink"), (std::vector<std::string>{"B1", "A3"}));
}

TEST(SortRecords, SpanningLinksAreSplitPerRunOfRows) {
  std::vector<host::RowMove> moves{{host::CellArea{1, 1, 3, 2}, {3, 1, 2}, {}}};
  std::string element =
      "<hyperlinks><hyperlink ref=\"A1:C3\" r:id=\"rId1\"/>\n<hyperlink ref=\"E5\" location=\"x\"/></hyperlinks>";
  EXPECT_EQ(host::ooxml::MoveHyperlinks(element, moves),
            "<hyperlinks><hyperlink ref=\"C1:C3\" r:id=\"rId1\"/><hyperlink ref=\"A3:B3\" r:id=\"rId1\"/>"
            "<hyperlink ref=\"A1:B2\" r:id=\"rId1\"/>\n"
            "<hyperlink ref=\"E5\" location=\"x\"/></hyperlinks>");
}

// Threaded comments and a dynamic array with cell metadata, as current
// versions of the reference program write them.
TEST(SortRecords, ThreadedCommentsAndDynamicArraysMove) {
  TempDir dir;
  std::string rows =
      "<row r=\"1\"><c r=\"A1\"><v>3</v></c><c r=\"B1\" cm=\"1\"><f t=\"array\" ref=\"B1\">_xlfn.SINGLE(A1)</f>"
      "<v>3</v></c></row>"
      "<row r=\"2\"><c r=\"A2\"><v>1</v></c><c r=\"B2\" vm=\"1\"><v>9</v></c></row>"
      "<row r=\"3\"><c r=\"A3\"><v>2</v></c><c r=\"B3\"><f t=\"array\" ref=\"B3:C3\">A3*{1,2}</f><v>2</v></c>"
      "<c r=\"C3\"><v>4</v></c></row>";
  auto parts = fixtures::MinimalWorkbook(rows);
  for (auto& [name, xml] : parts) {
    if (name == "xl/worksheets/sheet1.xml") xml = fixtures::SheetXml(rows, "<legacyDrawing r:id=\"rId2\"/>");
    if (name == "[Content_Types].xml")
      xml.insert(xml.find("</Types>"),
                 "<Default Extension=\"vml\" ContentType=\"application/vnd.openxmlformats-officedocument.vmlDrawing\"/>"
                 "<Override PartName=\"/xl/comments1.xml\" "
                 "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.comments+xml\"/>"
                 "<Override PartName=\"/xl/threadedComments/threadedComment1.xml\" "
                 "ContentType=\"application/vnd.ms-excel.threadedcomments+xml\"/>");
  }
  parts.emplace_back("xl/worksheets/_rels/sheet1.xml.rels",
                     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                     "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                     "<Relationship Id=\"rId3\" Type=\"http://schemas.microsoft.com/office/2017/10/relationships/"
                     "threadedComment\" Target=\"../threadedComments/threadedComment1.xml\"/>"
                     "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                     "relationships/vmlDrawing\" Target=\"../drawings/vmlDrawing1.vml\"/>"
                     "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                     "relationships/comments\" Target=\"../comments1.xml\"/></Relationships>");
  parts.emplace_back("xl/threadedComments/threadedComment1.xml",
                     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                     "<ThreadedComments xmlns=\"http://schemas.microsoft.com/office/spreadsheetml/2018/threadedcomments\">"
                     "<threadedComment ref=\"A1\" dT=\"2024-01-02T10:00:00.00\" personId=\"{1}\" id=\"{A}\">"
                     "<text>three</text></threadedComment></ThreadedComments>");
  parts.emplace_back("xl/comments1.xml",
                     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                     "<comments xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><authors>"
                     "<author>tc={A}</author></authors><commentList><comment ref=\"A1\" authorId=\"0\" shapeId=\"0\">"
                     "<text><t>three</t></text></comment></commentList></comments>");
  parts.emplace_back("xl/drawings/vmlDrawing1.vml",
                     "<xml xmlns:v=\"urn:schemas-microsoft-com:vml\" xmlns:o=\"urn:schemas-microsoft-com:office:office\" "
                     "xmlns:x=\"urn:schemas-microsoft-com:office:excel\">\r\n <v:shape id=\"_x0000_s1025\">\r\n"
                     "  <x:ClientData ObjectType=\"Note\">\r\n   <x:MoveWithCells/>\r\n"
                     "   <x:Anchor>\r\n    1, 15, 0, 2, 3, 15, 4, 16</x:Anchor>\r\n   <x:AutoFill>False</x:AutoFill>\r\n"
                     "   <x:Row>0</x:Row>\r\n   <x:Column>0</x:Column>\r\n  </x:ClientData>\r\n </v:shape></xml>");
  parts.emplace_back("xl/metadata.xml", "<metadata xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"/>");
  std::string path = dir.File("dynamic.xlsx");
  fixtures::WriteZip(path, parts);
  auto [before, after] = SortAndSave(path, "A1:C3");
  std::string sheet = after["xl/worksheets/sheet1.xml"];
  // 3 went to row 3, 1 to row 1, 2 to row 2.
  EXPECT_NE(sheet.find("<c r=\"B3\" cm=\"1\"><f t=\"array\" ref=\"B3\">_xlfn.SINGLE(A3)</f>"), std::string::npos) << sheet;
  EXPECT_NE(sheet.find("<c r=\"B1\" vm=\"1\"><v>9</v></c>"), std::string::npos) << sheet;
  EXPECT_NE(sheet.find("<f t=\"array\" ref=\"B2:C2\">A2*{1,2}</f>"), std::string::npos) << sheet;
  EXPECT_EQ(Refs(after["xl/threadedComments/threadedComment1.xml"], "threadedComment"), (std::vector<std::string>{"A3"}));
  EXPECT_EQ(Refs(after["xl/comments1.xml"], "comment"), (std::vector<std::string>{"A3"}));
  EXPECT_NE(after["xl/drawings/vmlDrawing1.vml"].find("<x:Anchor>\r\n    1, 15, 2, 2, 3, 15, 6, 16</x:Anchor>"),
            std::string::npos);
  EXPECT_NE(after["xl/drawings/vmlDrawing1.vml"].find("<x:Row>2</x:Row>"), std::string::npos);
  EXPECT_EQ(after["xl/metadata.xml"], before["xl/metadata.xml"]);
}

// A table "Staff" in A1:B4 (header row 1, data rows 2-4) on sheet "Team".
std::string WriteTable(const TempDir& dir, bool totals) {
  std::string path = dir.File(totals ? "totals.xlsx" : "table.xlsx");
  lxw_workbook* wb = workbook_new(path.c_str());
  lxw_worksheet* ws = workbook_add_worksheet(wb, "Team");
  char nameHeader[] = "Name", total[] = "Total", whereHeader[] = "Origin", tableName[] = "Staff";
  lxw_table_column name = {};
  name.header = nameHeader;
  if (totals) name.total_string = total;
  lxw_table_column where = {};
  where.header = whereHeader;
  lxw_table_column* columns[] = {&name, &where, nullptr};
  lxw_table_options options = {};
  options.name = tableName;
  options.columns = columns;
  options.total_row = totals ? LXW_TRUE : LXW_FALSE;
  WriteRecords(ws, {"cy", "al", "bo"}, 1);
  worksheet_add_table(ws, 0, 0, totals ? 4 : 3, 1, &options);
  worksheet_write_string(ws, 7, 0, "below", nullptr);
  Close(wb);
  return path;
}

TEST(SortRecords, ATableItsRangeCoversSortsItsDataRowsOnly) {
  for (bool totals : {false, true}) {
    TempDir dir;
    std::string path = WriteTable(dir, totals);
    auto [before, after] = SortAndSave(path, totals ? "A1:B5" : "A1:B4");
    host::Application app;
    host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
    EXPECT_EQ(ColumnTexts(sheet, 1, 1, totals ? 5 : 4),
              totals ? (std::vector<std::string>{"Name", "al", "bo", "cy", "Total"})
                     : (std::vector<std::string>{"Name", "al", "bo", "cy"}));
    EXPECT_EQ(after["xl/tables/table1.xml"], before["xl/tables/table1.xml"]);
  }
}

TEST(SortRecords, OtherOverlapsWithATableAreRefused) {
  TempDir dir;
  std::string path = WriteTable(dir, false);
  auto before = fixtures::ReadZip(path);
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  host::Worksheet& sheet = *book.Worksheets()[0];
  for (const char* range : {"A1:B8", "A2:B4", "A3:C6", "B1:B4"}) {
    std::string message = Refused(sheet.GetRange(range));
    EXPECT_NE(message.find("table \"Staff\""), std::string::npos) << range << ": " << message;
    EXPECT_NE(message.find("sheet \"Team\""), std::string::npos) << message;
  }
  book.Save();
  EXPECT_EQ(fixtures::ReadZip(path), before);
}

TEST(SortRecords, MergedCellsFollowTheReferenceProgramsRule) {
  struct Case {
    const char* merges;  // merged areas, space-separated
    const char* range;
    const char* refusal;  // "" when the sort proceeds
  };
  const Case cases[] = {
      {"B1:C1 B2:C2 B3:C3", "A1:C3", ""},
      {"B1:C1 B2:C2", "A1:C3", "merged cells of different sizes"},
      {"B1:C1 B2:C2 A3:B3", "A1:C3", "merged cells of different sizes"},
      {"C1:C2", "A1:C3", "merged cells of different sizes"},
      {"C3:C4", "A1:C3", "cuts through the merged cells $C$3:$C$4"},
      {"C1:D1 C2:D2 C3:D3", "A1:C3", "cuts through the merged cells $C$1:$D$1"},
      {"B1:C3", "A2:C2", ""},  // one row: nothing to do, never refused
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::string path = dir.File("merged.xlsx");
    lxw_workbook* wb = workbook_new(path.c_str());
    lxw_worksheet* ws = workbook_add_worksheet(wb, "Merged");
    WriteRecords(ws, {"c", "a", "b"});
    std::string merges = c.merges;
    for (size_t at = 0; at < merges.size();) {
      size_t end = merges.find(' ', at);
      if (end == std::string::npos) end = merges.size();
      host::CellArea area;
      ASSERT_TRUE(host::ParseAreaReference(merges.substr(at, end - at), area));
      worksheet_merge_range(ws, area.firstRow - 1, area.firstColumn - 1, area.lastRow - 1, area.lastColumn - 1, "",
                            nullptr);
      at = end + 1;
    }
    Close(wb);
    host::Application app;
    host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
    std::string message = Refused(sheet.GetRange(c.range));
    if (*c.refusal) {
      EXPECT_NE(message.find(c.refusal), std::string::npos) << c.merges << ": " << message;
    } else {
      EXPECT_EQ(message, "") << c.merges;
    }
  }
}

TEST(SortRecords, ArrayFormulasMoveWithTheirRowOrAreRefused) {
  TempDir dir;
  std::string path = dir.File("arrays.xlsx");
  lxw_workbook* wb = workbook_new(path.c_str());
  lxw_worksheet* ws = workbook_add_worksheet(wb, "Arrays");
  WriteRecords(ws, {"c", "a", "b", "z", "y"});
  worksheet_write_array_formula(ws, 0, 2, 0, 2, "{=LEN(A1)}", nullptr);
  worksheet_write_array_formula(ws, 1, 2, 1, 3, "{=LEN(A2)*{1,2}}", nullptr);
  worksheet_write_array_formula(ws, 3, 2, 4, 2, "{=LEN(A4:A5)}", nullptr);
  Close(wb);
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& sheet = *book.Worksheets()[0];
    EXPECT_NE(Refused(sheet.GetRange("A3:D5")).find("array formula $C$4:$C$5 spans several rows"), std::string::npos);
    EXPECT_NE(Refused(sheet.GetRange("A1:C3")).find("cuts through the array formula $C$2:$D$2"), std::string::npos);
    sheet.GetRange("A1:D3").Sort(host::Cells(1, 1));
    EXPECT_EQ(ColumnTexts(sheet, 2, 1, 3), (std::vector<std::string>{"row2", "row3", "row1"}));
    book.Save();
  }
  std::string xml = fixtures::ReadZip(path)["xl/worksheets/sheet1.xml"];
  EXPECT_NE(xml.find("<f t=\"array\" ref=\"C3\">LEN(A3)</f>"), std::string::npos) << xml;
  EXPECT_NE(xml.find("<f t=\"array\" ref=\"C1:D1\">LEN(A1)*{1,2}</f>"), std::string::npos) << xml;
}

TEST(SortRecords, ProtectedSheetsRefuseSortingAndHiding) {
  struct Case {
    bool allowSort, allowRows;
  };
  for (Case c : {Case{false, false}, Case{true, true}}) {
    TempDir dir;
    std::string path = dir.File("protected.xlsx");
    lxw_workbook* wb = workbook_new(path.c_str());
    lxw_worksheet* ws = workbook_add_worksheet(wb, "Locked");
    WriteRecords(ws, {"b", "a"});
    lxw_protection options = {};
    options.sort = c.allowSort;
    options.format_rows = c.allowRows;
    worksheet_protect(ws, nullptr, &options);
    Close(wb);
    auto before = fixtures::ReadZip(path);
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& sheet = *book.Worksheets()[0];
    std::string message = Refused(sheet.UsedRange());
    std::string hiding;
    try {
      sheet.Rows(2).SetHidden(true);
    } catch (const host::HostError& error) {
      hiding = error.what();
    }
    if (c.allowSort) {
      EXPECT_EQ(message, "");
      EXPECT_EQ(hiding, "");
      continue;
    }
    EXPECT_NE(message.find("sheet \"Locked\""), std::string::npos) << message;
    EXPECT_NE(message.find("protected against sorting"), std::string::npos) << message;
    EXPECT_NE(hiding.find("sheet \"Locked\""), std::string::npos) << hiding;
    EXPECT_NE(hiding.find("protected against formatting rows"), std::string::npos) << hiding;
    book.Save();
    EXPECT_EQ(fixtures::ReadZip(path), before);
  }
}

TEST(SortRecords, PlacesVisibleRowsAroundHiddenOnes) {
  // Rows 10..15, 11 and 14 hidden; 15 and 12 hold the smallest keys, 10 none.
  EXPECT_EQ(host::PlaceRows(10, 15, {11, 14}, {15, 12, 13}), (host::RowNumbers{15, 11, 12, 13, 14, 10}));
}

}  // namespace
