// Reading CSV and TSV files: records, delimiters, encodings and refusals.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "host/core/HostError.h"
#include "host/formats/csv/CsvDocument.h"

using host::HostError;
using host::csv::CsvDocument;

namespace {

// Every field of every row, as displayed.
std::vector<std::vector<std::string>> Table(const CsvDocument& doc) {
  std::vector<std::vector<std::string>> rows;
  for (int r = 1; r <= doc.RowCount(); ++r) {
    std::vector<std::string> row;
    for (int c = 1; c <= doc.FieldCount(r); ++c) row.push_back(doc.Text(r, c));
    rows.push_back(row);
  }
  return rows;
}

std::string MessageOf(const std::string& bytes, const std::string& name) {
  try {
    CsvDocument::FromBytes(bytes, name);
  } catch (const HostError& e) {
    return e.what();
  }
  return "";
}

}  // namespace

// The delimiter as spreadsheet programs tell it: a "sep=" first line, else
// the candidate that splits the first records alike, else the first record.
TEST(CsvRead, ChoosesTheDelimiterAsSpreadsheetProgramsDo) {
  struct Case {
    const char* bytes;
    const char* name;
    char delimiter;
    int rows;  // records, the "sep=" line not among them
  } cases[] = {
      {"a,b;c\n1;2\n", "x.csv", ';', 2},
      {"Name;Wert\nA;0,5\nB;-3,25\n", "x.csv", ';', 3},  // decimal commas
      {"a;b\tc\n", "x.csv", ';', 1},
      {"a\tb\n1,2\n", "x.csv", '\t', 2},
      {"\"a,b\";c\n", "x.csv", ';', 1},
      {"abc\n1;2\n", "x.csv", ',', 2},
      {"id|name\n1|x,y\n\n2|z\n", "x.csv", '|', 4},
      {"a;b\n1,5,x\n", "x.csv", ';', 2},  // no candidate fits every record: the first decides
      {"sep=,\r\na;b,c\r\n", "x.csv", ',', 1},
      {"\xEF\xBB\xBFSEP=|\na|b\n", "x.tsv", '|', 1},
      {"a,b;c\n", "x.TSV", '\t', 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    const auto doc = CsvDocument::FromBytes(c.bytes, c.name);
    EXPECT_EQ(doc.Delimiter(), c.delimiter);
    EXPECT_EQ(doc.RowCount(), c.rows);
  }
}

TEST(CsvRead, ReadsRfc4180Records) {
  auto doc = CsvDocument::FromBytes(
      "name,note\r\n\"Smith, J\",\"said \"\"hi\"\"\"\r\n\"two\r\nlines\",x\"y\r\n\r\nlast", "people.csv");
  std::vector<std::vector<std::string>> expected = {
      {"name", "note"}, {"Smith, J", "said \"hi\""}, {"two\r\nlines", "x\"y"}, {}, {"last"}};
  EXPECT_EQ(Table(doc), expected);
  EXPECT_EQ(doc.SheetName(), "people");
  EXPECT_FALSE(doc.EndsWithLineBreak());
  EXPECT_EQ(doc.UsedRowCount(), 5);
  EXPECT_EQ(doc.UsedColumnCount(), 2);
}

TEST(CsvRead, RaggedRecordsAndTrailingBlankLinesKeepTheUsedRangeTight) {
  auto doc = CsvDocument::FromBytes("a\nb,c,d\ne,f\n,,,,\n\n", "r.csv");
  EXPECT_EQ(doc.RowCount(), 5);
  EXPECT_EQ(doc.FieldCount(1), 1);
  EXPECT_EQ(doc.Text(1, 3), "");
  EXPECT_EQ(doc.Text(2, 3), "d");
  EXPECT_EQ(doc.UsedRowCount(), 3);
  EXPECT_EQ(doc.UsedColumnCount(), 3);
}

TEST(CsvRead, DecodesUtf8WithOrWithoutBomElseWindows1252) {
  struct Case {
    const char* bytes;
    bool bom, utf8;
    const char* text;
  } cases[] = {
      {"\xEF\xBB\xBF" "caf\xC3\xA9\n", true, true, "caf\xC3\xA9"},
      {"caf\xC3\xA9\n", false, true, "caf\xC3\xA9"},
      {"caf\xE9 \x80\x93\n", false, false, "caf\xC3\xA9 \xE2\x82\xAC\xE2\x80\x9C"},
      {"\xED\xA0\x80\n", false, false, "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto doc = CsvDocument::FromBytes(c.bytes, "e.csv");
    EXPECT_EQ(doc.HasByteOrderMark(), c.bom);
    EXPECT_EQ(doc.IsUtf8(), c.utf8);
    EXPECT_EQ(doc.Text(1, 1), c.text);
  }
}

TEST(CsvRead, AnUnclosedQuoteNamesItsLine) {
  EXPECT_EQ(MessageOf("a,b\n1,2\r\nx,\"open\nmore\n", "bad.csv"),
            "bad.csv: the quoted field that starts on line 3 is never closed, so the file cannot be read.");
}

TEST(CsvRead, SheetNameIsTheFileNameWithinSheetNameRules) {
  struct Case {
    const char* file;
    const char* sheet;
  } cases[] = {
      {"report.2024.csv", "report.2024"},
      {"a[1]?.csv", "a_1__"},
      {"abcdefghijklmnopqrstuvwxyz0123456789.csv", "abcdefghijklmnopqrstuvwxyz01234"},
      {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
       "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
       "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9.csv",
       "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
       "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
       "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"},
  };
  for (const Case& c : cases) EXPECT_EQ(CsvDocument::FromBytes("x\n", c.file).SheetName(), c.sheet);
}

TEST(CsvRead, OpenReadsTheFileAndReportsAMissingOneInPlainWords) {
  auto dir = std::filesystem::temp_directory_path() / ("tabulory-csv-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream((dir / "list.csv").string(), std::ios::binary) << "k;v\n1;2\n";
  auto doc = CsvDocument::Open((dir / "list.csv").string());
  EXPECT_EQ(doc.Text(2, 2), "2");
  try {
    CsvDocument::Open((dir / "gone.csv").string());
    ADD_FAILURE() << "no error";
  } catch (const HostError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open \"" + (dir / "gone.csv").string() + "\": it does not exist.");
  }
  std::filesystem::remove_all(dir);
}

TEST(CsvRead, HidingRowsIsRefused) {
  auto doc = CsvDocument::FromBytes("a\nb\n", "sales.csv");
  try {
    doc.RefuseHiddenRows();
  } catch (const HostError& e) {
    EXPECT_STREQ(e.what(), "sales.csv is a CSV file, which cannot keep hidden rows; nothing was changed");
  }
}
