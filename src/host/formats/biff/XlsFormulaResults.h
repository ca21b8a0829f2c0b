#pragma once
// Fresh formula results in an .xls sheet. A FORMULA record keeps its result
// in an 8-byte field: a number as it is, or a marker for the other kinds
// (text, whose characters stand in the STRING record after the formula;
// a boolean; an error code; empty text), its last two bytes 0xFFFF. A
// fresh result also clears the record's fAlwaysCalc (the formula need not
// be calculated at the next recalculation), but for a volatile formula.

#include <string>
#include <string_view>

#include "host/core/StoredValue.h"

namespace host::biff {

// True when a FORMULA record can keep result: a finite number, text of at
// most 32,767 characters, a boolean, an error the format defines. The same
// holds for the formula records of binary workbooks (.xlsb).
bool KeepsAsFormulaResult(const StoredValue& result);

// The 8-byte result field for result (KeepsAsFormulaResult must hold).
std::string FormulaResultField(const StoredValue& result);

// True when result's text goes in a STRING record (text, not empty).
inline bool NeedsStringRecord(const StoredValue& result) {
  return result.kind == host::CellKind::Text && !result.text.empty();
}

// The STRING record (with CONTINUE records past 8,224 bytes) holding text:
// one byte a character when every character fits, else UTF-16.
std::string StringRecord(std::string_view text);

}  // namespace host::biff
