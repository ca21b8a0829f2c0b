// Writing an .xls sheet's substream after hides, sorts and fresh formula
// results. After hides and results alone, the substream as read with the
// changed ROW records' flags and FORMULA records' result fields. After a
// sort, every record outside the cell table as it was read (notes, their
// text boxes and hyperlinks with the rows their cells moved to); the cell
// table anew in blocks of 32 rows, each ROW record, cell record and DBCELL
// where BIFF8 expects it, laid out first and written as the file is
// written, and the INDEX record pointing at the new DBCELL records.

#include <algorithm>
#include <memory>

#include "host/core/HostError.h"
#include "host/core/HugePages.h"
#include "host/formats/biff/BiffRecords.h"
#include "host/io/LittleEndian.h"
#include "host/formats/biff/NoteAnchors.h"
#include "host/formats/biff/XlsFormulaResults.h"
#include "host/formats/biff/XlsSheet.h"

namespace host::biff {

using namespace host::io;  // the container and the byte helpers the records sit in

namespace {

// The copies of an HLINK or HLINKTOOLTIP record (raw, its header included)
// that cover its cells after the moves, each with its Ref8 at refAt set to
// one of the areas the cells now stand in; the record itself when no cell
// of it moved.
std::vector<std::string> LinkPieces(std::string_view raw, size_t refAt, const std::vector<RowMove>& moves) {
  const CellArea area{U16(raw, refAt) + 1, U16(raw, refAt + 4) + 1, U16(raw, refAt + 2) + 1, U16(raw, refAt + 6) + 1};
  std::vector<std::string> pieces;
  for (const CellArea& moved : MovedAreas(area, moves)) {
    std::string piece(raw);
    Put(piece, refAt, moved.firstRow - 1, 2);
    Put(piece, refAt + 2, moved.lastRow - 1, 2);
    Put(piece, refAt + 4, moved.firstColumn - 1, 2);
    Put(piece, refAt + 6, moved.lastColumn - 1, 2);
    pieces.push_back(std::move(piece));
  }
  return pieces;
}

constexpr uint32_t kCreated = RowRecord::kCreated;
constexpr uint16_t kFormulaShared = 0x0008;  // FORMULA's fShrFmla

bool InCellTable(uint16_t type) {
  switch (type) {
    case rt::kRow: case rt::kBlank: case rt::kMulBlank: case rt::kRk: case rt::kMulRk: case rt::kBoolErr:
    case rt::kNumber: case rt::kLabelSst: case rt::kLabel: case rt::kRString: case rt::kFormula: case rt::kString:
    case rt::kShrFmla: case rt::kArray: case rt::kTable: case rt::kDbCell:
      return true;
    default:
      return false;
  }
}

void AppendRecord(std::string& out, uint16_t type, std::string_view body) {
  Append(out, type, 2);
  Append(out, body.size(), 2);
  out.append(body);
}

}  // namespace

std::vector<RowRecord> XlsSheet::RowsToWrite() const {
  // Every row that has a ROW record or holds cells, with the span of its cells.
  std::vector<RowRecord> rows;
  rows.reserve(records_.rows.size() + 16);
  auto cell = records_.cells.begin();
  auto row = records_.rows.begin();
  while (cell != records_.cells.end() || row != records_.rows.end()) {
    int next = std::min(cell != records_.cells.end() ? int{cell->row} : INT32_MAX,
                        row != records_.rows.end() ? int{row->row} : INT32_MAX);
    RowRecord r;
    if (row != records_.rows.end() && row->row == next) {
      r = *row++;
    } else {
      r.row = static_cast<uint16_t>(next);
      r.offset = kCreated;
    }
    if (cell != records_.cells.end() && cell->row == next) {
      r.firstColumn = cell->column;
      while (cell != records_.cells.end() && cell->row == next) r.lastColumnPlus1 = static_cast<uint16_t>(cell++->column + 1);
    } else if (r.firstColumn != r.lastColumnPlus1) {
      r.firstColumn = r.lastColumnPlus1 = 0;  // its cells moved away
    }
    rows.push_back(r);
  }
  return rows;
}

void XlsSheet::WriteCell(std::string& out, const std::vector<CellRef>& cells, size_t& i, bool sizing) const {
  const std::string_view stream = book_->stream;
  const CellRef& cell = cells[i];
  const std::string_view original = RawRecord(stream, cell.recordOffset);
  const uint16_t recordType = U16(original, 0);
  if (recordType == rt::kMulRk || recordType == rt::kMulBlank) {
    // The run of cells that still stand together in one row, from one record.
    const bool numbers = recordType == rt::kMulRk;
    const size_t width = numbers ? 6 : 2;
    const uint16_t recordFirst = U16(original, 4 + 2);
    const size_t recordCount = (U16(original, 2) - 6u) / width;
    size_t end = i + 1;
    while (end < cells.size() && cells[end].recordOffset == cell.recordOffset && cells[end].row == cell.row &&
           cells[end].column == cells[end - 1].column + 1)
      ++end;
    const size_t count = end - i;
    if (count == recordCount) {
      // The whole record, in its new row.
      const size_t at = out.size();
      out.append(original);
      if (!sizing) Put(out, at + 4, cell.row, 2);
    } else {
      auto item = [&](uint16_t column) { return original.substr(4 + 4 + (column - recordFirst) * width, width); };
      std::string body;
      Append(body, cell.row, 2);
      Append(body, cell.column, 2);
      if (count == 1) {
        body.append(item(cell.column));
        AppendRecord(out, numbers ? rt::kRk : rt::kBlank, body);
      } else {
        for (size_t k = i; k < end; ++k) body.append(item(cells[k].column));
        Append(body, cells[end - 1].column, 2);
        AppendRecord(out, recordType, body);
      }
    }
    i = end;
    return;
  }
  ++i;
  const size_t at = out.size();
  if (recordType != rt::kFormula) {
    out.append(original);
    Put(out, at + 4, cell.row, 2);
    return;
  }
  if (cell.Formula() == FormulaNow::AsRead) {
    out.append(original.substr(0, 4 + U16(original, 2)));
  } else if (sizing) {
    out.append(4 + 20 + OwnFormulaSize(cell), '\0');
  } else {
    AppendOwnFormula(out, cell, original);
  }
  Put(out, at + 4, cell.row, 2);
  const StoredValue* fresh = ResultOf(cell);
  if (fresh) {
    out.replace(at + 4 + 6, 8, FormulaResultField(*fresh));
    Put(out, at + 4 + 14, FlagsWithResult(cell, U16(out, at + 4 + 14)), 2);
  }
  // What belongs to the formula follows it: its shared formula, array or
  // data table, and the STRING of a text result (a fresh result's own).
  size_t next = cell.recordOffset + original.size();
  while (next + 4 <= stream.size()) {
    uint16_t type = U16(stream, next);
    if (type != rt::kShrFmla && type != rt::kArray && type != rt::kTable && type != rt::kString) break;
    std::string_view record = RawRecord(stream, next);
    const size_t recordAt = next;
    next += record.size();
    if ((type == rt::kShrFmla && droppedShared_.count(recordAt)) || (type == rt::kString && fresh)) continue;
    auto area = std::find_if(records_.formulaAreas.begin(), records_.formulaAreas.end(),
                             [&](const FormulaArea& a) { return a.offset == recordAt; });
    if ((type == rt::kArray || type == rt::kTable) && area != records_.formulaAreas.end()) {
      std::string body(record.substr(4, 6));
      Put(body, 0, area->area.firstRow, 2);
      Put(body, 2, area->area.lastRow, 2);
      auto rgce = arrayRgce_.find(recordAt);
      if (rgce != arrayRgce_.end()) {
        body.append(record.substr(4 + 6, 6));
        Append(body, rgce->second.size(), 2);
        body += rgce->second;
        body.append(stream.substr(area->extraOffset, area->extraLength));
      } else {
        body.append(record.substr(4 + 6, U16(record, 2) - 6));
      }
      AppendRecord(out, type, body);
      continue;
    }
    out.append(record);
  }
  if (fresh && NeedsStringRecord(*fresh)) out += StringRecord(fresh->text);
}

void XlsSheet::AppendOwnFormula(std::string& out, const CellRef& cell, std::string_view original) const {
  // The record's fields before the expression, then the CellParsedFormula:
  // a kept one as it is, a derived one made from its source bytes in place.
  const size_t at = out.size();
  const FormulaArea* shared = SharedFormulaOf(cell);
  if (cell.Formula() == FormulaNow::Kept) {
    const uint32_t kept = KeptAt(cell);
    const std::string_view parsed = std::string_view(formulaArena_).substr(kept + 4, U32(formulaArena_, kept));
    Append(out, rt::kFormula, 2);
    Append(out, 20 + parsed.size(), 2);
    out.append(original.substr(4, 20));
    out.append(parsed);
    if (shared) Put(out, at + 4 + 14, U16(out, at + 4 + 14) & ~kFormulaShared, 2);
    return;
  }
  const std::string_view stream = book_->stream;
  const int readRow = U16(original, 4);
  const std::string_view rgce = shared ? stream.substr(shared->formulaOffset, shared->formulaLength) : RecordRgce(cell);
  const std::string_view rgcb = shared ? stream.substr(shared->extraOffset, shared->extraLength) : RecordRgcb(cell);
  // Expanding and shifting keep the expression's size (see OwnFormulaSize).
  Append(out, rt::kFormula, 2);
  Append(out, 20 + 2 + rgce.size() + rgcb.size(), 2);
  out.append(original.substr(4, 20));
  Append(out, rgce.size(), 2);
  const size_t rgceAt = out.size();
  out.append(rgce);
  out.append(rgcb);
  if (shared) {
    // A shared formula's cell given its own expression.
    Put(out, at + 4 + 14, U16(out, at + 4 + 14) & ~kFormulaShared, 2);
    ExpandAndShiftIn(out, rgceAt, rgce.size(), readRow, cell.column, cell.row - readRow);
  } else {
    ShiftFormulaRowsIn(out, rgceAt, rgce.size(), cell.row - readRow);
  }
}

void XlsSheet::WriteRowCells(std::string& out, int row0, bool sizing) const {
  const std::vector<CellRef>& cells = records_.cells;
  if (static_cast<size_t>(row0) + 1 >= rowStart_.size()) return;
  const size_t end = rowStart_[row0 + 1];
  for (size_t cell = rowStart_[row0]; cell < end;) WriteCell(out, cells, cell, sizing);
}

namespace {

// A row's cells are written with the first of its ROW records (a damaged
// file may hold two for one row); rows are in row order.
bool OwnsCells(const std::vector<RowRecord>& rows, size_t r) { return r == 0 || rows[r - 1].row != rows[r].row; }

}  // namespace

uint32_t XlsSheet::TableLayout::CellBytesAfter(size_t r) const {
  return OwnsCells(rows, r) && rows[r].row < cellBytes.size() ? cellBytes[rows[r].row] : 0u;
}

template <typename Write>
void XlsSheet::VisitRows(const std::vector<uint32_t>& visits, size_t begin, size_t end, Write write) const {
  const std::vector<CellRef>& cells = records_.cells;
  // A row's records take a few hundred bytes: the lines of one a few rows ahead.
  constexpr size_t kCellAhead = 8, kRecordAhead = 4, kRowBytes = 320;
  for (size_t k = begin; k < end; ++k) {
    if (k + kCellAhead < end) {
      const CellRef* ahead = &cells[visits[k + kCellAhead]];
      __builtin_prefetch(ahead);
      __builtin_prefetch(ahead + 8);
    }
    if (k + kRecordAhead < end) {
      const char* ahead = book_->stream.data() + cells[visits[k + kRecordAhead]].recordOffset;
      for (size_t line = 0; line < kRowBytes; line += 64) __builtin_prefetch(ahead + line);
    }
    const CellRef& first = cells[visits[k]];
    book_->PassedTo(first.recordOffset);
    write(first.row);
  }
  book_->Release(0, book_->stream.size());
}

XlsSheet::TableLayout XlsSheet::LayOutTable() const {
  TableLayout layout;
  layout.rows = RowsToWrite();
  const std::vector<RowRecord>& rows = layout.rows;
  const std::vector<CellRef>& cells = records_.cells;
  const bool mapped = static_cast<bool>(book_->mapped);
  std::vector<uint32_t>& visits = layout.visits;
  for (size_t i = 0; i < rows.size(); ++i)
    if (OwnsCells(rows, i) && size_t{rows[i].row} + 1 < rowStart_.size() && rowStart_[rows[i].row] < rowStart_[rows[i].row + 1])
      visits.push_back(rowStart_[rows[i].row]);
  // A counting sort: by the place of each row's first cell (in steps of
  // about a row's bytes, the order within one does not matter), later by group.
  std::vector<uint32_t> sorted(visits.size());
  auto sortBy = [&](size_t keys, auto key) {
    std::vector<uint32_t> next(keys + 1, 0);
    for (uint32_t v : visits) ++next[key(v) + 1];
    for (size_t k = 1; k < next.size(); ++k) next[k] += next[k - 1];
    for (uint32_t v : visits) sorted[next[key(v)]++] = v;
    visits.swap(sorted);
  };
  if (mapped) {
    int shift = 0;
    while ((book_->stream.size() >> shift) > 2 * visits.size() + 1) ++shift;
    sortBy((book_->stream.size() >> shift) + 1, [&](uint32_t v) { return cells[v].recordOffset >> shift; });
  }
  layout.cellBytes.assign(rowStart_.size(), 0);
  std::string scratch;
  VisitRows(visits, 0, visits.size(), [&](int row0) {
    scratch.clear();
    WriteRowCells(scratch, row0, true);
    layout.cellBytes[row0] = static_cast<uint32_t>(scratch.size());
  });
  // Each block: its ROW records, its rows' cells, its DBCELL (a first-row
  // offset and a cell offset a row).
  layout.blockAt.push_back(0);
  for (size_t blockBegin = 0; blockBegin < rows.size();) {
    size_t blockEnd = blockBegin, bytes = 0;
    while (blockEnd < rows.size() && rows[blockEnd].row / 32 == rows[blockBegin].row / 32) bytes += layout.CellBytesAfter(blockEnd++);
    const size_t count = blockEnd - blockBegin;
    layout.blockEnds.push_back(blockEnd);
    layout.blockAt.push_back(layout.blockAt.back() + 20 * count + bytes + 4 + 4 + 2 * count);
    blockBegin = blockEnd;
  }
  // Where the stream is mapped each group is a pass over it: groups of a
  // MB keep what is held small and the passes few.
  const size_t groupBytes = mapped ? size_t{1} << 20 : size_t{64} << 10;
  const size_t blocks = layout.blockEnds.size();
  std::vector<int> groupFirstRow;  // the first row of each group
  for (size_t first = 0; first < blocks;) {
    size_t last = first + 1;
    while (last < blocks && layout.blockAt[last + 1] - layout.blockAt[first] <= groupBytes) ++last;
    groupFirstRow.push_back(rows[first == 0 ? 0 : layout.blockEnds[first - 1]].row);
    layout.groupEnds.push_back(last);
    first = last;
  }
  auto groupOf = [&](uint32_t v) {
    return static_cast<size_t>(std::upper_bound(groupFirstRow.begin(), groupFirstRow.end(), int{cells[v].row}) -
                               groupFirstRow.begin() - 1);
  };
  if (mapped) sortBy(groupFirstRow.size(), groupOf);  // stable: each group's rows stay in stream order
  for (size_t k = 0, g = 0; g < groupFirstRow.size(); ++g) {
    while (k < visits.size() && groupOf(visits[k]) == g) ++k;
    layout.visitEnds.push_back(k);
  }
  return layout;
}

void XlsSheet::WriteGroup(const TableLayout& layout, size_t g, std::string& out) const {
  const std::string_view stream = book_->stream;
  const std::vector<RowRecord>& rows = layout.rows;
  const size_t firstBlock = g == 0 ? 0 : layout.groupEnds[g - 1], lastBlock = layout.groupEnds[g];
  const size_t groupAt = layout.blockAt[firstBlock];
  const size_t firstRow = firstBlock == 0 ? 0 : layout.blockEnds[firstBlock - 1];
  const int firstRow0 = rows[firstRow].row;
  out.resize(layout.blockAt[lastBlock] - groupAt);  // every byte is written below
  std::vector<size_t> cellsAt(rows[layout.blockEnds[lastBlock - 1] - 1].row - firstRow0 + 1);  // by row from firstRow0
  for (size_t b = firstBlock; b < lastBlock; ++b) {
    const size_t blockBegin = b == 0 ? 0 : layout.blockEnds[b - 1], blockEnd = layout.blockEnds[b];
    size_t at = layout.blockAt[b] - groupAt;
    for (size_t r = blockBegin; r < blockEnd; ++r) {
      // The ROW record made in place.
      const RowRecord& row = rows[r];
      Put(out, at, rt::kRow, 2);
      Put(out, at + 2, 16, 2);
      if (row.offset != kCreated) {
        book_->Reached(row.offset);
        out.replace(at + 4, 16, stream.substr(row.offset + 4, 16));
      } else {
        // A row of default height and no format of its own.
        out.replace(at + 4, 16, 16, '\0');
        Put(out, at + 4 + 6, records_.defaultRowHeight, 2);
        Put(out, at + 4 + 12, 0x000F0100, 4);
      }
      Put(out, at + 4, row.row, 2);
      Put(out, at + 4 + 2, row.firstColumn, 2);
      Put(out, at + 4 + 4, row.lastColumnPlus1, 2);
      out[at + 4 + 12] = static_cast<char>(row.hidden ? out[at + 4 + 12] | 0x20 : out[at + 4 + 12] & ~0x20);
      at += 20;
    }
    // DBCELL: the first ROW record's offset from it, each row's first cell's from the one before.
    const size_t count = blockEnd - blockBegin;
    const size_t dbCellAt = layout.blockAt[b + 1] - groupAt - 8 - 2 * count;
    Put(out, dbCellAt, rt::kDbCell, 2);
    Put(out, dbCellAt + 2, 4 + 2 * count, 2);
    Put(out, dbCellAt + 4, dbCellAt - (layout.blockAt[b] - groupAt), 4);
    for (size_t r = blockBegin; r < blockEnd; ++r) {
      if (OwnsCells(rows, r)) cellsAt[rows[r].row - firstRow0] = at;
      Put(out, dbCellAt + 8 + 2 * (r - blockBegin), r == blockBegin ? 20 * (count - 1) : layout.CellBytesAfter(r - 1), 2);
      at += layout.CellBytesAfter(r);
    }
  }
  // The cells, read in the order they stand in the stream.
  std::string cells;
  VisitRows(layout.visits, g == 0 ? 0 : layout.visitEnds[g - 1], layout.visitEnds[g], [&](int row0) {
    cells.clear();
    WriteRowCells(cells, row0, false);
    if (cells.size() != layout.cellBytes[row0])
      throw HostError("The workbook stream could not be written: a row came out at another size than planned.");
    out.replace(cellsAt[row0 - firstRow0], cells.size(), cells);
  });
}

void XlsSheet::WriteSubstream(StreamPieces& out) const {
  if (!Changed()) {
    CopySubstreamAs(*book_, begin_, end_, records_.indexOffset, {}, out);
    return;
  }
  if (!sorted_ && CopySubstream(out)) return;
  RewriteSubstream(out);
}

bool XlsSheet::CopySubstream(StreamPieces& out) const {
  const std::string_view stream = book_->stream;
  size_t flipped = 0;
  for (const RowRecord& r : records_.rows) {
    if (r.offset == kCreated) return false;
    book_->Reached(r.offset);
    flipped += r.hidden != ((U8(stream, r.offset + 4 + 12) & 0x20) != 0);
  }
  std::vector<std::pair<size_t, std::string_view>> patches;
  if (!ResultPatches(patches, out)) return false;
  std::string& bytes = out.Keep(std::string());
  bytes.reserve(flipped);
  for (const RowRecord& r : records_.rows) {
    book_->Reached(r.offset);
    const size_t at = r.offset + 4 + 12;
    const char flags = stream[at];
    if (r.hidden == ((flags & 0x20) != 0)) continue;
    bytes.push_back(static_cast<char>(r.hidden ? flags | 0x20 : flags & ~0x20));
    patches.emplace_back(at, std::string_view(bytes).substr(bytes.size() - 1));
  }
  CopySubstreamAs(*book_, begin_, end_, records_.indexOffset, std::move(patches), out);
  return true;
}

size_t IndexRecordOf(std::string_view stream, size_t begin, const std::string& path) {
  RecordReader reader(stream, begin, "Workbook", path);
  Record record;
  if (!reader.Next(record) || record.type != rt::kBof) return std::string_view::npos;
  // INDEX stands before the cell table.
  while (reader.Next(record) && record.type != rt::kBof && record.type != rt::kEof && !InCellTable(record.type))
    if (record.type == rt::kIndex) return record.offset;
  return std::string_view::npos;
}

void CopySubstreamAs(const XlsBook& book, size_t begin, size_t end, size_t indexOffset,
                     std::vector<std::pair<size_t, std::string_view>> patches, StreamPieces& out) {
  const std::string_view stream = book.stream;
  const size_t base = out.Size();
  if (indexOffset != std::string_view::npos && base != begin && indexOffset + 4 <= end) {
    // INDEX gives the DEFCOLWIDTH and DBCELL positions in the stream: they move with the substream.
    const size_t body = indexOffset + 4, size = std::min<size_t>(U16(stream, indexOffset + 2), end - body);
    std::string& index = out.Keep(std::string(stream.substr(body, size)));
    for (size_t at = 12; at + 4 <= size; at += 4) {
      const uint32_t position = U32(index, at);
      if (position != 0) Put(index, at, position - begin + base, 4);
    }
    patches.emplace_back(body, index);
  }
  std::sort(patches.begin(), patches.end());
  size_t at = begin;
  for (const auto& [offset, patch] : patches) {
    book.View(out, at, offset - at);
    out.View(patch);
    at = offset + patch.size();
  }
  book.View(out, at, end - at);
}

void XlsSheet::RewriteSubstream(StreamPieces& pieces) const {
  const std::string_view stream = book_->stream;
  const size_t base = pieces.Size();
  // The cell table, in blocks of the rows of one 32-row band, is laid out
  // here and written when the stream is handed on, a few blocks at a time,
  // so that it is never held whole.
  auto layout = std::make_shared<const TableLayout>(LayOutTable());
  const std::vector<RowRecord>& rows = layout->rows;
  const size_t blocks = layout->blockEnds.size();
  const size_t tableSize = layout->blockAt.back();
  std::vector<size_t> dbCells;  // in the table: each block's last record
  for (size_t b = 0; b < blocks; ++b) {
    const size_t count = layout->blockEnds[b] - (b == 0 ? 0 : layout->blockEnds[b - 1]);
    dbCells.push_back(layout->blockAt[b + 1] - 4 - 4 - 2 * count);
  }
  // The other records, with the place the table goes (tableAt).
  std::string out;
  out.reserve(end_ - begin_ > 65536 ? 65536 : end_ - begin_);
  RecordReader reader(stream, begin_, "Workbook", book_->path);
  Record record;
  int depth = 0;
  bool tableWritten = false, defColWidthAfterTable = false;
  size_t indexAt = std::string::npos, defColWidthAt = std::string::npos, tableAt = 0;
  NoteAnchors boxes;
  auto writeTable = [&] {
    if (!tableWritten) tableAt = out.size();
    tableWritten = true;
  };
  // A hyperlink read but not yet written: its record in pieces.
  std::vector<std::string> links;
  std::string_view linkArea;
  auto flushLinks = [&] {
    for (const std::string& link : links) out.append(link);
    links.clear();
  };
  while (reader.Next(record)) {
    book_->PassedTo(record.offset);
    std::string_view raw = stream.substr(record.offset, record.end - record.offset);
    if (record.type != rt::kHLinkTooltip) flushLinks();
    if (record.type == rt::kBof) ++depth;
    if (record.type == rt::kEof && --depth == 0) {
      writeTable();
      out.append(raw);
      break;
    }
    if (depth > 1 || record.type == rt::kBof || record.type == rt::kEof) {
      out.append(raw);  // the sheet's BOF, and charts embedded in it, as they were
      continue;
    }
    if (InCellTable(record.type)) {
      writeTable();
      continue;
    }
    switch (record.type) {
      case rt::kIndex: {
        indexAt = out.size();
        std::string body(record.body.substr(0, 16));
        body.resize(16 + 4 * blocks, '\0');
        AppendRecord(out, rt::kIndex, body);
        continue;
      }
      case rt::kDefColWidth:
        defColWidthAt = out.size();
        defColWidthAfterTable = tableWritten;
        break;
      case rt::kMsoDrawing:
        if (record.continues.empty()) boxes.AddDrawing(record.body, out.size() + 4);
        break;
      case rt::kObj: boxes.AddObject(record.body); break;
      case rt::kNote: {
        // The note follows its cell, and its text box with it.
        const size_t rowAt = out.size() + 4;
        out.append(raw);
        const int firstRow = U16(out, rowAt), column = U16(out, rowAt + 2);
        const int moved = MovedRow(moves_, firstRow + 1, column + 1) - 1;
        if (moved != firstRow) {
          Put(out, rowAt, moved, 2);
          boxes.MoveBox(out, U16(out, rowAt + 6), moved - firstRow);
        }
        continue;
      }
      case rt::kHLink: {
        // Held until the next record shows whether its tooltip follows.
        links = LinkPieces(raw, 4, moves_);
        linkArea = raw.substr(4, 8);
        continue;
      }
      case rt::kHLinkTooltip: {
        std::vector<std::string> tips = LinkPieces(raw, 6, moves_);
        if (!links.empty() && raw.substr(6, 8) == linkArea && tips.size() == links.size()) {
          // Each piece of the link with its own copy of the tooltip.
          for (size_t k = 0; k < links.size(); ++k) out.append(links[k]).append(tips[k]);
          links.clear();
          continue;
        }
        flushLinks();
        for (const std::string& tip : tips) out.append(tip);
        continue;
      }
      default: break;
    }
    out.append(raw);
    if (record.type == rt::kDimensions && records_.rows.empty() && records_.cells.empty() && !rows.empty())
      writeTable();  // the sheet had no cell table: it follows DIMENSIONS
  }
  if (indexAt != std::string::npos) {
    const size_t body = indexAt + 4;
    bool anyCells = !records_.cells.empty();
    Put(out, body + 4, anyCells ? records_.cells.front().row : 0, 4);
    Put(out, body + 8, anyCells ? records_.cells.back().row + 1 : 0, 4);
    if (defColWidthAt != std::string::npos)
      Put(out, body + 12, base + defColWidthAt + (defColWidthAfterTable ? tableSize : 0), 4);
    for (size_t k = 0; k < dbCells.size() && k < blocks; ++k) Put(out, body + 16 + 4 * k, base + tableAt + dbCells[k], 4);
  }
  if (!tableWritten) tableAt = out.size();
  const std::string& kept = pieces.Keep(std::move(out));
  pieces.View(std::string_view(kept).substr(0, tableAt));
  pieces.Produce(tableSize, [this, layout](const StreamPieces::Sink& sink) {
    size_t largest = 0;
    for (size_t g = 0, first = 0; g < layout->groupEnds.size(); first = layout->groupEnds[g++])
      largest = std::max(largest, layout->blockAt[layout->groupEnds[g]] - layout->blockAt[first]);
    std::string group;
    group.reserve(largest);  // one room for every group: no fresh pages a group
    AdviseHugePages(group.data(), group.capacity());
    for (size_t g = 0; g < layout->groupEnds.size(); ++g) {
      WriteGroup(*layout, g, group);
      sink(group);
    }
  });
  pieces.View(std::string_view(kept).substr(tableAt));
}

}  // namespace host::biff
