#include "host/core/calc/Evaluator.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <tuple>

#include "host/core/HostError.h"
#include "host/core/calc/Coercion.h"
#include "host/core/calc/FormulaParser.h"

namespace host::calc {

namespace {

// Formula cells computed inside one another before the chain is computed
// from its far end instead (see Evaluator::Cell).
constexpr size_t kMaxChain = 48;
// Defined names that refer to names, at most this deep.
constexpr int kMaxNameDepth = 32;
// Formula trees kept by shape (and defined names' trees by text) at most;
// beyond, a formula is read for its cell alone.
constexpr size_t kMaxTrees = 100000;
// An array an operator or function makes holds at most this many values.
constexpr long long kMaxArrayCells = 1LL << 20;  // a whole column of cells

// A formula deeper in a chain than kMaxChain: computed first by Cell's
// stack (array: the whole result of the array formula at the cell).
struct Defer {
  int sheet, row, column;
  bool array;
  bool operator==(const Defer&) const = default;
};

Value FromStored(const StoredValue& stored) {
  switch (stored.kind) {
    case CellKind::Blank:
      return {};
    case CellKind::Number:
      return Value::Number(stored.number);
    case CellKind::Text:
      return Value::Text(stored.text);
    case CellKind::Boolean:
      return Value::Boolean(stored.number != 0);
    case CellKind::Error: {
      CalcError error = CalcError::Value;
      ErrorFromText(stored.text, error);
      return Value::Error(error);
    }
  }
  return {};
}

// The element of a matrix at (r, c), a row or column of one repeated; #N/A beyond.
const Value& Element(const Matrix& m, int r, int c) {
  static const Value kNA = Value::Error(CalcError::NA);
  const int rr = m.rows == 1 ? 0 : r, cc = m.columns == 1 ? 0 : c;
  if (rr >= m.rows || cc >= m.columns) return kNA;
  return m.At(rr, cc);
}

Value ScalarBinary(Operator op, const Value& a, const Value& b, bool date1904) {
  if (op >= Operator::Equal && op <= Operator::GreaterEqual) {
    if (a.IsError()) return a;
    if (b.IsError()) return b;
    const int cmp = Compare(a, b);
    switch (op) {
      case Operator::Equal: return Value::Boolean(cmp == 0);
      case Operator::NotEqual: return Value::Boolean(cmp != 0);
      case Operator::Less: return Value::Boolean(cmp < 0);
      case Operator::Greater: return Value::Boolean(cmp > 0);
      case Operator::LessEqual: return Value::Boolean(cmp <= 0);
      default: return Value::Boolean(cmp >= 0);
    }
  }
  // Errors pass on, left operand first, without the cost of a throw: a
  // column of formulas below one error is as common as it is long.
  if (a.IsError()) return a;
  auto plain = [](const Value& v) { return v.type == Value::Type::Number || v.type == Value::Type::Boolean || v.type == Value::Type::Blank; };
  if (b.IsError() && (op == Operator::Concat || plain(a))) return b;
  try {
    if (op == Operator::Concat) {
      std::string left = ToText(a);
      return Value::Text(left + ToText(b));
    }
    const double x = ToNumber(a, date1904), y = ToNumber(b, date1904);
    switch (op) {
      case Operator::Add: return NumberResult(Add(x, y));
      case Operator::Subtract: return NumberResult(Add(x, -y));
      case Operator::Multiply: return NumberResult(x * y);
      case Operator::Divide:
        if (y == 0) return Value::Error(CalcError::Div0);
        return NumberResult(x / y);
      case Operator::Power:
        if (x == 0 && y == 0) return Value::Error(CalcError::Num);
        if (x == 0 && y < 0) return Value::Error(CalcError::Div0);
        if (x < 0 && y != std::floor(y)) return Value::Error(CalcError::Num);
        return NumberResult(std::pow(x, y));
      default: return Value::Error(CalcError::Value);
    }
  } catch (const ErrorResult& e) {
    return Value::Error(e.error);
  }
}

Value ScalarUnary(Operator op, const Value& a, bool date1904) {
  if (a.IsError()) return a;
  if (op == Operator::Plus) return a.type == Value::Type::Blank ? Value::Number(0) : a;
  try {
    const double x = ToNumber(a, date1904);
    return NumberResult(op == Operator::Negate ? -x : x / 100);
  } catch (const ErrorResult& e) {
    return Value::Error(e.error);
  }
}

// The area a reference node names in the cell at place (relative
// coordinates are offsets from it); false when it falls off the grid.
bool NodeArea(const Node& node, const Evaluator::Place& place, Area& area) {
  area.firstRow = node.firstRow;
  area.firstColumn = node.firstColumn;
  area.lastRow = node.lastRow;
  area.lastColumn = node.lastColumn;
  if (node.relative == 0) return true;
  if (node.relative & kRelativeFirstRow) area.firstRow += place.row;
  if (node.relative & kRelativeFirstColumn) area.firstColumn += place.column;
  if (node.relative & kRelativeLastRow) area.lastRow += place.row;
  if (node.relative & kRelativeLastColumn) area.lastColumn += place.column;
  if (area.firstRow > area.lastRow) std::swap(area.firstRow, area.lastRow);
  if (area.firstColumn > area.lastColumn) std::swap(area.firstColumn, area.lastColumn);
  return area.firstRow >= 1 && area.firstColumn >= 1 && area.lastRow <= kMaxRows && area.lastColumn <= kMaxColumns;
}

// The tree kept in trees for a shape's key (when shaped), else the formula
// text() gives read at its cell, kept for its shape when it serves every
// formula of it (or marked as read one by one), else held in own.
template <class Text>
const Node* KeptOrRead(std::unordered_map<std::string, NodePtr>& trees, bool shaped, const std::string& key, const Text& text,
                       int row, int column, NodePtr& own) {
  if (shaped) {
    auto found = trees.find(key);
    if (found != trees.end() && found->second) return found->second.get();
    if (found != trees.end()) shaped = false;  // a shape whose formulas are read one by one
  }
  ShapedFormula read = ParseA1FormulaAt(text(), row, column);
  // Trees kept are never dropped: one may be evaluating further up.
  if (shaped && trees.size() < kMaxTrees) {
    if (read.shareable) return trees.emplace(key, std::move(read.tree)).first->second.get();
    trees.emplace(key, nullptr);
  }
  own = std::move(read.tree);
  return own.get();
}

bool HasSubtotal(const std::string& formula) {
  const std::string upper = UpperText(formula);
  return upper.find("SUBTOTAL(") != std::string::npos || upper.find("AGGREGATE(") != std::string::npos;
}

}  // namespace

Evaluator::Evaluator(const CellSource& source) : source_(source), memo_(source) {}
Evaluator::~Evaluator() = default;

Evaluator::Outcome Evaluator::Cell(int sheet, int row, int column) {
  Outcome out;
  // The explicit stack: a cell whose chain of formulas runs deeper than
  // kMaxChain names the cell where it stopped; that one is computed first,
  // then the cell again, which now finds it done. The stack is made only
  // when a chain is put off (most cells need none).
  const Defer first{sheet, row, column, false};
  std::vector<Defer> stack;
  try {
    for (;;) {
      const Defer top = stack.empty() ? first : stack.back();
      try {
        depth_ = 0;
        // An array formula's whole result is computed by reading its first cell.
        out.value = ReadCell(top.sheet, top.row, top.column);
        if (stack.size() <= 1) break;  // the cell itself is done
        stack.pop_back();
      } catch (const Defer& next) {
        if (stack.empty()) stack.push_back(first);
        auto cycle = std::find(stack.begin(), stack.end(), next);
        if (cycle != stack.end()) {
          for (auto it = cycle; it != stack.end(); ++it) memo_.Fail(memo_.At(it->sheet, it->row, it->column, it->array), "a circular reference");
          continue;
        }
        stack.push_back(next);
      }
    }
    out.evaluated = true;
    const CellMemo::Slot* slot = memo_.Find(sheet, row, column);
    CellArea array;
    out.formula = (slot && slot->formula) || source_.ArrayFormulaArea(sheet, row, column, array);
    // A formula's blank result is 0.
    if (out.value.type == Value::Type::Blank && (out.formula || !source_.CellFormula(sheet, row, column).empty()))
      out.value = Value::Number(0);
  } catch (const NotEvaluable& e) {
    out.evaluated = false;
    out.value = {};
    out.why = e.why;
  }
  depth_ = 0;
  return out;
}

Evaluator::Outcome Evaluator::Formula(std::string_view formula, int sheet, int row, int column) {
  Outcome out;
  try {
    NodePtr tree;
    try {
      tree = ParseA1Formula(formula);
    } catch (const FormulaUnreadable& e) {
      throw NotEvaluable{"the formula cannot be read here: " + e.what};
    }
    for (;;) {
      try {
        depth_ = 0;
        const Place place{sheet, row, column, false};
        out.value = Intersect(Evaluate(*tree, place), place);
        break;
      } catch (const Defer& next) {
        Outcome first = Cell(next.sheet, next.row, next.column);
        if (!first.evaluated) throw NotEvaluable{first.why};
      }
    }
    if (out.value.type == Value::Type::Blank) out.value = Value::Number(0);
    out.evaluated = true;
  } catch (const NotEvaluable& e) {
    out.evaluated = false;
    out.value = {};
    out.why = e.why;
  }
  depth_ = 0;
  return out;
}

Value Evaluator::ReadCell(int sheet, int row, int column) {
  // A cell read before is answered before its text is asked for.
  CellMemo::Slot& slot = memo_.At(sheet, row, column);
  if (slot.state != CellMemo::Slot::State::Unread) return Kept(slot);
  CellArea array;
  if (source_.ArrayFormulaArea(sheet, row, column, array)) return ArrayElement(sheet, row, column, array);
  const FormulaKey kind = source_.CellFormulaKey(sheet, row, column, key_);
  if (kind == FormulaKey::Keyed) return ComputeFormulaCell(slot, false, sheet, row, column, key_, true);
  if (kind == FormulaKey::TextOnly) {
    std::string formula = source_.CellFormula(sheet, row, column);
    if (!formula.empty()) return ComputeFormulaCell(slot, false, sheet, row, column, formula);
  }
  Value v = FromStored(source_.CellValue(sheet, row, column));
  memo_.Keep(slot, v);
  return v;
}

Value Evaluator::Kept(const CellMemo::Slot& slot) const {
  if (slot.state == CellMemo::Slot::State::Kept) return memo_.Get(slot);
  if (slot.state == CellMemo::Slot::State::Failed) throw NotEvaluable{memo_.Why(slot)};
  throw NotEvaluable{"a circular reference"};
}

Value Evaluator::ComputeFormulaCell(CellMemo::Slot& slot, bool array, int sheet, int row, int column, const std::string& formula,
                                    bool keyed) {
  if (slot.state != CellMemo::Slot::State::Unread) return Kept(slot);
  if (depth_ >= kMaxChain) throw Defer{sheet, row, column, array};
  slot.state = CellMemo::Slot::State::InProgress;
  slot.formula = true;
  ++depth_;
  Value v;
  try {
    // Formulas of one shape (a filled column) share one tree.
    NodePtr own;
    const Node* tree = nullptr;
    try {
      // (The key is read before anything else is: it is the engine's scratch.)
      tree = keyed ? KeyedTree(formula, sheet, row, column, own) : CellTree(formula, row, column, own);
    } catch (const FormulaUnreadable& e) {
      throw NotEvaluable{"the formula cannot be read here: " + e.what};
    }
    const Place place{sheet, row, column, array};
    v = Evaluate(*tree, place);
    if (array) {
      if (v.type == Value::Type::Reference) v = Value::Array(ToMatrix(v));
    } else {
      v = Intersect(v, place);
      if (v.type == Value::Type::Blank) v = Value::Number(0);
    }
    memo_.Keep(slot, v);
  } catch (const NotEvaluable& e) {
    memo_.Fail(slot, e.why);
    --depth_;
    throw;
  } catch (const Defer&) {
    memo_.Clear(slot);
    --depth_;
    throw;
  }
  --depth_;
  return v;
}

Value Evaluator::ArrayElement(int sheet, int row, int column, const CellArea& area) {
  const std::string formula = source_.CellFormula(sheet, area.firstRow, area.firstColumn);
  if (formula.empty()) throw NotEvaluable{"an array formula without its formula"};
  const Value whole = ComputeFormulaCell(memo_.At(sheet, area.firstRow, area.firstColumn, true), true, sheet, area.firstRow,
                                         area.firstColumn, formula);
  if (whole.type != Value::Type::Array) return whole;
  return Element(*whole.array, row - area.firstRow, column - area.firstColumn);
}

bool Evaluator::ArraySize(int sheet, int row, int column, int& rows, int& columns) {
  const CellMemo::Slot& slot = memo_.At(sheet, row, column, true);
  if (slot.state != CellMemo::Slot::State::Kept) return false;
  const Value whole = memo_.Get(slot);
  rows = whole.type == Value::Type::Array ? whole.array->rows : 1;
  columns = whole.type == Value::Type::Array ? whole.array->columns : 1;
  return true;
}

const Node* Evaluator::Parsed(const std::string& formula, NodePtr& own) {
  auto found = trees_.find(formula);
  if (found != trees_.end()) return found->second.get();
  own = ParseA1Formula(formula);
  // Trees kept are never dropped: one may be evaluating further up.
  if (trees_.size() >= kMaxTrees) return own.get();
  return trees_.emplace(formula, std::move(own)).first->second.get();
}

const Node* Evaluator::CellTree(const std::string& formula, int row, int column, NodePtr& own) {
  const bool shaped = FormulaShape(formula, row, column, shape_);
  return KeptOrRead(shapes_, shaped, shape_, [&] { return std::string_view(formula); }, row, column, own);
}

const Node* Evaluator::KeyedTree(const std::string& key, int sheet, int row, int column, NodePtr& own) {
  // A formula whose text the store cannot give is one the engine cannot read.
  auto text = [&] {
    try {
      return source_.CellFormula(sheet, row, column);
    } catch (const HostDefect&) {
      throw;  // a fault the host did not foresee stays one
    } catch (const HostError& e) {
      // The store's own words; any other fault goes on to where the host
      // turns faults into messages.
      throw FormulaUnreadable{e.Description()};
    }
  };
  return KeptOrRead(keyed_, true, key, text, row, column, own);
}

bool Evaluator::MayHoldFormula(int sheet, int row, int column) const {
  const CellMemo::Slot* slot = memo_.Find(sheet, row, column);
  return !slot || slot->formula || slot->state != CellMemo::Slot::State::Kept;
}

bool Evaluator::Clip(Area& area) const {
  CellArea used;
  if (!source_.UsedArea(area.sheet, used)) return false;
  area.firstRow = std::max(area.firstRow, used.firstRow);
  area.firstColumn = std::max(area.firstColumn, used.firstColumn);
  area.lastRow = std::min(area.lastRow, used.lastRow);
  area.lastColumn = std::min(area.lastColumn, used.lastColumn);
  return area.firstRow <= area.lastRow && area.firstColumn <= area.lastColumn;
}

void Evaluator::ForEachCell(const Area& whole, const std::function<void(int, int, const Value&)>& fn) {
  Area area = whole;
  if (!Clip(area)) return;
  for (int r = area.firstRow; r <= area.lastRow; ++r)
    for (int c = area.firstColumn; c <= area.lastColumn; ++c) {
      const Value v = ReadCell(area.sheet, r, c);
      if (v.type != Value::Type::Blank) fn(r, c, v);
    }
}

Matrix Evaluator::ToMatrix(const Value& v) {
  if (v.type == Value::Type::Array) return *v.array;
  if (v.type != Value::Type::Reference) {
    Matrix m(1, 1);
    m.At(0, 0) = v;
    return m;
  }
  if (v.areas.size() != 1) {
    Matrix m(1, 1);
    m.At(0, 0) = Value::Error(CalcError::Value);
    return m;
  }
  // Whole columns and rows end where the sheet's cells end.
  Area area = v.areas[0];
  CellArea used;
  if (source_.UsedArea(area.sheet, used)) {
    area.lastRow = std::max(area.firstRow, std::min(area.lastRow, used.lastRow));
    area.lastColumn = std::max(area.firstColumn, std::min(area.lastColumn, used.lastColumn));
  } else {
    area.lastRow = area.firstRow;
    area.lastColumn = area.firstColumn;
  }
  if (area.Cells() > kMaxArrayCells) throw NotEvaluable{"an array too large to compute"};
  Matrix m(area.Rows(), area.Columns());
  for (int r = 0; r < m.rows; ++r)
    for (int c = 0; c < m.columns; ++c) m.At(r, c) = ReadCell(area.sheet, area.firstRow + r, area.firstColumn + c);
  return m;
}

Value Evaluator::Intersect(const Value& v, const Place& place) {
  if (v.type == Value::Type::Array) return v.array->cells.empty() ? Value::Error(CalcError::Value) : v.array->At(0, 0);
  if (v.type != Value::Type::Reference) return v;
  if (v.areas.size() != 1) return Value::Error(CalcError::Value);
  const Area& a = v.areas[0];
  int row = a.firstRow, column = a.firstColumn;
  if (a.Rows() > 1) {
    if (place.row < a.firstRow || place.row > a.lastRow) return Value::Error(CalcError::Value);
    row = place.row;
  }
  if (a.Columns() > 1) {
    if (place.column < a.firstColumn || place.column > a.lastColumn) return Value::Error(CalcError::Value);
    column = place.column;
  }
  return ReadCell(a.sheet, row, column);
}

Value Evaluator::Evaluate(const Node& node, const Place& place) {
  switch (node.kind) {
    case Node::Kind::Constant:
    case Node::Kind::ArrayConstant:
      return node.constant;
    case Node::Kind::Missing:
      return {};
    case Node::Kind::Reference:
      return EvaluateReference(node, place);
    case Node::Kind::Name:
      return EvaluateName(node, place);
    case Node::Kind::Unary:
      return EvaluateUnary(node, place);
    case Node::Kind::Binary:
      return EvaluateBinary(node, place);
    case Node::Kind::Function:
      return EvaluateCall(node, place);
  }
  return {};
}

Value Evaluator::EvaluateReference(const Node& node, const Place& place) {
  if (node.refError) return Value::Error(CalcError::Ref);
  int first = place.sheet, last = place.sheet;
  if (!node.sheet.empty()) {
    first = last = source_.FindSheet(node.sheet);
    if (!node.lastSheet.empty()) last = source_.FindSheet(node.lastSheet);
    if (first < 0 || last < 0) return Value::Error(CalcError::Ref);
    if (last < first) std::swap(first, last);
  }
  Area area;
  if (!NodeArea(node, place, area)) return Value::Error(CalcError::Ref);
  Value v;
  v.type = Value::Type::Reference;
  for (int s = first; s <= last; ++s) {
    area.sheet = s;
    v.areas.push_back(area);
  }
  return v;
}

Value Evaluator::EvaluateName(const Node& node, const Place& place) {
  int sheet = place.sheet;
  if (!node.sheet.empty()) {
    sheet = source_.FindSheet(node.sheet);
    if (sheet < 0) return Value::Error(CalcError::Ref);
  }
  const std::optional<std::string> text = source_.DefinedName(node.name, sheet);
  if (!text) return Value::Error(CalcError::Name);
  if (nameDepth_ >= kMaxNameDepth) throw NotEvaluable{"defined names that refer to one another in a circle"};
  const Node* tree = nullptr;
  NodePtr own;
  try {
    tree = Parsed(*text, own);
  } catch (const FormulaUnreadable& e) {
    throw NotEvaluable{"the defined name " + node.name + " cannot be read here: " + e.what};
  }
  ++nameDepth_;
  try {
    Value v = Evaluate(*tree, place);
    --nameDepth_;
    return v;
  } catch (...) {
    --nameDepth_;
    throw;
  }
}

Value Evaluator::Operand(const Node& node, const Place& place) {
  // A single cell is read straight away, without a reference value made for it.
  if (node.kind == Node::Kind::Reference && !node.refError && node.lastSheet.empty()) {
    Area area;
    if (NodeArea(node, place, area) && area.firstRow == area.lastRow && area.firstColumn == area.lastColumn) {
      const int sheet = node.sheet.empty() ? place.sheet : source_.FindSheet(node.sheet);
      if (sheet < 0) return Value::Error(CalcError::Ref);
      return ReadCell(sheet, area.firstRow, area.firstColumn);
    }
  }
  Value v = Evaluate(node, place);
  if (v.type != Value::Type::Reference) return v;
  if (v.areas.size() == 1 && v.areas[0].Cells() == 1) return ReadCell(v.areas[0].sheet, v.areas[0].firstRow, v.areas[0].firstColumn);
  if (place.arrayMode) return Value::Array(ToMatrix(v));
  return Intersect(v, place);
}

Value Evaluator::EvaluateUnary(const Node& node, const Place& place) {
  const Value a = Operand(*node.children[0], place);
  const bool date1904 = source_.Date1904();
  if (a.type != Value::Type::Array) return ScalarUnary(node.op, a, date1904);
  Matrix out(a.array->rows, a.array->columns);
  for (size_t i = 0; i < out.cells.size(); ++i) out.cells[i] = ScalarUnary(node.op, a.array->cells[i], date1904);
  return Value::Array(std::move(out));
}

Value Evaluator::EvaluateBinary(const Node& node, const Place& place) {
  if (node.op == Operator::Range || node.op == Operator::Union || node.op == Operator::Intersect) {
    const Value a = Evaluate(*node.children[0], place);
    const Value b = Evaluate(*node.children[1], place);
    if (a.IsError()) return a;
    if (b.IsError()) return b;
    if (a.type != Value::Type::Reference || b.type != Value::Type::Reference) return Value::Error(CalcError::Value);
    Value out;
    out.type = Value::Type::Reference;
    if (node.op == Operator::Union) {
      out.areas = a.areas;
      out.areas.insert(out.areas.end(), b.areas.begin(), b.areas.end());
      return out;
    }
    if (node.op == Operator::Range) {
      if (a.areas.size() != 1 || b.areas.size() != 1 || a.areas[0].sheet != b.areas[0].sheet) return Value::Error(CalcError::Value);
      const Area &x = a.areas[0], &y = b.areas[0];
      out.areas.push_back(Area{x.sheet, std::min(x.firstRow, y.firstRow), std::min(x.firstColumn, y.firstColumn),
                               std::max(x.lastRow, y.lastRow), std::max(x.lastColumn, y.lastColumn)});
      return out;
    }
    for (const Area& x : a.areas)
      for (const Area& y : b.areas) {
        if (x.sheet != y.sheet) continue;
        Area z{x.sheet, std::max(x.firstRow, y.firstRow), std::max(x.firstColumn, y.firstColumn),
               std::min(x.lastRow, y.lastRow), std::min(x.lastColumn, y.lastColumn)};
        if (z.firstRow <= z.lastRow && z.firstColumn <= z.lastColumn) out.areas.push_back(z);
      }
    if (out.areas.empty()) return Value::Error(CalcError::Null);
    return out;
  }
  const Value a = Operand(*node.children[0], place);
  const Value b = Operand(*node.children[1], place);
  const bool date1904 = source_.Date1904();
  if (a.type != Value::Type::Array && b.type != Value::Type::Array) return ScalarBinary(node.op, a, b, date1904);
  Matrix one(1, 1);
  const Matrix& x = a.type == Value::Type::Array ? *a.array : (one.At(0, 0) = a, one);
  Matrix other(1, 1);
  const Matrix& y = b.type == Value::Type::Array ? *b.array : (other.At(0, 0) = b, other);
  const int rows = std::max(x.rows, y.rows), columns = std::max(x.columns, y.columns);
  if (static_cast<long long>(rows) * columns > kMaxArrayCells) throw NotEvaluable{"an array too large to compute"};
  Matrix out(rows, columns);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) out.At(r, c) = ScalarBinary(node.op, Element(x, r, c), Element(y, r, c), date1904);
  return Value::Array(std::move(out));
}

