// .ods workbooks through the host's object model: opened by content, shown
// as the writer displayed them, sorted and filtered, saved in their format.
#include <gtest/gtest.h>

#include "host/core/Application.h"
#include "host/core/HostError.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"
#include "host/formats/odf/OdsDocument.h"
#include "host/formats/odf/OdsFixtures.h"
#include "host/formats/odf/OdsWorkbook.h"

namespace {

struct Opened {
  host::Application app;
  host::Workbook* book = nullptr;
  explicit Opened(const std::string& path) { book = &app.Workbooks().Open(path); }
  host::Worksheet& Sheet(const char* name) { return *book->FindWorksheet(name); }
};

TEST(OdsWorkbook, SortsAndFiltersThroughTheObjectModel) {
  fixtures::TempDir dir;
  // Saved under another name: the content tells the format.
  std::string path = odsfixtures::WriteOds(dir, "book.dat", odsfixtures::Content(odsfixtures::DataTable() + odsfixtures::kOther));
  {
    Opened ods(path);
    EXPECT_EQ(ods.book->ActiveSheet().Name(), "Two");
    host::Worksheet& data = ods.Sheet("Data");
    EXPECT_EQ(data.UsedRange().Address(), "$A$1:$C$5");
    EXPECT_EQ(data.Cells(5, 1).Text(), "fig");
    data.GetRange("A2:C5").Sort(host::CellRef{1, 2});
    data.Rows(3).SetHidden(true);
    EXPECT_EQ(data.RowsHiddenSinceOpen(), 1);
    ods.book->Save();
  }
  host::odf::OdsDocument saved(path);
  auto& s = saved.Sheet(1);
  const char* names[] = {"name", "apple", "fig", "zz", "pear"};
  for (int row = 1; row <= 5; ++row) {
    EXPECT_EQ(s.Text(row, 1), names[row - 1]) << row;
    EXPECT_EQ(s.IsRowHidden(row), row == 3 || row == 4) << row;
  }
}

// The document's SyntaxStringRef setting says how INDIRECT reads its text,
// as LibreOffice 7.4 reads each value.
TEST(OdsWorkbook, IndirectReadsReferencesAsTheSettingsAsk) {
  const struct {
    const char* setting;  // nullptr: none
    host::ReferenceText expected;
  } cases[] = {
      {nullptr, host::ReferenceText::SheetDotThenA1}, {"7", host::ReferenceText::SheetDotThenA1},
      {"0", host::ReferenceText::SheetDot},           {"4", host::ReferenceText::SheetDot},
      {"2", host::ReferenceText::A1},                 {"3", host::ReferenceText::Unknown},
      {"x", host::ReferenceText::Unknown},
  };
  for (const auto& c : cases) {
    fixtures::TempDir dir;
    std::string settings = odsfixtures::Settings("Two");
    if (c.setting)
      settings.insert(settings.find("</office:settings>"),
                      std::string("<config:config-item-set config:name=\"ooo:configuration-settings\"><config:config-item "
                                  "config:name=\"SyntaxStringRef\" config:type=\"short\">") +
                          c.setting + "</config:config-item></config:config-item-set>");
    const std::string path = dir.File("book.ods");
    odsfixtures::WritePackage(path, odsfixtures::kMime,
                              {{"content.xml", odsfixtures::Content(odsfixtures::kOther)},
                               {"settings.xml", settings},
                               {"META-INF/manifest.xml", odsfixtures::Manifest()}});
    EXPECT_EQ(host::odf::OdsWorkbook(path).IndirectReferences(), c.expected) << (c.setting ? c.setting : "none");
  }
}

TEST(OdsWorkbook, AnEncryptedPackageIsRefusedAndLeftAsItWas) {
  fixtures::TempDir dir;
  std::string path = odsfixtures::WriteOds(dir, "locked.ods", "not xml",
                                           odsfixtures::Manifest("<manifest:encryption-data/>"));
  std::string before = fixtures::ReadFile(path);
  host::Application app;
  try {
    app.Workbooks().Open(path);
    ADD_FAILURE() << "an encrypted package opened";
  } catch (const host::HostError& error) {
    EXPECT_EQ(std::string(error.what()),
              "Cannot open \"" + path + "\": it is protected by a password; nothing was changed.");
  }
  EXPECT_EQ(fixtures::ReadFile(path), before);
}

}  // namespace
