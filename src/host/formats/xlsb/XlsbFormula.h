#pragma once
// Parsed formulas of binary workbooks (BIFF12 rgce): the tokens are those of
// .xls in reverse Polish order, but rows take 32 bits (1,048,576 of them) and
// columns 14 bits with the two relative flags above them. Moving a formula
// as a copy would, giving a shared formula's member its own expression, and
// the formula as text.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace host::xlsb {

// The expression of a cell formula moved by rowDelta rows: relative rows of
// PtgRef/PtgArea and their 3-D forms shift; a reference pushed off the sheet
// becomes PtgRefErr/PtgAreaErr (3-D: PtgRefErr3d/PtgAreaErr3d) of the same
// class; whole columns stay whole. Everything else is copied byte for byte.
// Throws HostError ("A formula is damaged: ...") when the tokens cannot be
// walked.
std::string ShiftFormulaRows(std::string_view rgce, int rowDelta);

// A shared formula's expression (PtgRefN/PtgAreaN hold offsets from the
// cell) made the own expression of the cell at (row, column), 0-based:
// PtgRef/PtgArea of the same class with the cell's position added to the
// relative parts, wrapping at the sheet's edge as the format defines.
std::string ExpandSharedFormula(std::string_view sharedRgce, int row, int column);

// When rgce is only a PtgExp (the cell is a member of a shared or array
// formula), the formula's anchor cell (0-based) from the PtgExp's row and
// the column RgbExtra gives; false otherwise.
bool FormulaAnchor(std::string_view rgce, std::string_view extra, int& row, int& column);

// What the workbook lends to a formula's text.
struct FormulaNames {
  std::function<std::string(uint32_t)> sheetOfXti;   // a 3-D reference's sheet ("" when unknown: #REF!)
  std::function<std::string(uint32_t)> definedName;  // 1-based defined name index ("" when unknown)
};

// The formula as text without "=" for the cell at (row, column), 0-based:
// references, constants, operators, parentheses, built-in functions by name,
// defined names. Throws HostError for damaged tokens and for tokens that
// have no text without more of the workbook (PtgExp, tables' structured
// references, array constants).
std::string FormulaText(std::string_view rgce, int row, int column, const FormulaNames& names = {});

}  // namespace host::xlsb
