// Recognising a file's format by its content, whatever its name.

#include <gtest/gtest.h>

#include "XlsFixtures.h"
#include "host/io/CompoundFile.h"
#include "host/formats/FileFormat.h"

using fixtures::TempDir;
using host::FileFormat;
using host::RecogniseFile;
using host::RecogniseFormat;
using host::RefusalMessage;

namespace {

TEST(FileFormat, RecognisesWhatAFileHolds) {
  TempDir dir;
  std::string zip = dir.File("other.zip");
  fixtures::WriteZip(zip, {{"readme.txt", "hello"}});
  std::string ods = dir.File("sheet.ods");
  fixtures::WriteZip(ods, {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}, {"content.xml", "<x/>"}});
  const std::pair<std::string, FileFormat> cases[] = {
      {fixtures::ReadFile(fixtures::WriteKeyColumn(dir, "book.xlsx", {"1", "a"})), FileFormat::OoxmlWorkbook},
      {fixtures::ReadFile(zip), FileFormat::OtherZip},
      {fixtures::ReadFile(ods), FileFormat::OpenDocumentSpreadsheet},
      {"<html xmlns:o=\"urn:schemas-microsoft-com:office:office\"><body><table><tr><td>1</td></tr></table></body></html>",
       FileFormat::HtmlPage},
      {"\xEF\xBB\xBF<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\">\n<HTML><BODY></BODY></HTML>", FileFormat::HtmlPage},
      {"<?xml version=\"1.0\"?>\n<?mso-application progid=\"Excel.Sheet\"?>\n<Workbook "
       "xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\"></Workbook>",
       FileFormat::XmlSpreadsheet2003},
      {"<?xml version=\"1.0\"?>\n<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
       "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\"></office:document>",
       FileFormat::FlatOpenDocument},
      {"name,amount\r\npear,10\r\napple,2\r\n", FileFormat::Text},
      {"\xFF\xFEn\0a\0m\0e\0", FileFormat::Text},
      {std::string("\x09\x00\x04\x00\x02\x00\x10\x00", 8), FileFormat::Biff4OrOlder},
      {std::string("\x09\x04\x06\x00\x00\x00\x10\x00", 8), FileFormat::Biff4OrOlder},
      {std::string("\x00\x01\x02\x03\xFF\xFE\x00\x00 binary", 15), FileFormat::Unknown},
      {"", FileFormat::Unknown},
  };
  for (const auto& [bytes, format] : cases) EXPECT_EQ(RecogniseFormat(bytes), format) << bytes.substr(0, 40);
  EXPECT_EQ(RecogniseFile(dir.File("missing.xls")), FileFormat::Unknown);
  // From a file, packages are told by their directory without reading them whole.
  EXPECT_EQ(RecogniseFile(dir.File("book.xlsx")), FileFormat::OoxmlWorkbook);
  EXPECT_EQ(RecogniseFile(ods), FileFormat::OpenDocumentSpreadsheet);
  EXPECT_EQ(RecogniseFile(zip), FileFormat::OtherZip);
}

TEST(FileFormat, RecognisesLibreOfficeXls) {
  if (xlsfixtures::LibreOfficeXls().empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; no .xls fixture";
  EXPECT_EQ(RecogniseFormat(xlsfixtures::LibreOfficeXls()), FileFormat::Biff8Workbook);
  // A compound file without a workbook stream (only Calc is installed for
  // the tests: its .xls with the stream renamed stands in for other documents).
  std::string other = xlsfixtures::LibreOfficeXls();
  int workbook = host::io::CompoundFile(other, "x.xls").Find("Workbook");
  xlsfixtures::EditEntry(other, workbook, [](std::string& raw) { raw[0] = 'X'; });
  EXPECT_EQ(RecogniseFormat(other), FileFormat::OtherCompoundFile);
  // From a file (its tables read from it, not the whole file), the same as
  // from its bytes; a compound file cut short is still taken as a workbook,
  // for the reader to say what is wrong.
  TempDir dir;
  const std::string xls = xlsfixtures::LibreOfficeXls();
  const std::pair<std::string, FileFormat> files[] = {
      {xls, FileFormat::Biff8Workbook}, {other, FileFormat::OtherCompoundFile}, {xls.substr(0, 1536), FileFormat::Biff8Workbook}};
  for (const auto& [bytes, format] : files) {
    const std::string path = dir.File("file.xls");
    fixtures::WriteFile(path, bytes);
    EXPECT_EQ(RecogniseFile(path), format) << bytes.size();
  }
}

TEST(FileFormat, RefusalsSayWhatTheFileIs) {
  const std::pair<FileFormat, std::string> cases[] = {
      {FileFormat::OoxmlWorkbook, ""},
      {FileFormat::Biff8Workbook, ""},
      {FileFormat::Biff5Workbook, "Cannot open \"a.xls\": it is an Excel 95 workbook; save it as Excel 97–2003 or .xlsx first."},
      {FileFormat::HtmlPage, "Cannot open \"a.xls\": it is a web page (HTML), not a workbook; save it as .xlsx first."},
      {FileFormat::XmlSpreadsheet2003,
       "Cannot open \"a.xls\": it is an XML Spreadsheet 2003 file, not a workbook this host opens; save it as .xlsx first."},
      {FileFormat::Text, "Cannot open \"a.xls\": it is a text file, not a workbook."},
      {FileFormat::Unknown, "Cannot open \"a.xls\": it is a binary file in no format this host opens (it opens "
                            ".xlsx, .xlsm, .xltx, .xltm, .xls, .xlsb, .ods, .csv and .tsv files)."},
  };
  for (const auto& [format, message] : cases) EXPECT_EQ(RefusalMessage(format, "a.xls"), message);
}

}  // namespace