Value Evaluator::EvaluateCall(const Node& node, const Place& place) {
  if (IsVolatileFunction(node.name))
    throw NotEvaluable{"it uses " + node.name + ", whose result changes each time it is calculated"};
  const FunctionDef* def = FindFunction(node.name);
  if (!def) throw NotEvaluable{"it uses the function " + node.name + ", which the host does not calculate"};
  const int count = static_cast<int>(node.children.size());
  if (count < def->minArgs || count > def->maxArgs) return Value::Error(CalcError::Value);
  CallContext context(*this, node, place, *def);
  auto call = [&](CallContext& c) {
    try {
      return def->call(c);
    } catch (const ErrorResult& e) {
      return Value::Error(e.error);
    }
  };
  if (!def->lifts || !place.arrayMode) return call(context);
  // Computed element by element when arrays come where single values go.
  int rows = 1, columns = 1;
  bool lifted = false;
  std::vector<Matrix> grids(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const Value& v = context.Arg(i);
    const bool many = v.type == Value::Type::Array || (v.type == Value::Type::Reference && v.areas.size() == 1 && v.areas[0].Cells() > 1);
    if (!many) continue;
    grids[static_cast<size_t>(i)] = ToMatrix(v);
    rows = std::max(rows, grids[static_cast<size_t>(i)].rows);
    columns = std::max(columns, grids[static_cast<size_t>(i)].columns);
    lifted = true;
  }
  if (!lifted) return call(context);
  if (static_cast<long long>(rows) * columns > kMaxArrayCells) throw NotEvaluable{"an array too large to compute"};
  Matrix out(rows, columns);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      CallContext element(*this, node, place, *def);
      for (int i = 0; i < count; ++i)
        element.Set(i, grids[static_cast<size_t>(i)].cells.empty() ? context.Arg(i) : Element(grids[static_cast<size_t>(i)], r, c));
      Value v = call(element);
      out.At(r, c) = v.type == Value::Type::Array || v.type == Value::Type::Reference ? Intersect(v, place) : v;
    }
  return Value::Array(std::move(out));
}

