#include "host/core/calc/Recalculation.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "host/core/SheetStore.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"
#include "host/core/calc/Evaluator.h"
#include "host/core/calc/WorkbookCells.h"

namespace host::calc {

StoredValue ToStored(const Value& v) {
  StoredValue out;
  switch (v.type) {
    case Value::Type::Number:
      out.kind = CellKind::Number;
      out.number = v.number;
      break;
    case Value::Type::Text:
      out.kind = CellKind::Text;
      out.text = v.text;
      break;
    case Value::Type::Boolean:
      out.kind = CellKind::Boolean;
      out.number = v.number;
      break;
    case Value::Type::Error:
      out.kind = CellKind::Error;
      out.text = std::string(ErrorText(v.error));
      break;
    default:
      out.kind = CellKind::Number;
      break;
  }
  return out;
}

namespace {

bool Same(const StoredValue& a, const StoredValue& b) {
  if (a.uncalculated || b.uncalculated || a.kind != b.kind) return false;
  if (a.kind == CellKind::Number || a.kind == CellKind::Boolean) return a.number == b.number;
  return a.text == b.text;
}

// The cells of an array formula whose results changed, from its whole
// result; false when the workbook must compute it when
// opened: the engine cannot, or a dynamic array's result would spill over
// another area than the one the file records (a larger or smaller result,
// or a cell of the area that holds a formula of its own).
bool ArrayResults(Evaluator& engine, const SheetStore& store, int sheet, const CellArea& area, std::vector<CellResult>& out) {
  out.clear();
  try {
    if (!engine.Cell(sheet, area.firstRow, area.firstColumn).evaluated) return false;
    if (store.DynamicArray(area.firstRow, area.firstColumn)) {
      int rows = 0, columns = 0;
      if (!engine.ArraySize(sheet, area.firstRow, area.firstColumn, rows, columns) ||
          rows != area.lastRow - area.firstRow + 1 || columns != area.lastColumn - area.firstColumn + 1)
        return false;
      for (int r = area.firstRow; r <= area.lastRow; ++r)
        for (int c = area.firstColumn; c <= area.lastColumn; ++c)
          if ((r != area.firstRow || c != area.firstColumn) && !store.Formula(r, c).empty()) return false;
    }
    // An array entered over an area takes its result fitted to it (the
    // engine gives each cell its element); a spilled one has its size.
    for (int r = area.firstRow; r <= area.lastRow; ++r)
      for (int c = area.firstColumn; c <= area.lastColumn; ++c) {
        Value element = engine.ReadCell(sheet, r, c);
        if (element.type == Value::Type::Blank) element = Value::Number(0);
        StoredValue result = ToStored(element);
        if (!Same(result, store.Value(r, c))) out.push_back(CellResult{r, c, std::move(result)});
      }
  } catch (const NotEvaluable&) {
    return false;
  } catch (const std::exception&) {
    return false;  // no result rather than no save
  }
  return true;
}

}  // namespace

RecalculationCount RecalculateChangedWorkbook(Workbook& book) {
  RecalculationCount count;
  const std::vector<Worksheet*> sheets = book.Worksheets();
  bool changed = false;
  for (Worksheet* sheet : sheets) changed = changed || sheet->RowsMoved() > 0 || sheet->RowsHiddenSinceOpen() > 0;
  if (!changed) return count;
  // Only formula cells get results: a workbook without any needs no engine
  // (whose cell memo spans every sheet's used area).
  if (std::none_of(sheets.begin(), sheets.end(), [](Worksheet* sheet) { return sheet->Store().HoldsFormulas(); }))
    return count;
  WorkbookCells cells(book);
  Evaluator engine(cells);
  // Every result is computed before any is kept: the stores answer reads of
  // cells as read while they keep no fresh results, which is their fast way.
  struct Fresh {
    size_t sheet;
    int row, column;
    StoredValue value;
  };
  std::vector<Fresh> fresh;
  struct FreshArray {
    size_t sheet;
    std::vector<CellResult> cells;
  };
  std::vector<FreshArray> freshArrays;
  std::vector<std::vector<std::pair<int, int>>> formulas(sheets.size());
  for (size_t s = 0; s < sheets.size(); ++s)
    if (sheets[s]->Store().HoldsFormulas()) {
      formulas[s] = sheets[s]->Store().FormulaCells();
      count.unlisted = count.unlisted || formulas[s].empty();
    }
  // At most a result a formula cell: growing the list would move every
  // result made so far, each time.
  size_t formulaCells = 0;
  for (const auto& list : formulas) formulaCells += list.size();
  fresh.reserve(formulaCells);
  std::vector<CellResult> arrayCells;
  for (size_t s = 0; s < sheets.size(); ++s) {
    SheetStore& store = sheets[s]->Store();
    for (const auto& [row, column] : formulas[s]) {
      // An array formula is computed as one, at its first cell.
      CellArea array;
      if (cells.ArrayFormulaArea(static_cast<int>(s), row, column, array)) {
        if (row != array.firstRow || column != array.firstColumn) continue;
        if (!ArrayResults(engine, store, static_cast<int>(s), array, arrayCells)) ++count.leftToRecalculate;
        else if (!arrayCells.empty()) freshArrays.push_back(FreshArray{s, std::move(arrayCells)});
        continue;
      }
      Evaluator::Outcome outcome;
      try {
        outcome = engine.Cell(static_cast<int>(s), row, column);
      } catch (const std::exception&) {
        outcome.evaluated = false;  // no result rather than no save
      }
      if (!outcome.evaluated || !outcome.formula) {
        ++count.leftToRecalculate;
        continue;
      }
      StoredValue result = ToStored(outcome.value);
      if (!Same(result, store.Value(row, column))) fresh.push_back(Fresh{s, row, column, std::move(result)});
    }
  }
  for (const Fresh& f : fresh) {
    if (sheets[f.sheet]->Store().SetFormulaResult(f.row, f.column, f.value)) ++count.updated;
    else ++count.leftToRecalculate;
  }
  for (const FreshArray& a : freshArrays) {
    if (sheets[a.sheet]->Store().SetArrayResults(a.cells)) count.updated += static_cast<int>(a.cells.size());
    else ++count.leftToRecalculate;
  }
  return count;
}

CellCalculator::CellCalculator(Workbook& book)
    : cells_(std::make_unique<WorkbookCells>(book)), engine_(std::make_unique<Evaluator>(*cells_)) {}

CellCalculator::~CellCalculator() = default;

std::optional<StoredValue> CellCalculator::Compute(int sheet, int row, int column) {
  Evaluator::Outcome outcome;
  try {
    outcome = engine_->Cell(sheet, row, column);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  if (!outcome.evaluated) return std::nullopt;
  return ToStored(outcome.value);
}

}  // namespace host::calc
