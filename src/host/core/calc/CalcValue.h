#pragma once
// The values a formula computes with: blank, number, text, boolean, error,
// an array of scalars, or a reference to one or more areas of cells. The
// evaluator passes references to functions as they are, so a function
// decides itself whether it reads the cells (SUM), their position (ROW) or
// one value by implicit intersection.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace host::calc {

// The error values, in the order the reference program numbers them (ERROR.TYPE).
enum class CalcError : uint8_t { Null = 1, Div0, Value, Ref, Name, Num, NA, Spill = 9, Calc = 14 };

// "#DIV/0!" for Div0; the text a cell shows.
std::string_view ErrorText(CalcError error);
// The error a cell's text names ("#N/A"); false for any other text.
bool ErrorFromText(std::string_view text, CalcError& error);

// One rectangular block of cells on one sheet (sheet 0-based, rows and
// columns 1-based and inclusive).
struct Area {
  int sheet = 0;
  int firstRow = 1, firstColumn = 1, lastRow = 1, lastColumn = 1;
  int Rows() const { return lastRow - firstRow + 1; }
  int Columns() const { return lastColumn - firstColumn + 1; }
  long long Cells() const { return static_cast<long long>(Rows()) * Columns(); }
};

struct Matrix;

struct Value {
  enum class Type : uint8_t { Blank, Number, Text, Boolean, Error, Array, Reference };
  Type type = Type::Blank;
  CalcError error = CalcError::Value;
  double number = 0;                     // Number; Boolean as 1 or 0
  std::string text;                      // Text
  std::shared_ptr<const Matrix> array;   // Array
  std::vector<Area> areas;               // Reference (a union has several)

  static Value Number(double n);
  static Value Text(std::string s);
  static Value Boolean(bool b);
  static Value Error(CalcError e);
  static Value Reference(const Area& area);
  static Value Array(Matrix m);

  bool IsError() const { return type == Type::Error; }
  bool IsScalar() const { return type != Type::Array && type != Type::Reference; }
};

// A rows × columns block of scalar values, row by row.
struct Matrix {
  int rows = 0, columns = 0;
  std::vector<Value> cells;
  Matrix() = default;
  Matrix(int r, int c) : rows(r), columns(c), cells(static_cast<size_t>(r) * c) {}
  Value& At(int r, int c) { return cells[static_cast<size_t>(r) * columns + c]; }
  const Value& At(int r, int c) const { return cells[static_cast<size_t>(r) * columns + c]; }
};

}  // namespace host::calc
