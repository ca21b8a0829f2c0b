// The .xls sheet's side of a sort: the move the core decided (RowSort.h)
// applied to the cell records, which move whole to their new rows, formulas
// shifted as a copy would shift them, shared formulas of moved cells made
// into each cell's own.

#include <algorithm>

#include "host/formats/biff/BiffRecords.h"
#include "host/formats/biff/FormulaTokens.h"
#include "host/io/LittleEndian.h"
#include "host/formats/biff/XlsSheet.h"

namespace host::biff {

using namespace host::io;  // the container and the byte helpers the records sit in

namespace {

constexpr uint8_t kPtgExp = 0x01, kPtgTbl = 0x02;

CellArea AreaOf(const RecordArea& a) {
  return CellArea{a.firstRow + 1, a.firstColumn + 1, a.lastRow + 1, a.lastColumn + 1};
}

}  // namespace

std::vector<CellArea> XlsSheet::MergedCellAreas() const {
  std::vector<CellArea> areas;
  for (const RecordArea& m : records_.merged) areas.push_back(AreaOf(m));
  return areas;
}

std::vector<CellArea> XlsSheet::ArrayFormulaAreas() const {
  std::vector<CellArea> arrays;
  for (const FormulaArea& f : records_.formulaAreas)
    if (f.type != rt::kShrFmla) arrays.push_back(AreaOf(f.area));
  return arrays;
}

size_t XlsSheet::MoveRows(const RowMove& move) {
  const CellArea area = move.area;
  std::vector<int> targetOf = move.targetOf;
  const int firstRow0 = area.firstRow - 1, lastRow0 = area.lastRow - 1;
  const int firstColumn0 = area.firstColumn - 1, lastColumn0 = area.lastColumn - 1;
  auto inArea = [&](const CellRef& c) {
    return c.row >= firstRow0 && c.row <= lastRow0 && c.column >= firstColumn0 && c.column <= lastColumn0;
  };
  // Rows whose cells go elsewhere.
  size_t moved = 0;
  int lastCounted = -1;
  for (const CellRef& c : records_.cells)
    if (inArea(c) && c.row != lastCounted) {
      lastCounted = c.row;
      if (targetOf[c.row - firstRow0] != c.row + 1) ++moved;
    }
  if (moved == 0) return 0;
  auto newRow0 = [&](const CellRef& c) { return targetOf[c.row - firstRow0] - 1; };

  // The formulas anew, worked out before anything changes (a damaged
  // expression stops the sort with the sheet as it was): pending[i] is where
  // cell i's new CellParsedFormula stands in arena, or kDerivedFormula.
  std::vector<CellRef>& cells = records_.cells;
  std::vector<uint32_t> pending;
  std::vector<bool> expanded;
  std::string arena;
  std::unordered_set<size_t> dropped;
  std::unordered_map<size_t, std::string> arrayRgce;
  auto keep = [&](size_t i, std::string_view rgce, std::string_view rgcb) {
    pending[i] = static_cast<uint32_t>(arena.size());
    Append(arena, 2 + rgce.size() + rgcb.size(), 4);
    Append(arena, rgce.size(), 2);
    arena.append(rgce);
    arena.append(rgcb);
  };
  if (records_.holdsFormulas) {
    pending.assign(cells.size(), UINT32_MAX);
    expanded.assign(cells.size(), false);
  }
  // Shared formulas with a moving member: every member gets its own expression.
  auto sharedAnchor = [&](const CellRef& c) -> const FormulaArea* {
    return c.newFormula == UINT32_MAX ? SharedFormulaOf(c) : nullptr;
  };
  for (const CellRef& c : cells)
    if (inArea(c) && newRow0(c) != c.row && IsFormula(c))
      if (const FormulaArea* shared = sharedAnchor(c)) dropped.insert(shared->offset);
  for (size_t i = 0; !dropped.empty() && i < cells.size(); ++i) {
    const CellRef& c = cells[i];
    if (!IsFormula(c)) continue;
    const FormulaArea* shared = sharedAnchor(c);
    if (!shared || !dropped.count(shared->offset)) continue;
    pending[i] = kDerivedFormula;
    expanded[i] = true;
    if (inArea(c) && newRow0(c) != c.row) continue;  // expanded with its move below
    // Checked here, worked out again when written (see OwnFormula).
    (void)ExpandSharedFormula(std::string_view(book_->stream).substr(shared->formulaOffset, shared->formulaLength),
                              c.row, c.column);
  }
  for (size_t i = 0; records_.holdsFormulas && i < cells.size(); ++i) {
    const CellRef& c = cells[i];
    if (!inArea(c) || newRow0(c) == c.row || !IsFormula(c)) continue;
    const int delta = newRow0(c) - c.row;
    std::string rgce, rgcb;
    if (expanded[i]) {
      const FormulaArea* shared = sharedAnchor(c);
      std::string_view stream = book_->stream;
      rgce = ExpandSharedFormula(stream.substr(shared->formulaOffset, shared->formulaLength), c.row, c.column);
      rgcb = stream.substr(shared->extraOffset, shared->extraLength);
    } else {
      rgce = CurrentRgce(c);
      rgcb = Extra(c);
    }
    if (rgce.size() == 5 && (U8(rgce, 0) == kPtgExp || U8(rgce, 0) == kPtgTbl)) {
      // A cell of a one-row array or data table: it names the area's first
      // cell, which moves with it (the sort plan refuses any other case).
      uint16_t anchorRow = U16(rgce, 1), anchorColumn = U16(rgce, 3);
      Put(rgce, 1, static_cast<uint16_t>(anchorRow + delta), 2);
      if (anchorRow == c.row && anchorColumn == c.column) {
        if (const FormulaArea* a = AreaOfAnchor(rt::kArray, c.row, c.column)) {
          auto done = arrayRgce_.find(a->offset);
          std::string current = done != arrayRgce_.end()
                                    ? done->second
                                    : std::string(book_->stream.substr(a->formulaOffset, a->formulaLength));
          arrayRgce[a->offset] = ShiftFormulaRows(current, delta);
        }
      }
    } else {
      rgce = ShiftFormulaRows(rgce, delta);
      if (c.newFormula == UINT32_MAX) {
        // A first move: the formula follows from the record and the move,
        // worked out again when written rather than kept.
        pending[i] = kDerivedFormula;
        continue;
      }
    }
    keep(i, rgce, rgcb);
  }

  // Nothing can fail from here on.
  const uint32_t base = static_cast<uint32_t>(formulaArena_.size());
  formulaArena_ += arena;
  for (size_t i = 0; i < pending.size(); ++i) {
    if (pending[i] == UINT32_MAX) continue;
    cells[i].newFormula = pending[i] == kDerivedFormula ? kDerivedFormula : base + pending[i];
  }
  for (auto& [offset, rgce] : arrayRgce) arrayRgce_[offset] = std::move(rgce);
  droppedShared_.insert(dropped.begin(), dropped.end());
  for (FormulaArea& a : records_.formulaAreas) {
    if (a.type == rt::kShrFmla || a.anchorRow < firstRow0 || a.anchorRow > lastRow0 || a.anchorColumn < firstColumn0 ||
        a.anchorColumn > lastColumn0)
      continue;
    uint16_t row = static_cast<uint16_t>(targetOf[a.anchorRow - firstRow0] - 1);
    a.area.firstRow = a.area.lastRow = a.anchorRow = row;
  }
  IndexFormulaAreas();
  for (CellRef& c : records_.cells)
    if (inArea(c)) c.row = static_cast<uint16_t>(newRow0(c));
  SortCells(records_.cells);
  moves_.push_back(RowMove{area, std::move(targetOf), {}});
  sorted_ = true;
  return moved;
}

}  // namespace host::biff
