// The .ods workbook as the host sees it, on hand-made packages: values,
// displayed texts and formats; hiding rows; sorting records whole; saving
// only the changed table with every other byte kept.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>

#include "host/core/RowSort.h"
#include "host/core/HostError.h"
#include "host/core/NumberFormat.h"
#include "host/core/SortKeys.h"
#include "host/core/SortPlan.h"
#include "host/formats/odf/OdsDocument.h"
#include "host/formats/odf/OdsWorkbook.h"
#include "host/formats/odf/OdsFixtures.h"

using host::CellArea;
using host::CellKind;
using odsfixtures::Cell;
using odsfixtures::Content;
using odsfixtures::DataTable;
using odsfixtures::kOther;
using odsfixtures::Number;
using odsfixtures::Text;

namespace {

struct Opened {
  std::unique_ptr<host::WorkbookStore> book;
  host::SheetStore* sheet = nullptr;  // owned by book
};

Opened Open(const std::string& path, size_t index = 0) {
  Opened o;
  o.book = host::odf::OpenOds(path);
  o.sheet = o.book->Sheet(index);
  return o;
}

void Save(Opened& o) { o.book->Save(); }

// The bytes of content.xml before and after the first table.
std::pair<std::string, std::string> AroundFirstTable(const std::string& content) {
  size_t begin = content.find("<table:table ");
  size_t end = content.find("</table:table>", begin) + std::string("</table:table>").size();
  return {content.substr(0, begin), content.substr(end)};
}

ino_t Inode(const std::string& path) {
  struct stat st;
  ::stat(path.c_str(), &st);
  return st.st_ino;
}

}  // namespace

