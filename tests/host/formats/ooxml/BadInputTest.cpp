// Faulty and foreign files: every one fails at Open with a description that
// names the file and the fault, and nothing is written.

#include <gtest/gtest.h>

#include <filesystem>

#include "Fixtures.h"
#include "host/core/Application.h"
#include "host/core/HostError.h"
#include "host/core/Worksheet.h"
#include "host/core/Workbook.h"

using fixtures::TempDir;
using Parts = std::vector<std::pair<std::string, std::string>>;

namespace {

// Opens path, expects a HostError whose text names the file and holds
// `expected`; the file and its folder must be as they were.
void ExpectRefused(const TempDir& dir, const std::string& path, const std::string& expected) {
  std::string before = fixtures::ReadFile(path);
  size_t filesBefore = std::distance(std::filesystem::directory_iterator(dir.Path()), {});
  host::Application app;
  try {
    app.Workbooks().Open(path);
    ADD_FAILURE() << path << " was opened";
  } catch (const host::HostError& error) {
    std::string text = error.what();
    EXPECT_NE(text.find(path), std::string::npos) << text;
    EXPECT_NE(text.find(expected), std::string::npos) << "expected \"" << expected << "\" in: " << text;
    // Texts of libzip, pugixml and the C++ library never reach the user.
    for (const char* foreign : {"std::", "basic_string", "__pos", "Zip archive", "CRC error", "Internal error",
                                "File already exists", "Not a zip", "Zlib", "Error parsing", "No document element",
                                "Start-end tags", "No error"})
      EXPECT_EQ(text.find(foreign), std::string::npos) << "library text \"" << foreign << "\" in: " << text;
  }
  EXPECT_EQ(app.Workbooks().Count(), 0);
  EXPECT_EQ(fixtures::ReadFile(path), before);
  EXPECT_EQ(static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir.Path()), {})), filesBefore);
}

Parts WithPart(Parts parts, const std::string& name, const std::string& content) {
  for (auto& [n, c] : parts)
    if (n == name) {
      c = content;
      return parts;
    }
  parts.emplace_back(name, content);
  return parts;
}

Parts WithoutPart(Parts parts, const std::string& name) {
  std::erase_if(parts, [&](const auto& p) { return p.first == name; });
  return parts;
}

std::string Make(const TempDir& dir, const std::string& name, const Parts& parts) {
  std::string path = dir.File(name);
  fixtures::WriteZip(path, parts);
  return path;
}

std::string SheetWith(const std::string& rows) { return fixtures::SheetXml(rows); }

TEST(BadInput, ForeignFormatsAreRefusedByContent) {
  TempDir dir;
  // Text is a workbook only as .csv or .tsv; whatever its name says otherwise.
  for (const char* name : {"old.xls", "binary.xlsb", "calc.ods", "noext"}) {
    std::string path = dir.File(name);
    fixtures::WriteFile(path, "a,b\n1,2\n");
    ExpectRefused(dir, path, "is a text file, not a workbook");
  }
  // A zip named .xlsx that is no spreadsheet package.
  ExpectRefused(dir, Make(dir, "pictures.xlsx", {{"a.png", "x"}}), "it is a zip package, but no workbook");
  // A binary workbook's main part.
  Parts parts = fixtures::MinimalWorkbook("");
  std::string& types = parts[0].second;
  types.replace(types.find("spreadsheetml.sheet.main+xml"), 28, "spreadsheetml.sheet.binary.main");
  ExpectRefused(dir, Make(dir, "binary.xlsx", parts), "is not a format this host can open");
}

// Parts nested many thousands of elements deep are read without recursion:
// the workbook opens or is refused, the process lives on.
TEST(BadInput, DeeplyNestedPartsDoNotEndTheProcess) {
  TempDir dir;
  std::string nested;
  for (int i = 0; i < 50000; ++i) nested += "<x>";
  for (int i = 0; i < 50000; ++i) nested += "</x>";
  const std::string styles = "<?xml version=\"1.0\"?><styleSheet xmlns=\"http://schemas.openxmlformats.org/"
                             "spreadsheetml/2006/main\" xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/"
                             "2006\">" + nested + "<mc:AlternateContent><mc:Fallback>" + nested +
                             "</mc:Fallback></mc:AlternateContent></styleSheet>";
  const std::string path = Make(dir, "deep.xlsx", fixtures::MinimalWorkbook("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>", "", styles));
  host::Application app;
  try {
    EXPECT_EQ(app.Workbooks().Open(path).Worksheets()[0]->Cells(1, 1).Text(), "1");
  } catch (const host::HostError& error) {
    EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
  }
  app.Quit();
}

