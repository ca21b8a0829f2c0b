#pragma once
// BIFF8 parsed formulas (rgce, a sequence of tokens in reverse Polish order):
// moving a formula to another row as a copy would, giving a shared formula's
// cell its own expression, and the formula as text.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace host::biff {

// The parsed expression (rgce) of a cell formula that moved from (row, column) by rowDelta rows
// (0-based rows/columns as BIFF stores them): relative rows of ptgRef/ptgArea and their 3-D forms
// (ptgRef3d/ptgArea3d) shift as a copy would shift them (absolute rows stay; the relative bits are
// in the column word); a reference pushed off the sheet (row < 0 or > 65535) becomes ptgRefErr /
// ptgAreaErr (3-D: ptgRefErr3d / ptgAreaErr3d) of the same class and size. Everything else is copied
// byte for byte, including ptgExp, ptgTbl, attributes, ptgStr, ptgArray's placeholder. Throws HostError
// naming what is damaged when the expression cannot be walked (unknown token, runs past its end).
std::string ShiftFormulaRows(std::string_view rgce, int rowDelta);

// A shared formula's expression (SHRFMLA's rgce, whose ptgRefN/ptgAreaN hold offsets relative to
// the cell) made into the own expression of the cell at (row, column): ptgRefN → ptgRef, ptgAreaN →
// ptgArea with the cell's position added to the relative parts (same class bits). A position
// beyond the sheet's edge wraps around it, as the format defines. Throws HostError like above.
std::string ExpandSharedFormula(std::string_view sharedRgce, int row, int column);

}  // namespace host::biff
