// Records found on two threads: whatever line start the text is split at,
// the records, the used range, the first line ending, the final break, an
// unclosed quote's line and the UTF-8 check come out as one thread finds
// them, and the second thread's records are taken exactly when the split
// is where a record starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "host/formats/csv/CsvRecords.h"

using host::csv::CsvRecords;
using host::csv::ReadRecords;

namespace {

void ExpectSame(const CsvRecords& split, const CsvRecords& plain) {
  EXPECT_EQ(split.starts, plain.starts);
  EXPECT_EQ(split.end, plain.end);
  EXPECT_EQ(split.line, plain.line);
  EXPECT_EQ(split.usedRecords, plain.usedRecords);
  EXPECT_EQ(split.usedColumns, plain.usedColumns);
  EXPECT_EQ(split.firstEnding.data(), plain.firstEnding.data());
  EXPECT_EQ(split.firstEnding.size(), plain.firstEnding.size());
  EXPECT_EQ(split.finalBreak, plain.finalBreak);
  EXPECT_EQ(split.unclosedLine, plain.unclosedLine);
  EXPECT_EQ(split.utf8, plain.utf8);
}

}  // namespace

TEST(CsvRecords, ASplitScanFindsWhatOneThreadFinds) {
  struct Case {
    const char* name;
    std::string text;
    size_t from = 0;      // where the first record starts
    bool check = true;    // the text checked for UTF-8 from `from`
  };
  std::vector<Case> cases = {
      {"LF endings", "a,b\n1,2\n3,4\n"},
      {"CR LF endings", "a,b\r\n1,2\r\n3,4\r\n"},
      {"mixed and lone CR endings", "a\r\nb\nc\rd\r\n\n\ne\r\r\nf"},
      {"line breaks in quoted fields", "x,\"line1\nline2\"\ny,\"p\r\nq\nr\"\nz,1\n"},
      {"doubled quotes around line breaks", "\"a\"\"b\",c\n\"\"\"\n\"\"\",d\n\"\"\n\"\",e\n"},
      {"stray quotes inside fields", "ab\"c,d\ne\"f\ng,h\"\n\"i\"j,k\n"},
      {"a quote after a line break", "a,\"b\n\"c\",d\n\"e\nf\"\n\"\n,\"\n"},
      {"a quote never closed late", "a,b\nc,d\ne,\"f\ng,h\n"},
      {"a quote never closed early", "a,\"b\nc,d\ne,f\n"},
      {"no final line break", "a,b\nc,d"},
      {"blank lines and fields without text", "\n\na\n,,\nb,c,d\n,,\n\n"},
      {"invalid UTF-8 early", "\xC3(\nb\nc\nd\n"},
      {"invalid UTF-8 late", "a\nb\nc\n\xE2\x82\nd\n"},
      {"a continuation byte after a line break", "a\n\x80\nb\n"},
      {"valid UTF-8", "\xC3\xA9,\xC3\xBC\n\xE2\x82\xAC\n\xF0\x9F\x98\x80,x\n"},
      {"Windows-1252", "caf\xE9\nna\xEFve\n"},
      {"after a byte-order mark, unchecked", "\xEF\xBB\xBF" "a,b\n\xFF\nc\n", 3, false},
      {"after a separator line", "sep=;\na;\"b\nc\";d\ne\n", 6},
  };
  for (const auto& entry : std::filesystem::directory_iterator(TABULORY_CSV_FUZZ_REGRESSIONS))
    cases.push_back({"fuzz regression", fixtures::ReadFile(entry.path().string())});
  for (const Case& c : cases) {
    for (const char delimiter : {',', ';', '\t'}) {
      SCOPED_TRACE(std::string(c.name) + ", delimiter " + (delimiter == '\t' ? "tab" : std::string(1, delimiter)));
      const std::string_view text = c.text;
      const size_t utf8From = c.check ? c.from : text.size() + 1;
      const CsvRecords plain = ReadRecords(text, c.from, delimiter, utf8From, 0);
      EXPECT_FALSE(plain.joined);
      for (size_t split = c.from + 1; split < text.size(); ++split) {
        if (static_cast<unsigned char>(text[split - 1]) >= 0x80) continue;  // not a place to split
        SCOPED_TRACE("split at " + std::to_string(split));
        const CsvRecords records = ReadRecords(text, c.from, delimiter, utf8From, split);
        ExpectSame(records, plain);
        const bool recordStart = std::find(plain.starts.begin(), plain.starts.end(), split) != plain.starts.end();
        EXPECT_EQ(records.joined, recordStart);
      }
    }
  }
}
