#pragma once
// Before a workbook that a sort or a hide changed is saved, its formulas
// get fresh results, computed by the engine and kept by each store in its
// own stored-result field, so that readers that do not calculate (and
// programs that do not recalculate on open) see true values. A formula the
// engine cannot compute keeps its old result and the workbook asks to be
// recalculated when opened.

namespace host {
class Workbook;
}

namespace host::calc {

struct RecalculationCount {
  int updated = 0;             // results that changed and were written
  int leftToRecalculate = 0;   // formulas the engine or the store could not give a result
};

// Recomputes every formula of a workbook whose sheets changed since they
// were read; nothing when none changed.
RecalculationCount RecalculateChangedWorkbook(Workbook& book);

}  // namespace host::calc
