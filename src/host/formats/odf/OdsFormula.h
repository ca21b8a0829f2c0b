#pragma once
// OpenDocument formulas (table:formula, e.g. "of:=SUM([.A1:.B3])*[$Other.$C$2]")
// and their relative references: moved the way copying their cell moves
// them, and written as offsets from their cell, which the formulas of a
// filled column share. Pure functions.

#include <string>
#include <string_view>

namespace host::odf {

// The formula after its cell moved by rowDelta rows: relative row parts of
// the bracketed references shift, "$" rows, columns, sheet names and text
// literals stay. A reference pushed off the sheet becomes the bare error
// #REF!, as OpenDocument writers put it. Formulas in the spreadsheet-program
// syntax ("msoxl:=A1") shift as A1 formulas.
std::string ShiftOdsFormula(std::string_view formula, int rowDelta);

// The formula's shape: its text with the column and row of each relative
// cell address written as offsets from (row, column), so that the
// formulas of a filled column ("of:=[.A2]*[.B2]", "of:=[.A3]*[.B3]", ...)
// have one. False for one that has no shape here (a whole column or row, a
// formula in the spreadsheet-program syntax).
bool OdsFormulaShape(std::string_view formula, int row, int column, std::string& shape);

// The formula without its namespace prefix and "=" ("[.A1]*2" for "of:=[.A1]*2").
std::string_view FormulaBody(std::string_view formula);

}  // namespace host::odf
