#pragma once
// Where the records of a CSV text start, with what the open learns on the
// way (the used range, the first line ending, whether the text is UTF-8).
// A quote opens a quoted field only at a field's start, so a line start can
// lie inside a quoted field and no single byte tells where a record starts:
// a large text is scanned on two threads, the second from a line start near
// the middle, and its records are taken only when the first thread's scan
// ends a record exactly there; otherwise the first thread goes on alone, as
// a scan on one thread would.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "host/core/RowNumbers.h"

namespace host::csv {

// A number per record (where each starts, which record each row shows).
using RecordNumbers = PerRowList<uint32_t>;

struct CsvRecords {
  RecordNumbers starts;          // each record's first byte (the text's end not among them)
  size_t end = 0;                // where the scan stopped: a record's start or the text's end
  size_t line = 1;               // the line the scan stopped on
  size_t usedRecords = 0;        // records up to the last one holding text
  int usedColumns = 0;           // the widest of those records
  std::string_view firstEnding;  // the first record's line ending seen; empty when none
  bool finalBreak = false;       // the last record ends in a line break
  size_t unclosedLine = 0;       // the line a quoted field that never closes starts on; 0 when none
  bool utf8 = true;              // every byte sequence checked is well-formed UTF-8
  bool joined = false;           // the second thread's records were taken
};

// The records of text from `from` (a record's start) to its end, the text
// from utf8From on checked for UTF-8 (none when utf8From is past the end).
// With split (a line start past `from`, after an ASCII byte; else 0) the records from split on,
// and the UTF-8 check of the text from there, run on a second thread.
CsvRecords ReadRecords(std::string_view text, size_t from, char delimiter, size_t utf8From, size_t split);

// A line start near the middle of text[from..] to split its scan at; 0 when
// there is none worth it.
size_t SplitPointOf(std::string_view text, size_t from);

}  // namespace host::csv
