#pragma once
// The criteria of COUNTIF, SUMIF, AVERAGEIF and their *IFS forms: "=5",
// ">=2024-01-01", "<>", "app*", a plain value; and the walk over the cells
// of one or more same-shaped ranges that meet all of them.

#include <functional>
#include <string>
#include <vector>

#include "host/core/calc/CalcValue.h"
#include "host/core/calc/Evaluator.h"

namespace host::calc {

class Criterion {
 public:
  // Reads a criterion value (a number, a boolean, or text with an optional
  // leading operator and wildcards * ? and ~ as escape).
  Criterion(const Value& criterion, bool date1904);
  // True when a cell's value meets the criterion.
  bool Matches(const Value& cell) const;

 private:
  enum class Op { Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual } op_ = Op::Equal;
  Value target_;
  bool wildcard_ = false;
  bool date1904_ = false;
};

// True when text matches a pattern with * (any run), ? (one character) and
// ~ (the next character literally), without case.
bool WildcardMatch(const std::string& text, const std::string& pattern);

// Calls fn(rowOffset, columnOffset) for every position of the ranges
// where each range's cell meets its criterion. The ranges must have the
// same shape (else #VALUE!); positions past the sheets' used areas, all
// blank, are visited only if blank cells meet every criterion (bounded by
// what the used areas leave).
void ForEachMatch(Evaluator& engine, const std::vector<Area>& ranges, const std::vector<Criterion>& criteria,
                  const std::function<void(int, int)>& fn);

// The criteria pairs of an *IFS call from argument first on (range, criterion, ...).
void ReadCriteriaPairs(CallContext& c, int first, std::vector<Area>& ranges, std::vector<Criterion>& criteria);

}  // namespace host::calc
