// Sorting and hiding what LibreOffice writes, checked by LibreOffice: a
// workbook made with libxlsxwriter is converted to .ods (headless, its own
// profile), sorted, filtered and saved by the host, and converted back to
// CSV (the values) and to flat XML (hidden rows, links, styles, formulas)
// by LibreOffice.
#include <gtest/gtest.h>
#include <xlsxwriter.h>

#include <filesystem>

#include "host/core/RowSort.h"
#include "host/Fixtures.h"
#include "host/formats/odf/OdsFixtures.h"
#include "host/formats/odf/OdsDocument.h"
#include "host/formats/odf/OdsWorkbook.h"

namespace {

// "Data": a header, then pear 3, apple 1 (a note), zz 9 (hidden), fig 2 (a
// link), kiwi 0.5 (bold); column C doubles column B by formula.
std::string WriteSource(const fixtures::TempDir& dir) {
  std::string path = dir.File("records.xlsx");
  lxw_workbook* wb = workbook_new(path.c_str());
  lxw_worksheet* data = workbook_add_worksheet(wb, "Data");
  workbook_add_worksheet(wb, "Other");
  lxw_format* bold = workbook_add_format(wb);
  format_set_bold(bold);
  const char* names[] = {"pear", "apple", "zz", "fig", "kiwi"};
  double values[] = {3, 1, 9, 2, 0.5};
  worksheet_write_string(data, 0, 0, "name", nullptr);
  worksheet_write_string(data, 0, 1, "n", nullptr);
  worksheet_write_string(data, 0, 2, "double", nullptr);
  for (int k = 0; k < 5; ++k) {
    lxw_row_t row = static_cast<lxw_row_t>(k + 1);
    if (k == 3)
      worksheet_write_url_opt(data, row, 0, "http://example.org/", nullptr, names[k], nullptr);
    else
      worksheet_write_string(data, row, 0, names[k], nullptr);
    worksheet_write_number(data, row, 1, values[k], k == 4 ? bold : nullptr);
    std::string formula = "=B" + std::to_string(k + 2) + "*2";
    worksheet_write_formula_num(data, row, 2, formula.c_str(), nullptr, values[k] * 2);
  }
  worksheet_write_comment(data, 2, 0, "ripe");
  lxw_row_col_options hidden = {.hidden = 1, .level = 0, .collapsed = 0};
  worksheet_set_row_opt(data, 3, LXW_DEF_ROW_HEIGHT, nullptr, &hidden);
  EXPECT_EQ(workbook_close(wb), LXW_NO_ERROR);
  return path;
}

bool StyleIsBold(pugi::xml_node root, const char* styleName) {
  pugi::xml_node style = root.find_node([styleName](pugi::xml_node n) {
    return std::string_view(n.name()) == "style:style" &&
           std::string_view(n.attribute("style:name").value()) == styleName;
  });
  return std::string_view(style.child("style:text-properties").attribute("fo:font-weight").value()) == "bold";
}

}  // namespace

TEST(OdsStoreInterop, SortAndHideReadBackByLibreOffice) {
  if (!fixtures::HaveSoffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  fixtures::TempDir dir;
  std::string ods = odsfixtures::SofficeConvert(WriteSource(dir), "ods", dir, dir.Path());
  ASSERT_FALSE(ods.empty());
  auto entriesBefore = fixtures::ReadZip(ods);
  {
    auto book = host::odf::OpenOds(ods);
    auto* sheet = book->Sheet(0);
    host::CellArea used;
    ASSERT_TRUE(sheet->UsedArea(used));
    EXPECT_EQ(used.lastRow, 6);
    EXPECT_EQ(sheet->StoredText(5, 1), "fig");
    EXPECT_TRUE(host::SortRows(*sheet, {2, 1, 6, 3}, 2, false));
    sheet->SetRowHidden(5, true);
    book->Save();
  }
  auto entriesAfter = fixtures::ReadZip(ods);
  EXPECT_EQ(entriesAfter.size(), entriesBefore.size());
  for (const auto& [name, bytes] : entriesBefore) {
    if (name != "content.xml") {
      EXPECT_TRUE(entriesAfter[name] == bytes) << name;
    }
  }

  // LibreOffice's flat export leaves notes out: the note is read from the saved file.
  host::odf::OdsDocument saved(ods);
  pugi::xml_document noted = odsfixtures::CellTree(saved.Sheet(1), 3, 1);
  EXPECT_STREQ(noted.first_child().child("office:annotation").child_value("text:p"), "ripe");

  std::filesystem::create_directories(dir.File("out"));
  EXPECT_EQ(fixtures::SofficeCsv(ods, dir),
            (std::vector<std::string>{"name,n,double", "kiwi,0.5,1", "apple,1,2", "zz,9,18", "fig,2,4", "pear,3,6"}));
  std::string flat = odsfixtures::SofficeConvert(ods, "fods", dir, dir.File("out"));
  ASSERT_FALSE(flat.empty());
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(flat.c_str()));
  std::string flatBytes = fixtures::ReadFile(flat);
  size_t tableAt = flatBytes.find("<table:table ");
  ASSERT_NE(tableAt, std::string::npos);
  host::odf::OdsSheet s(flatBytes, tableAt);
  for (int row = 1; row <= 7; ++row) EXPECT_EQ(s.IsRowHidden(row), row == 4 || row == 5) << row;
  pugi::xml_document linked = odsfixtures::CellTree(s, 5, 1);
  EXPECT_STREQ(linked.first_child().child("text:p").child("text:a").attribute("xlink:href").value(),
               "http://example.org/");
  EXPECT_TRUE(StyleIsBold(doc, host::odf::AttributeText(s.CellElement(2, 2), "table:style-name").c_str()));
  for (int row = 2; row <= 6; ++row) EXPECT_EQ(s.Formula(row, 3), "of:=[.B" + std::to_string(row) + "]*2") << row;
}