TEST(BadInput, DamagedPackages) {
  TempDir dir;
  std::string notZip = dir.File("binary.xlsx");
  fixtures::WriteFile(notZip, std::string("\x01\x02\x00\x03", 4) + std::string(100, '\0'));
  ExpectRefused(dir, notZip, "it is a binary file in no format this host opens");  // the content decides, not the name

  std::string good = fixtures::WriteMixedWorkbook(dir, "good.xlsx");
  std::string bytes = fixtures::ReadFile(good);
  std::string truncated = dir.File("truncated.xlsx");
  fixtures::WriteFile(truncated, bytes.substr(0, bytes.size() / 2));
  ExpectRefused(dir, truncated, "truncated or damaged");
  std::string cutTail = dir.File("cut-tail.xlsx");
  fixtures::WriteFile(cutTail, bytes.substr(0, bytes.size() - 10));
  ExpectRefused(dir, cutTail, "Cannot open");
  std::string empty = dir.File("empty.xlsx");
  fixtures::WriteFile(empty, "");
  ExpectRefused(dir, empty, "Cannot open");
  // A damaged byte inside compressed data.
  std::string flipped = bytes;
  size_t sheet = flipped.find("xl/worksheets/sheet1.xml");
  flipped[sheet + 80] = static_cast<char>(flipped[sheet + 80] ^ 0x55);
  std::string corrupt = dir.File("corrupt.xlsx");
  fixtures::WriteFile(corrupt, flipped);
  ExpectRefused(dir, corrupt, "Cannot open");
}

TEST(BadInput, TwoEntriesOfOneNameAreNamed) {
  TempDir dir;
  Parts parts = fixtures::MinimalWorkbook("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>");
  Parts twice = parts;
  twice.emplace_back("xl/worksheets/sheet1.xml", fixtures::SheetXml(""));
  std::string same = dir.File("same.xlsx");
  fixtures::WriteStreamedZip(same, twice, "");
  ExpectRefused(dir, same, "two entries named xl/worksheets/sheet1.xml");
  // Part names are the same whatever their case.
  ExpectRefused(dir, Make(dir, "case.xlsx", WithPart(parts, "XL/Workbook.xml", "<workbook/>")),
                "two entries named XL/Workbook.xml");
}

TEST(BadInput, MissingParts) {
  TempDir dir;
  Parts base = fixtures::MinimalWorkbook("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>");
  ExpectRefused(dir, Make(dir, "no-workbook.xlsx", WithoutPart(base, "xl/workbook.xml")), "workbook part");
  ExpectRefused(dir, Make(dir, "no-rels.xlsx", WithoutPart(base, "_rels/.rels")), "no workbook part");
  ExpectRefused(dir, Make(dir, "no-sheet.xlsx", WithoutPart(base, "xl/worksheets/sheet1.xml")),
                "xl/worksheets/sheet1.xml");
  ExpectRefused(dir, Make(dir, "no-sheet-rels.xlsx", WithoutPart(base, "xl/_rels/workbook.xml.rels")),
                "has no part");
}

