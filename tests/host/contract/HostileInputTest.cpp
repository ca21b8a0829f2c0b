// Hostile files, built here within stated sizes, opened, sorted and saved by
// the host in a child process under a time and a memory limit, so that a
// regression fails the test instead of hanging or ending it: nesting many
// thousands deep in every format's parsers, and repeat counts that reach or
// run past the sheet's edge.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <string>

#include "Fixtures.h"
#include "formats/biff/XlsFixtures.h"
#include "formats/odf/OdsFixtures.h"
#include "formats/xlsb/XlsbFixtures.h"
#include "host/core/Application.h"
#include "host/core/CellRef.h"
#include "host/core/HostError.h"
#include "host/core/MemoryBudget.h"
#include "host/core/Range.h"
#include "host/core/RowRef.h"
#include "host/core/Workbook.h"
#include "host/core/Workbooks.h"
#include "host/core/Worksheet.h"
#include "host/formats/FormatRegistry.h"
#include "host/formats/biff/FormulaTokens.h"

namespace {

using fixtures::TempDir;

constexpr int kDepth = 50000;          // elements or parentheses nested
constexpr unsigned kSeconds = 60;      // a child's time
constexpr rlim_t kMemory = rlim_t(2) << 30;  // a child's address space
constexpr int kMaxRowsOfAGrid = 1048576;

std::string Repeat(const std::string& piece, int times) {
  std::string out;
  out.reserve(piece.size() * static_cast<size_t>(times));
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

// An XML comment of 64 KB of letters that do not compress, so that a deep
// but repetitive part keeps a ratio under the zip-bomb guard's.
std::string Noise() {
  std::string out = "<!--";
  uint32_t state = 12345;
  for (int i = 0; i < 65536; ++i) {
    state = state * 1103515245u + 12345u;
    out += static_cast<char>('a' + (state >> 16) % 26);
  }
  return out + "-->";
}

// Runs work in a child with the time and memory limits; what it returns, or
// "child ended: ..." when it did not finish (crash, timeout, memory).
std::string InChild(const std::function<std::string()>& work, unsigned processorSeconds = 0) {
  int pipe[2];
  if (::pipe(pipe) != 0) return "child ended: no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe[0]);
    const rlimit memory{kMemory, kMemory};
    ::setrlimit(RLIMIT_AS, &memory);
    if (processorSeconds > 0) {
      const rlimit processor{processorSeconds, processorSeconds};
      ::setrlimit(RLIMIT_CPU, &processor);
    }
    ::alarm(kSeconds);
    std::string text;
    try {
      text = "done:" + work();
    } catch (const host::HostError& error) {
      text = "refused:" + std::string(error.what());
    } catch (const std::exception& error) {
      text = "other exception:" + std::string(error.what());
    }
    ::_exit(::write(pipe[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1);
  }
  ::close(pipe[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  ::close(pipe[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFSIGNALED(status))
    return "child ended: signal " + std::to_string(WTERMSIG(status)) +
           (WTERMSIG(status) == SIGALRM ? " (over " + std::to_string(kSeconds) + " s)" : "") +
           (WTERMSIG(status) == SIGXCPU || WTERMSIG(status) == SIGKILL ? " (over its processor time)" : "");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child ended: status " + std::to_string(status);
  return text;
}

// Opens path, reads column A of the first sheet, sorts its used range by
// column A and saves: "" when done, else what was thrown passes on.
std::string SortAndSave(const std::string& path) {
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  for (host::Worksheet* sheet : book.Worksheets()) {
    host::Range used = sheet->UsedRange();
    for (int r = used.Row(); r <= std::min(used.LastRow(), 16); ++r) (void)sheet->Cells(r, 1).Text();
    used.Sort(host::Cells(1, 1));
  }
  book.Save();
  app.Quit();
  return "";
}

const std::string kKeys = "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>b</t></is></c>";

std::string OdsText(const std::string& text) {
  return "<table:table-cell office:value-type=\"string\"><text:p>" + text + "</text:p></table:table-cell>";
}
std::string OdsRow(const std::string& cells, const std::string& attributes = "") {
  return "<table:table-row" + attributes + ">" + cells + "</table:table-row>";
}
std::string OdsTable(const std::string& rows) {
  return "<table:table table:name=\"S\">" + Noise() + rows + "</table:table>";
}
const std::string kOdsKeys = OdsRow(OdsText("b")) + OdsRow(OdsText("a")) + OdsRow(OdsText("c"));

struct Case {
  const char* name;
  // Builds the file in dir and returns its path; SortAndSave runs over it in
  // the child unless `work` is given (a lower layer tried alone gets "").
  std::function<std::string(const TempDir& dir)> build;
  // "" when the host must read it whole; else words its refusal must hold.
  const char* refusal;
  std::function<std::string(const std::string& path)> work = {};
  // What must hold of the file afterwards: "" or what does not.
  std::function<std::string(const std::string& path)> check = {};
  // The child's processor time, when less than kSeconds: for work that must
  // not grow with a repeat count.
  unsigned processorSeconds = 0;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

std::string Xlsx(const TempDir& dir, const std::string& sheetData, const std::string& styles = "") {
  const std::string path = dir.File("deep.xlsx");
  fixtures::WriteZip(path, fixtures::MinimalWorkbook(Noise() + sheetData, "", styles));
  return path;
}

std::string Ods(const TempDir& dir, const std::string& tables) {
  return odsfixtures::WriteOds(dir, "deep.ods", odsfixtures::Content(tables));
}

const std::string kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const std::string kMc = "http://schemas.openxmlformats.org/markup-compatibility/2006";
const std::string kNested = Repeat("<x>", kDepth) + Repeat("</x>", kDepth);

const Case kDeepCases[] = {
    {"xlsx styles nested 50,000 deep",
     [](const TempDir& dir) {
       return Xlsx(dir, kKeys + "</row>",
                               "<?xml version=\"1.0\"?><styleSheet xmlns=\"" + kMain + "\" xmlns:mc=\"" + kMc + "\">" +
                                   kNested + "<mc:AlternateContent><mc:Fallback>" + kNested +
                                   "</mc:Fallback></mc:AlternateContent></styleSheet>");
     },
     ""},
    {"xlsx sheet alternate content nested 50,000 deep",
     [](const TempDir& dir) {
       return Xlsx(dir, kKeys + "</row><mc:AlternateContent xmlns:mc=\"" + kMc + "\"><mc:Fallback>" +
                                        Repeat("<mc:AlternateContent><mc:Fallback>", kDepth) +
                                        Repeat("</mc:Fallback></mc:AlternateContent>", kDepth) + kNested +
                                        "</mc:Fallback></mc:AlternateContent>");
     },
     "nested too deeply"},
    {"xlsx cell nested 50,000 deep",
     [](const TempDir& dir) {
       return Xlsx(dir, "<row r=\"1\"><c r=\"A1\"><v>1</v>" + kNested + "</c></row>");
     },
     "nested too deeply"},
    {"xlsx formula of 50,000 parentheses moved",
     [](const TempDir& dir) {
       return Xlsx(dir, kKeys + "<c r=\"B1\"><f>" + Repeat("(", kDepth) + "A1" + Repeat(")", kDepth) +
                                        "</f><v>0</v></c></row><row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>a</t>"
                                        "</is></c></row>");
     },
     ""},
    {"ods text spans 50,000 deep",
     [](const TempDir& dir) {
       return Ods(dir, OdsTable(OdsRow(OdsText(Repeat("<text:span>", kDepth) + "b" +
                                                         Repeat("</text:span>", kDepth))) +
                                            OdsRow(OdsText("a"))));
     },
     "nested too deeply"},
    {"ods row groups 50,000 deep",
     [](const TempDir& dir) {
       return Ods(dir, OdsTable(Repeat("<table:table-row-group>", kDepth) + kOdsKeys +
                                            Repeat("</table:table-row-group>", kDepth)));
     },
     ""},
    {"ods formula of 50,000 parentheses moved",
     [](const TempDir& dir) {
       return Ods(dir, OdsTable(OdsRow(OdsText("b") + "<table:table-cell table:formula=\"of:=" +
                                                   Repeat("(", kDepth) + "[.A1]" + Repeat(")", kDepth) +
                                                   "\" office:value-type=\"float\" office:value=\"0\"/>") +
                                            OdsRow(OdsText("a"))));
     },
     ""},
    {"ods cell nested 50,000 deep",
     [](const TempDir& dir) { return Ods(dir, OdsTable(OdsRow(OdsText("b" + kNested)) + kOdsKeys)); },
     "nested too deeply"},
    {"xls formula of 8,000 parenthesis tokens (a record's room) read and moved",
     [](const TempDir&) { return std::string(); }, "",
     [](const std::string&) {
       // ptgInt 1, then ptgParen around it 8,000 times.
       const std::string rgce = std::string("\x1e\x01\x00", 3) + std::string(8000, '\x15');
       const std::string text = host::biff::FormulaText(rgce, 0, 0);
       host::biff::ShiftFormulaRows(rgce, 3);
       return text.size() == 1 + 2 * 8000 ? std::string() : "text of " + std::to_string(text.size()) + " bytes";
     }},
    {"xlsb formula of 50,000 parenthesis tokens moved",
     [](const TempDir& dir) {
       using namespace xlsbfixtures;
       // ptgInt 1, then ptgParen around it 50,000 times, in the row a sort moves.
       const std::string rgce = PtgInt(1) + Repeat(PtgOp(0x15), kDepth);
       const std::string data = Row(0) + Number(0, 2) + FormulaNumber(1, 1, rgce) + Row(1) + Number(0, 1);
       return Write(dir, "deep.xlsb", Package({{"Sheet1", data, "", {}, ""}}, {}));
     },
     ""},
    {"csv field of 50,000 quotes",
     [](const TempDir& dir) {
       const std::string path = dir.File("deep.csv");
       fixtures::WriteFile(path, "\"" + Repeat("\"\"", kDepth) + "\",1\nb,2\na,3\n");
       return path;
     },
     ""},
};

// Builds the case's file, runs it in a child and checks the outcome: done
// (and what check says), or refused in words with the file left as it was.
void Expect(const Case& c) {
  TempDir dir;
  const std::string path = c.build(dir);
  const std::string before = path.empty() ? "" : fixtures::ReadFile(path);
  const std::string outcome =
      InChild([&] { return c.work ? c.work(path) : SortAndSave(path); }, c.processorSeconds);
  if (*c.refusal == '\0') {
    EXPECT_EQ(outcome, "done:");
    if (c.check) {
      EXPECT_EQ(c.check(path), "");
    }
  } else {
    EXPECT_EQ(outcome.rfind("refused:", 0), 0u) << outcome;
    EXPECT_NE(outcome.find(c.refusal), std::string::npos) << outcome;
    EXPECT_EQ(outcome.find("std::"), std::string::npos) << outcome;
    EXPECT_TRUE(fixtures::ReadFile(path) == before);
  }
}

class DeepInput : public testing::TestWithParam<Case> {};

// No reader or writer recurses on the input's depth: a file nested many
// thousands deep is read whole or refused in words, and the process lives
// on; a refused file is left as it was.
TEST_P(DeepInput, IsReadOrRefusedWithoutEndingTheProcess) { Expect(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Formats, DeepInput, testing::ValuesIn(kDeepCases));

// ---- repeat counts

const std::string kEmptyRows = "<table:table-row table:number-rows-repeated=\"1048573\">"
                               "<table:table-cell table:number-columns-repeated=\"16384\"/></table:table-row>";

std::string ManyTables(const std::string& rows, int count) {
  std::string tables;
  for (int i = 0; i < count; ++i)
    tables += "<table:table table:name=\"S" + std::to_string(i) + "\">" + rows + "</table:table>";
  return tables;
}

// The rows of the saved file's first table, counted with their repeats.
std::string RowsAre(const std::string& path, long long expected) {
  const std::string content = fixtures::ReadZip(path)["content.xml"];
  long long rows = 0;
  const std::string repeat = "table:number-rows-repeated=\"";
  for (size_t at = content.find("<table:table-row"); at != std::string::npos;
       at = content.find("<table:table-row", at + 1)) {
    if (content.compare(at, 22, "<table:table-row-group") == 0) continue;
    const size_t end = content.find('>', at);
    const size_t count = content.find(repeat, at);
    rows += count < end ? std::stoll(content.substr(count + repeat.size())) : 1;
  }
  return rows == expected ? "" : std::to_string(rows) + " rows, not " + std::to_string(expected);
}

// Hides rows 4 to 10 (empty, inside the repeated rows after the keys) and saves.
std::string HideAndSave(const std::string& path) {
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  for (int r = 4; r <= 10; ++r) book.Worksheets()[0]->Rows(r).SetHidden(true);
  book.Save();
  app.Quit();
  return "";
}

// Hides every row from 2 to the sheet's last (a filter's work on a sheet
// whose one key row is followed by a repeat to the end) and saves.
std::string HideAllButFirstAndSave(const std::string& path) {
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  host::Worksheet& sheet = *book.Worksheets()[0];
  for (int r = 2; r <= 1048576; ++r) sheet.Rows(r).SetHidden(true);
  book.Save();
  app.Quit();
  return "";
}

// Hides every other row of the first `rows` and saves (a filter's work on a
// table whose rows each stand in an element of their own).
std::function<std::string(const std::string&)> HideEveryOtherAndSave(int rows) {
  return [rows](const std::string& path) {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& sheet = *book.Worksheets()[0];
    for (int r = 2; r <= rows; r += 2) sheet.Rows(r).SetHidden(true);
    book.Save();
    app.Quit();
    return std::string();
  };
}

const Case kRepeatCases[] = {
    {"every other of 100,000 rows of their own hidden in 1 s of processor time",
     [](const TempDir& dir) {
       std::string rows;
       for (int r = 0; r < 100000; ++r) rows += OdsRow(OdsText(std::to_string(r)));
       return Ods(dir, OdsTable(rows));
     },
     "", HideEveryOtherAndSave(100000), {}, 1},
    {"1,048,575 repeated rows hidden one by one",
     [](const TempDir& dir) {
       return Ods(dir, OdsTable(OdsRow(OdsText("a")) +
                                OdsRow(OdsText("b"), " table:number-rows-repeated=\"1048575\"")));
     },
     "", HideAllButFirstAndSave, [](const std::string& path) { return RowsAre(path, 1048576); }},
    {"202 sheets of keys and 1,048,573 empty repeated rows",
     [](const TempDir& dir) { return Ods(dir, ManyTables(kOdsKeys + kEmptyRows, 202)); }, ""},
    {"20 sheets of two keys around 1,048,574 empty rows",
     [](const TempDir& dir) {
       return Ods(dir, ManyTables(OdsRow(OdsText("b")) + "<table:table-row table:number-rows-repeated=\"1048574\"/>" +
                                      OdsRow(OdsText("a")),
                                  20));
     },
     ""},
    {"202 sheets of two keys around 1,048,574 empty rows, in 1 s of processor time",
     [](const TempDir& dir) {
       return Ods(dir, ManyTables(OdsRow(OdsText("b")) + "<table:table-row table:number-rows-repeated=\"1048574\"/>" +
                                      OdsRow(OdsText("a")),
                                  202));
     },
     "", {}, {}, 1},
    {"a key row repeated 1,048,575 times sorted in 1 s of processor time",
     [](const TempDir& dir) {
       return Ods(dir, OdsTable(OdsRow(OdsText("b"), " table:number-rows-repeated=\"1048575\"") +
                                OdsRow(OdsText("a"))));
     },
     "", {},
     [](const std::string& path) {
       const std::string content = fixtures::ReadZip(path)["content.xml"];
       const size_t first = content.find("<text:p>", content.find("<table:table-row"));
       if (content.compare(first, 10, "<text:p>a<") != 0) return std::string("row 1 does not hold a");
       return RowsAre(path, 1048576);
     },
     1},
    {"empty cells repeated 1,000,000,000 columns on 1,048,573 rows, in 1 s of processor time",
     [](const TempDir& dir) {
       return Ods(dir, OdsTable(kOdsKeys + "<table:table-row table:number-rows-repeated=\"1048573\">"
                                           "<table:table-cell table:number-columns-repeated=\"1000000000\"/>"
                                           "</table:table-row>"));
     },
     "", {}, {}, 1},
    {"a cell with content past row 1,048,576",
     [](const TempDir& dir) {
       return Ods(dir, OdsTable(kOdsKeys + kEmptyRows + OdsRow(OdsText("z"))));
     },
     "past row 1048576"},
    {"a row with content repeated past row 1,048,576",
     [](const TempDir& dir) {
       return Ods(dir, OdsTable(kOdsKeys + OdsRow(OdsText("z"), " table:number-rows-repeated=\"1000000000\"")));
     },
     "past row 1048576"},
    {"a cell with content repeated past column XFD",
     [](const TempDir& dir) {
       return Ods(dir, OdsTable(OdsRow("<table:table-cell table:number-columns-repeated=\"20000\" "
                                       "office:value-type=\"float\" office:value=\"1\"/>") +
                                kOdsKeys));
     },
     "past column XFD"},
    {"empty rows repeated 1,000,000,000 times, past the last row, some hidden",
     [](const TempDir& dir) {
       return Ods(dir, OdsTable(kOdsKeys + "<table:table-row table:number-rows-repeated=\"1000000000\">"
                                           "<table:table-cell/></table:table-row>"));
     },
     "", HideAndSave, [](const std::string& path) { return RowsAre(path, 1000000003LL); }},
};

class RepeatedRows : public testing::TestWithParam<Case> {};

// Repeated empty rows and cells cost what one row costs; cells past the
// sheet's last row or column are refused (never cut), and empty rows a
// repeat count gives past the last row are written back whole.
TEST_P(RepeatedRows, CostNothingWhenEmptyAndAreNeverCut) { Expect(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Ods, RepeatedRows, testing::ValuesIn(kRepeatCases));

// ---- a CSV file has no grid

constexpr int kLongCsvRows = kMaxRowsOfAGrid + 24;

// A CSV file of kLongCsvRows records of one number each (about 8 MB), in an
// order a sort must change from the first row to the last.
std::string LongCsv(const TempDir& dir) {
  std::string text;
  text.reserve(static_cast<size_t>(kLongCsvRows) * 8);
  for (int r = 1; r <= kLongCsvRows; ++r) text += std::to_string((r * 7919LL) % kLongCsvRows) + "\n";
  const std::string path = dir.File("long.csv");
  fixtures::WriteFile(path, text);
  return path;
}

// "" when the file holds the numbers 0 to kLongCsvRows - 1, one a line, in
// ascending order; else the first line that does not.
std::string SortedWhole(const std::string& path) {
  const std::string text = fixtures::ReadFile(path);
  size_t at = 0;
  for (long long expected = 0; expected < kLongCsvRows; ++expected) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos || text.compare(at, end - at, std::to_string(expected)) != 0)
      return "line " + std::to_string(expected + 1) + " is not " + std::to_string(expected);
    at = end + 1;
  }
  return at == text.size() ? "" : "more lines than records";
}

// Reads the last record's cell and the row past it, then hides the last
// record's row, as a filter would.
std::string ReadAndHideLastRow(const std::string& path) {
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  host::Worksheet& sheet = *book.Worksheets()[0];
  if (sheet.UsedRange().LastRow() != kLongCsvRows) return "used range ends at " + sheet.UsedRange().Address();
  if (sheet.Cells(kLongCsvRows, 1).Text() != std::to_string((kLongCsvRows * 7919LL) % kLongCsvRows))
    return "last cell reads \"" + sheet.Cells(kLongCsvRows, 1).Text() + "\"";
  sheet.Rows(kLongCsvRows).SetHidden(true);
  return "";
}

const Case kGridCases[] = {
    {"csv of 1,048,600 records sorted whole", LongCsv, "", {}, SortedWhole},
    {"csv record past row 1,048,576 read and filtered", LongCsv, "cannot keep hidden rows", ReadAndHideLastRow},
};

class CsvWithoutGrid : public testing::TestWithParam<Case> {};

// A CSV file's sheet is as long as the file: every record takes part in a
// sort and is read by a filter, past the 1,048,576 rows of a grid.
TEST_P(CsvWithoutGrid, IsSortedAndReadWhole) { Expect(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Csv, CsvWithoutGrid, testing::ValuesIn(kGridCases));

// ---- memory

// 20,000 rows of keys (about 1 MB of cells) in each format the tests can
// write without LibreOffice.
std::string BigXlsx(const TempDir& dir) {
  std::string rows;
  for (int r = 1; r <= 20000; ++r)
    rows += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) + "\"><v>" +
            std::to_string((r * 7919) % 20011) + "</v></c></row>";
  return Xlsx(dir, rows);
}
std::string BigOds(const TempDir& dir) {
  std::string rows;
  for (int r = 1; r <= 20000; ++r) rows += OdsRow(OdsText(std::to_string((r * 7919) % 20011)));
  return Ods(dir, OdsTable(rows));
}
std::string BigXlsb(const TempDir& dir) {
  std::string data;
  for (int r = 0; r < 20000; ++r) data += xlsbfixtures::Row(r) + xlsbfixtures::Number(0, (r * 7919) % 20011);
  return xlsbfixtures::Write(dir, "big.xlsb", xlsbfixtures::Package({{"Sheet1", data, "", {}, ""}}, {}));
}
// The same keys as LibreOffice writes them in an .xls ("" without soffice).
std::string BigXls(const TempDir& dir) {
  static const std::string bytes = xlsfixtures::ConvertedCached(BigXlsx, "xls");
  if (bytes.empty()) return "";
  const std::string path = dir.File("big.xls");
  fixtures::WriteFile(path, bytes);
  return path;
}
std::string BigCsv(const TempDir& dir) {
  std::string text;
  for (int r = 1; r <= 20000; ++r) text += std::to_string((r * 7919) % 20011) + ",some text of the row\n";
  const std::string path = dir.File("big.csv");
  fixtures::WriteFile(path, text);
  return path;
}

// Sorts and saves under a budget of `bytes` set the way the command line sets it.
std::function<std::string(const std::string&)> WithBudget(uint64_t bytes) {
  return [bytes](const std::string& path) {
    host::SetMemoryBudget(bytes, "the budget of the test");
    return SortAndSave(path);
  };
}

const Case kMemoryCases[] = {
    {"xlsx over a 256 KB budget", BigXlsx, "of memory (its XML parts inflate to", WithBudget(256 << 10)},
    {"xlsx within a 64 MB budget", BigXlsx, "", WithBudget(64 << 20)},
    {"ods over a 256 KB budget", BigOds, "of memory (its XML parts inflate to", WithBudget(256 << 10)},
    {"ods within a 64 MB budget", BigOds, "", WithBudget(64 << 20)},
    {"xlsb over a 256 KB budget", BigXlsb, "of memory (its parts inflate to", WithBudget(256 << 10)},
    {"xlsb within a 64 MB budget", BigXlsb, "", WithBudget(64 << 20)},
    {"xls over a 256 KB budget", BigXls, "of memory (the file holds", WithBudget(256 << 10)},
    {"xls within a 64 MB budget", BigXls, "", WithBudget(64 << 20)},
    {"csv over a 256 KB budget", BigCsv, "it may take (the budget of the test)", WithBudget(256 << 10)},
    {"csv within a 64 MB budget", BigCsv, "", WithBudget(64 << 20)},
};

class MemoryBudget : public testing::TestWithParam<Case> {};

// A file whose estimated need exceeds the budget is refused before it is
// read, with the need, its reason and the budget in words; within it, read.
TEST_P(MemoryBudget, RefusesWhatWouldExceedIt) {
  TempDir probe;
  if (std::string_view(GetParam().name).substr(0, 4) == "xls " && BigXls(probe).empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  Expect(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Formats, MemoryBudget, testing::ValuesIn(kMemoryCases));

// Every format the host opens gives its estimate.
TEST(MemoryBudget, EveryFormatEstimates) {
  for (const host::WorkbookFormat& format : host::WorkbookFormats())
    EXPECT_NE(format.memoryNeed, nullptr) << format.extensions.front();
}

// Sizes as --max-memory takes them.
TEST(MemoryBudget, SizesAreReadWithTheirUnits) {
  const std::pair<const char*, uint64_t> sizes[] = {
      {"512", 512}, {"64K", 64 << 10}, {"512M", 512 << 20}, {"4G", uint64_t(4) << 30}, {"1TB", uint64_t(1) << 40},
      {"2x", 0},    {"", 0},           {"0", 0},            {"M", 0},
  };
  for (const auto& [text, bytes] : sizes) {
    uint64_t read = 0;
    EXPECT_EQ(host::ParseSize(text, read), bytes != 0) << text;
    if (bytes) {
      EXPECT_EQ(read, bytes) << text;
    }
  }
}

}  // namespace
