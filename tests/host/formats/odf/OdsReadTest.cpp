// Reading the tables of hand-made .ods packages: repeats, texts, values,
// used range, splitting a repeated row, and the refusals.
#include <gtest/gtest.h>

#include "host/core/HostError.h"
#include "host/formats/odf/OdsDocument.h"
#include "host/formats/odf/OdsFixtures.h"

using host::CellArea;
using host::odf::OdsDocument;
using host::odf::OdsKind;
using odsfixtures::Content;
using odsfixtures::kMime;
using odsfixtures::Manifest;

namespace {

const char* kTables =
    "<table:table table:name=\"One\"><table:table-column table:number-columns-repeated=\"5\"/>"
    "<table:table-header-rows><table:table-row><table:table-cell/>"
    "<table:table-cell office:value-type=\"string\"><text:p>a<text:s text:c=\"3\"/>b<text:tab/>c"
    "<text:line-break/><text:span>d</text:span> <text:a>e</text:a></text:p><text:p>second</text:p>"
    "<office:annotation><text:p>note</text:p></office:annotation></table:table-cell>"
    "</table:table-row></table:table-header-rows>"
    "<table:table-row table:number-rows-repeated=\"3\" table:visibility=\"collapse\">"
    "<table:table-cell office:value-type=\"float\" office:value=\"7\" table:number-columns-repeated=\"3\">"
    "<text:p>7.00</text:p></table:table-cell></table:table-row>"
    "<table:table-row-group><table:table-row table:visibility=\"filter\"><table:table-cell "
    "table:number-columns-spanned=\"2\" table:number-rows-spanned=\"2\" office:value-type=\"percentage\" "
    "office:value=\"0.25\"><text:p>25%</text:p></table:table-cell><table:covered-table-cell/></table:table-row>"
    "<table:table-row><table:covered-table-cell table:number-columns-repeated=\"2\"/>"
    "<table:table-cell table:formula=\"of:=[.A2]*2\" office:value-type=\"date\" "
    "office:date-value=\"2024-02-29\"><text:p>02/29/24</text:p></table:table-cell>"
    "<table:table-cell office:value-type=\"boolean\" office:boolean-value=\"true\"><text:p>TRUE</text:p>"
    "</table:table-cell></table:table-row></table:table-row-group>"
    "<table:table-row table:style-name=\"ro1\" table:number-rows-repeated=\"1048570\"><table:table-cell "
    "table:number-columns-repeated=\"1024\"/></table:table-row></table:table>"
    "<table:table table:name=\"Two\"><table:table-row><table:table-cell/></table:table-row></table:table>";

std::string WritePackage(const fixtures::TempDir& dir, const std::string& content,
                         const std::string& manifest = Manifest(), const std::string& mime = kMime,
                         const std::string& file = "book.ods") {
  return odsfixtures::WriteOds(dir, file, content, manifest, mime);
}

std::string OpenError(const std::string& path) {
  try {
    OdsDocument doc(path);
  } catch (const host::HostError& e) {
    return e.what();
  }
  return "";
}

}  // namespace