TEST(BadInput, InvalidXml) {
  TempDir dir;
  Parts base = fixtures::MinimalWorkbook("");
  ExpectRefused(dir, Make(dir, "sheet.xlsx", WithPart(base, "xl/worksheets/sheet1.xml", SheetWith("<row r=\"1\"><c r=\"A1\"><v>1</v></row>"))),
                "damaged");
  ExpectRefused(dir, Make(dir, "attr.xlsx", WithPart(base, "xl/worksheets/sheet1.xml", SheetWith("<row r=1></row>"))),
                "damaged");
  ExpectRefused(dir, Make(dir, "tail.xlsx", WithPart(base, "xl/worksheets/sheet1.xml", SheetWith("") + "<extra/>")),
                "damaged");
  ExpectRefused(dir, Make(dir, "entity.xlsx", WithPart(base, "xl/worksheets/sheet1.xml",
                                                         SheetWith("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>&bogus;</t></is></c></row>"))),
                "entity");
  ExpectRefused(dir, Make(dir, "workbook.xlsx", WithPart(base, "xl/workbook.xml", "<workbook><sheets>")), "not valid XML");
  ExpectRefused(dir, Make(dir, "sst.xlsx", fixtures::MinimalWorkbook("", "<sst><si><t>open</si></sst>")), "shared string");
  ExpectRefused(dir, Make(dir, "styles.xlsx", fixtures::MinimalWorkbook("", "", "<styleSheet><cellXfs>")), "style");
}

TEST(BadInput, DocumentTypeDeclarationsAreRefusedNotExpanded) {
  TempDir dir;
  std::string doctype =
      "<?xml version=\"1.0\"?><!DOCTYPE worksheet [<!ENTITY a \"aaaaaaaaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;\">]>";
  Parts base = fixtures::MinimalWorkbook("");
  std::string sheet = SheetWith("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>&b;</t></is></c></row>");
  sheet = doctype + sheet.substr(sheet.find("<worksheet"));
  ExpectRefused(dir, Make(dir, "sheet-dtd.xlsx", WithPart(base, "xl/worksheets/sheet1.xml", sheet)),
                "document type declarations");
  std::string workbook = base[2].second;
  workbook = "<!DOCTYPE workbook SYSTEM \"file:///etc/passwd\">" + workbook.substr(workbook.find("<workbook"));
  ExpectRefused(dir, Make(dir, "workbook-dtd.xlsx", WithPart(base, "xl/workbook.xml", workbook)),
                "document type declarations");
  ExpectRefused(dir, Make(dir, "sst-dtd.xlsx", fixtures::MinimalWorkbook("", "<!DOCTYPE sst [<!ENTITY x \"y\">]><sst/>")),
                "document type declarations");
}

TEST(BadInput, CellReferences) {
  TempDir dir;
  Parts base = fixtures::MinimalWorkbook("");
  auto sheet = [&](const std::string& name, const std::string& rows) {
    return Make(dir, name, WithPart(base, "xl/worksheets/sheet1.xml", SheetWith(rows)));
  };
  ExpectRefused(dir, sheet("col.xlsx", "<row r=\"1\"><c r=\"XFE1\"><v>1</v></c></row>"), "XFE1");
  ExpectRefused(dir, sheet("row.xlsx", "<row r=\"1048577\"><c r=\"A1048577\"><v>1</v></c></row>"), "1048577");
  ExpectRefused(dir, sheet("malformed.xlsx", "<row r=\"1\"><c r=\"1A\"><v>1</v></c></row>"), "malformed");
  ExpectRefused(dir, sheet("letters.xlsx", "<row r=\"1\"><c r=\"A\"><v>1</v></c></row>"), "malformed");
  ExpectRefused(dir, sheet("wrong-row.xlsx", "<row r=\"2\"><c r=\"A1\"><v>1</v></c></row>"), "stands in row 2");
  ExpectRefused(dir, sheet("row-zero.xlsx", "<row r=\"0\"></row>"), "malformed");
  ExpectRefused(dir, sheet("order.xlsx", "<row r=\"3\"></row><row r=\"2\"></row>"), "out of order");
  ExpectRefused(dir, sheet("dup-row.xlsx", "<row r=\"3\"></row><row r=\"3\"></row>"), "out of order or repeated");
  ExpectRefused(dir, sheet("dup-cell.xlsx", "<row r=\"1\"><c r=\"B1\"><v>1</v></c><c r=\"B1\"><v>2</v></c></row>"),
                "repeated");
  ExpectRefused(dir, sheet("cell-order.xlsx", "<row r=\"1\"><c r=\"C1\"><v>1</v></c><c r=\"B1\"><v>2</v></c></row>"),
                "out of order");
  ExpectRefused(dir, sheet("number.xlsx", "<row r=\"1\"><c r=\"A1\"><v>12abc</v></c></row>"), "not a number");
  ExpectRefused(dir, sheet("type.xlsx", "<row r=\"1\"><c r=\"A1\" t=\"q\"><v>1</v></c></row>"), "unknown type");
}

