#pragma once
// Computes formulas over a workbook's cells with the reference program's
// semantics: implicit intersection of a range where one value is wanted,
// blank cells as 0 or "", errors passed on, text and numbers converted as it
// converts them, array arguments where a function takes arrays. Every
// cell is read once and every formula cell computed once, and kept. A chain of formulas deeper than a
// few dozen cells is computed from its far end by an explicit stack, so no
// sheet makes the recursion unbounded; a cycle is reported, not followed.
// A formula that cannot be computed here (a volatile or unknown function, a
// link to another workbook, a cycle) is reported with the reason; formulas
// that depend on it are reported alike.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/core/calc/CalcValue.h"
#include "host/core/calc/CellMemo.h"
#include "host/core/calc/CellSource.h"
#include "host/core/calc/FormulaTree.h"

namespace host::calc {

// Why a formula has no result here.
struct NotEvaluable {
  std::string why;
};

class Evaluator;
class CallContext;

// One function the engine knows: its argument count, which arguments it
// takes as arrays (bit i for argument i; kAllArrays for every one), and
// whether it is computed element by element when an array comes where it
// takes one value.
struct FunctionDef {
  std::string_view name;
  int minArgs;
  int maxArgs;
  Value (*call)(CallContext&);
  uint32_t arrayArgs = 0;
  bool lifts = false;
};
inline constexpr uint32_t kAllArrays = 0xFFFFFFFFu;

// The function of an upper-case name, or nullptr.
const FunctionDef* FindFunction(std::string_view name);
// True for a function whose result changes without its inputs changing (NOW, RAND).
bool IsVolatileFunction(std::string_view name);

class Evaluator {
 public:
  explicit Evaluator(const CellSource& source);
  ~Evaluator();

  struct Outcome {
    bool evaluated = false;
    bool formula = false;  // evaluated from the cell's formula (not its stored value)
    Value value;           // a scalar when evaluated
    std::string why;       // when not
  };

  // The result of the formula in the cell (the cell's own value when it holds none).
  Outcome Cell(int sheet, int row, int column);
  // The result of formula text as if it stood in the cell.
  Outcome Formula(std::string_view formula, int sheet, int row, int column);

  // For functions: the value of a cell now (formulas computed); throws NotEvaluable.
  Value ReadCell(int sheet, int row, int column);
  const CellSource& Source() const { return source_; }
  // Calls fn for every cell of the area that holds something (blank cells
  // left out), in row order; whole columns are bounded by the used area.
  void ForEachCell(const Area& area, const std::function<void(int row, int column, const Value&)>& fn);
  // The area clipped to the sheet's used area; false when nothing is left.
  bool Clip(Area& area) const;

  // Evaluation of a node in the cell (sheet, row, column); arrayMode makes
  // operators work element by element on ranges.
  struct Place {
    int sheet, row, column;
    bool arrayMode;
  };
  Value Evaluate(const Node& node, const Place& place);
  // A value made one scalar as a cell at place takes it: a range by
  // implicit intersection, an array by its first element.
  Value Intersect(const Value& v, const Place& place);
  // A reference or array as a matrix of scalars (cells read); a scalar as 1×1.
  Matrix ToMatrix(const Value& v);

 private:
  // The value a slot read before gives: its value, or NotEvaluable.
  Value Kept(const CellMemo::Slot& slot) const;
  // Computes the formula of the cell into its slot (array: the whole result of an array formula).
  // key: the source's key of the cell's shape (the formula is then read only when no tree is kept for it).
  Value ComputeFormulaCell(CellMemo::Slot& slot, bool array, int sheet, int row, int column, const std::string& formula,
                           const std::string* key = nullptr);
  Value ArrayElement(int sheet, int row, int column, const CellArea& area);
  // The tree of a defined name's text, kept by text (or in own when too many are kept).
  const Node* Parsed(const std::string& formula, NodePtr& own);
  // The tree of a cell's formula, kept by shape (or in own when it has none
  // or too many are kept). Throws FormulaUnreadable.
  const Node* CellTree(const std::string& formula, int row, int column, NodePtr& own);
  // The tree of a cell's formula by the source's key of its shape, the
  // formula's A1 text read for the first cell of each key.
  const Node* KeyedTree(const std::string& key, int sheet, int row, int column, NodePtr& own);
  Value EvaluateReference(const Node& node, const Place& place);
  Value EvaluateName(const Node& node, const Place& place);
  Value EvaluateUnary(const Node& node, const Place& place);
  Value EvaluateBinary(const Node& node, const Place& place);
  Value EvaluateCall(const Node& node, const Place& place);
  Value Operand(const Node& node, const Place& place);

  const CellSource& source_;
  CellMemo memo_;  // every cell read, formulas computed
  std::unordered_map<std::string, NodePtr> trees_;   // defined names' trees by text
  std::unordered_map<std::string, NodePtr> shapes_;  // cells' trees by shape; null: read one by one
  std::unordered_map<std::string, NodePtr> keyed_;   // cells' trees by the source's key; null: read one by one
  std::string shape_;                                // scratch for the shape of a formula
  std::string key_;                                  // scratch for the source's key of a formula
  size_t depth_ = 0;  // formula cells being computed inside one another
  int nameDepth_ = 0;
};

// What a function gets: its arguments, evaluated when first asked for, and
// the helpers that read them as the reference program reads a parameter.
// The helpers throw ErrorResult for an error argument or one of the wrong
// kind; the call then gives that error.
class CallContext {
 public:
  CallContext(Evaluator& engine, const Node& call, const Evaluator::Place& place, const FunctionDef& def);

  int Count() const { return static_cast<int>(values_.size()); }
  bool IsMissing(int i) const;
  // The argument as evaluated: references stay references.
  const Value& Arg(int i);
  // The argument as one value (implicit intersection); blank when missing.
  Value Scalar(int i);
  double Number(int i);
  double NumberOr(int i, double fallback);
  std::string Text(int i);
  bool Boolean(int i);
  bool BooleanOr(int i, bool fallback);
  // The argument as a matrix (cells of a reference read).
  Matrix Grid(int i);
  // The argument's areas; ErrorResult(#VALUE!) when it is no reference.
  const std::vector<Area>& Areas(int i);

  Evaluator& Engine() { return *engine_; }
  const Evaluator::Place& At() const { return place_; }
  bool Date1904() const { return engine_->Source().Date1904(); }
  // Replaces argument i by a value (for a call made element by element).
  void Set(int i, Value v);
  const Node& CallNode() const { return *call_; }

 private:
  Evaluator* engine_;
  const Node* call_;
  Evaluator::Place place_;
  const FunctionDef* def_;
  std::vector<Value> values_;
  std::vector<uint8_t> ready_;
};

// For the function families: every number among values given to an
// aggregate such as SUM. Numbers in references and arrays count, their text
// and booleans do not; typed arguments are converted (TRUE is 1, "3" is 3);
// errors are thrown unless skipErrors. Hidden rows are left out when
// skipHidden, and cells holding SUBTOTAL or AGGREGATE when skipSubtotals.
struct NumberFilter {
  bool skipHidden = false;
  bool skipErrors = false;
  bool skipSubtotals = false;
  bool countTextInReferences = false;  // COUNTA-like: text and booleans of cells as 0 (AVERAGEA)
};
void CollectNumbers(CallContext& c, int firstArg, std::vector<double>& out, const NumberFilter& filter = {});

}  // namespace host::calc