TEST(OdsRead, ReadsTablesWithRepeatsTextsAndValues) {
  fixtures::TempDir dir;
  OdsDocument doc(WritePackage(dir, Content(kTables)));
  ASSERT_EQ(doc.SheetCount(), 2);
  EXPECT_EQ(doc.Sheet(1).Name(), "One");
  EXPECT_EQ(doc.ActiveSheet(), 2);
  auto& s = doc.Sheet(1);
  EXPECT_EQ(s.Text(1, 2), "a   b\tc\nd e\nsecond");
  EXPECT_EQ(s.Text(4, 3), "7.00");
  EXPECT_EQ(s.Value(4, 3).kind, OdsKind::Number);
  EXPECT_EQ(s.Value(4, 3).number, 7);
  EXPECT_EQ(s.Text(4, 4), "");
  EXPECT_EQ(s.Value(5, 1).kind, OdsKind::Percentage);
  EXPECT_EQ(s.Value(5, 1).number, 0.25);
  EXPECT_EQ(s.Value(6, 3).kind, OdsKind::Date);
  EXPECT_EQ(s.Value(6, 3).literal, "2024-02-29");
  EXPECT_EQ(s.Formula(6, 3), "of:=[.A2]*2");
  EXPECT_EQ(s.Value(6, 4).kind, OdsKind::Boolean);
  // Styled empty rows repeated to the sheet's end are outside the used range.
  EXPECT_EQ(s.UsedRange(), (CellArea{1, 1, 6, 4}));
  EXPECT_EQ(s.Rows().back().firstRow + s.Rows().back().count - 1, 1048576);
  EXPECT_EQ(s.MergedAreas(), (std::vector<CellArea>{{5, 1, 6, 2}}));
  for (int row : {1, 2, 3, 4, 5, 6, 7}) EXPECT_EQ(s.IsRowHidden(row), row >= 2 && row <= 5) << row;
  EXPECT_EQ(doc.Sheet(2).UsedRange().lastRow, 0);
}

TEST(OdsRead, SplitRowGivesOneRowAnElementOfItsOwn) {
  fixtures::TempDir dir;
  OdsDocument doc(WritePackage(dir, Content(kTables)));
  auto& s = doc.Sheet(1);
  size_t groups = s.Rows().size();
  s.SplitRow(3);
  ASSERT_EQ(s.Rows().size(), groups + 2);
  for (int row : {2, 3, 4}) {
    EXPECT_EQ(s.Text(row, 3), "7.00");
    EXPECT_TRUE(s.IsRowHidden(row));
  }
  EXPECT_EQ(s.Text(5, 1), "25%");
  std::string xml = s.Xml();
  EXPECT_EQ(xml.find("table:number-rows-repeated=\"3\""), std::string::npos);
  size_t collapsed = 0;
  for (size_t at = xml.find("<table:table-row table:visibility=\"collapse\">"); at != std::string::npos;
       at = xml.find("<table:table-row table:visibility=\"collapse\">", at + 1))
    ++collapsed;
  EXPECT_EQ(collapsed, 3u);
  s.SplitRow(3);  // alone already
  EXPECT_EQ(s.Rows().size(), groups + 2);
}

TEST(OdsRead, RefusesWhatItCannotReadAndLeavesItAsItWas) {
  fixtures::TempDir dir;
  std::string flat = dir.File("e.fods");
  fixtures::WriteFile(flat, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document "
                            "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                            "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\"/>");
  struct Case {
    const char* name;
    std::string path;
    std::string message;
  } cases[] = {
      {"encrypted", WritePackage(dir, "not xml", Manifest("<manifest:encryption-data/>"), kMime, "a.ods"),
       "it is protected by a password; nothing was changed."},
      {"damaged content", WritePackage(dir, Content("<table:table>"), Manifest(), kMime, "b.ods"),
       "its part content.xml is damaged"},
      {"text document", WritePackage(dir, Content(""), Manifest(), "application/vnd.oasis.opendocument.text", "c.ods"),
       "it is not an OpenDocument spreadsheet."},
      {"no spreadsheet body", WritePackage(dir, "<office:document-content><office:body/></office:document-content>",
                                           Manifest(), kMime, "f.ods"),
       "it holds no spreadsheet body."},
      {"damaged manifest", WritePackage(dir, Content(""), "<manifest:manifest>", kMime, "d.ods"),
       "its part META-INF/manifest.xml is damaged"},
      {"flat XML", flat,
       "it is a flat OpenDocument file (one XML document, .fods), which this program does "
       "not read; nothing was changed."},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string before = fixtures::ReadFile(c.path);
    std::string message = OpenError(c.path);
    const std::string expected = "Cannot open \"" + c.path + "\": " + c.message;
    EXPECT_EQ(message.substr(0, expected.size()), expected);
    EXPECT_EQ(fixtures::ReadFile(c.path), before);
  }
}