// ---- CallContext ----

CallContext::CallContext(Evaluator& engine, const Node& call, const Evaluator::Place& place, const FunctionDef& def)
    : engine_(&engine), call_(&call), place_(place), def_(&def), values_(call.children.size()), ready_(call.children.size()) {}

bool CallContext::IsMissing(int i) const {
  return i >= Count() || call_->children[static_cast<size_t>(i)]->kind == Node::Kind::Missing;
}

const Value& CallContext::Arg(int i) {
  static const Value kBlank;
  if (i >= Count()) return kBlank;
  const size_t k = static_cast<size_t>(i);
  if (!ready_[k]) {
    Evaluator::Place place = place_;
    if (def_->arrayArgs == kAllArrays || (i < 32 && (def_->arrayArgs >> i) & 1u)) place.arrayMode = true;
    values_[k] = engine_->Evaluate(*call_->children[k], place);
    ready_[k] = 1;
  }
  return values_[k];
}

void CallContext::Set(int i, Value v) {
  values_[static_cast<size_t>(i)] = std::move(v);
  ready_[static_cast<size_t>(i)] = 1;
}

Value CallContext::Scalar(int i) {
  if (IsMissing(i)) return {};
  return engine_->Intersect(Arg(i), place_);
}

double CallContext::Number(int i) { return ToNumber(Scalar(i), Date1904()); }

