#pragma once
// Formula text moved the way copying a cell moves it: relative references
// shift by the distance moved, absolute ($) parts stay. Pure functions.

#include <string>
#include <string_view>

namespace host {

// The formula (without its leading "=") as it reads after its cell moved by
// rowDelta rows and columnDelta columns. Relative row and column parts of A1
// references, ranges and whole-row/whole-column ranges shift; "$" parts, text
// literals, sheet names, defined names and function names are left alone. A
// reference pushed off the sheet (before row 1 / column A or beyond
// XFD1048576) becomes #REF!.
std::string ShiftFormula(std::string_view formula, int rowDelta, int columnDelta);

}  // namespace host