TEST(OdsStore, ReadsValuesTextsAndFormats) {
  fixtures::TempDir dir;
  std::string styles =
      "<number:number-style style:name=\"N2\"><number:number number:decimal-places=\"2\" "
      "number:min-integer-digits=\"1\" number:grouping=\"true\"/></number:number-style>"
      "<number:date-style style:name=\"N3\"><number:day number:style=\"long\"/><number:text>.</number:text>"
      "<number:month number:style=\"long\"/><number:text>.</number:text><number:year number:style=\"long\"/>"
      "</number:date-style>"
      "<style:style style:name=\"ce2\" style:family=\"table-cell\" style:data-style-name=\"N2\"/>"
      "<style:style style:name=\"ce3\" style:family=\"table-cell\" style:data-style-name=\"N3\"/>";
  auto row = [](const std::string& cell) { return "<table:table-row>" + cell + "</table:table-row>"; };
  std::string table =
      "<table:table table:name=\"Vals\">" +
      row(Cell("office:value-type=\"float\" office:value=\"1234.5\" table:style-name=\"ce2\"")) +
      row(Cell("office:value-type=\"percentage\" office:value=\"0.125\"", "<text:p>12.5%</text:p>")) +
      row(Cell("office:value-type=\"date\" office:date-value=\"2024-02-29\" table:style-name=\"ce3\"")) +
      row(Cell("office:value-type=\"boolean\" office:boolean-value=\"true\"", "<text:p>TRUE</text:p>")) +
      row(Cell("table:formula=\"of:=1/0\" office:value-type=\"float\" office:value=\"0\" calcext:value-type=\"error\"",
               "<text:p>#DIV/0!</text:p>")) +
      row(Cell("table:formula=\"of:=[.A1]*2\"")) + row(Cell("", "<text:p>plain</text:p>")) +
      row(Cell("office:value-type=\"time\" office:time-value=\"PT36H00M00S\"", "<text:p>36:00:00</text:p>")) +
      row(Cell("office:value-type=\"date\" office:date-value=\"2024-02-29T18:00:00\"", "<text:p>x</text:p>")) +
      "</table:table>" + kOther;
  Opened o = Open(odsfixtures::WriteOds(dir, "v.ods", Content(table, styles)));
  EXPECT_EQ(o.book->ActiveTab(), 1u);
  EXPECT_EQ(o.book->Sheets().size(), 2u);
  struct Case {
    int row;
    CellKind kind;
    double number;
    std::string text;
    std::optional<std::string> stored;
    std::string shown;  // what the host displays
  } cases[] = {
      {1, CellKind::Number, 1234.5, "", std::nullopt, "1,234.50"},
      {2, CellKind::Number, 0.125, "", "12.5%", "12.5%"},
      {3, CellKind::Number, 45351, "2024-02-29", std::nullopt, "29.02.2024"},
      {4, CellKind::Boolean, 1, "", "TRUE", "TRUE"},
      {5, CellKind::Error, 0, "#DIV/0!", "#DIV/0!", "#DIV/0!"},
      {6, CellKind::Text, 0, "", std::nullopt, ""},  // a formula with an empty text as its result
      {7, CellKind::Text, 0, "plain", "plain", "plain"},
      {8, CellKind::Number, 1.5, "", "36:00:00", "36:00:00"},
      {9, CellKind::Number, 45351.75, "2024-02-29T18:00:00", "x", "x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    host::StoredValue v = o.sheet->Value(c.row, 1);
    EXPECT_EQ(v.kind, c.kind);
    EXPECT_DOUBLE_EQ(v.number, c.number);
    EXPECT_EQ(v.text, c.text);
    EXPECT_EQ(o.sheet->StoredText(c.row, 1), c.stored);
    std::string shown = c.stored ? *c.stored
                        : v.kind == CellKind::Number ? host::FormatNumber(v.number, o.sheet->FormatCode(c.row, 1), false)
                                                     : v.text;
    EXPECT_EQ(shown, c.shown);
  }
  EXPECT_FALSE(o.sheet->Value(6, 1).uncalculated);
  EXPECT_EQ(o.sheet->Formula(6, 1), "A1*2");
  // LibreOffice writes =IF(...;"";...) with an empty result so, and the
  // column sorts by it instead of being refused.
  EXPECT_NO_THROW(host::SortRows(*o.sheet, {6, 1, 7, 1}, 1, false));
  EXPECT_TRUE(o.sheet->HoldsFormulas());
  CellArea used;
  ASSERT_TRUE(o.sheet->UsedArea(used));
  EXPECT_EQ(used.lastRow, 9);
}

// The keys of a sort read as the cells' values read, whichever way a key
// cell is spelt (a plain paragraph is viewed in the part, the rest decoded).
TEST(OdsStore, SortKeysReadAsTheValuesDo) {
  const std::string cells[] = {
      Text("pear"),
      Text("a &amp; b"),
      Text("x<text:s text:c=\"2\"/>y"),
      Cell("office:value-type=\"string\"", "<text:p>one</text:p><text:p>two</text:p>"),
      Cell("office:value-type=\"string\" office:string-value=\"shown\"", "<text:p>other</text:p>"),
      Cell("table:formula=\"of:=&quot;f&quot;\" office:value-type=\"string\"", "<text:p>f</text:p>"),
      Cell("table:formula=\"of:=1/0\" office:value-type=\"string\" calcext:value-type=\"error\"",
           "<text:p>#DIV/0!</text:p>"),
      Cell("office:value-type=\"string\"", "<text:p><text:span>in</text:span> span</text:p>"),
      Cell("office:value-type=\"string\"", "<text:p>noted</text:p><office:annotation><text:p>n</text:p></office:annotation>"),
      Cell("office:value-type=\"string\"", "<text:p/>"),
      Cell("", "<text:p>loose</text:p>"),
      Number(2.5),
      Cell("office:value-type=\"boolean\" office:boolean-value=\"true\"", "<text:p>TRUE</text:p>"),
      Cell(""),
  };
  std::string rows;
  for (const std::string& cell : cells) rows += "<table:table-row>" + cell + "</table:table-row>";
  fixtures::TempDir dir;
  Opened o = Open(odsfixtures::WriteOds(dir, "k.ods", Content("<table:table table:name=\"K\">" + rows + "</table:table>")));
  const int last = static_cast<int>(std::size(cells));
  host::SortKeyList read, fromValues;
  o.sheet->ReadSortKeys(1, last, 1, read);
  for (int row = 1; row <= last; ++row) fromValues.Add(row, o.sheet->Value(row, 1));
  auto shown = [](host::SortKeyList& list) {
    std::string out;
    for (const host::SortKey& k : list.Keys())
      out += std::to_string(k.Row()) + ":" + std::to_string(static_cast<int>(k.Class())) + ":" +
             std::to_string(k.Number()) + ":" + std::string(k.Text()) + "|";
    return out;
  };
  EXPECT_EQ(shown(read), shown(fromValues));
  EXPECT_EQ(read.Keys().size(), static_cast<size_t>(last - 1));  // the empty cell has none
}

TEST(OdsStore, SortMovesRecordsWholeAndSavesOnlyTheirTable) {
  fixtures::TempDir dir;
  std::string content = Content(DataTable() + kOther);
  std::string path = odsfixtures::WriteOds(dir, "s.ods", content);
  std::string before = odsfixtures::WriteOds(dir, "before.ods", content);
  auto rawBefore = fixtures::ReadZipRaw(path);
  {
    Opened o = Open(path);
    EXPECT_TRUE(o.sheet->RowHidden(4));
    EXPECT_EQ(host::SortRows(*o.sheet, {2, 1, 5, 3}, 2, false), 3u);
    Save(o);
  }
  host::odf::OdsDocument doc(path);
  auto& s = doc.Sheet(1);
  struct Row {
    int row;
    std::string name, n, formula, rowStyle;
  } rows[] = {
      {2, "apple", "1", "of:=[.B2]+[$Two.A4]+[.$B$2]", "ro2"},
      {3, "fig", "2", "of:=[.B3]+#REF!", "ro1"},
      {4, "zz", "9", "", "ro1"},
      {5, "pear", "3", "of:=[.B5]*2", "ro3"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.row);
    EXPECT_EQ(s.Text(r.row, 1), r.name);
    EXPECT_EQ(s.Text(r.row, 2), r.n);
    EXPECT_EQ(s.Formula(r.row, 3), r.formula);
    EXPECT_EQ(s.RowAttribute(r.row, "table:style-name"), r.rowStyle);
  }
  EXPECT_TRUE(s.IsRowHidden(4));
  pugi::xml_document noted = odsfixtures::CellTree(s, 2, 1), linked = odsfixtures::CellTree(s, 3, 1),
                     styled = odsfixtures::CellTree(s, 5, 2);
  EXPECT_STREQ(noted.first_child().child("office:annotation").child_value("text:p"), "ripe");
  EXPECT_STREQ(linked.first_child().child("text:p").child("text:a").attribute("xlink:href").value(),
               "http://example.org/");
  EXPECT_STREQ(styled.first_child().attribute("table:style-name").value(), "ce1");
  EXPECT_EQ(s.Rows().back().firstRow + s.Rows().back().count - 1, 1048576);

  // Around the sorted table, content.xml is as it was; the other entries are
  // copied as stored, in their order (mimetype: see MimetypeStaysFirstAndStored).
  std::string saved = fixtures::ReadZip(path)["content.xml"];
  EXPECT_EQ(AroundFirstTable(saved), AroundFirstTable(content));
  auto rawAfter = fixtures::ReadZipRaw(path);
  for (const auto& [name, bytes] : rawBefore) {
    if (name != "content.xml" && name != "mimetype") {
      EXPECT_EQ(rawAfter[name], bytes) << name;
    }
  }
  std::vector<std::string> namesBefore, namesAfter;
  for (const auto& [name, stored] : odsfixtures::EntryOrder(before)) namesBefore.push_back(name);
  for (const auto& [name, stored] : odsfixtures::EntryOrder(path)) namesAfter.push_back(name);
  EXPECT_EQ(namesAfter, namesBefore);
}

// The sorted table's end is found whatever follows it; the bytes after it
// (comments that look like its end tag included) are kept as they were.
TEST(OdsStore, SortKeepsWhatFollowsTheTable) {
  const std::string cases[] = {
      kOther,
      "\n  \n" + kOther,
      "<!-- </table:table> -->" + kOther,
      "<!-- </table:table-row -->",
      "",
  };
  for (const std::string& after : cases) {
    SCOPED_TRACE(after);
    fixtures::TempDir dir;
    std::string content = Content(DataTable() + after);
    std::string path = odsfixtures::WriteOds(dir, "s.ods", content);
    {
      Opened o = Open(path);
      ASSERT_TRUE(host::SortRows(*o.sheet, {2, 1, 5, 3}, 2, false));
      Save(o);
    }
    std::string saved = fixtures::ReadZip(path)["content.xml"];
    EXPECT_EQ(AroundFirstTable(saved), AroundFirstTable(content));
    Opened o = Open(path);
    EXPECT_EQ(o.sheet->Value(2, 1).text, "apple");
    EXPECT_EQ(o.sheet->Value(5, 1).text, "pear");
  }
}

// Readers recognise a package by its first entry, "mimetype", stored.
TEST(OdsStore, MimetypeStaysFirstAndStored) {
  fixtures::TempDir dir;
  std::string path = odsfixtures::WriteOds(dir, "t.ods", Content(DataTable() + kOther));
  Opened o = Open(path);
  o.sheet->SetRowHidden(2, true);
  Save(o);
  auto order = odsfixtures::EntryOrder(path);
  ASSERT_FALSE(order.empty());
  EXPECT_EQ(order[0], (std::pair<std::string, bool>{"mimetype", true}));
}

TEST(OdsStore, HideCollapsesOneRowOfARepeatedGroup) {
  fixtures::TempDir dir;
  std::string content = Content(DataTable() + kOther);
  std::string path = odsfixtures::WriteOds(dir, "h.ods", content);
  {
    Opened o = Open(path);
    o.sheet->SetRowHidden(8, true);
    o.sheet->SetRowHidden(4, true);  // hidden already
    Save(o);
  }
  host::odf::OdsDocument doc(path);
  auto& s = doc.Sheet(1);
  for (int row : {4, 6, 7, 8, 9, 1048576}) EXPECT_EQ(s.IsRowHidden(row), row == 4 || row == 8) << row;
  std::string saved = fixtures::ReadZip(path)["content.xml"];
  EXPECT_NE(saved.find("<table:table-row table:style-name=\"ro1\" table:visibility=\"collapse\"><table:table-cell "
                       "table:number-columns-repeated=\"3\"/></table:table-row>"),
            std::string::npos);
  EXPECT_NE(saved.find("table:number-rows-repeated=\"1048568\""), std::string::npos);
  EXPECT_EQ(AroundFirstTable(saved), AroundFirstTable(content));
}

TEST(OdsStore, NothingChangedNothingWritten) {
  fixtures::TempDir dir;
  std::string path = odsfixtures::WriteOds(dir, "n.ods", Content(DataTable() + kOther));
  std::string before = fixtures::ReadFile(path);
  ino_t inode = Inode(path);
  Opened o = Open(path);
  o.sheet->SetRowHidden(4, true);                      // hidden already
  EXPECT_FALSE(host::SortRows(*o.sheet, {1, 1, 1, 3}, 1, false));  // one row
  EXPECT_FALSE(host::SortRows(*o.sheet, {6, 1, 9, 3}, 1, false));  // empty rows
  Save(o);
  EXPECT_EQ(Inode(path), inode);
  EXPECT_EQ(fixtures::ReadFile(path), before);
}

TEST(OdsStore, SortRefusesMergedCellsAndArraysItWouldTear) {
  fixtures::TempDir dir;
  std::string merged =
      "<table:table table:name=\"M\"><table:table-row>" + Number(2) +
      Cell("table:number-rows-spanned=\"2\" office:value-type=\"string\"", "<text:p>m</text:p>") +
      "</table:table-row><table:table-row>" + Number(1) +
      "<table:covered-table-cell/></table:table-row><table:table-row>" + Number(0) + Number(0) +
      "</table:table-row></table:table>";
  std::string array =
      "<table:table table:name=\"A\"><table:table-row>" + Number(2) +
      Cell("table:formula=\"of:=[.A1:.A2]*2\" table:number-matrix-rows-spanned=\"2\" "
           "table:number-matrix-columns-spanned=\"1\" office:value-type=\"float\" office:value=\"4\"",
           "<text:p>4</text:p>") +
      "</table:table-row><table:table-row>" + Number(1) + Number(2) + "</table:table-row><table:table-row>" +
      Number(0) + Number(0) + "</table:table-row></table:table>";
  std::string path = odsfixtures::WriteOds(dir, "m.ods", Content(merged + array + kOther));
  std::string before = fixtures::ReadFile(path);
  auto book = host::odf::OpenOds(path);
  host::SheetStore* sheets[] = {book->Sheet(0), book->Sheet(1)};
  for (auto& sheet : sheets) {
    for (CellArea area : {CellArea{1, 1, 3, 2}, CellArea{2, 1, 3, 2}}) {
      SCOPED_TRACE(area.firstRow);
      EXPECT_THROW(host::SortRows(*sheet, area, 1, false), host::SortRefused);
    }
  }
  book->Save();
  EXPECT_EQ(fixtures::ReadFile(path), before);
}
