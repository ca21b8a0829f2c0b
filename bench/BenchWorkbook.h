#pragma once
// Writes the benchmark's workbooks: one sheet of 10 columns (ints, text,
// floats with a number format, dates, booleans, categories, some blanks)
// straight as XML parts into a zip, fast enough for a million rows.

#include <cstdint>
#include <string>

// What the benchmark workbook holds beside its plain cells.
enum class BenchKind {
  Plain,
  // Nine in ten texts of the text column start with a word in another script
  // or with accents.
  International,
  // Every tenth row is hidden and 1,000 rows spread over the sheet carry a
  // note (column B) and a hyperlink (column A).
  Records,
};

// Writes a workbook of `rows` data rows to path; returns the size in bytes of
// the sheet's uncompressed XML.
uint64_t WriteBenchWorkbook(const std::string& path, int rows, BenchKind kind = BenchKind::Plain);
