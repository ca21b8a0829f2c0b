// The binary sheet's side of a sort: the move the core decided (RowSort.h)
// applied to the cell records, which go whole to their new rows with the
// records that follow them; formulas shifted as a copy would shift them,
// the members of a shared formula that a move touches each given its own
// expression, a one-row array formula moved with its cells.

#include <algorithm>
#include <unordered_set>

#include "host/formats/xlsb/XlsbCells.h"
#include "host/formats/xlsb/XlsbFormula.h"
#include "host/formats/xlsb/XlsbRecords.h"
#include "host/formats/xlsb/XlsbSheet.h"
#include "host/io/LittleEndian.h"
#include "host/io/PartMemory.h"

namespace host::xlsb {

size_t XlsbSheet::MoveRows(const RowMove& move) {
  const int32_t r0 = move.area.firstRow - 1, r1 = move.area.lastRow - 1;
  const int32_t c0 = move.area.firstColumn - 1, c1 = move.area.lastColumn - 1;
  auto inArea = [&](const CellRec& c) { return c.row >= r0 && c.row <= r1 && c.column >= c0 && c.column <= c1; };
  auto newRow = [&](const CellRec& c) { return move.targetOf[static_cast<size_t>(c.row - r0)] - 1; };
  auto moves = [&](const CellRec& c) { return inArea(c) && newRow(c) != c.row; };

  size_t moved = 0;
  int32_t lastCounted = -1;
  for (const CellRec& c : cells_)
    if (moves(c) && c.row != lastCounted) {
      lastCounted = c.row;
      ++moved;
    }
  if (moved == 0) return 0;
  // The array the cells are placed into after the move: its pages are put in
  // on another thread while the formulas are worked out below.
  HugeVector<CellRec> placed;
  placed.reserve(cells_.size());
  PagePrefault prefault(reinterpret_cast<char*>(placed.data()), placed.capacity() * sizeof(CellRec));

  // Everything that can fail is worked out before anything changes: a
  // damaged formula stops the sort with the sheet as it was.
  auto anchorOf = [&](const CellRec& c, std::string_view& rgce, std::string_view& rgcb) -> const FormulaArea* {
    const std::string_view body = Body(c);
    SplitFormula(body, FormulaOffset(c.type, body), rgce, rgcb);
    int row = 0, column = 0;
    return FormulaAnchor(rgce, rgcb, row, column) ? AreaAt(row, column) : nullptr;
  };
  std::unordered_set<const FormulaArea*> dropped;
  for (const CellRec& c : cells_) {
    if (!IsFormulaRecord(c.type) || !moves(c)) continue;
    std::string_view rgce, rgcb;
    const FormulaArea* area = anchorOf(c, rgce, rgcb);
    if (area && area->type == rt::kShrFmla) dropped.insert(area);
  }
  std::vector<std::pair<size_t, std::string>> bodies;  // cells_ index, new body
  std::vector<std::pair<const FormulaArea*, std::string>> arrays;  // moved array formulas' new tokens
  for (size_t i = 0; holdsFormulas_ && i < cells_.size(); ++i) {
    const CellRec& c = cells_[i];
    if (!IsFormulaRecord(c.type)) continue;
    std::string_view rgce, rgcb;
    const FormulaArea* area = anchorOf(c, rgce, rgcb);
    const bool moving = moves(c);
    const int delta = moving ? newRow(c) - c.row : 0;
    if (area && dropped.count(area)) {
      std::string own = ExpandSharedFormula(area->rgce, c.row, c.column);
      if (moving) own = ShiftFormulaRows(own, delta);
      bodies.emplace_back(i, WithFormula(c.type, Body(c), own, area->rgcb));
    } else if (moving && area) {
      // A member of a one-row array formula: it names the array's first
      // cell, which moves with it.
      std::string own(rgce);
      io::Put(own, 1, static_cast<uint32_t>(io::U32(rgce, 1) + delta), 4);
      bodies.emplace_back(i, WithFormula(c.type, Body(c), own, rgcb));
      if (area->firstRow == c.row && area->firstColumn == c.column) arrays.emplace_back(area, ShiftFormulaRows(area->rgce, delta));
    } else if (moving) {
      bodies.emplace_back(i, WithFormula(c.type, Body(c), ShiftFormulaRows(rgce, delta), rgcb));
    }
  }

  // Nothing can fail from here on.
  for (auto& [index, body] : bodies) {
    own_.push_back(std::move(body));
    cells_[index].own = static_cast<int32_t>(own_.size() - 1);
  }
  for (const FormulaArea* area : dropped) const_cast<FormulaArea*>(area)->dropped = true;
  for (auto& [constArea, rgce] : arrays) {
    auto* area = const_cast<FormulaArea*>(constArea);
    const int32_t row = move.targetOf[static_cast<size_t>(area->firstRow - r0)] - 1;
    area->rgce = std::move(rgce);
    area->firstRow = area->lastRow = row;
    area->moved = true;
  }
  if (changedRows_.empty()) changedRows_.assign(1048576, false);
  for (CellRec& c : cells_)
    if (moves(c)) {
      changedRows_[static_cast<size_t>(c.row)] = true;
      c.row = newRow(c);
      changedRows_[static_cast<size_t>(c.row)] = true;
    }
  ReorderCells(placed);
  IndexAreas();
  moves_.push_back(move);
  modified_ = true;
  return moved;
}

void XlsbSheet::ReorderCells(HugeVector<CellRec>& placed) {
  // Placed by row, counting (a sort of a million cells costs more), each
  // row's cells in the order they stood; a row that took cells from another
  // row beside cells that stayed (a sort of some of its columns) is then put
  // in column order.
  int32_t lastRow = 0;
  for (const CellRec& c : cells_) lastRow = std::max(lastRow, c.row);
  std::vector<uint32_t> next(static_cast<size_t>(lastRow) + 2, 0);
  for (const CellRec& c : cells_) ++next[static_cast<size_t>(c.row) + 1];
  for (size_t r = 1; r < next.size(); ++r) next[r] += next[r - 1];
  placed.resize(cells_.size());
  for (const CellRec& c : cells_) placed[next[static_cast<size_t>(c.row)]++] = c;
  auto byColumn = [](const CellRec& a, const CellRec& b) { return a.column < b.column; };
  for (size_t first = 0; first < placed.size();) {
    size_t last = first + 1;
    while (last < placed.size() && placed[last].row == placed[first].row) ++last;
    if (!std::is_sorted(placed.begin() + first, placed.begin() + last, byColumn))
      std::sort(placed.begin() + first, placed.begin() + last, byColumn);
    first = last;
  }
  cells_ = std::move(placed);
}

}  // namespace host::xlsb
