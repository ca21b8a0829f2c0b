// Where records start, as the rules of quotes and line breaks say, and
// found on two threads: whatever line start the text is split at, the
// records, the used range, the first line ending, the final break, an
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
#include "host/formats/csv/CsvText.h"

using host::csv::CsvRecords;
using host::csv::ReadRecords;

namespace {

// The rules of a record, one character at a time: a quote at a field's
// start opens a quoted field, where a doubled quote is a quote and a line
// break is text; elsewhere a quote is text; CR LF is one line break.
CsvRecords RecordsByTheRules(std::string_view t, size_t from, char delimiter, size_t utf8From) {
  enum class State { FieldStart, InField, Quoted };
  CsvRecords r;
  size_t i = from, line = 1;
  while (i < t.size()) {
    r.starts.push_back(static_cast<uint32_t>(i));
    int field = 1, withText = 0;
    State state = State::FieldStart;
    size_t quoteLine = 0;
    bool ended = false;
    while (i < t.size() && !ended) {
      const char c = t[i];
      const bool crlf = c == '\r' && i + 1 < t.size() && t[i + 1] == '\n';
      const bool quoteTwice = c == '"' && i + 1 < t.size() && t[i + 1] == '"';
      if (state == State::Quoted) {
        if (c == '"' && !quoteTwice) state = State::InField;
        else withText = field;
        if (c == '\n' || (c == '\r' && !crlf)) ++line;
        i += quoteTwice ? 2 : 1;
      } else if (c == delimiter) {
        ++field;
        state = State::FieldStart;
        ++i;
      } else if (c == '\n' || c == '\r') {
        if (r.firstEnding.empty()) r.firstEnding = t.substr(i, crlf ? 2 : 1);
        i += crlf ? 2 : 1;
        ++line;
        ended = true;
      } else if (c == '"' && state == State::FieldStart) {
        state = State::Quoted;
        quoteLine = line;
        ++i;
      } else {
        withText = field;
        state = State::InField;
        ++i;
      }
    }
    if (state == State::Quoted) {
      r.unclosedLine = quoteLine;
      i = t.size();
      break;
    }
    r.finalBreak = ended;
    if (withText > 0) {
      r.usedRecords = r.starts.size();
      r.usedColumns = std::max(r.usedColumns, withText);
    }
  }
  r.end = i;
  r.line = line;
  r.utf8 = utf8From > t.size() || host::csv::IsValidUtf8(t.substr(utf8From));
  return r;
}

void ExpectSame(const CsvRecords& found, const CsvRecords& expected) {
  EXPECT_EQ(found.starts, expected.starts);
  EXPECT_EQ(found.end, expected.end);
  EXPECT_EQ(found.line, expected.line);
  EXPECT_EQ(found.usedRecords, expected.usedRecords);
  EXPECT_EQ(found.usedColumns, expected.usedColumns);
  EXPECT_EQ(found.firstEnding.data(), expected.firstEnding.data());
  EXPECT_EQ(found.firstEnding.size(), expected.firstEnding.size());
  EXPECT_EQ(found.finalBreak, expected.finalBreak);
  EXPECT_EQ(found.unclosedLine, expected.unclosedLine);
  EXPECT_EQ(found.utf8, expected.utf8);
}

struct Case {
  std::string name;
  std::string text;
  size_t from = 0;    // where the first record starts
  bool check = true;  // the text checked for UTF-8 from `from`
};

// Texts that try every rule, fields of every length up to 19 bytes, and the
// fuzz regressions.
std::vector<Case> Cases() {
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
  std::string lengths;
  for (size_t length = 0; length < 20; ++length)
    lengths += std::string(length, 'x') + (length % 3 == 0 ? "," : (length % 3 == 1 ? "\n" : "\r\n"));
  cases.push_back({"fields of every length", lengths});
  cases.push_back({"fields of every length, no final break", lengths + "yyyyyyyyy"});
  cases.push_back({"a quote late in long records", lengths + "zzzzzzzzzzzz\"q\nzzzzzzzzzzzz,\"q\nr\"\n" + lengths});
  for (const auto& entry : std::filesystem::directory_iterator(TABULORY_CSV_FUZZ_REGRESSIONS))
    cases.push_back({"fuzz regression " + entry.path().filename().string(), fixtures::ReadFile(entry.path().string())});
  return cases;
}

std::string DelimiterName(char delimiter) { return delimiter == '\t' ? "tab" : std::string(1, delimiter); }

}  // namespace

TEST(CsvRecords, RecordsAreFoundByTheRulesOfQuotesAndLineBreaks) {
  for (const Case& c : Cases()) {
    for (const char delimiter : {',', ';', '\t'}) {
      SCOPED_TRACE(c.name + ", delimiter " + DelimiterName(delimiter));
      const size_t utf8From = c.check ? c.from : c.text.size() + 1;
      const CsvRecords found = ReadRecords(c.text, c.from, delimiter, utf8From, 0);
      ExpectSame(found, RecordsByTheRules(c.text, c.from, delimiter, utf8From));
      EXPECT_FALSE(found.joined);
    }
  }
}

TEST(CsvRecords, ASplitScanFindsWhatOneThreadFinds) {
  for (const Case& c : Cases()) {
    for (const char delimiter : {',', ';', '\t'}) {
      SCOPED_TRACE(c.name + ", delimiter " + DelimiterName(delimiter));
      const std::string_view text = c.text;
      const size_t utf8From = c.check ? c.from : text.size() + 1;
      const CsvRecords plain = ReadRecords(text, c.from, delimiter, utf8From, 0);
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
