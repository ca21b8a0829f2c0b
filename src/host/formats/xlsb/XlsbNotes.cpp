#include "host/formats/xlsb/XlsbNotes.h"

#include "host/formats/xlsb/XlsbRecords.h"
#include "host/io/LittleEndian.h"

namespace host::xlsb {

bool MoveCommentCells(std::string& part, const std::string& partName, const std::vector<RowMove>& moves) {
  RecordReader reader(part, partName);
  Record record;
  bool changed = false;
  std::string out = part;
  while (reader.Next(record)) {
    if (record.type != rt::kBeginComment) continue;
    // The author, then the cell as an area (first and last row, first and last column).
    if (record.body.size() < 20) reader.Damaged(record, "is shorter than a note");
    const size_t at = static_cast<size_t>(record.body.data() - part.data()) + 4;
    const auto row = static_cast<int>(io::U32(part, at)), column = static_cast<int>(io::U32(part, at + 8));
    if (row < 0 || row >= 1048576 || column < 0 || column >= 16384) reader.Damaged(record, "names a cell beyond the sheet");
    const int moved = MovedRow(moves, row + 1, column + 1) - 1;
    if (moved == row) continue;
    io::Put(out, at, static_cast<uint32_t>(moved), 4);
    io::Put(out, at + 4, static_cast<uint32_t>(moved + static_cast<int>(io::U32(part, at + 4)) - row), 4);
    changed = true;
  }
  if (changed) part = std::move(out);
  return changed;
}

}  // namespace host::xlsb
