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
// ptgAreaErr (3-D: ptgRefErr3d / ptgAreaErr3d) of the same class and size; whole columns (rows 1 to
// 65536) stay whole columns. Everything else is copied byte for byte, including ptgExp, ptgTbl,
// attributes, ptgStr, ptgArray's placeholder. Throws HostError naming what is damaged when the
// expression cannot be walked (unknown token, runs past its end).
std::string ShiftFormulaRows(std::string_view rgce, int rowDelta);

// A shared formula's expression (SHRFMLA's rgce, whose ptgRefN/ptgAreaN hold offsets relative to
// the cell) made into the own expression of the cell at (row, column): ptgRefN → ptgRef, ptgAreaN →
// ptgArea with the cell's position added to the relative parts (same class bits). A position
// beyond the sheet's edge wraps around it, as the format defines. Throws HostError like above.
std::string ExpandSharedFormula(std::string_view sharedRgce, int row, int column);

// The same two changes made in place to the expression at bytes[begin, begin + size)
// (no copy: for writing many moved formulas). Throw like above.
void ShiftFormulaRowsIn(std::string& bytes, size_t begin, size_t size, int rowDelta);
void ExpandSharedFormulaIn(std::string& bytes, size_t begin, size_t size, int row, int column);
// Both in one walk: the shared expression expanded at (row, column), then
// shifted by rowDelta rows.
void ExpandAndShiftIn(std::string& bytes, size_t begin, size_t size, int row, int column, int rowDelta);

// A key that a formula cell's expression shares with every expression that
// reads the same relative to its own cell: its tokens as the cell holds
// them now, but each relative coordinate of a reference (ptgRef, ptgArea,
// their 3-D forms) written as its offset from the cell. The expression is
// rgce as read for the cell at (row, column) (0-based), a shared formula's
// when shared (its offset tokens made the cell's own there), moved by
// rowDelta rows since: the key is that of what ExpandAndShiftIn (or, not
// shared, ShiftFormulaRowsIn) makes of it, without making it. Cells whose
// keys are equal have the same formula text but for those offsets (the rows
// of whole columns and the columns of whole rows are kept as they are, as
// the text shows them without offsets). False (key undefined) when the
// expression holds what its tokens alone do not give: an array constant,
// whose values stand after the expression, or an offset token (ptgRefN,
// ptgAreaN) outside a shared formula. Throws HostError like above.
bool ExpressionShapeKey(std::string_view rgce, bool shared, int row, int column, int rowDelta, std::string& key);

// How far a shared formula's expression (SHRFMLA's rgce) reads from its
// cell: the least and greatest offset of the relative rows and columns of
// its offset tokens (ptgRefN, ptgAreaN; a column offset taken modulo the
// sheet's 256 columns, as the expression wraps around the edge). Every cell
// of the formula that those offsets take nowhere past the sheet's edge, as
// read and where it stands now, has the same ExpressionShapeKey. False when
// that does not hold whatever the bounds: a reference token with relative
// bits that is no offset token, an area whose rows (columns) may read as
// whole columns (whole rows) at one cell and not at another, an array
// constant. Throws HostError like above.
struct OffsetBounds {
  int firstRow = 0, lastRow = 0, firstColumn = 0, lastColumn = 0;
  // True when the cell read at (readRow, column) and moved to row (0-based) stays inside.
  bool Inside(int readRow, int row, int column) const {
    return readRow + firstRow >= 0 && readRow + lastRow <= 0xFFFF && row + firstRow >= 0 && row + lastRow <= 0xFFFF &&
           column + firstColumn >= 0 && column + lastColumn <= 0xFF;
  }
};
bool SharedOffsetBounds(std::string_view sharedRgce, OffsetBounds& bounds);

// The formula as text without "=" for the cell at (row, column), for tests and Cell::Formula:
// references (A1, $A$1, ranges, 3-D as Sheet2!A1 when sheetName(externSheetIndex) gives a name,
// else "#REF!"), numbers, strings, booleans, errors, missing arguments, the unary and binary
// operators and parentheses, built-in functions by name (unknown ones of ptgFuncVar as
// FUNC<n>(...)), the one-argument SUM of ptgAttrSum, add-in functions by the name their ptgNameX
// or ptgName gives (without the "_xlfn." of newer functions), ptgName as NAME<n>. Throws HostError
// like above, and for what has no text without the workbook: a cell that refers to its shared,
// array or table formula (ptgExp, ptgTbl), an array constant (its values stand after the
// expression: see the overload below), natural-language labels, and a ptgFunc of a function not
// known here (only its number tells how many arguments it takes).
std::string FormulaText(std::string_view rgce, int row, int column,
                        const std::function<std::string(int)>& sheetName = {});

// What the workbook lends to a formula's text. Every callback may be empty or return "" when it
// does not know the answer: the text then says #REF! (sheets), NAME<n> or EXTNAME<n> (names).
struct FormulaContext {
  std::function<std::string(int)> sheetName;            // XTI index (EXTERNSHEET) → sheet name
  std::function<std::string(uint32_t)> definedName;     // 1-based NAME record index → the name
  std::function<std::string(int, uint32_t)> externName; // XTI index, 1-based EXTERNNAME index → the name
  std::string_view extra;                               // the formula's RgbExtra: array constants' values
};

// FormulaText with defined names, add-in names and array constants resolved through context.
std::string FormulaText(std::string_view rgce, int row, int column, const FormulaContext& context);

// A formula record's flags once it holds a freshly computed result:
// fAlwaysCalc (bit 0: calculate the formula at the next recalculation)
// cleared, but for a volatile expression (its first token a ptgAttrSemi, as
// the reference program marks a formula it computes at every
// recalculation). Binary workbooks (.xlsb) keep the same bit and mark.
uint16_t FlagsWithFreshResult(uint16_t flags, std::string_view rgce);

// The name of built-in function number (iftab), with the count of arguments
// it always takes in fixed (-1: a variable count); nullptr when not known.
// Binary workbooks (.xlsb) number their functions the same way.
const char* BuiltinFunction(uint16_t number, int& fixed);

// A sheet's name as a reference puts it before "!" (quoted where needed),
// "!" included; and a number as a formula writes it. Shared with .xlsb.
std::string SheetReferencePrefix(const std::string& name);
std::string FormulaNumber(double value);

}  // namespace host::biff
