// Sorting CSV rows and writing them back with the records' own bytes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/core/HostError.h"
#include "host/core/SortPlan.h"
#include "host/formats/csv/CsvDocument.h"

using host::HostError;
using host::csv::CsvDocument;

namespace {

std::string Sorted(const std::string& bytes, int column, int firstRow = 1, const char* name = "t.csv") {
  auto doc = CsvDocument::FromBytes(bytes, name);
  doc.SortRows(host::CellArea{firstRow, 1, doc.RowCount(), host::kMaxColumns}, column, false);
  return doc.Bytes();
}

std::string ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class TempFolder {
 public:
  TempFolder() {
    path_ = std::filesystem::temp_directory_path() / ("tabulory-csvsave-" + std::to_string(getpid()));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() { std::filesystem::remove_all(path_); }
  std::filesystem::path operator/(const char* name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace

TEST(CsvSort, OrdersNumbersTextBooleansErrorsThenEmptyKeepingTies) {
  std::string in = "k,n\nb,1\nTRUE,2\n,3\n#N/A,4\n10,5\nA,6\n9,7\na,8\n2024-01-01,9\n5%,10\n";
  std::string expected = "5%,10\n9,7\n10,5\n2024-01-01,9\nA,6\na,8\nb,1\nk,n\nTRUE,2\n#N/A,4\n,3\n";
  EXPECT_EQ(Sorted(in, 1), expected);
}

TEST(CsvSort, AnUntouchedOrderWritesTheSameBytes) {
  for (const char* in : {"", "a", "a\r\n", "\xEF\xBB\xBFx;y\r\n\"q\"\"\";\"1\n2\"\r\n", "a\n\n\nb", "caf\xE9\n"}) {
    SCOPED_TRACE(in);
    EXPECT_EQ(Sorted(in, 5), in);  // column 5 is empty everywhere: nothing moves
    EXPECT_EQ(CsvDocument::FromBytes(in, "t.csv").Bytes(), in);
  }
}

TEST(CsvSort, WritesEachRecordsOwnBytesInTheNewOrder) {
  struct Case {
    const char* name;
    std::string in;
    int column;
    int firstRow;
    std::string out;
  } cases[] = {
      {"leading zeros and quoting stay", "\"007\",x\n8,\"y,z\"\n3,w\n", 1, 1, "3,w\n\"007\",x\n8,\"y,z\"\n"},
      {"no final break stays with the last place", "c\r\nb\r\na", 1, 1, "a\r\nb\r\nc"},
      {"final break kept", "b\na\n", 1, 1, "a\nb\n"},
      {"byte-order mark stays first", "\xEF\xBB\xBF" "2;x\n1;y\n", 1, 1, "\xEF\xBB\xBF" "1;y\n2;x\n"},
      {"mixed line endings stay with their records", "c\r\nb\na\r\n", 1, 1, "a\r\nb\nc\r\n"},
      {"quoted line breaks travel inside the record", "\"z\nz\",1\n\"a\r\na\",2\n", 1, 1,
       "\"a\r\na\",2\n\"z\nz\",1\n"},
      {"rows above the range stay", "h\nc\nb\na", 1, 2, "h\na\nb\nc"},
      {"tabs", "2\t\"b\"\n1\ta\n", 2, 1, "1\ta\n2\t\"b\"\n"},
      {"a blank line moved last keeps its ending", "x\n\ny", 1, 1, "x\ny\n\n"},
      {"a lone CR and a blank LF line never merge", "\nb\ra\n", 1, 1, "a\nb\r\r"},
      {"Windows-1252 text", "\xE9t\xE9\nabc\n", 1, 1, "abc\n\xE9t\xE9\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Sorted(c.in, c.column, c.firstRow), c.out);
  }
}

// A file long enough to be written by two threads keeps the rules of line
// endings at every block's edge: here lone CR endings, and blank LF lines
// that follow one after the sort (each then written as a CR of its own), in
// runs longer than a block.
TEST(CsvSort, ALongFileKeepsEachRecordsEndingAcrossItsBlocks) {
  const int keyed = 240000, blanksFirst = 200000;
  std::string in(static_cast<size_t>(blanksFirst), '\n');
  std::vector<std::string> endings(static_cast<size_t>(keyed) + 1);
  int blanks = blanksFirst;
  for (int i = 0; i < keyed; ++i) {
    const int key = keyed - i;
    // Now and then an LF ending with a blank LF line after it.
    const bool lf = key % 1000 == 0 && key != keyed;
    endings[static_cast<size_t>(key)] = lf ? "\n" : "\r";
    in += std::to_string(key) + endings[static_cast<size_t>(key)];
    if (lf) in += '\n', ++blanks;
  }
  std::string out;
  for (int key = 1; key <= keyed; ++key) out += std::to_string(key) + endings[static_cast<size_t>(key)];
  out += std::string(static_cast<size_t>(blanks), '\r');
  EXPECT_TRUE(Sorted(in, 1) == out);
}

// Keys of a long file, read on two threads: quoted texts (made anew for the
// sort) and plain ones (viewed in the file) order together.
TEST(CsvSort, ALongFileOrdersQuotedAndPlainTextKeysTogether) {
  const int rows = 250000;
  auto record = [](int i) {
    char key[16];
    std::snprintf(key, sizeof key, "k%06d", i);
    return i % 2 ? "\"" + std::string(key) + "\",x\n" : std::string(key) + ",y\n";
  };
  std::string in, out;
  for (int i = rows; i >= 1; --i) in += record(i);
  for (int i = 1; i <= rows; ++i) out += record(i);
  EXPECT_TRUE(Sorted(in, 1) == out);
}

TEST(CsvSave, ReplacesTheFileAndLeavesItUntouchedWhenItCannot) {
  TempFolder dir;
  std::ofstream(dir / "s.csv", std::ios::binary) << "b\na\n";
  auto doc = CsvDocument::Open((dir / "s.csv").string());
  doc.SortRows(host::CellArea{1, 1, 2, host::kMaxColumns}, 1, false);
  doc.Save((dir / "s.csv").string());
  EXPECT_EQ(ReadAll(dir / "s.csv"), "a\nb\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "s.csv.tabulory-save"));

  std::filesystem::create_directory(dir / "sub");
  try {
    doc.Save((dir / "sub").string());  // a folder stands where the file would go
    ADD_FAILURE() << "no error";
  } catch (const HostError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot save \"" + (dir / "sub").string() +
                                         "\": no file stands there now (a folder or a device does); the file was not changed.");
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir / "sub"));
  EXPECT_FALSE(std::filesystem::exists(dir / "sub.tabulory-save"));
}

// The file is read through a mapping: a file another program shortens after
// the open is sorted without ending the process, and not saved over.
TEST(CsvSave, AFileShortenedAfterTheOpenIsNotSavedOver) {
  TempFolder dir;
  std::string bytes;
  for (int r = 0; r < 30000; ++r) bytes += std::to_string(r) + "," + std::to_string((r * 7919) % 30000) + "\n";
  std::ofstream(dir / "s.csv", std::ios::binary) << bytes;
  auto doc = CsvDocument::Open((dir / "s.csv").string());
  std::filesystem::resize_file(dir / "s.csv", 1000);
  doc.SortRows(host::CellArea{1, 1, doc.RowCount(), host::kMaxColumns}, 2, false);
  try {
    doc.Save((dir / "s.csv").string());
    ADD_FAILURE() << "no error";
  } catch (const HostError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot save \"" + (dir / "s.csv").string() +
                                         "\": the file changed on disk since it was opened; the file was not changed.");
  }
  EXPECT_EQ(ReadAll(dir / "s.csv"), bytes.substr(0, 1000));
}

// A save into the file itself (it has another hard link) changes the mapped
// bytes: the next sort and save work from what was written.
TEST(CsvSave, SortsAndSavesAgainAfterASaveIntoTheFileItself) {
  TempFolder dir;
  std::ofstream(dir / "s.csv", std::ios::binary) << "3,a\n1,c\n2,b";
  std::filesystem::create_hard_link(dir / "s.csv", dir / "other.csv");
  auto doc = CsvDocument::Open((dir / "s.csv").string());
  doc.SortRows(host::CellArea{1, 1, 3, host::kMaxColumns}, 1, false);
  doc.Save((dir / "s.csv").string());
  EXPECT_EQ(ReadAll(dir / "other.csv"), "1,c\n2,b\n3,a");
  doc.SortRows(host::CellArea{1, 1, 3, host::kMaxColumns}, 2, false);
  doc.Save((dir / "s.csv").string());
  EXPECT_EQ(ReadAll(dir / "other.csv"), "3,a\n2,b\n1,c");
}

// An independent reader (Python's csv module) sees the same rows after the
// sort, in the new order.
TEST(CsvSortInterop, PythonReadsTheSortedFileAsTheSameRows) {
  if (std::system("python3 -c 'import csv' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is not installed";
  TempFolder dir;
  std::string in = "id,name\r\n3,\"Lee, A\"\r\n1,\"say \"\"x\"\"\"\r\n2,\"multi\nline\"";
  std::ofstream(dir / "in.csv", std::ios::binary) << in;
  auto doc = CsvDocument::Open((dir / "in.csv").string());
  doc.SortRows(host::CellArea{2, 1, doc.RowCount(), host::kMaxColumns}, 1, false);
  doc.Save((dir / "in.csv").string());
  std::string cmd = "python3 -c \"import csv,sys; [print('|'.join(r)) for r in csv.reader(open(sys.argv[1], "
                    "newline=''))]\" " + (dir / "in.csv").string() + " > " + (dir / "out.txt").string();
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(ReadAll(dir / "out.txt"), "id|name\n1|say \"x\"\n2|multi\nline\n3|Lee, A\n");
}

namespace {

// A "sep=" first line stays first, and a semicolon file with decimal commas
// sorts whatever record comes first (by its numbers in a German locale).
TEST(CsvSort, SeparatorLinesStayFirstAndSemicolonFilesSort) {
  EXPECT_EQ(Sorted("sep=;\r\nb;1\r\na;2\r\n", 1), "sep=;\r\na;2\r\nb;1\r\n");
  EXPECT_EQ(Sorted("Name;Wert\nA;0,5\n", 1), "A;0,5\nName;Wert\n");
  // The user's locale (LC_ALL here) types the decimal commas as numbers.
  const char* before = std::getenv("LC_ALL");
  const std::string saved = before ? before : "";
  ::setenv("LC_ALL", "de_DE.UTF-8", 1);
  EXPECT_EQ(Sorted("x;1,5\ny;0,5\nz;-3,25\nw;1.234,5\n", 2), "z;-3,25\ny;0,5\nx;1,5\nw;1.234,5\n");
  if (before) ::setenv("LC_ALL", saved.c_str(), 1);
  else ::unsetenv("LC_ALL");
}

// A sort that would put first a record read with another delimiter is
// refused and leaves every record in its row, as read.
TEST(CsvSort, AnOrderThatWouldChangeTheDelimiterIsRefusedAndUndone) {
  for (const char* bytes : {"b;c\na,1,2\n", "b;c\r\na,1,2\r\n", "b;c\na,1,2"}) {
    SCOPED_TRACE(bytes);
    auto doc = CsvDocument::FromBytes(bytes, "t.csv");
    ASSERT_EQ(doc.Delimiter(), ';');
    EXPECT_THROW(doc.SortRows(host::CellArea{1, 1, doc.RowCount(), host::kMaxColumns}, 1, false), host::SortRefused);
    EXPECT_EQ(doc.Bytes(), bytes);
    EXPECT_EQ(doc.Text(1, 1), "b");
    EXPECT_EQ(doc.RowsMoved(), 0u);
  }
}

// UTF-16 bytes with the byte-order mark, as "Unicode text" exports write them;
// the code units come from the compiler's own u"" literal.
std::string Utf16File(std::u16string_view text, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t unit : text) {
    char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    out += bigEndian ? high : low;
    out += bigEndian ? low : high;
  }
  return out;
}

}  // namespace

// UTF-16 files are split at their line breaks, not at 0x0A bytes inside a
// character (U+010A, U+0D0A), sorted by their characters and written back as
// the same code units, mark first; Python's csv module reads the result.
TEST(CsvSortInterop, Utf16FilesSortByTheirCharactersAndKeepTheirBytes) {
  if (std::system("python3 -c 'import csv' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is not installed";
  struct Case {
    const char* what;
    const char* name;
    bool bigEndian;
    std::u16string in, out;
    const char* python;  // the rows as Python reads them, joined by '|'
  } cases[] = {
      {"Unicode text export: tab-separated, CR LF, quoted tab", "export.csv", false,
       u"Name\tCity\r\n\u017Baneta\t\"Krak\u00F3w\tNord\"\r\n\u010Aarl\t\u0D0Ax\r\nAnna\tBerlin\r\n",
       u"Name\tCity\r\nAnna\tBerlin\r\n\u010Aarl\t\u0D0Ax\r\n\u017Baneta\t\"Krak\u00F3w\tNord\"\r\n",
       "Name|City\nAnna|Berlin\n\u010Aarl|\u0D0Ax\n\u017Baneta|Krak\u00F3w\tNord\n"},
      {"big-endian CSV with a character outside the first plane, no final break", "lo.csv", true,
       u"k,v\n3,\U0001F600\n1,\"a,b\"\n2,\u0A0A", u"k,v\n1,\"a,b\"\n2,\u0A0A\n3,\U0001F600",
       "k|v\n1|a,b\n2|\u0A0A\n3|\U0001F600\n"},
  };
  TempFolder dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto path = dir / c.name;
    std::ofstream(path, std::ios::binary) << Utf16File(c.in, c.bigEndian);
    auto doc = CsvDocument::Open(path.string());
    ASSERT_TRUE(doc.IsUtf16());
    EXPECT_TRUE(doc.SortRows(host::CellArea{2, 1, doc.RowCount(), host::kMaxColumns}, 1, false));
    doc.Save(path.string());
    EXPECT_EQ(ReadAll(path), Utf16File(c.out, c.bigEndian));
    const char delimiter = doc.Delimiter();
    std::string cmd = std::string("python3 -c \"import csv,sys; [print('|'.join(r)) for r in csv.reader(open(sys.argv[1], "
                                  "encoding='utf-16', newline=''), delimiter=sys.argv[2])]\" ") +
                      path.string() + (delimiter == '\t' ? " '\t'" : " ,") + " > " + (dir / "out.txt").string();
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(ReadAll(dir / "out.txt"), c.python);
  }
}

// Bytes that start as UTF-16 (or UTF-32) but do not read as its characters
// are refused; nothing is cut or re-encoded.
TEST(CsvRead, Utf16ThatIsNotTextIsRefused) {
  const std::string lone = std::string("\xFF\xFE", 2) + std::string("a\0\x00\xD8\n\0", 6);  // a lone high surrogate
  for (const std::string& bytes : {std::string("\xFF\xFE" "a\0b", 5), lone, std::string("\xFF\xFE\0\0a\0\0\0", 8)}) {
    try {
      (void)CsvDocument::FromBytes(bytes, "u.csv");
      ADD_FAILURE() << "read as text";
    } catch (const HostError& error) {
      EXPECT_NE(std::string(error.what()).find("u.csv"), std::string::npos) << error.what();
      EXPECT_NE(std::string(error.what()).find("UTF-"), std::string::npos) << error.what();
    }
  }
}
