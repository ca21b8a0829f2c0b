#pragma once
// Reads a formula in the A1 grammar OOXML cells store (without "=") into
// the expression tree, with the reference program's operator precedence:
// ":" then space (intersection) then "," (union, inside parentheses), unary
// minus, "%", "^", "* /", "+ -", "&", comparisons. Newer functions' "_xlfn."
// and "_xlws." prefixes are dropped.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "host/core/calc/FormulaTree.h"

namespace host::calc {

// A formula the engine cannot read (malformed, an external workbook, a
// table's structured reference); what says why, in plain words.
struct FormulaUnreadable {
  std::string what;
};

// The tree of an A1 formula, every reference as written. Throws FormulaUnreadable.
NodePtr ParseA1Formula(std::string_view formula);

// The tree of the A1 formula of the cell (row, column), its relative
// references kept as offsets from the cell (see Node::relative), so that one
// tree serves every cell whose formula has the same shape: the column of
// =A2*B2, =A3*B3, ... that a fill or a copy makes is one tree. shareable is
// false when the tree must serve this cell alone. Throws FormulaUnreadable.
struct ShapedFormula {
  NodePtr tree;
  bool shareable = false;
};
ShapedFormula ParseA1FormulaAt(std::string_view formula, int row, int column);

// The shape of the A1 formula of the cell (row, column): its text with each
// coordinate of a reference written as an offset from the cell where it is
// relative, found without reading the formula into a tree. Two formulas of
// one shape have one tree, relative to their cells. False when the formula
// has no shape (it is read on its own).
bool FormulaShape(std::string_view formula, int row, int column, std::string& shape);

// A reference written the OpenDocument way ("Sheet2.A1", "$'My Sheet'.$B$1:$C$2",
// "Sheet2.A1:Sheet2.B2") in A1 text ("'Sheet2'!A1"); nullopt when the text
// is no such reference. Throws FormulaUnreadable for one across sheets.
std::optional<std::string> SheetDotReferenceToA1(std::string_view text);

}  // namespace host::calc
