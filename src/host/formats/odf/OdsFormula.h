#pragma once
// OpenDocument formulas (table:formula, e.g. "of:=SUM([.A1:.B3])*[$Other.$C$2]")
// moved the way copying their cell moves them. Pure functions.

#include <string>
#include <string_view>

namespace host::odf {

// The formula after its cell moved by rowDelta rows: relative row parts of
// the bracketed references shift, "$" rows, columns, sheet names and text
// literals stay. A reference pushed off the sheet becomes the bare error
// #REF!, as OpenDocument writers put it. Formulas in the spreadsheet-program
// syntax ("msoxl:=A1") shift as A1 formulas.
std::string ShiftOdsFormula(std::string_view formula, int rowDelta);

// The formula without its namespace prefix and "=" ("[.A1]*2" for "of:=[.A1]*2").
std::string_view FormulaBody(std::string_view formula);

}  // namespace host::odf
