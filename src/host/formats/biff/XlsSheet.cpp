#include "host/formats/biff/XlsSheet.h"

#include <algorithm>

#include "host/core/HostError.h"
#include "host/core/NumberFormat.h"
#include "host/core/SortKeys.h"
#include "host/formats/BuiltinNumberFormats.h"
#include "host/formats/biff/BiffRecords.h"
#include "host/formats/biff/FormulaTokens.h"
#include "host/io/LittleEndian.h"
#include "host/io/PartMemory.h"

namespace host::biff {

using namespace host::io;  // the container and the byte helpers the records sit in

namespace {

constexpr uint8_t kPtgExp = 0x01, kPtgTbl = 0x02;
// EnhancedProtection: what a protected sheet still allows.
constexpr uint32_t kAllowsFormatRows = 1u << 4, kAllowsSort = 1u << 11;
constexpr uint32_t kCreated = RowRecord::kCreated;

// An error value the format does not define shows as #N/A.
std::string ErrorText(uint8_t code) {
  const char* text = ErrorValueText(code);
  return text ? text : "#N/A";
}

bool Before(const CellRef& a, const CellRef& b) {
  return a.row != b.row ? a.row < b.row : a.column < b.column;
}

// Row, column and place in the stream as one number, in that order.
uint64_t Order(const CellRef& c) { return uint64_t{c.row} << 48 | uint64_t{c.column} << 32 | c.recordOffset; }

}  // namespace

void XlsBook::Release(size_t offset, size_t size) const {
  if (!mapped || offset >= stream.size()) return;
  mapped.Release(offset, std::min(size, stream.size() - offset));
}

void XlsBook::View(StreamPieces& out, size_t offset, size_t size) const {
  out.View(stream.substr(offset, size), mapped ? &mapped : nullptr);
}

void SortCells(std::vector<CellRef>& cells) {
  // In place (no copy of the cells); two records of one cell keep their file
  // order. Cells read from a file mostly stand in order already.
  auto before = [](const CellRef& a, const CellRef& b) { return Order(a) < Order(b); };
  if (std::is_sorted(cells.begin(), cells.end(), before)) return;
  // Each cell swapped into its row's place (an American flag sort over the
  // 65,536 rows), then each row put in order: linear, where a sort moved
  // whole rows.
  constexpr size_t kRows = 65536;
  std::vector<uint32_t> next(kRows + 1, 0);
  for (const CellRef& c : cells) ++next[c.row + 1];
  for (size_t r = 1; r <= kRows; ++r) next[r] += next[r - 1];
  const std::vector<uint32_t> end(next.begin() + 1, next.end());
  for (size_t r = 0; r < kRows; ++r) {
    while (next[r] < end[r]) {
      CellRef& c = cells[next[r]];
      if (c.row == r)
        ++next[r];
      else
        std::swap(c, cells[next[c.row]++]);
    }
  }
  for (auto row = cells.begin(); row != cells.end();) {
    auto rowEnd = std::find_if(row, cells.end(), [&](const CellRef& c) { return c.row != row->row; });
    if (!std::is_sorted(row, rowEnd, before)) std::sort(row, rowEnd, before);
    row = rowEnd;
  }
}

void MoveCellRows(std::vector<CellRef>& cells, const CellArea& area, const RowNumbers& targetOf) {
  const int firstRow0 = area.firstRow - 1, lastRow0 = area.lastRow - 1;
  const size_t height = static_cast<size_t>(lastRow0 - firstRow0 + 1);
  // The row each row of the area takes its cells from.
  std::vector<uint32_t> sourceOf(height, UINT32_MAX);
  bool permutation = targetOf.size() == height;
  for (size_t r = 0; permutation && r < height; ++r) {
    const long t = long{targetOf[r]} - area.firstRow;
    permutation = t >= 0 && static_cast<size_t>(t) < height && sourceOf[t] == UINT32_MAX;
    if (permutation) sourceOf[t] = static_cast<uint32_t>(r);
  }
  auto inColumns = [&](const CellRef& c) { return c.column >= area.firstColumn - 1 && c.column <= area.lastColumn - 1; };
  if (!permutation) {
    // Rows that merge or vanish: each cell given its row, then all put in order.
    for (CellRef& c : cells)
      if (c.row >= firstRow0 && c.row <= lastRow0 && inColumns(c))
        c.row = static_cast<uint16_t>(targetOf[c.row - firstRow0] - 1);
    SortCells(cells);
    return;
  }
  // Each row of the area as three runs of cells: before the area's columns,
  // in them, after them (rowAt[3 r] .. rowAt[3 r + 3]).
  auto rowsBegin = std::lower_bound(cells.begin(), cells.end(), firstRow0,
                                    [](const CellRef& c, int row) { return c.row < row; });
  auto rowsEnd = std::lower_bound(rowsBegin, cells.end(), lastRow0 + 1,
                                  [](const CellRef& c, int row) { return c.row < row; });
  std::vector<uint32_t> rowAt(3 * height + 1);
  {
    auto c = rowsBegin;
    const auto at = [&] { return static_cast<uint32_t>(c - rowsBegin); };
    for (size_t r = 0; r < height; ++r) {
      const int row = firstRow0 + static_cast<int>(r);
      rowAt[3 * r] = at();
      while (c != rowsEnd && c->row == row && c->column < area.firstColumn - 1) ++c;
      rowAt[3 * r + 1] = at();
      while (c != rowsEnd && c->row == row && c->column <= area.lastColumn - 1) ++c;
      rowAt[3 * r + 2] = at();
      while (c != rowsEnd && c->row == row) ++c;
    }
    rowAt[3 * height] = at();
  }
  CellRef* const first = cells.data() + (rowsBegin - cells.begin());
  constexpr size_t kAhead = 8;  // source rows asked for before they are copied
  // Where every row that moves holds as many cells in the area's columns (a
  // table without gaps), each run moves in place, cycle by cycle: no second list.
  uint32_t width = UINT32_MAX;
  bool even = true;
  for (size_t r = 0; even && r < height; ++r) {
    if (sourceOf[r] == r) continue;
    const uint32_t cellsHere = rowAt[3 * r + 2] - rowAt[3 * r + 1];
    if (width == UINT32_MAX) width = cellsHere;
    even = cellsHere == width;
  }
  if (width == UINT32_MAX) return;  // no row moves
  if (even) {
    std::vector<bool> placed(height, false);
    std::vector<CellRef> held(width);
    auto run = [&](size_t r) { return first + rowAt[3 * r + 1]; };
    for (size_t start = 0; start < height; ++start) {
      if (placed[start] || sourceOf[start] == start) continue;
      std::copy(run(start), run(start) + width, held.begin());
      size_t ahead = sourceOf[start];
      for (size_t k = 0; k < kAhead; ++k) ahead = sourceOf[ahead];
      for (size_t t = start;;) {
        placed[t] = true;
        const size_t from = sourceOf[t];
        __builtin_prefetch(run(ahead));
        ahead = sourceOf[ahead];
        CellRef* to = run(t);
        if (from == start)
          std::copy(held.begin(), held.end(), to);
        else
          std::copy(run(from), run(from) + width, to);
        for (CellRef* c = to; c != to + width; ++c) c->row = static_cast<uint16_t>(firstRow0 + t);
        if (from == start) break;
        t = from;
      }
    }
    return;
  }
  std::vector<CellRef> moved;
  moved.reserve(static_cast<size_t>(rowsEnd - rowsBegin));
  AdviseReserved(moved);
  for (size_t t = 0; t < height; ++t) {
    if (t + kAhead < height) __builtin_prefetch(first + rowAt[3 * sourceOf[t + kAhead] + 1]);
    const size_t s = sourceOf[t];
    const uint16_t row = static_cast<uint16_t>(firstRow0 + t);
    moved.insert(moved.end(), rowsBegin + rowAt[3 * t], rowsBegin + rowAt[3 * t + 1]);
    for (auto c = rowsBegin + rowAt[3 * s + 1]; c != rowsBegin + rowAt[3 * s + 2]; ++c) {
      moved.push_back(*c);
      moved.back().row = row;
    }
    moved.insert(moved.end(), rowsBegin + rowAt[3 * t + 2], rowsBegin + rowAt[3 * t + 3]);
  }
  if (rowsBegin == cells.begin() && rowsEnd == cells.end())
    cells.swap(moved);  // the area's rows are all the sheet holds
  else
    std::copy(moved.begin(), moved.end(), rowsBegin);
}

XlsSheet::XlsSheet(std::shared_ptr<const XlsBook> book, size_t index) : book_(std::move(book)), index_(index) {
  const SheetInfo& info = book_->globals.sheets.at(index);
  begin_ = info.position;
  records_ = ReadSheet(book_->stream, begin_, book_->globals.sharedStrings, "Workbook", book_->path,
                       book_->mapped ? &book_->mapped : nullptr);
  end_ = records_.end;
  SortCells(records_.cells);
  auto byRow = [](const RowRecord& a, const RowRecord& b) { return a.row < b.row; };
  if (!std::is_sorted(records_.rows.begin(), records_.rows.end(), byRow))
    std::stable_sort(records_.rows.begin(), records_.rows.end(), byRow);
  IndexFormulaAreas();
  IndexRows();
}

void XlsSheet::IndexRows() {
  const std::vector<CellRef>& cells = records_.cells;
  rowStart_.assign(cells.empty() ? 1 : cells.back().row + 2u, 0);
  // Each row's entry: the first cell at or past it.
  size_t row = 0;
  for (size_t i = 0; i < cells.size(); ++i)
    while (row <= cells[i].row) rowStart_[row++] = static_cast<uint32_t>(i);
  for (; row < rowStart_.size(); ++row) rowStart_[row] = static_cast<uint32_t>(cells.size());
}

const CellRef* XlsSheet::Find(int row0, int column0) const {
  if (row0 < 0 || static_cast<size_t>(row0) + 1 >= rowStart_.size() || column0 < 0 || column0 > kMaxCellColumn) return nullptr;
  CellRef probe;
  probe.row = static_cast<uint16_t>(row0);
  probe.column = static_cast<uint16_t>(column0);
  // Within the row's cells: a cell's first record when it has two.
  const auto rowEnd = records_.cells.begin() + rowStart_[static_cast<size_t>(row0) + 1];
  auto it = std::lower_bound(records_.cells.begin() + rowStart_[static_cast<size_t>(row0)], rowEnd, probe, Before);
  return it != rowEnd && it->column == column0 ? &*it : nullptr;
}

bool XlsSheet::UsedArea(CellArea& area) const {
  if (records_.cells.empty()) return false;
  area.firstRow = records_.cells.front().row + 1;
  area.lastRow = records_.cells.back().row + 1;
  int first = INT32_MAX, last = 0;
  for (const CellRef& c : records_.cells) {
    first = std::min<int>(first, c.column);
    last = std::max<int>(last, c.column);
  }
  area.firstColumn = first + 1;
  area.lastColumn = last + 1;
  return true;
}

namespace {

// The number a NUMBER, RK or MULRK record holds for the cell; false for any other record.
bool RecordNumber(std::string_view stream, const CellRef& cell, double& number) {
  const size_t at = cell.recordOffset + 4;  // the record's body
  switch (U16(stream, cell.recordOffset)) {
    case rt::kNumber: number = F64(stream, at + 6); return true;
    case rt::kRk: number = DecodeRk(U32(stream, at + 6)); return true;
    case rt::kMulRk: number = DecodeRk(U32(stream, at + 4 + (cell.column - U16(stream, at + 2)) * 6 + 2)); return true;
    default: return false;
  }
}

}  // namespace

StoredValue XlsSheet::Value(int row, int column) const {
  StoredValue value;
  const CellRef* ref = Find(row - 1, column - 1);
  if (!ref) return value;
  if (const StoredValue* fresh = ResultOf(*ref)) return *fresh;
  book_->Reached(ref->recordOffset);
  // Numbers, most of what is read, straight from their records: a FORMULA
  // record's result field holds a number unless its last two bytes are 0xFFFF.
  const std::string_view stream = book_->stream;
  const bool numberResult = IsFormula(*ref) && U16(stream, ref->recordOffset + 4 + 12) != 0xFFFF;
  if (numberResult) value.number = F64(stream, ref->recordOffset + 4 + 6);
  if (numberResult || RecordNumber(stream, *ref, value.number)) {
    value.kind = host::CellKind::Number;
    return value;
  }
  const CellRecord decoded = Decode(*ref);
  const CellRecord* cell = &decoded;
  // A formula shows its cached result, which the record gives like a value.
  CellKind kind = cell->kind;
  if (kind == CellKind::Formula) {
    switch (cell->result) {
      case ResultKind::Number: kind = CellKind::Number; break;
      case ResultKind::Text:
        // A text result lives in the STRING record after the formula;
        // without one the formula has no usable result.
        if (cell->textRecord == UINT32_MAX) {
          value.uncalculated = true;
          return value;
        }
        kind = CellKind::Text;
        break;
      case ResultKind::EmptyText: value.kind = host::CellKind::Text; return value;
      case ResultKind::Boolean: kind = CellKind::Boolean; break;
      case ResultKind::Error: kind = CellKind::Error; break;
    }
  }
  switch (kind) {
    case CellKind::Blank:
    case CellKind::Formula: break;
    case CellKind::Number:
      value.kind = host::CellKind::Number;
      value.number = cell->number;
      break;
    case CellKind::Text:
      value.kind = host::CellKind::Text;
      value.text = CellText(book_->stream, *cell, book_->globals.sharedStrings);
      break;
    case CellKind::Boolean:
      value.kind = host::CellKind::Boolean;
      value.number = cell->code ? 1 : 0;
      break;
    case CellKind::Error:
      value.kind = host::CellKind::Error;
      value.text = ErrorText(cell->code);
      break;
  }
  return value;
}

void XlsSheet::ReadSortKeys(int firstRow, int lastRow, int keyColumn, SortKeyList& keys) const {
  const std::string_view stream = book_->stream;
  const std::vector<std::string>& strings = book_->globals.sharedStrings;
  const std::vector<CellRef>& cells = records_.cells;
  auto cell = std::lower_bound(cells.begin(), cells.end(), firstRow - 1,
                               [](const CellRef& c, int row0) { return c.row < row0; });
  // At most a key a row: room for them at once (a list grown by doubling
  // would hold up to twice the keys at its peak).
  keys.Reserve(std::min<size_t>(cells.end() - cell, static_cast<size_t>(std::max(lastRow - firstRow + 1, 0))));
  int lastKeyRow = -1;
  for (; cell != cells.end() && cell->row <= lastRow - 1; ++cell) {
    // A cell's second record is passed over, as Value reads the first.
    if (cell->column != keyColumn - 1 || cell->row == lastKeyRow) continue;
    lastKeyRow = cell->row;
    book_->Reached(cell->recordOffset);
    const size_t at = cell->recordOffset + 4;  // the record's body
    const int row = cell->row + 1;
    double number = 0;
    if (RecordNumber(stream, *cell, number)) {
      keys.AddNumber(row, number);
      continue;
    }
    switch (U16(stream, at - 4)) {
      case rt::kLabelSst: keys.AddTextView(row, strings[U32(stream, at + 6)]); break;
      case rt::kBlank:
      case rt::kMulBlank: break;
      default: keys.Add(row, Value(row, keyColumn)); break;
    }
  }
}

std::string_view XlsSheet::FormatCode(int row, int column) const {
  const CellRef* cell = Find(row - 1, column - 1);
  const WorkbookGlobals& globals = book_->globals;
  if (!cell) return "General";
  const uint16_t xf = Decode(*cell).xf;
  if (xf >= globals.xfFormats.size()) return "General";
  uint16_t id = globals.xfFormats[xf];
  auto own = globals.formats.find(id);
  std::string_view code = own != globals.formats.end() ? std::string_view(own->second) : BuiltinFormatCode(id);
  return code.empty() ? std::string_view("General") : code;
}

std::pair<std::string, std::string> XlsSheet::OwnFormula(const CellRef& ref) const {
  const std::string_view stream = book_->stream;
  if (ref.Formula() == FormulaNow::Kept) {
    const uint32_t at = KeptAt(ref);
    std::string_view parsed = std::string_view(formulaArena_).substr(at + 4, U32(formulaArena_, at));
    return {std::string(parsed.substr(2, U16(parsed, 0))), std::string(parsed.substr(2 + U16(parsed, 0)))};
  }
  std::string rgce;
  CurrentRgce(ref, rgce);
  const FormulaArea* shared = SharedFormulaOf(ref);
  return {std::move(rgce), std::string(shared ? stream.substr(shared->extraOffset, shared->extraLength) : RecordRgcb(ref))};
}

uint32_t XlsSheet::KeptAt(const CellRef& ref) const {
  auto found = std::lower_bound(keptAt_.begin(), keptAt_.end(), ref.recordOffset,
                                [](const std::pair<uint32_t, uint32_t>& k, uint32_t offset) { return k.first < offset; });
  return found->second;  // every Kept cell has its entry
}

void XlsSheet::Keep(std::vector<std::pair<uint32_t, uint32_t>> kept) {
  // Entries of cells kept again replace theirs; the rest join in order.
  std::sort(kept.begin(), kept.end());
  std::vector<std::pair<uint32_t, uint32_t>> joined;
  joined.reserve(keptAt_.size() + kept.size());
  auto old = keptAt_.begin();
  for (const auto& entry : kept) {
    while (old != keptAt_.end() && old->first < entry.first) joined.push_back(*old++);
    if (old != keptAt_.end() && old->first == entry.first) ++old;
    joined.push_back(entry);
  }
  joined.insert(joined.end(), old, keptAt_.end());
  keptAt_ = std::move(joined);
}

size_t XlsSheet::OwnFormulaSize(const CellRef& ref) const {
  if (ref.Formula() == FormulaNow::Kept) return U32(formulaArena_, KeptAt(ref));
  // Expanding and shifting keep an expression's size.
  if (const FormulaArea* shared = SharedFormulaOf(ref)) return 2 + shared->formulaLength + shared->extraLength;
  return 2 + U16(book_->stream, ref.recordOffset + 2) - 22;
}

std::string XlsSheet::Extra(const CellRef& ref) const {
  if (ref.Formula() != FormulaNow::AsRead) return OwnFormula(ref).second;
  return std::string(RecordRgcb(ref));
}

std::string_view XlsSheet::RecordRgce(const CellRef& ref) const {
  const size_t at = ref.recordOffset;
  return std::string_view(book_->stream).substr(at + 4 + 22, U16(book_->stream, at + 4 + 20));
}

std::string_view XlsSheet::RecordRgcb(const CellRef& ref) const {
  const size_t at = ref.recordOffset, extraAt = at + 4 + 22 + U16(book_->stream, at + 4 + 20);
  return std::string_view(book_->stream).substr(extraAt, at + 4 + U16(book_->stream, at + 2) - extraAt);
}

namespace {
uint64_t AnchorKey(uint16_t type, uint16_t row, uint16_t column) {
  return uint64_t{type} << 32 | uint32_t{row} << 16 | column;
}
}  // namespace

void XlsSheet::IndexFormulaAreas() {
  areaByAnchor_.clear();
  areaByAnchor_.reserve(records_.formulaAreas.size());
  for (size_t i = 0; i < records_.formulaAreas.size(); ++i) {
    const FormulaArea& a = records_.formulaAreas[i];
    areaByAnchor_.emplace_back(AnchorKey(a.type, a.anchorRow, a.anchorColumn), i);
  }
  // Stable: of two areas with one anchor, the first read is the one found.
  std::stable_sort(areaByAnchor_.begin(), areaByAnchor_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  // Each shared formula's key, worked out at a cell its offsets keep inside the sheet.
  sharedKeys_.assign(records_.formulaAreas.size(), SharedKey{});
  for (size_t i = 0; i < records_.formulaAreas.size(); ++i) {
    const FormulaArea& a = records_.formulaAreas[i];
    if (a.type != rt::kShrFmla) continue;
    SharedKey& shared = sharedKeys_[i];
    const std::string_view rgce = std::string_view(book_->stream).substr(a.formulaOffset, a.formulaLength);
    try {
      // The cell the offsets read from: as high and as far left as they let it be.
      const bool bounded = SharedOffsetBounds(rgce, shared.bounds);
      const int row = -shared.bounds.firstRow, column = -shared.bounds.firstColumn;
      if (!bounded || !shared.bounds.Inside(row, row, column) || !ExpressionShapeKey(rgce, true, row, column, 0, shared.key))
        shared.key.clear();
    } catch (const HostError&) {
      shared.key.clear();  // its cells are read one by one, where Formula() says what is damaged
    }
  }
}

const FormulaArea* XlsSheet::AreaOfAnchor(uint16_t type, uint16_t row, uint16_t column) const {
  const uint64_t key = AnchorKey(type, row, column);
  auto found = std::lower_bound(areaByAnchor_.begin(), areaByAnchor_.end(), key,
                                [](const std::pair<uint64_t, size_t>& a, uint64_t k) { return a.first < k; });
  return found != areaByAnchor_.end() && found->first == key ? &records_.formulaAreas[found->second] : nullptr;
}

const FormulaArea* XlsSheet::SharedFormulaOf(const CellRef& ref) const {
  if (!IsFormula(ref)) return nullptr;
  std::string_view rgce = RecordRgce(ref);
  if (rgce.size() != 5 || U8(rgce, 0) != kPtgExp) return nullptr;
  return AreaOfAnchor(rt::kShrFmla, U16(rgce, 1), U16(rgce, 3));
}

std::string XlsSheet::CurrentRgce(const CellRef& ref) const {
  std::string out;
  CurrentRgce(ref, out);
  return out;
}

void XlsSheet::CurrentRgce(const CellRef& ref, std::string& out) const {
  const std::string_view stream = book_->stream;
  if (ref.Formula() == FormulaNow::Kept) {
    const std::string_view parsed = std::string_view(formulaArena_).substr(KeptAt(ref) + 4);
    out.assign(parsed.substr(2, U16(parsed, 0)));
    return;
  }
  // A Derived cell's expression is its record's (a shared formula's expanded
  // at the row it was read at), shifted by the rows it moved since.
  const int readRow = ref.Formula() == FormulaNow::AsRead ? ref.row : U16(stream, ref.recordOffset + 4);
  if (const FormulaArea* shared = SharedFormulaOf(ref)) {
    out.assign(stream.substr(shared->formulaOffset, shared->formulaLength));
    ExpandAndShiftIn(out, 0, out.size(), readRow, ref.column, ref.row - readRow);
    return;
  }
  out.assign(RecordRgce(ref));
  if (ref.row != readRow) ShiftFormulaRowsIn(out, 0, out.size(), ref.row - readRow);
}

FormulaKey XlsSheet::FormulaShapeKey(int row, int column, std::string& key) const {
  const CellRef* cell = Find(row - 1, column - 1);
  if (!cell || !IsFormula(*cell)) return FormulaKey::None;
  const std::string_view stream = book_->stream;
  try {
    // The expression as read, and where and how far its cell moved since (see CurrentRgce).
    const FormulaArea* shared = nullptr;
    std::string_view rgce;
    int readRow = cell->row;
    if (cell->Formula() == FormulaNow::Kept) {
      const std::string_view parsed = std::string_view(formulaArena_).substr(KeptAt(*cell) + 4);
      rgce = parsed.substr(2, U16(parsed, 0));
    } else {
      if (cell->Formula() != FormulaNow::AsRead) readRow = U16(stream, cell->recordOffset + 4);
      shared = SharedFormulaOf(*cell);
      rgce = shared ? stream.substr(shared->formulaOffset, shared->formulaLength) : RecordRgce(*cell);
      // Most cells of a shared formula read nothing past the sheet's edge: they have its key.
      const SharedKey* known = shared ? &sharedKeys_[static_cast<size_t>(shared - records_.formulaAreas.data())] : nullptr;
      if (known && !known->key.empty() && known->bounds.Inside(readRow, cell->row, cell->column)) {
        key = known->key;
        return FormulaKey::Keyed;
      }
    }
    // An array formula's or a data table's cell names its formula elsewhere.
    if (!shared && rgce.size() == 5 && (U8(rgce, 0) == kPtgExp || U8(rgce, 0) == kPtgTbl)) return FormulaKey::TextOnly;
    return ExpressionShapeKey(rgce, shared != nullptr, readRow, cell->column, cell->row - readRow, key) ? FormulaKey::Keyed
                                                                                                     : FormulaKey::TextOnly;
  } catch (const HostError&) {
    return FormulaKey::TextOnly;  // Formula() says what is damaged
  }
}

std::string XlsSheet::Formula(int row, int column) const {
  const CellRef* cell = Find(row - 1, column - 1);
  if (!cell || !IsFormula(*cell)) return {};
  const WorkbookGlobals& globals = book_->globals;
  FormulaContext context = globals.NamesContext();
  std::string rgce = CurrentRgce(*cell);
  if (rgce.size() == 5 && (U8(rgce, 0) == kPtgExp || U8(rgce, 0) == kPtgTbl)) {
    // A cell of an array formula shows the array's formula; a data table's cells have none.
    const FormulaArea* array = AreaOfAnchor(rt::kArray, U16(rgce, 1), U16(rgce, 3));
    if (!array) return {};
    auto moved = arrayRgce_.find(array->offset);
    std::string arrayRgce = moved != arrayRgce_.end()
                                ? moved->second
                                : std::string(book_->stream.substr(array->formulaOffset, array->formulaLength));
    context.extra = std::string_view(book_->stream).substr(array->extraOffset, array->extraLength);
    return FormulaText(arrayRgce, array->anchorRow, array->anchorColumn, context);
  }
  const std::string extra = Extra(*cell);
  context.extra = extra;
  return FormulaText(rgce, cell->row, cell->column, context);
}

bool XlsSheet::RowHidden(int row) const {
  auto it = std::lower_bound(records_.rows.begin(), records_.rows.end(), row - 1,
                             [](const RowRecord& r, int v) { return r.row < v; });
  return it != records_.rows.end() && it->row == row - 1 && it->hidden;
}

void XlsSheet::SetRowHidden(int row, bool hidden) {
  if (row < 1 || row > Grid().lastRow) return;  // the core refuses hiding past the grid
  auto it = std::lower_bound(records_.rows.begin(), records_.rows.end(), row - 1,
                             [](const RowRecord& r, int v) { return r.row < v; });
  if (it == records_.rows.end() || it->row != row - 1) {
    if (!hidden) return;
    RowRecord made;
    made.row = static_cast<uint16_t>(row - 1);
    made.offset = kCreated;
    it = records_.rows.insert(it, made);
  }
  if (it->hidden == hidden) return;
  it->hidden = hidden;
  // The sheet changed while a row's flag differs from what was read.
  if (it->offset != kCreated) book_->Reached(it->offset);
  bool hiddenAtOpen = it->offset != kCreated && U8(book_->stream, it->offset + 4 + 12) & 0x20;
  rowsFlipped_ += hidden != hiddenAtOpen ? 1 : -1;
  if (it->offset == kCreated && !hidden) records_.rows.erase(it);
}

bool XlsSheet::SortProtected() const {
  return records_.protectedSheet && !(records_.enhancedProtection && (records_.protectionAllows & kAllowsSort));
}

bool XlsSheet::RowFormattingProtected() const {
  return records_.protectedSheet &&
         !(records_.enhancedProtection && (records_.protectionAllows & kAllowsFormatRows));
}

}  // namespace host::biff