TEST(BadInput, IndicesIntoOtherParts) {
  TempDir dir;
  std::string sst = "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><si><t>only</t></si></sst>";
  ExpectRefused(dir, Make(dir, "sst.xlsx", fixtures::MinimalWorkbook("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c></row>", sst)),
                "shared string 1");
  ExpectRefused(dir, Make(dir, "no-sst.xlsx", fixtures::MinimalWorkbook("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>")),
                "shared string 0");
  std::string styles =
      "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><cellXfs count=\"1\"><xf/></cellXfs></styleSheet>";
  ExpectRefused(dir, Make(dir, "style.xlsx", fixtures::MinimalWorkbook("<row r=\"1\"><c r=\"A1\" s=\"1\"><v>1</v></c></row>", "", styles)),
                "unknown style 1");
}

// Sets the uncompressed size recorded for an entry (local and central header).
std::string PatchDeclaredSize(std::string zip, const std::string& name, uint32_t size) {
  auto put = [&](size_t at) {
    for (int i = 0; i < 4; ++i) zip[at + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
  };
  for (size_t p = zip.find("PK\x03\x04"); p != std::string::npos; p = zip.find("PK\x03\x04", p + 4)) {
    uint16_t nameLength = static_cast<uint8_t>(zip[p + 26]) | (static_cast<uint8_t>(zip[p + 27]) << 8);
    if (zip.compare(p + 30, nameLength, name) == 0) put(p + 22);
  }
  for (size_t p = zip.find("PK\x01\x02"); p != std::string::npos; p = zip.find("PK\x01\x02", p + 4)) {
    uint16_t nameLength = static_cast<uint8_t>(zip[p + 28]) | (static_cast<uint8_t>(zip[p + 29]) << 8);
    if (zip.compare(p + 46, nameLength, name) == 0) put(p + 24);
  }
  return zip;
}

TEST(BadInput, DeflateBombsAndLyingSizes) {
  TempDir dir;
  // 32 MB of blanks inside a valid sheet compress about a thousandfold.
  std::string padding(32u << 20, ' ');
  std::string sheet = SheetWith("") ;
  sheet.insert(sheet.find("<sheetData>"), padding);
  padding.clear();
  padding.shrink_to_fit();
  Parts bomb = WithPart(fixtures::MinimalWorkbook(""), "xl/worksheets/sheet1.xml", sheet);
  sheet.clear();
  sheet.shrink_to_fit();
  ExpectRefused(dir, Make(dir, "bomb.xlsx", bomb), "zip bomb");
  bomb.clear();

  // A sheet that inflates to more than its headers declare.
  std::string honest = Make(dir, "honest.xlsx", fixtures::MinimalWorkbook("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"));
  std::string lying = dir.File("lying.xlsx");
  fixtures::WriteFile(lying, PatchDeclaredSize(fixtures::ReadFile(honest), "xl/worksheets/sheet1.xml", 20));
  ExpectRefused(dir, lying, "Cannot open");
  // ... and one that declares an absurd size.
  std::string absurd = dir.File("absurd.xlsx");
  fixtures::WriteFile(absurd, PatchDeclaredSize(fixtures::ReadFile(honest), "xl/worksheets/sheet1.xml", 0xF0000000u));
  ExpectRefused(dir, absurd, "Cannot open");
}

TEST(BadInput, ChartSheetPartMissingAndMissingFile) {
  TempDir dir;
  std::string path = fixtures::WriteMixedWorkbook(dir);
  auto entries = fixtures::ReadZip(path);
  Parts parts;
  for (auto& [name, content] : entries)
    if (name.find("chartsheets/sheet") == std::string::npos) parts.emplace_back(name, content);
  ExpectRefused(dir, Make(dir, "no-chartsheet.xlsx", parts), "\"Chart\" is missing");
  host::Application app;
  EXPECT_THROW(app.Workbooks().Open(dir.File("nowhere.xlsx")), host::HostError);
}

}  // namespace
