#pragma once
// Before a workbook that a sort or a hide changed is saved, its formulas
// get fresh results, computed by the engine and kept by each store in its
// own stored-result field, so that readers that do not calculate (and
// programs that do not recalculate on open) see true values. A formula the
// engine cannot compute keeps its old result and the workbook asks to be
// recalculated when opened.

#include <memory>
#include <optional>

#include "host/core/StoredValue.h"

namespace host {
class Workbook;
}

namespace host::calc {

class Evaluator;
class WorkbookCells;
struct Value;

struct RecalculationCount {
  int updated = 0;             // results that changed and were written
  int leftToRecalculate = 0;   // formulas the engine or the store could not give a result
  // A sheet holds formulas its format does not list for fresh results: they
  // are left to the recalculation when the workbook is opened.
  bool unlisted = false;
};

// Recomputes every formula of a workbook whose sheets changed since they
// were read; nothing when none changed. A formula cell whose formula the
// format cannot give (a data table's cells) is left, like one the engine
// cannot compute. An array formula is computed once and every cell of its
// area gets its element; a dynamic array only when its result has the size
// of the spill range the file records (else it is left, counted once).
RecalculationCount RecalculateChangedWorkbook(Workbook& book);

// A result as the stores keep values.
StoredValue ToStored(const Value& value);

// The cells of a workbook as they stand now, formulas computed by one engine
// for all the calls (the keys of a sort that have no stored result).
class CellCalculator {
 public:
  explicit CellCalculator(Workbook& book);
  ~CellCalculator();
  // The value of the cell on worksheet sheet (0-based among worksheets);
  // nullopt when the engine cannot compute it.
  std::optional<StoredValue> Compute(int sheet, int row, int column);

 private:
  std::unique_ptr<WorkbookCells> cells_;
  std::unique_ptr<Evaluator> engine_;
};

}  // namespace host::calc
