#include "host/formats/csv/CsvRecords.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "host/formats/csv/CsvText.h"
#include "host/io/SplitScan.h"

namespace host::csv {

namespace {

// Scans the records from into.end (a record's start) on, adding them to
// into, until a record starts at or past stop, the text ends, or a quoted
// field never closes (into.unclosedLine).
void ScanRecords(std::string_view b, size_t stop, char delim, CsvRecords& into) {
  const size_t n = b.size();
  // The characters that end a stretch of plain field text.
  std::array<bool, 256> stops{};
  for (char c : {delim, '"', '\n', '\r'}) stops[static_cast<unsigned char>(c)] = true;
  size_t pos = into.end;
  size_t line = into.line;
  while (pos < n && pos < stop) {
    into.starts.push_back(static_cast<uint32_t>(pos));
    int field = 1, lastTextField = 0;
    bool fieldStart = true, inQuotes = false;
    size_t quoteLine = 0, i = pos, ending = 0;
    while (i < n) {
      char c = b[i];
      if (inQuotes) {
        if (c == '"') {
          if (i + 1 < n && b[i + 1] == '"') {
            lastTextField = field;
            i += 2;
            continue;
          }
          inQuotes = false;
        } else {
          if (c == '\n' || (c == '\r' && (i + 1 >= n || b[i + 1] != '\n'))) ++line;
          lastTextField = field;
        }
        ++i;
        continue;
      }
      if (!stops[static_cast<unsigned char>(c)]) {
        // A stretch of plain characters at once.
        while (++i < n && !stops[static_cast<unsigned char>(b[i])]) {
        }
        lastTextField = field;
        fieldStart = false;
        continue;
      }
      if (c == delim) {
        ++field;
        fieldStart = true;
        ++i;
        continue;
      }
      if (c == '\n' || c == '\r') {
        ending = (c == '\r' && i + 1 < n && b[i + 1] == '\n') ? 2 : 1;
        ++line;
        break;
      }
      if (c == '"' && fieldStart) {
        inQuotes = true;
        quoteLine = line;
      } else {
        lastTextField = field;
      }
      fieldStart = false;
      ++i;
    }
    if (inQuotes) {
      into.unclosedLine = quoteLine;
      pos = n;
      break;
    }
    if (ending > 0 && into.firstEnding.empty()) into.firstEnding = b.substr(i, ending);
    if (lastTextField > 0) {
      into.usedRecords = into.starts.size();
      into.usedColumns = std::max(into.usedColumns, lastTextField);
    }
    pos = i + ending;
    into.finalBreak = ending > 0;
  }
  into.end = pos;
  into.line = line;
}

// Room for the records of text[from, to) at the rate of its first 64 kB
// and an eighth more, so that the list of their starts is seldom copied as
// it grows; never more than a record for every 8 bytes (short lines at the
// head of a large text must not reserve room for billions).
size_t ExpectedRecords(std::string_view text, size_t from, size_t to) {
  const size_t sample = std::min<size_t>(to - from, size_t(64) << 10);
  if (sample == 0) return 1;
  const size_t lines = static_cast<size_t>(std::count(text.begin() + from, text.begin() + from + sample, '\n'));
  return std::min((to - from) / sample * (lines + 1) * 9 / 8 + (lines + 1), (to - from) / 8 + 16);
}

// Takes second (scanned from split) after first, which stopped at split.
void Join(CsvRecords& first, CsvRecords&& second) {
  const size_t before = first.starts.size();
  first.starts.reserve(before + second.starts.size() + 1);  // exactly, with room for the text's end
  first.starts.insert(first.starts.end(), second.starts.begin(), second.starts.end());
  if (second.usedRecords > 0) first.usedRecords = before + second.usedRecords;
  first.usedColumns = std::max(first.usedColumns, second.usedColumns);
  if (first.firstEnding.empty()) first.firstEnding = second.firstEnding;
  // The last record read to its end says (one that never closes does not).
  if (second.starts.size() > (second.unclosedLine > 0 ? 1u : 0u)) first.finalBreak = second.finalBreak;
  if (second.unclosedLine > 0) first.unclosedLine = first.line + second.unclosedLine - 1;
  first.line += second.line - 1;
  first.end = second.end;
  first.joined = true;
}

}  // namespace

CsvRecords ReadRecords(std::string_view text, size_t from, char delimiter, size_t utf8From, size_t split) {
  CsvRecords records;
  records.end = from;
  records.starts.reserve(ExpectedRecords(text, std::min(from, text.size()), text.size()));  // both halves
  const bool check = utf8From <= text.size();
  if (split <= from || split >= text.size() || static_cast<unsigned char>(text[split - 1]) >= 0x80) split = 0;
  if (split == 0) {
    ScanRecords(text, text.size(), delimiter, records);
    records.utf8 = !check || IsValidUtf8(text.substr(utf8From));
    return records;
  }
  // A line start follows an ASCII byte: the text is UTF-8 when both sides
  // of it are.
  CsvRecords second;
  second.end = split;
  second.starts.reserve(ExpectedRecords(text, split, text.size()));
  SplitScan scan(text.data() + split, [&](const SplitScan&) {
    ScanRecords(text, text.size(), delimiter, second);
    second.utf8 = !check || IsValidUtf8(text.substr(std::max(split, utf8From)));
    return true;
  });
  ScanRecords(text, split, delimiter, records);
  const bool firstUtf8 = !check || utf8From >= split || IsValidUtf8(text.substr(utf8From, split - utf8From));
  // The second half is taken where the first ended a record exactly at the
  // split; else the first goes on past it alone.
  const bool exact = records.unclosedLine == 0 && records.end == split;
  scan.Reached(exact ? text.data() + split : text.data() + text.size());
  if (scan.Join()) {
    const bool utf8 = firstUtf8 && second.utf8;
    Join(records, std::move(second));
    records.utf8 = utf8;
  } else {
    ScanRecords(text, text.size(), delimiter, records);
    records.utf8 = firstUtf8 && (!check || IsValidUtf8(text.substr(std::max(split, utf8From))));
  }
  return records;
}

size_t SplitPointOf(std::string_view text, size_t from) {
  if (from >= text.size()) return 0;
  const size_t middle = from + (text.size() - from) / 2;
  const void* found = std::memchr(text.data() + middle, '\n', text.size() - middle);
  if (!found) return 0;
  const size_t split = static_cast<size_t>(static_cast<const char*>(found) - text.data()) + 1;
  return split < text.size() ? split : 0;
}

}  // namespace host::csv
