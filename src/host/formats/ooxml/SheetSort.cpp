// The worksheet part's side of a sort: the keys read once from the cell
// records, and the move the core decided (RowSort.h) applied by rebuilding
// the cell records with the moved cells in their new rows. Formulas of
// moved cells shift as a copy would shift them; array formulas keep their
// area with their row.

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <unordered_set>

#include "host/core/FormulaShift.h"
#include "host/formats/ooxml/OoxmlEscapes.h"
#include "host/formats/ooxml/SharedStrings.h"
#include "host/formats/ooxml/SheetData.h"
#include "host/core/SortPlan.h"
#include "host/core/SortKeys.h"

namespace host::ooxml {

void SheetData::MergeCreatedRows() {
  if (createdRows_.empty()) return;
  HugeVector<RowRecord> merged;
  merged.reserve(rows_.size() + createdRows_.size());
  auto it = createdRows_.begin();
  auto makeRow = [this](int row, bool hidden) {
    RowRecord r{};
    r.row = row;
    r.hiddenSet = hidden ? 1 : -1;
    r.created = 1;
    r.firstCell = static_cast<uint32_t>(cells_.size());
    return r;
  };
  for (const RowRecord& r : rows_) {
    while (it != createdRows_.end() && it->first < r.row) {
      merged.push_back(makeRow(it->first, it->second));
      ++it;
    }
    merged.push_back(r);
  }
  for (; it != createdRows_.end(); ++it) merged.push_back(makeRow(it->first, it->second));
  // Created rows hold no cells: give them an empty slice at the right place.
  uint32_t next = 0;
  for (RowRecord& r : merged) {
    if (r.created && r.cellCount == 0) r.firstCell = next;
    next = r.firstCell + r.cellCount;
  }
  rows_.swap(merged);
  createdRows_.clear();
}

void SheetData::ExpandSharedFormulas(const CellArea& area) {
  // Which shared groups have a member inside the area?
  auto siOf = [this](const CellRecord& cell) -> int64_t {
    std::string_view element = Span(cell.begin, cell.length);
    size_t pos = element.find("si=");
    while (pos != std::string_view::npos) {
      char quote = pos + 3 < element.size() ? element[pos + 3] : 0;
      if ((quote == '"' || quote == '\'') && (pos == 0 || element[pos - 1] == ' ' || element[pos - 1] == '\t' ||
                                              element[pos - 1] == '\n' || element[pos - 1] == '\r')) {
        return std::strtoll(element.data() + pos + 4, nullptr, 10);
      }
      pos = element.find("si=", pos + 3);
    }
    return -1;
  };
  std::unordered_set<int64_t> groups;
  for (const RowRecord& r : rows_) {
    if (r.row < area.firstRow || r.row > area.lastRow) continue;
    for (uint32_t i = r.firstCell; i < r.firstCell + r.cellCount; ++i) {
      const CellRecord& c = cells_[i];
      if ((c.flags & kSharedFormula) && !(c.flags & kFormulaChanged) && c.column >= area.firstColumn &&
          c.column <= area.lastColumn)
        groups.insert(siOf(c));
    }
  }
  if (groups.empty()) return;
  for (const RowRecord& r : rows_) {
    for (uint32_t i = r.firstCell; i < r.firstCell + r.cellCount; ++i) {
      CellRecord& c = cells_[i];
      if (!(c.flags & kSharedFormula) || (c.flags & kFormulaChanged) || !groups.count(siOf(c))) continue;
      formulas_[c.begin] = CurrentFormula(c, r.row);
      c.flags |= kFormulaChanged;
    }
  }
  for (RowRecord& r : rows_) {
    for (uint32_t i = r.firstCell; i < r.firstCell + r.cellCount; ++i)
      if ((cells_[i].flags & kSharedFormula) && (cells_[i].flags & kFormulaChanged)) r.dirty = 1;
  }
  modified_ = true;
}

void SheetData::ReadSortKeys(int firstRowNumber, int lastRowNumber, int keyColumn, SortKeyList& keys) const {
  auto firstRow = std::lower_bound(rows_.begin(), rows_.end(), firstRowNumber,
                                   [](const RowRecord& r, int v) { return r.row < v; });
  auto lastRow = std::upper_bound(firstRow, rows_.end(), lastRowNumber,
                                  [](int v, const RowRecord& r) { return v < r.row; });
  for (auto it = firstRow; it != lastRow; ++it) {
    const CellRecord* b = cells_.data() + it->firstCell;
    const CellRecord* e = b + it->cellCount;
    const CellRecord* cell = std::lower_bound(b, e, keyColumn, [](const CellRecord& c, int v) { return c.column < v; });
    if (cell == e || cell->column != keyColumn) continue;
    const int row = it->row;
    if (cell->flags & kUncalculated) {
      keys.AddUncalculated(row);
      continue;
    }
    switch (cell->kind) {
      case ValueKind::Number: keys.AddNumber(row, cell->value.number); break;
      case ValueKind::IsoDate: {
        double serial = 0;
        std::string_view raw = Span(cell->value.span.offset, cell->value.span.size);
        if (IsoDateToSerial(raw, date1904_, serial))
          keys.AddNumber(row, serial);
        else
          keys.AddTextView(row, raw);
        break;
      }
      case ValueKind::Shared: keys.AddTextView(row, strings_->Get(cell->value.index)); break;
      case ValueKind::String:
      case ValueKind::Inline: {
        std::string text = cell->kind == ValueKind::Inline
                               ? InlineText(*cell)
                               : DecodeXml(Span(cell->value.span.offset, cell->value.span.size));
        if (cell->kind == ValueKind::String && HasOoxmlEscape(text)) text = DecodeOoxmlEscapes(text);
        keys.AddText(row, std::move(text));
        break;
      }
      case ValueKind::Boolean: keys.AddBoolean(row, cell->value.number != 0); break;
      case ValueKind::Error: keys.AddError(row); break;
      case ValueKind::Blank: break;
    }
  }
}

size_t SheetData::MoveRows(const RowMove& move) {
  const CellArea area = move.area;
  MergeCreatedRows();
  // Rows of the area that hold cells within its columns.
  auto firstRow = std::lower_bound(rows_.begin(), rows_.end(), area.firstRow,
                                   [](const RowRecord& r, int v) { return r.row < v; });
  auto lastRow = std::upper_bound(firstRow, rows_.end(), area.lastRow,
                                  [](int v, const RowRecord& r) { return v < r.row; });
  auto rangeCells = [&](const RowRecord& r) {
    const CellRecord* b = cells_.data() + r.firstCell;
    const CellRecord* e = b + r.cellCount;
    const CellRecord* lo = std::lower_bound(b, e, area.firstColumn, [](const CellRecord& c, int v) { return c.column < v; });
    const CellRecord* hi = std::upper_bound(lo, e, area.lastColumn, [](int v, const CellRecord& c) { return v < c.column; });
    return std::pair<const CellRecord*, const CellRecord*>(lo, hi);
  };
  size_t height = static_cast<size_t>(area.lastRow - area.firstRow + 1);
  RowNumbers targetOf = move.targetOf;
  // indexOf[row - firstRow] = index of the row's record when it holds cells of the area
  std::vector<int32_t> indexOf(height, -1);
  for (auto it = firstRow; it != lastRow; ++it) {
    auto [lo, hi] = rangeCells(*it);
    if (lo != hi) indexOf[it->row - area.firstRow] = static_cast<int32_t>(it - rows_.begin());
  }
  // incoming[target - firstRow] = index of the row whose cells land there (-1: none)
  std::vector<int32_t> incoming(height, -1);
  size_t movedRows = 0;
  for (size_t k = 0; k < height; ++k) {
    const int source = area.firstRow + static_cast<int>(k);
    const size_t t = static_cast<size_t>(targetOf[k] - area.firstRow);
    incoming[t] = indexOf[k];
    if (indexOf[k] >= 0 && targetOf[k] != source) ++movedRows;
  }
  indexOf.clear();
  indexOf.shrink_to_fit();
  if (movedRows == 0) return 0;

  ExpandSharedFormulas(area);

  // Rows that receive cells but have no element yet are made.
  HugeVector<RowRecord> newRows;
  newRows.reserve(rows_.size() + 16);
  {
    size_t oi = 0;
    for (size_t t = 0; t < height; ++t) {
      if (incoming[t] < 0) continue;
      int target = area.firstRow + static_cast<int>(t);
      while (oi < rows_.size() && rows_[oi].row < target) newRows.push_back(rows_[oi++]);
      if (oi < rows_.size() && rows_[oi].row == target) continue;
      RowRecord r{};
      r.row = target;
      r.hiddenSet = -1;
      r.created = 1;
      r.dirty = 1;
      r.firstCell = UINT32_MAX;  // no cells of its own
      newRows.push_back(r);
    }
    while (oi < rows_.size()) newRows.push_back(rows_[oi++]);
  }

  const std::vector<CellArea> arraysBefore = arrays_;
  // A cell that lands in another row is marked moved, its array area and
  // formula moved with it.
  auto moveCell = [&](CellRecord& moved, const CellRecord& was, int source, int target) {
    moved.flags |= kMoved;
    if (moved.flags & kArrayFormula) {
      // The array's area moves with its row: same columns, new row.
      for (CellArea a : arraysBefore) {
        if (a.firstRow != source || a.firstColumn != was.column) continue;
        a.firstRow = a.lastRow = target;
        arrayRefs_[moved.begin] = PlainAddress(a);
        break;
      }
    }
    if (moved.flags & kFormula) {
      std::string formula = CurrentFormula(was, source);
      formulas_[moved.begin] = ShiftFormula(formula, target - source, 0);
      moved.flags |= kFormulaChanged;
    }
  };
  auto within = [&](const CellRecord* b, const CellRecord* e) {
    return b == e || (b->column >= area.firstColumn && (e - 1)->column <= area.lastColumn);
  };
  // Rows outside the area and rows that keep their cells keep their slice.
  // A row whose cells all lie within the columns takes the slice of the row
  // whose cells land there, when all of those do too (a sort of whole rows:
  // no cell is copied). Any other row of the area gets a new slice: its own
  // cells outside the columns around the source's within, added after the
  // cells read.
  std::vector<CellRecord> added;
  std::vector<uint8_t> inAdded(newRows.size(), 0), taken(rows_.size(), 0);
  for (size_t k = 0; k < newRows.size(); ++k) {
    RowRecord& r = newRows[k];
    if (r.row < area.firstRow || r.row > area.lastRow) continue;
    bool own = r.firstCell != UINT32_MAX;
    const CellRecord* b = own ? cells_.data() + r.firstCell : nullptr;
    const CellRecord* e = own ? b + r.cellCount : nullptr;
    const int32_t sourceIndex = incoming[r.row - area.firstRow];
    const int source = sourceIndex >= 0 ? rows_[sourceIndex].row : 0;
    if (source == r.row) continue;
    const CellRecord* c = b;
    while (c != e && c->column < area.firstColumn) ++c;
    const bool hadInRange = c != e && c->column <= area.lastColumn;
    if (source != 0 || hadInRange) r.dirty = 1;
    if (sourceIndex >= 0 && !taken[sourceIndex] && within(b, e)) {
      const RowRecord& src = rows_[sourceIndex];
      CellRecord* sb = cells_.data() + src.firstCell;
      CellRecord* se = sb + src.cellCount;
      if (within(sb, se)) {
        taken[sourceIndex] = 1;
        for (CellRecord* s = sb; s != se; ++s) moveCell(*s, *s, source, r.row);
        r.firstCell = src.firstCell;
        r.cellCount = src.cellCount;
        continue;
      }
    }
    const uint32_t first = static_cast<uint32_t>(added.size());
    added.insert(added.end(), b, c);
    while (c != e && c->column <= area.lastColumn) ++c;
    if (sourceIndex >= 0) {
      const RowRecord* src = &rows_[sourceIndex];
      const CellRecord* sb = cells_.data() + src->firstCell;
      const CellRecord* se = sb + src->cellCount;
      for (const CellRecord* s = sb; s != se; ++s) {
        if (s->column < area.firstColumn || s->column > area.lastColumn) continue;
        CellRecord moved = *s;
        moveCell(moved, *s, source, r.row);
        added.push_back(moved);
      }
    }
    added.insert(added.end(), c, e);
    inAdded[k] = 1;
    r.firstCell = first;
    r.cellCount = static_cast<uint32_t>(added.size() - first);
  }
  const uint32_t base = static_cast<uint32_t>(cells_.size());
  cells_.insert(cells_.end(), added.begin(), added.end());
  for (size_t k = 0; k < newRows.size(); ++k) {
    if (inAdded[k]) newRows[k].firstCell += base;
    else if (newRows[k].firstCell == UINT32_MAX) newRows[k].firstCell = base;  // no cells
  }
  rows_.swap(newRows);
  for (CellArea& a : arrays_)
    if (area.Contains(a)) a.firstRow = a.lastRow = targetOf[a.firstRow - area.firstRow];
  moves_.push_back(RowMove{area, std::move(targetOf), {}});
  modified_ = true;
  usedValid_ = false;
  return movedRows;
}

}  // namespace host::ooxml
