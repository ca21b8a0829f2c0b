// Lookups and references: VLOOKUP, HLOOKUP, XLOOKUP, LOOKUP, MATCH, XMATCH,
// INDEX, OFFSET, INDIRECT, CHOOSE, ROW(S), COLUMN(S), ADDRESS.

#include <cmath>
#include <optional>

#include "host/core/CellAddress.h"
#include "host/core/calc/Coercion.h"
#include "host/core/calc/Criteria.h"
#include "host/core/calc/FormulaParser.h"
#include "host/core/calc/FunctionFamilies.h"

namespace host::calc {

namespace {

bool SameKind(const Value& a, const Value& b) {
  auto kind = [](const Value& v) {
    return v.type == Value::Type::Blank ? -1 : v.type == Value::Type::Number ? 0 : v.type == Value::Type::Text ? 1 : v.type == Value::Type::Boolean ? 2 : 3;
  };
  return kind(a) == kind(b);
}

bool ExactEqual(const Value& v, const Value& x, bool wildcards) {
  if (!SameKind(v, x)) return false;
  if (wildcards && x.type == Value::Type::Text) return WildcardMatch(v.text, x.text);
  return Compare(v, x) == 0;
}

// The values of a line (a row or column of a grid).
std::vector<Value> Line(const Matrix& m, bool column, int index) {
  std::vector<Value> out;
  if (column)
    for (int r = 0; r < m.rows; ++r) out.push_back(m.At(r, index));
  else
    for (int c = 0; c < m.columns; ++c) out.push_back(m.At(index, c));
  return out;
}

// The position of x in a sorted line: the last value of x's kind not
// above it (ascending) or not below it (descending); -1 when none.
int SortedPosition(const std::vector<Value>& line, const Value& x, bool descending) {
  int found = -1;
  for (size_t i = 0; i < line.size(); ++i) {
    const Value& v = line[i];
    if (!SameKind(v, x)) continue;
    const int cmp = Compare(v, x);
    if (descending ? cmp < 0 : cmp > 0) break;
    found = static_cast<int>(i);
  }
  return found;
}

int ExactPosition(const std::vector<Value>& line, const Value& x, bool wildcards, bool reverse = false) {
  const int n = static_cast<int>(line.size());
  for (int k = 0; k < n; ++k) {
    const int i = reverse ? n - 1 - k : k;
    if (ExactEqual(line[static_cast<size_t>(i)], x, wildcards)) return i;
  }
  return -1;
}

Value LookupValue(CallContext& c) {
  Value x = c.Scalar(0);
  if (x.IsError()) throw ErrorResult{x.error};
  if (x.type == Value::Type::Blank) x = Value::Number(0);
  return x;
}

Value TableLookup(CallContext& c, bool vertical) {
  const Value x = LookupValue(c);
  const Matrix table = c.Grid(1);
  const double index = std::trunc(c.Number(2));
  const bool approximate = c.BooleanOr(3, true);
  if (index < 1) return Value::Error(CalcError::Value);
  if (index > (vertical ? table.columns : table.rows)) return Value::Error(CalcError::Ref);
  const std::vector<Value> keys = Line(table, vertical, 0);
  const int at = approximate ? SortedPosition(keys, x, false) : ExactPosition(keys, x, true);
  if (at < 0) return Value::Error(CalcError::NA);
  const int k = static_cast<int>(index) - 1;
  return vertical ? table.At(at, k) : table.At(k, at);
}
Value VLookup(CallContext& c) { return TableLookup(c, true); }
Value HLookup(CallContext& c) { return TableLookup(c, false); }

// A one-row or one-column argument's values; #N/A for a block.
std::vector<Value> Vector(CallContext& c, int i, bool& column) {
  const Matrix m = c.Grid(i);
  if (m.rows != 1 && m.columns != 1) throw ErrorResult{CalcError::NA};
  column = m.columns == 1;
  return Line(m, column, 0);
}

Value Match(CallContext& c) {
  const Value x = LookupValue(c);
  bool column = true;
  const std::vector<Value> line = Vector(c, 1, column);
  const double type = c.NumberOr(2, 1);
  int at;
  if (type == 0) at = ExactPosition(line, x, true);
  else at = SortedPosition(line, x, type < 0);
  if (at < 0) return Value::Error(CalcError::NA);
  return Value::Number(at + 1);
}

// XMATCH's and XLOOKUP's search: matchMode 0 exact, -1 exact or next
// smaller, 1 exact or next larger, 2 wildcards; searchMode -1/-2 from the end.
int XPosition(const std::vector<Value>& line, const Value& x, int matchMode, int searchMode) {
  const bool reverse = searchMode == -1 || searchMode == -2;
  if (matchMode == 0 || matchMode == 2) return ExactPosition(line, x, matchMode == 2, reverse);
  int best = -1;
  const int n = static_cast<int>(line.size());
  for (int k = 0; k < n; ++k) {
    const int i = reverse ? n - 1 - k : k;
    const Value& v = line[static_cast<size_t>(i)];
    if (!SameKind(v, x)) continue;
    const int cmp = Compare(v, x);
    if (cmp == 0) return i;
    if ((matchMode == -1 && cmp < 0) || (matchMode == 1 && cmp > 0)) {
      if (best < 0) best = i;
      else {
        const int better = Compare(v, line[static_cast<size_t>(best)]);
        if ((matchMode == -1 && better > 0) || (matchMode == 1 && better < 0)) best = i;
      }
    }
  }
  return best;
}

Value XMatch(CallContext& c) {
  const Value x = LookupValue(c);
  bool column = true;
  const std::vector<Value> line = Vector(c, 1, column);
  const int at = XPosition(line, x, static_cast<int>(c.NumberOr(2, 0)), static_cast<int>(c.NumberOr(3, 1)));
  if (at < 0) return Value::Error(CalcError::NA);
  return Value::Number(at + 1);
}

// The k-th row (or column) of a reference or array as a value.
Value Slice(CallContext& c, int i, bool rowOfColumnVector, int k) {
  const Value& v = c.Arg(i);
  if (v.type == Value::Type::Reference && v.areas.size() == 1) {
    Area a = v.areas[0];
    if (rowOfColumnVector) a.firstRow = a.lastRow = a.firstRow + k;
    else a.firstColumn = a.lastColumn = a.firstColumn + k;
    return Value::Reference(a);
  }
  const Matrix m = c.Grid(i);
  if (rowOfColumnVector) {
    if (k >= m.rows) return Value::Error(CalcError::NA);
    if (m.columns == 1) return m.At(k, 0);
    Matrix out(1, m.columns);
    for (int col = 0; col < m.columns; ++col) out.At(0, col) = m.At(k, col);
    return Value::Array(std::move(out));
  }
  if (k >= m.columns) return Value::Error(CalcError::NA);
  if (m.rows == 1) return m.At(0, k);
  Matrix out(m.rows, 1);
  for (int r = 0; r < m.rows; ++r) out.At(r, 0) = m.At(r, k);
  return Value::Array(std::move(out));
}

Value XLookup(CallContext& c) {
  const Value x = LookupValue(c);
  bool column = true;
  const std::vector<Value> line = Vector(c, 1, column);
  const int at = XPosition(line, x, static_cast<int>(c.NumberOr(4, 0)), static_cast<int>(c.NumberOr(5, 1)));
  if (at < 0) return c.IsMissing(3) ? Value::Error(CalcError::NA) : c.Arg(3);
  return Slice(c, 2, column, at);
}

Value Lookup(CallContext& c) {
  const Value x = LookupValue(c);
  const Matrix m = c.Grid(1);
  if (c.Count() == 2) {
    // The array form: search the first row of a wide array, else the first column; give the last.
    const bool inRow = m.columns > m.rows;
    const std::vector<Value> keys = Line(m, !inRow, 0);
    const int at = SortedPosition(keys, x, false);
    if (at < 0) return Value::Error(CalcError::NA);
    return inRow ? m.At(m.rows - 1, at) : m.At(at, m.columns - 1);
  }
  if (m.rows != 1 && m.columns != 1) return Value::Error(CalcError::NA);
  const int at = SortedPosition(Line(m, m.columns == 1, 0), x, false);
  if (at < 0) return Value::Error(CalcError::NA);
  const Matrix result = c.Grid(2);
  const bool column = result.columns == 1;
  if (at >= (column ? result.rows : result.columns)) return Value::Error(CalcError::Ref);
  return column ? result.At(at, 0) : result.At(0, at);
}

Value Index(CallContext& c) {
  const Value& source = c.Arg(0);
  const int row = static_cast<int>(std::trunc(c.NumberOr(1, 0)));
  const int column = static_cast<int>(std::trunc(c.NumberOr(2, 0)));
  if (row < 0 || column < 0) return Value::Error(CalcError::Value);
  if (source.type == Value::Type::Reference) {
    const int areaIndex = static_cast<int>(c.NumberOr(3, 1));
    if (areaIndex < 1 || areaIndex > static_cast<int>(source.areas.size())) return Value::Error(CalcError::Ref);
    Area a = source.areas[static_cast<size_t>(areaIndex - 1)];
    int r = row, col = column;
    // One number into a single row or column picks along it.
    if (c.Count() == 2 && a.Rows() == 1) {
      col = row;
      r = 0;
      if (a.Columns() == 1) r = row;
    }
    if (r > a.Rows() || col > a.Columns()) return Value::Error(CalcError::Ref);
    if (r > 0) a.firstRow = a.lastRow = a.firstRow + r - 1;
    if (col > 0) a.firstColumn = a.lastColumn = a.firstColumn + col - 1;
    return Value::Reference(a);
  }
  const Matrix m = c.Grid(0);
  int r = row, col = column;
  if (c.Count() == 2 && m.rows == 1) {
    col = row;
    r = 1;
  }
  if (c.Count() == 2 && m.columns == 1) col = 1;
  if (r > m.rows || col > m.columns) return Value::Error(CalcError::Ref);
  if (r == 0 || col == 0) {
    if (r == 0 && col == 0) return Value::Array(m);
    Matrix out(r == 0 ? m.rows : 1, col == 0 ? m.columns : 1);
    for (int i = 0; i < out.rows; ++i)
      for (int j = 0; j < out.columns; ++j) out.At(i, j) = m.At(r == 0 ? i : r - 1, col == 0 ? j : col - 1);
    return Value::Array(std::move(out));
  }
  return m.At(r - 1, col - 1);
}

Value Offset(CallContext& c) {
  const std::vector<Area>& areas = c.Areas(0);
  if (areas.size() != 1) return Value::Error(CalcError::Value);
  const Area base = areas[0];
  const int rows = static_cast<int>(std::trunc(c.Number(1))), columns = static_cast<int>(std::trunc(c.Number(2)));
  const int height = c.IsMissing(3) ? base.Rows() : static_cast<int>(std::trunc(c.Number(3)));
  const int width = c.IsMissing(4) ? base.Columns() : static_cast<int>(std::trunc(c.Number(4)));
  if (height == 0 || width == 0) return Value::Error(CalcError::Ref);
  Area a{base.sheet, base.firstRow + rows, base.firstColumn + columns, 0, 0};
  a.lastRow = a.firstRow + std::abs(height) - 1;
  a.lastColumn = a.firstColumn + std::abs(width) - 1;
  if (height < 0) {
    a.lastRow = a.firstRow;
    a.firstRow = a.lastRow + height + 1;
  }
  if (width < 0) {
    a.lastColumn = a.firstColumn;
    a.firstColumn = a.lastColumn + width + 1;
  }
  if (a.firstRow < 1 || a.firstColumn < 1 || a.lastRow > kMaxRows || a.lastColumn > kMaxColumns) return Value::Error(CalcError::Ref);
  return Value::Reference(a);
}

// INDIRECT's text as A1 text, read as the workbook reads it; nullopt when
// it is no reference there.
std::optional<std::string> IndirectText(const std::string& text, ReferenceText syntax) {
  switch (syntax) {
    case ReferenceText::A1:
      return text;
    case ReferenceText::SheetDot:
    case ReferenceText::SheetDotThenA1: {
      std::optional<std::string> a1;
      try {
        a1 = SheetDotReferenceToA1(text);
      } catch (const FormulaUnreadable& e) {
        throw NotEvaluable{"INDIRECT with a reference that " + e.what};
      }
      if (a1) return a1;
      // Without a sheet the text reads alike both ways ("A1", a name).
      if (syntax == ReferenceText::SheetDotThenA1 || text.find_first_of(".!") == std::string::npos) return text;
      return std::nullopt;
    }
    case ReferenceText::Unknown:
      break;
  }
  throw NotEvaluable{"INDIRECT, whose reference texts this workbook reads in a way the host does not"};
}

Value Indirect(CallContext& c) {
  const std::string text = c.Text(0);
  if (!c.BooleanOr(1, true)) throw NotEvaluable{"INDIRECT with an R1C1 reference"};
  const std::optional<std::string> a1 = IndirectText(text, c.Engine().Source().IndirectReferences());
  if (!a1) return Value::Error(CalcError::Ref);
  NodePtr node;
  try {
    node = ParseA1Formula(*a1);
  } catch (const FormulaUnreadable&) {
    return Value::Error(CalcError::Ref);
  }
  if (node->kind != Node::Kind::Reference && node->kind != Node::Kind::Name &&
      !(node->kind == Node::Kind::Binary && node->op == Operator::Range))
    return Value::Error(CalcError::Ref);
  Value v = c.Engine().Evaluate(*node, c.At());
  if (v.type != Value::Type::Reference) return Value::Error(CalcError::Ref);
  return v;
}

Value Choose(CallContext& c) {
  const int index = static_cast<int>(std::trunc(c.Number(0)));
  if (index < 1 || index >= c.Count()) return Value::Error(CalcError::Value);
  return c.Arg(index);
}

// ROW and COLUMN: of the formula's cell, or of a reference (all its rows
// as an array in an array formula).
Value Position(CallContext& c, bool row) {
  if (c.IsMissing(0)) return Value::Number(row ? c.At().row : c.At().column);
  const std::vector<Area>& areas = c.Areas(0);
  const Area& a = areas[0];
  const int count = row ? a.Rows() : a.Columns();
  if (!c.At().arrayMode || count == 1) return Value::Number(row ? a.firstRow : a.firstColumn);
  Matrix m(row ? count : 1, row ? 1 : count);
  for (int i = 0; i < count; ++i) m.cells[static_cast<size_t>(i)] = Value::Number((row ? a.firstRow : a.firstColumn) + i);
  return Value::Array(std::move(m));
}
Value Row(CallContext& c) { return Position(c, true); }
Value Column(CallContext& c) { return Position(c, false); }

Value Extent(CallContext& c, bool rows) {
  const Value& v = c.Arg(0);
  if (v.type == Value::Type::Reference) {
    if (v.areas.size() != 1) return Value::Error(CalcError::Ref);
    return Value::Number(rows ? v.areas[0].Rows() : v.areas[0].Columns());
  }
  if (v.IsError()) return v;
  if (v.type == Value::Type::Array) return Value::Number(rows ? v.array->rows : v.array->columns);
  return Value::Number(1);
}
Value Rows(CallContext& c) { return Extent(c, true); }
Value Columns(CallContext& c) { return Extent(c, false); }

Value Address(CallContext& c) {
  const double row = std::trunc(c.Number(0)), column = std::trunc(c.Number(1));
  const int kind = static_cast<int>(c.NumberOr(2, 1));
  const bool a1 = c.BooleanOr(3, true);
  if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns || kind < 1 || kind > 4) return Value::Error(CalcError::Value);
  const bool absRow = kind == 1 || kind == 2, absColumn = kind == 1 || kind == 3;
  std::string out;
  if (!c.IsMissing(4)) {
    std::string sheet = c.Text(4);
    bool plain = !sheet.empty();
    for (char ch : sheet)
      if (!((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '_' || ch == '.')) plain = false;
    if (!sheet.empty() && sheet[0] >= '0' && sheet[0] <= '9') plain = false;
    if (plain) out = sheet + "!";
    else {
      std::string quoted = "'";
      for (char ch : sheet) quoted += ch == '\'' ? std::string("''") : std::string(1, ch);
      out = quoted + "'!";
    }
  }
  const long r = static_cast<long>(row), col = static_cast<long>(column);
  if (a1) {
    out += (absColumn ? "$" : "") + ColumnLetters(static_cast<int>(col)) + (absRow ? "$" : "") + std::to_string(r);
  } else {
    out += absRow ? "R" + std::to_string(r) : "R[" + std::to_string(r) + "]";
    out += absColumn ? "C" + std::to_string(col) : "C[" + std::to_string(col) + "]";
  }
  return Value::Text(out);
}

constexpr FunctionDef kLookup[] = {
    {"VLOOKUP", 3, 4, VLookup, 1u << 1},
    {"HLOOKUP", 3, 4, HLookup, 1u << 1},
    {"XLOOKUP", 3, 6, XLookup, (1u << 1) | (1u << 2)},
    {"LOOKUP", 2, 3, Lookup, (1u << 1) | (1u << 2)},
    {"MATCH", 2, 3, Match, 1u << 1},
    {"XMATCH", 2, 4, XMatch, 1u << 1},
    {"INDEX", 2, 4, Index, 1u},
    {"OFFSET", 3, 5, Offset},
    {"INDIRECT", 1, 2, Indirect},
    {"CHOOSE", 2, 255, Choose},
    {"ROW", 0, 1, Row},
    {"COLUMN", 0, 1, Column},
    {"ROWS", 1, 1, Rows, 1u},
    {"COLUMNS", 1, 1, Columns, 1u},
    {"ADDRESS", 2, 5, Address},
};

}  // namespace

std::span<const FunctionDef> LookupFunctions() { return kLookup; }

}  // namespace host::calc
