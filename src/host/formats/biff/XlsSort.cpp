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
  RowNumbers targetOf = move.targetOf;
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
  // expression stops the sort with the sheet as it was). Most moved formulas
  // follow from their record and the move alone (FormulaNow::Derived, worked out
  // when written): only their expressions are checked here, a shared
  // formula's once for all its cells. The others are kept in arena.
  std::vector<CellRef>& cells = records_.cells;
  std::vector<uint32_t> derived;                    // cells whose formula becomes Derived
  std::vector<std::pair<uint32_t, uint32_t>> kept;  // cell, where its CellParsedFormula stands in arena
  std::string arena;
  std::unordered_set<size_t> dropped;
  std::unordered_map<size_t, std::string> arrayRgce;
  auto keep = [&](size_t i, std::string_view rgce, std::string_view rgcb) {
    kept.emplace_back(static_cast<uint32_t>(i), static_cast<uint32_t>(arena.size()));
    Append(arena, 2 + rgce.size() + rgcb.size(), 4);
    Append(arena, rgce.size(), 2);
    arena.append(rgce);
    arena.append(rgcb);
  };
  auto refersToArea = [](std::string_view rgce) {
    return rgce.size() == 5 && (U8(rgce, 0) == kPtgExp || U8(rgce, 0) == kPtgTbl);
  };
  // The shared formula a formula cell read from the file names (nullptr for
  // one written anew); runs of cells name the same one, so the last is kept.
  const FormulaArea* lastShared = nullptr;
  uint32_t lastKey = UINT32_MAX;
  auto sharedAnchor = [&](const CellRef& c) -> const FormulaArea* {
    if (c.Formula() != FormulaNow::AsRead) return nullptr;
    std::string_view rgce = RecordRgce(c);
    if (rgce.size() != 5 || U8(rgce, 0) != kPtgExp) return nullptr;
    const uint32_t key = U32(rgce, 1);
    if (key != lastKey) {
      lastKey = key;
      lastShared = AreaOfAnchor(rt::kShrFmla, U16(rgce, 1), U16(rgce, 3));
    }
    return lastShared;
  };
  auto moves = [&](const CellRef& c) { return inArea(c) && newRow0(c) != c.row; };
  if (records_.holdsFormulas) {
    // Shared formulas with a moving member: every member gets its own expression.
    for (const CellRef& c : cells) {
      book_->Reached(c.recordOffset);
      if (moves(c) && IsFormula(c))
        if (const FormulaArea* shared = sharedAnchor(c)) dropped.insert(shared->offset);
    }
    std::string_view stream = book_->stream;
    for (const FormulaArea& a : records_.formulaAreas)
      if (a.type == rt::kShrFmla && dropped.count(a.offset))
        (void)ShiftFormulaRows(
            ExpandSharedFormula(stream.substr(a.formulaOffset, a.formulaLength), a.anchorRow, a.anchorColumn), 0);
  }
  for (size_t i = 0; records_.holdsFormulas && i < cells.size(); ++i) {
    const CellRef& c = cells[i];
    book_->Reached(c.recordOffset);
    if (!IsFormula(c)) continue;
    const FormulaArea* shared = sharedAnchor(c);
    if (shared && !dropped.count(shared->offset)) shared = nullptr;
    if (!moves(c)) {
      if (shared) derived.push_back(static_cast<uint32_t>(i));
      continue;
    }
    const int delta = newRow0(c) - c.row;
    std::string_view stream = book_->stream;
    if (c.Formula() == FormulaNow::AsRead) {
      // A first move: the formula follows from the record and the move.
      const std::string_view own = shared ? stream.substr(shared->formulaOffset, shared->formulaLength) : RecordRgce(c);
      if (!refersToArea(own)) {
        if (!shared) (void)ShiftFormulaRows(own, delta);  // checked (a shared one was above)
        derived.push_back(static_cast<uint32_t>(i));
        continue;
      }
    }
    std::string rgce, rgcb;
    if (shared) {
      rgce = ExpandSharedFormula(stream.substr(shared->formulaOffset, shared->formulaLength), c.row, c.column);
      rgcb = stream.substr(shared->extraOffset, shared->extraLength);
    } else {
      rgce = CurrentRgce(c);
      rgcb = Extra(c);
    }
    if (refersToArea(rgce)) {
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
    }
    keep(i, rgce, rgcb);
  }

  // Nothing can fail from here on.
  const uint32_t base = static_cast<uint32_t>(formulaArena_.size());
  formulaArena_ += arena;
  for (uint32_t i : derived) cells[i].formula = static_cast<uint16_t>(FormulaNow::Derived);
  for (auto& [i, at] : kept) {
    cells[i].formula = static_cast<uint16_t>(FormulaNow::Kept);
    i = cells[i].recordOffset;
    at += base;
  }
  Keep(std::move(kept));
  std::vector<uint32_t>().swap(derived);
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
  // Fresh results go with their cells, which the move reorders.
  std::vector<std::pair<uint32_t, uint32_t>> resultAt;  // FORMULA record offset, resultOf_ entry
  for (size_t i = 0; i < resultOf_.size(); ++i)
    if (resultOf_[i] != 0) resultAt.emplace_back(records_.cells[i].recordOffset, resultOf_[i]);
  MoveCellRows(records_.cells, area, targetOf);
  IndexRows();
  if (!resultAt.empty()) {
    std::sort(resultAt.begin(), resultAt.end());
    for (size_t i = 0; i < records_.cells.size(); ++i) {
      const uint32_t offset = records_.cells[i].recordOffset;
      auto found = std::lower_bound(resultAt.begin(), resultAt.end(), std::make_pair(offset, uint32_t{0}));
      resultOf_[i] = found != resultAt.end() && found->first == offset && IsFormula(records_.cells[i]) ? found->second : 0;
    }
  }
  moves_.push_back(RowMove{area, std::move(targetOf), {}});
  sorted_ = true;
  return moved;
}

}  // namespace host::biff
