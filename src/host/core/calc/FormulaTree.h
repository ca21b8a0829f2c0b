#pragma once
// The one expression tree of a formula, whatever the file's formula grammar:
// each reader (A1 text here; the OpenDocument and BIFF readers) fills it and
// the evaluator walks it. Node kinds are plain data; a reference keeps its
// sheet by name and is resolved when the formula is evaluated.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/core/calc/CalcValue.h"

namespace host::calc {

enum class Operator : uint8_t {
  Add, Subtract, Multiply, Divide, Power, Concat,
  Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual,
  Range, Union, Intersect,  // the reference operators ":" "," and space
  Negate, Plus, Percent,    // the unary operators
};

struct Node {
  enum class Kind : uint8_t { Constant, ArrayConstant, Reference, Name, Function, Unary, Binary, Missing };
  Kind kind = Kind::Constant;
  Value constant;             // Constant; ArrayConstant (an Array value)
  Operator op = Operator::Add;  // Unary, Binary
  std::string name;           // Function (upper case, prefixes removed); Name (as written)
  // Reference and Name: the sheet named before "!" ("" for the formula's
  // own sheet); lastSheet for a 3-D reference across sheets.
  std::string sheet, lastSheet;
  // Reference: the area; a whole column has rows 1..kMaxRows, a whole row
  // columns 1..kMaxColumns. refError marks a reference written as #REF!.
  // In a tree read relative to its cell (ParseA1FormulaAt), a coordinate
  // whose bit is set in relative is an offset from the cell the formula is
  // evaluated in, and first/last are the two corners as written (ordered
  // when evaluated); otherwise they are the area's coordinates.
  int firstRow = 1, firstColumn = 1, lastRow = 1, lastColumn = 1;
  uint8_t relative = 0;
  bool refError = false;
  std::vector<std::unique_ptr<Node>> children;  // operands, or a function's arguments
};

using NodePtr = std::unique_ptr<Node>;

// The bits of Node::relative.
inline constexpr uint8_t kRelativeFirstRow = 1, kRelativeFirstColumn = 2, kRelativeLastRow = 4, kRelativeLastColumn = 8;

}  // namespace host::calc
