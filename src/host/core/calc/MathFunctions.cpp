// Arithmetic functions: sums and products, rounding, signs and remainders,
// SUMIF(S) and SUMPRODUCT.

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "host/core/calc/Coercion.h"
#include "host/core/calc/Criteria.h"
#include "host/core/calc/FunctionFamilies.h"

namespace host::calc {

double RoundDecimal(double value, int digits) {
  if (!std::isfinite(value) || digits > 15) return value;
  const double scale = std::pow(10.0, std::abs(digits));
  double scaled = digits >= 0 ? value * scale : value / scale;
  // The scaled value as the 15 digits a cell shows, so 2.675 rounds as 2.675.
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15g", scaled);
  scaled = std::strtod(buffer, nullptr);
  const double rounded = std::round(scaled);
  return digits >= 0 ? rounded / scale : rounded * scale;
}

namespace {

double Snap(double scaled) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15g", scaled);
  return std::strtod(buffer, nullptr);
}

Value Sum(CallContext& c) {
  std::vector<double> numbers;
  CollectNumbers(c, 0, numbers);
  double total = 0;
  for (double n : numbers) total = Add(total, n);
  return NumberResult(total);
}

Value Product(CallContext& c) {
  std::vector<double> numbers;
  CollectNumbers(c, 0, numbers);
  if (numbers.empty()) return Value::Number(0);
  double p = 1;
  for (double n : numbers) p *= n;
  return NumberResult(p);
}

Value SumSq(CallContext& c) {
  std::vector<double> numbers;
  CollectNumbers(c, 0, numbers);
  double total = 0;
  for (double n : numbers) total += n * n;
  return NumberResult(total);
}

Value SumProduct(CallContext& c) {
  std::vector<Matrix> grids;
  for (int i = 0; i < c.Count(); ++i) {
    grids.push_back(c.Grid(i));
    if (grids.back().rows != grids[0].rows || grids.back().columns != grids[0].columns) return Value::Error(CalcError::Value);
  }
  double total = 0;
  for (size_t k = 0; k < grids[0].cells.size(); ++k) {
    double p = 1;
    for (const Matrix& g : grids) {
      const Value& v = g.cells[k];
      if (v.IsError()) return v;
      p *= v.type == Value::Type::Number ? v.number : 0;  // text and booleans count as 0
    }
    total += p;
  }
  return NumberResult(total);
}

Value Round(CallContext& c) { return NumberResult(RoundDecimal(c.Number(0), static_cast<int>(std::trunc(c.NumberOr(1, 0))))); }

Value RoundAway(CallContext& c, bool up) {
  const double x = c.Number(0);
  const int digits = static_cast<int>(std::trunc(c.NumberOr(1, 0)));
  const double scale = std::pow(10.0, std::abs(digits));
  const double scaled = Snap(digits >= 0 ? x * scale : x / scale);
  const double r = up ? (scaled < 0 ? -std::ceil(-scaled) : std::ceil(scaled)) : std::trunc(scaled);
  return NumberResult(digits >= 0 ? r / scale : r * scale);
}
Value RoundUp(CallContext& c) { return RoundAway(c, true); }
Value RoundDown(CallContext& c) { return RoundAway(c, false); }

Value Int(CallContext& c) { return NumberResult(std::floor(c.Number(0))); }
Value Trunc(CallContext& c) { return RoundAway(c, false); }
Value Abs(CallContext& c) { return NumberResult(std::fabs(c.Number(0))); }
Value Sign(CallContext& c) {
  const double x = c.Number(0);
  return Value::Number(x > 0 ? 1 : x < 0 ? -1 : 0);
}

Value Mod(CallContext& c) {
  const double n = c.Number(0), d = c.Number(1);
  if (d == 0) return Value::Error(CalcError::Div0);
  const double r = n - d * std::floor(n / d);
  return NumberResult(std::fabs(r - d) < std::fabs(d) * 1e-15 ? 0 : r);
}

Value Power(CallContext& c) {
  const double x = c.Number(0), y = c.Number(1);
  if (x == 0 && y == 0) return Value::Error(CalcError::Num);
  if (x == 0 && y < 0) return Value::Error(CalcError::Div0);
  if (x < 0 && y != std::floor(y)) return Value::Error(CalcError::Num);
  return NumberResult(std::pow(x, y));
}

Value Sqrt(CallContext& c) {
  const double x = c.Number(0);
  if (x < 0) return Value::Error(CalcError::Num);
  return NumberResult(std::sqrt(x));
}

// CEILING/FLOOR(number, significance): to a multiple of significance, away
// from or towards zero as the sign of significance says.
Value Multiple(CallContext& c, bool up) {
  const double x = c.Number(0);
  const double s = c.NumberOr(1, 1);
  if (x == 0 || s == 0) return Value::Number(0);
  if (x > 0 && s < 0) return Value::Error(CalcError::Num);
  const double q = Snap(x / s);
  // In multiples of s: with both negative, CEILING goes away from zero and
  // FLOOR towards it; a negative number with a positive s goes up or down.
  return NumberResult((up ? std::ceil(q) : std::floor(q)) * s);
}
Value Ceiling(CallContext& c) { return Multiple(c, true); }
Value Floor(CallContext& c) { return Multiple(c, false); }

// CEILING.MATH/FLOOR.MATH(number, [significance], [mode]).
Value MathMultiple(CallContext& c, bool up) {
  const double x = c.Number(0);
  double s = std::fabs(c.NumberOr(1, 1));
  const bool mode = c.NumberOr(2, 0) != 0;
  if (s == 0 || x == 0) return Value::Number(0);
  const double q = Snap(x / s);
  double r;
  if (x < 0 && mode) r = up ? std::floor(q) : std::ceil(q);  // away from / towards zero
  else r = up ? std::ceil(q) : std::floor(q);
  return NumberResult(r * s);
}
Value CeilingMath(CallContext& c) { return MathMultiple(c, true); }
Value FloorMath(CallContext& c) { return MathMultiple(c, false); }

Value Quotient(CallContext& c) {
  const double n = c.Number(0), d = c.Number(1);
  if (d == 0) return Value::Error(CalcError::Div0);
  return NumberResult(std::trunc(Snap(n / d)));
}

Value Pi(CallContext&) { return Value::Number(M_PI); }
Value Exp(CallContext& c) { return NumberResult(std::exp(c.Number(0))); }
Value Ln(CallContext& c) {
  const double x = c.Number(0);
  if (x <= 0) return Value::Error(CalcError::Num);
  return NumberResult(std::log(x));
}
Value Log10(CallContext& c) {
  const double x = c.Number(0);
  if (x <= 0) return Value::Error(CalcError::Num);
  return NumberResult(std::log10(x));
}
Value Log(CallContext& c) {
  const double x = c.Number(0), b = c.NumberOr(1, 10);
  if (x <= 0 || b <= 0) return Value::Error(CalcError::Num);
  if (b == 1) return Value::Error(CalcError::Div0);
  return NumberResult(std::log(x) / std::log(b));
}

Value EvenOdd(CallContext& c, bool even) {
  const double x = c.Number(0);
  const double a = std::ceil(Snap(std::fabs(x)));
  double r = a;
  if (even) {
    if (std::fmod(r, 2) != 0) r += 1;
  } else if (std::fmod(r, 2) == 0) {
    r += 1;
  }
  return NumberResult(x < 0 ? -r : r);
}
Value Even(CallContext& c) { return EvenOdd(c, true); }
Value Odd(CallContext& c) { return EvenOdd(c, false); }

Value SumIf(CallContext& c) {
  const std::vector<Area>& areas = c.Areas(0);
  if (areas.size() != 1) return Value::Error(CalcError::Value);
  const Area range = areas[0];
  Area sum = range;
  if (!c.IsMissing(2)) {
    const std::vector<Area>& s = c.Areas(2);
    if (s.size() != 1) return Value::Error(CalcError::Value);
    // The sum range takes the criteria range's shape from its top-left cell.
    sum = Area{s[0].sheet, s[0].firstRow, s[0].firstColumn, s[0].firstRow + range.Rows() - 1, s[0].firstColumn + range.Columns() - 1};
  }
  const Criterion criterion(c.Scalar(1), c.Date1904());
  double total = 0;
  Evaluator& engine = c.Engine();
  ForEachMatch(engine, {range}, {criterion}, [&](int r, int col) {
    const Value v = engine.ReadCell(sum.sheet, sum.firstRow + r, sum.firstColumn + col);
    if (v.IsError()) throw ErrorResult{v.error};
    if (v.type == Value::Type::Number) total = Add(total, v.number);
  });
  return NumberResult(total);
}

Value SumIfs(CallContext& c) {
  const std::vector<Area>& s = c.Areas(0);
  if (s.size() != 1) return Value::Error(CalcError::Value);
  std::vector<Area> ranges;
  std::vector<Criterion> criteria;
  ReadCriteriaPairs(c, 1, ranges, criteria);
  const Area sum = s[0];
  if (sum.Rows() != ranges[0].Rows() || sum.Columns() != ranges[0].Columns()) return Value::Error(CalcError::Value);
  double total = 0;
  Evaluator& engine = c.Engine();
  ForEachMatch(engine, ranges, criteria, [&](int r, int col) {
    const Value v = engine.ReadCell(sum.sheet, sum.firstRow + r, sum.firstColumn + col);
    if (v.IsError()) throw ErrorResult{v.error};
    if (v.type == Value::Type::Number) total = Add(total, v.number);
  });
  return NumberResult(total);
}

constexpr FunctionDef kMath[] = {
    {"SUM", 1, 255, Sum},
    {"PRODUCT", 1, 255, Product},
    {"SUMSQ", 1, 255, SumSq},
    {"SUMPRODUCT", 1, 255, SumProduct, kAllArrays},
    {"SUMIF", 2, 3, SumIf},
    {"SUMIFS", 3, 255, SumIfs},
    {"ROUND", 2, 2, Round, 0, true},
    {"ROUNDUP", 2, 2, RoundUp, 0, true},
    {"ROUNDDOWN", 2, 2, RoundDown, 0, true},
    {"INT", 1, 1, Int, 0, true},
    {"TRUNC", 1, 2, Trunc, 0, true},
    {"ABS", 1, 1, Abs, 0, true},
    {"SIGN", 1, 1, Sign, 0, true},
    {"MOD", 2, 2, Mod, 0, true},
    {"POWER", 2, 2, Power, 0, true},
    {"SQRT", 1, 1, Sqrt, 0, true},
    {"CEILING", 1, 2, Ceiling, 0, true},
    {"FLOOR", 1, 2, Floor, 0, true},
    {"CEILING.MATH", 1, 3, CeilingMath, 0, true},
    {"FLOOR.MATH", 1, 3, FloorMath, 0, true},
    {"QUOTIENT", 2, 2, Quotient, 0, true},
    {"PI", 0, 0, Pi},
    {"EXP", 1, 1, Exp, 0, true},
    {"LN", 1, 1, Ln, 0, true},
    {"LOG", 1, 2, Log, 0, true},
    {"LOG10", 1, 1, Log10, 0, true},
    {"EVEN", 1, 1, Even, 0, true},
    {"ODD", 1, 1, Odd, 0, true},
};

}  // namespace

std::span<const FunctionDef> MathFunctions() { return kMath; }

}  // namespace host::calc