double CallContext::NumberOr(int i, double fallback) { return IsMissing(i) ? fallback : Number(i); }

std::string CallContext::Text(int i) { return ToText(Scalar(i)); }

bool CallContext::Boolean(int i) { return ToBoolean(Scalar(i)); }

bool CallContext::BooleanOr(int i, bool fallback) { return IsMissing(i) ? fallback : Boolean(i); }

Matrix CallContext::Grid(int i) {
  const Value& v = Arg(i);
  if (v.IsError()) throw ErrorResult{v.error};
  return engine_->ToMatrix(v);
}

const std::vector<Area>& CallContext::Areas(int i) {
  const Value& v = Arg(i);
  if (v.IsError()) throw ErrorResult{v.error};
  if (v.type != Value::Type::Reference) throw ErrorResult{CalcError::Value};
  return v.areas;
}

void CollectNumbers(CallContext& c, int firstArg, std::vector<double>& out, const NumberFilter& filter) {
  Evaluator& engine = c.Engine();
  const CellSource& source = engine.Source();
  for (int i = firstArg; i < c.Count(); ++i) {
    if (c.IsMissing(i)) continue;
    const Value& v = c.Arg(i);
    if (v.type == Value::Type::Reference) {
      for (const Area& area : v.areas)
        engine.ForEachCell(area, [&](int row, int column, const Value& cell) {
          if (filter.skipHidden && source.RowHidden(area.sheet, row)) return;
          if (filter.skipSubtotals && engine.MayHoldFormula(area.sheet, row, column) &&
              HasSubtotal(source.CellFormula(area.sheet, row, column)))
            return;
          if (cell.type == Value::Type::Number) out.push_back(cell.number);
          else if (cell.IsError()) {
            if (!filter.skipErrors) throw ErrorResult{cell.error};
          } else if (filter.countTextInReferences) out.push_back(cell.type == Value::Type::Boolean ? cell.number : 0);
        });
    } else if (v.type == Value::Type::Array) {
      for (const Value& cell : v.array->cells) {
        if (cell.type == Value::Type::Number) out.push_back(cell.number);
        else if (cell.IsError()) {
          if (!filter.skipErrors) throw ErrorResult{cell.error};
        } else if (filter.countTextInReferences && cell.type != Value::Type::Blank) out.push_back(cell.type == Value::Type::Boolean ? cell.number : 0);
      }
    } else if (v.IsError()) {
      if (!filter.skipErrors) throw ErrorResult{v.error};
    } else if (v.type != Value::Type::Blank) {
      out.push_back(ToNumber(v, c.Date1904()));
    }
  }
}

}  // namespace host::calc
