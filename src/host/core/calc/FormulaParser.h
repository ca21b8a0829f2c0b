#pragma once
// Reads a formula in the A1 grammar OOXML cells store (without "=") into
// the expression tree, with the reference program's operator precedence:
// ":" then space (intersection) then "," (union, inside parentheses), unary
// minus, "%", "^", "* /", "+ -", "&", comparisons. Newer functions' "_xlfn."
// and "_xlws." prefixes are dropped.

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

// The tree of an A1 formula. Throws FormulaUnreadable.
NodePtr ParseA1Formula(std::string_view formula);

}  // namespace host::calc
