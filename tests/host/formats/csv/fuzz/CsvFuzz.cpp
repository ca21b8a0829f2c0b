// libFuzzer target over the CSV layer: read any bytes, read every field,
// sort by a column taken from the input (whole records, then a block of two
// columns), write back. Rules checked: a read either succeeds or gives a
// HostError, a sort either succeeds or is refused; the written bytes hold the
// same records and read with the same delimiter; a block sort leaves the
// fields outside the block where they were; an unsorted document writes the
// input back exactly. With bit 0x20 of the first byte the rest is widened to
// UTF-16 (little-endian, or big-endian with bit 0x10 too) behind its mark,
// so the same rules are checked on UTF-16 text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/core/HostError.h"
#include "host/core/SortPlan.h"
#include "host/formats/csv/CsvDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  int column = data[0] % 8 + 1;
  const char* name = data[0] & 0x80 ? "f.tsv" : "f.csv";
  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 0x20) {
    const bool bigEndian = (data[0] & 0x10) != 0;
    std::string wide = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : bytes) {
      wide += bigEndian ? '\0' : c;
      wide += bigEndian ? c : '\0';
    }
    bytes = std::move(wide);
  }
  try {
    auto doc = host::csv::CsvDocument::FromBytes(bytes, name);
    if (doc.Bytes() != bytes) std::abort();
    for (int r = 1; r <= doc.RowCount(); ++r)
      for (int c = 1; c <= doc.FieldCount(r) + 1; ++c) (void)doc.Value(r, c);
    doc.SortRows(host::CellArea{1, 1, doc.RowCount(), host::kMaxColumns}, column, false);
    std::string sorted = doc.Bytes();
    auto again = host::csv::CsvDocument::FromBytes(sorted, name);
    // A record starting with the bytes of a byte-order mark reads as one when it comes first.
    if (again.HasByteOrderMark() != doc.HasByteOrderMark()) return 0;
    if (again.Delimiter() != doc.Delimiter() || again.RowCount() != doc.RowCount()) std::abort();
    for (int r = 1; r <= doc.RowCount(); ++r)
      if (again.Text(r, column) != doc.Text(r, column)) std::abort();

    auto block = host::csv::CsvDocument::FromBytes(bytes, name);
    if (block.RowCount() < 2) return 0;
    block.SortRows(host::CellArea{2, 2, block.RowCount(), 3}, 2 + (data[0] & 1), (data[0] & 0x40) != 0);
    auto reread = host::csv::CsvDocument::FromBytes(block.Bytes(), name);
    const auto original = host::csv::CsvDocument::FromBytes(bytes, name);
    if (reread.RowCount() != original.RowCount()) std::abort();
    for (int r = 1; r <= original.RowCount(); ++r)
      if (reread.Text(r, 1) != original.Text(r, 1) || reread.Text(r, 4) != original.Text(r, 4)) std::abort();
  } catch (const host::HostError&) {
  } catch (const host::SortRefused&) {
  }
  return 0;
}
