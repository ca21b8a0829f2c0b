// libFuzzer target over the CSV layer: read any bytes, read every field,
// sort by a column taken from the input, write back. Rules checked: a read
// either succeeds or gives a HostError; the written bytes hold the same
// records; an unsorted document writes the input back exactly.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/HostError.h"
#include "host/csv/CsvDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  int column = data[0] % 8 + 1;
  const char* name = data[0] & 0x80 ? "f.tsv" : "f.csv";
  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    auto doc = host::csv::CsvDocument::FromBytes(bytes, name);
    if (doc.Bytes() != bytes) std::abort();
    for (int r = 1; r <= doc.RowCount(); ++r)
      for (int c = 1; c <= doc.FieldCount(r) + 1; ++c) (void)doc.Value(r, c);
    doc.SortRows(host::CellArea{1, 1, doc.RowCount(), host::kMaxColumns}, column, false);
    std::string sorted = doc.Bytes();
    auto again = host::csv::CsvDocument::FromBytes(sorted, name);
    // The delimiter is chosen from the first record, which the sort may change;
    // a record starting with the bytes of a byte-order mark reads as one first.
    if (again.Delimiter() != doc.Delimiter() || again.HasByteOrderMark() != doc.HasByteOrderMark()) return 0;
    if (again.RowCount() != doc.RowCount()) std::abort();
    for (int r = 1; r <= doc.RowCount(); ++r)
      if (again.Text(r, column) != doc.Text(r, column)) std::abort();
  } catch (const host::HostError&) {
  }
  return 0;
}
