#include "host/core/calc/Recalculation.h"

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

}  // namespace

RecalculationCount RecalculateChangedWorkbook(Workbook& book) {
  RecalculationCount count;
  const std::vector<Worksheet*> sheets = book.Worksheets();
  bool changed = false;
  for (Worksheet* sheet : sheets) changed = changed || sheet->RowsMoved() > 0 || sheet->RowsHiddenSinceOpen() > 0;
  if (!changed) return count;
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
  std::vector<std::vector<std::pair<int, int>>> formulas(sheets.size());
  for (size_t s = 0; s < sheets.size(); ++s)
    if (sheets[s]->Store().HoldsFormulas()) {
      formulas[s] = sheets[s]->Store().FormulaCells();
      count.unlisted = count.unlisted || formulas[s].empty();
    }
  for (size_t s = 0; s < sheets.size(); ++s) {
    SheetStore& store = sheets[s]->Store();
    for (const auto& [row, column] : formulas[s]) {
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
    // An array formula of several cells is computed as one: every format
    // leaves it whole to the recalculation when the file is opened.
    CellArea array;
    if (cells.ArrayFormulaArea(static_cast<int>(f.sheet), f.row, f.column, array)) ++count.leftToRecalculate;
    else if (sheets[f.sheet]->Store().SetFormulaResult(f.row, f.column, f.value)) ++count.updated;
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
