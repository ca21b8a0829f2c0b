// Counting and statistics: COUNT*, AVERAGE*, MIN/MAX and their *IFS forms,
// LARGE/SMALL, RANK, MEDIAN, variance, and SUBTOTAL and AGGREGATE with
// their rules for hidden rows, errors and nested subtotals.

#include <algorithm>
#include <cmath>
#include <map>

#include "host/core/calc/Coercion.h"
#include "host/core/calc/Criteria.h"
#include "host/core/calc/FunctionFamilies.h"

namespace host::calc {

namespace {

std::vector<double> Numbers(CallContext& c, int first = 0, const NumberFilter& filter = {}) {
  std::vector<double> out;
  CollectNumbers(c, first, out, filter);
  return out;
}

double SumOf(const std::vector<double>& v) {
  double t = 0;
  for (double n : v) t = Add(t, n);
  return t;
}

Value AverageOf(const std::vector<double>& v) {
  if (v.empty()) return Value::Error(CalcError::Div0);
  return NumberResult(SumOf(v) / static_cast<double>(v.size()));
}

Value MedianOf(std::vector<double> v) {
  if (v.empty()) return Value::Error(CalcError::Num);
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return NumberResult(n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

Value VarianceOf(const std::vector<double>& v, bool sample) {
  const size_t n = v.size();
  if (n == 0 || (sample && n < 2)) return Value::Error(CalcError::Div0);
  const double mean = SumOf(v) / static_cast<double>(n);
  double ss = 0;
  for (double x : v) ss += (x - mean) * (x - mean);
  return NumberResult(ss / static_cast<double>(sample ? n - 1 : n));
}

Value Sqrt(const Value& v) { return v.IsError() ? v : NumberResult(std::sqrt(v.number)); }

Value ModeOf(const std::vector<double>& v) {
  std::map<double, int> counts;
  int best = 1;
  double mode = 0;
  bool found = false;
  for (double x : v) {
    const int n = ++counts[x];
    if (n > best) {
      best = n;
      mode = x;
      found = true;
    }
  }
  if (!found) return Value::Error(CalcError::NA);
  // The first value in order that reaches the highest count.
  for (double x : v)
    if (counts[x] == best) return Value::Number(x);
  return Value::Number(mode);
}

Value KthOf(std::vector<double> v, double k, bool largest) {
  const double kk = std::ceil(k);
  if (v.empty() || kk < 1 || kk > static_cast<double>(v.size())) return Value::Error(CalcError::Num);
  std::sort(v.begin(), v.end());
  const size_t index = static_cast<size_t>(kk) - 1;
  return Value::Number(largest ? v[v.size() - 1 - index] : v[index]);
}

Value PercentileOf(std::vector<double> v, double p, bool exclusive) {
  if (v.empty()) return Value::Error(CalcError::Num);
  std::sort(v.begin(), v.end());
  const double n = static_cast<double>(v.size());
  double rank;
  if (exclusive) {
    if (p <= 0 || p >= 1) return Value::Error(CalcError::Num);
    rank = p * (n + 1) - 1;
    if (rank < 0 || rank > n - 1) return Value::Error(CalcError::Num);
  } else {
    if (p < 0 || p > 1) return Value::Error(CalcError::Num);
    rank = p * (n - 1);
  }
  const size_t lo = static_cast<size_t>(std::floor(rank));
  const double frac = rank - std::floor(rank);
  if (lo + 1 >= v.size()) return Value::Number(v[lo]);
  return NumberResult(v[lo] + frac * (v[lo + 1] - v[lo]));
}

// Function number 1..11 of SUBTOTAL (and the first eleven of AGGREGATE) over numbers.
Value Summarise(int fn, const std::vector<double>& v, size_t counta) {
  switch (fn) {
    case 1: return AverageOf(v);
    case 2: return Value::Number(static_cast<double>(v.size()));
    case 3: return Value::Number(static_cast<double>(counta));
    case 4: return Value::Number(v.empty() ? 0 : *std::max_element(v.begin(), v.end()));
    case 5: return Value::Number(v.empty() ? 0 : *std::min_element(v.begin(), v.end()));
    case 6: {
      if (v.empty()) return Value::Number(0);
      double p = 1;
      for (double x : v) p *= x;
      return NumberResult(p);
    }
    case 7: return Sqrt(VarianceOf(v, true));
    case 8: return Sqrt(VarianceOf(v, false));
    case 9: return NumberResult(SumOf(v));
    case 10: return VarianceOf(v, true);
    case 11: return VarianceOf(v, false);
    case 12: return MedianOf(v);
    case 13: return ModeOf(v);
    default: return Value::Error(CalcError::Value);
  }
}

// The values of references for SUBTOTAL/AGGREGATE: numbers, and the count
// of non-blank cells for COUNTA.
void SubtotalValues(CallContext& c, int first, const NumberFilter& filter, std::vector<double>& numbers, size_t& counta) {
  Evaluator& engine = c.Engine();
  for (int i = first; i < c.Count(); ++i) {
    const Value& v = c.Arg(i);
    if (v.type != Value::Type::Reference) {
      if (v.IsError() && !filter.skipErrors) throw ErrorResult{v.error};
      if (v.type == Value::Type::Array) {
        for (const Value& x : v.array->cells) {
          if (x.type == Value::Type::Number) numbers.push_back(x.number);
          if (x.type != Value::Type::Blank) ++counta;
          if (x.IsError() && !filter.skipErrors) throw ErrorResult{x.error};
        }
      } else if (v.type != Value::Type::Blank && !v.IsError()) {
        numbers.push_back(ToNumber(v, c.Date1904()));
        ++counta;
      }
      continue;
    }
    for (const Area& area : v.areas)
      engine.ForEachCell(area, [&](int row, int column, const Value& cell) {
        if (filter.skipHidden && engine.Source().RowHidden(area.sheet, row)) return;
        if (filter.skipSubtotals && engine.MayHoldFormula(area.sheet, row, column)) {
          const std::string formula = UpperText(engine.Source().CellFormula(area.sheet, row, column));
          if (formula.find("SUBTOTAL(") != std::string::npos || formula.find("AGGREGATE(") != std::string::npos) return;
        }
        if (cell.IsError()) {
          if (!filter.skipErrors) throw ErrorResult{cell.error};
          return;
        }
        ++counta;
        if (cell.type == Value::Type::Number) numbers.push_back(cell.number);
      });
  }
}

Value Count(CallContext& c) {
  double n = 0;
  for (int i = 0; i < c.Count(); ++i) {
    if (c.IsMissing(i)) continue;
    const Value& v = c.Arg(i);
    if (v.type == Value::Type::Reference) {
      for (const Area& a : v.areas)
        c.Engine().ForEachCell(a, [&](int, int, const Value& cell) { n += cell.type == Value::Type::Number; });
    } else if (v.type == Value::Type::Array) {
      for (const Value& x : v.array->cells) n += x.type == Value::Type::Number;
    } else if (v.type == Value::Type::Number || v.type == Value::Type::Boolean) {
      ++n;
    } else if (v.type == Value::Type::Text) {
      double d;
      n += ParseNumberText(v.text, c.Date1904(), d);
    }
  }
  return Value::Number(n);
}

Value CountA(CallContext& c) {
  double n = 0;
  for (int i = 0; i < c.Count(); ++i) {
    const Value& v = c.Arg(i);
    if (v.type == Value::Type::Reference) {
      for (const Area& a : v.areas) c.Engine().ForEachCell(a, [&](int, int, const Value&) { ++n; });
    } else if (v.type == Value::Type::Array) {
      for (const Value& x : v.array->cells) n += x.type != Value::Type::Blank;
    } else {
      ++n;  // a missing argument counts as one value too
    }
  }
  return Value::Number(n);
}

Value CountBlank(CallContext& c) {
  const std::vector<Area>& areas = c.Areas(0);
  double filled = 0, total = 0;
  for (const Area& a : areas) {
    total += static_cast<double>(a.Cells());
    c.Engine().ForEachCell(a, [&](int, int, const Value& cell) {
      filled += !(cell.type == Value::Type::Text && cell.text.empty());
    });
  }
  return Value::Number(total - filled);
}

Value CountIf(CallContext& c) {
  const std::vector<Area>& areas = c.Areas(0);
  const Criterion criterion(c.Scalar(1), c.Date1904());
  double n = 0;
  for (const Area& a : areas) ForEachMatch(c.Engine(), {a}, {criterion}, [&](int, int) { ++n; });
  return Value::Number(n);
}

Value CountIfs(CallContext& c) {
  std::vector<Area> ranges;
  std::vector<Criterion> criteria;
  ReadCriteriaPairs(c, 0, ranges, criteria);
  double n = 0;
  ForEachMatch(c.Engine(), ranges, criteria, [&](int, int) { ++n; });
  return Value::Number(n);
}

// The numbers of target (a range of the criteria range's shape from its
// top-left) where the criteria hold.
std::vector<double> MatchedNumbers(CallContext& c, const Area& target, const std::vector<Area>& ranges,
                                   const std::vector<Criterion>& criteria) {
  std::vector<double> out;
  Evaluator& engine = c.Engine();
  ForEachMatch(engine, ranges, criteria, [&](int r, int col) {
    const Value v = engine.ReadCell(target.sheet, target.firstRow + r, target.firstColumn + col);
    if (v.IsError()) throw ErrorResult{v.error};
    if (v.type == Value::Type::Number) out.push_back(v.number);
  });
  return out;
}

Value AverageIf(CallContext& c) {
  const std::vector<Area>& areas = c.Areas(0);
  if (areas.size() != 1) return Value::Error(CalcError::Value);
  Area target = areas[0];
  if (!c.IsMissing(2)) {
    const std::vector<Area>& t = c.Areas(2);
    target = Area{t[0].sheet, t[0].firstRow, t[0].firstColumn, t[0].firstRow + areas[0].Rows() - 1,
                  t[0].firstColumn + areas[0].Columns() - 1};
  }
  return AverageOf(MatchedNumbers(c, target, {areas[0]}, {Criterion(c.Scalar(1), c.Date1904())}));
}

// The target range and criteria of AVERAGEIFS, MINIFS, MAXIFS.
std::vector<double> IfsNumbers(CallContext& c) {
  const std::vector<Area>& t = c.Areas(0);
  if (t.size() != 1) throw ErrorResult{CalcError::Value};
  std::vector<Area> ranges;
  std::vector<Criterion> criteria;
  ReadCriteriaPairs(c, 1, ranges, criteria);
  if (t[0].Rows() != ranges[0].Rows() || t[0].Columns() != ranges[0].Columns()) throw ErrorResult{CalcError::Value};
  return MatchedNumbers(c, t[0], ranges, criteria);
}

Value AverageIfs(CallContext& c) { return AverageOf(IfsNumbers(c)); }
Value MinIfs(CallContext& c) {
  const auto v = IfsNumbers(c);
  return Value::Number(v.empty() ? 0 : *std::min_element(v.begin(), v.end()));
}
Value MaxIfs(CallContext& c) {
  const auto v = IfsNumbers(c);
  return Value::Number(v.empty() ? 0 : *std::max_element(v.begin(), v.end()));
}

Value Average(CallContext& c) { return AverageOf(Numbers(c)); }
Value AverageA(CallContext& c) {
  NumberFilter f;
  f.countTextInReferences = true;
  return AverageOf(Numbers(c, 0, f));
}
Value Min(CallContext& c) {
  const auto v = Numbers(c);
  return Value::Number(v.empty() ? 0 : *std::min_element(v.begin(), v.end()));
}
Value Max(CallContext& c) {
  const auto v = Numbers(c);
  return Value::Number(v.empty() ? 0 : *std::max_element(v.begin(), v.end()));
}
Value Median(CallContext& c) { return MedianOf(Numbers(c)); }
Value Mode(CallContext& c) { return ModeOf(Numbers(c)); }
Value VarS(CallContext& c) { return VarianceOf(Numbers(c), true); }
Value VarP(CallContext& c) { return VarianceOf(Numbers(c), false); }
Value StdevS(CallContext& c) { return Sqrt(VarianceOf(Numbers(c), true)); }
Value StdevP(CallContext& c) { return Sqrt(VarianceOf(Numbers(c), false)); }

// The numbers of the first argument, a range or an array (LARGE, SMALL, PERCENTILE).
std::vector<double> FirstNumbers(CallContext& c) {
  const Value& v = c.Arg(0);
  std::vector<double> out;
  if (v.type == Value::Type::Reference) {
    for (const Area& a : v.areas)
      c.Engine().ForEachCell(a, [&](int, int, const Value& x) {
        if (x.IsError()) throw ErrorResult{x.error};
        if (x.type == Value::Type::Number) out.push_back(x.number);
      });
    return out;
  }
  if (v.IsError()) throw ErrorResult{v.error};
  if (v.type == Value::Type::Array) {
    for (const Value& x : v.array->cells) {
      if (x.IsError()) throw ErrorResult{x.error};
      if (x.type == Value::Type::Number) out.push_back(x.number);
    }
    return out;
  }
  out.push_back(ToNumber(v, c.Date1904()));
  return out;
}

Value Large(CallContext& c) { return KthOf(FirstNumbers(c), c.Number(1), true); }
Value Small(CallContext& c) { return KthOf(FirstNumbers(c), c.Number(1), false); }
Value PercentileInc(CallContext& c) { return PercentileOf(FirstNumbers(c), c.Number(1), false); }
Value PercentileExc(CallContext& c) { return PercentileOf(FirstNumbers(c), c.Number(1), true); }
Value QuartileInc(CallContext& c) {
  const double q = std::trunc(c.Number(1));
  if (q < 0 || q > 4) return Value::Error(CalcError::Num);
  return PercentileOf(FirstNumbers(c), q / 4, false);
}

Value RankOf(CallContext& c, bool average) {
  const double x = c.Number(0);
  const std::vector<Area>& areas = c.Areas(1);
  const bool ascending = c.NumberOr(2, 0) != 0;
  double before = 0, equal = 0;
  for (const Area& a : areas)
    c.Engine().ForEachCell(a, [&](int, int, const Value& v) {
      if (v.type != Value::Type::Number) return;
      if (v.number == x) ++equal;
      else if (ascending ? v.number < x : v.number > x) ++before;
    });
  if (equal == 0) return Value::Error(CalcError::NA);
  return Value::Number(average ? before + (equal + 1) / 2 : before + 1);
}
Value RankEq(CallContext& c) { return RankOf(c, false); }
Value RankAvg(CallContext& c) { return RankOf(c, true); }

Value Subtotal(CallContext& c) {
  const int code = static_cast<int>(std::trunc(c.Number(0)));
  const int fn = code > 100 ? code - 100 : code;
  if (fn < 1 || fn > 11 || (code > 11 && code < 101) || code > 111) return Value::Error(CalcError::Value);
  NumberFilter filter;
  // 101..111 leave out every hidden row; 1..11 only the rows a filter hid,
  // which the host does not tell apart from hidden ones: they count.
  filter.skipHidden = code > 100;
  filter.skipSubtotals = true;
  std::vector<double> numbers;
  size_t counta = 0;
  for (int i = 1; i < c.Count(); ++i)
    if (c.Arg(i).type != Value::Type::Reference) return Value::Error(CalcError::Value);
  SubtotalValues(c, 1, filter, numbers, counta);
  return Summarise(fn, numbers, counta);
}

Value Aggregate(CallContext& c) {
  const int fn = static_cast<int>(std::trunc(c.Number(0)));
  const int options = static_cast<int>(std::trunc(c.NumberOr(1, 0)));
  if (fn < 1 || fn > 19 || options < 0 || options > 7) return Value::Error(CalcError::Value);
  NumberFilter filter;
  filter.skipSubtotals = options <= 3;
  filter.skipHidden = options == 1 || options == 3 || options == 5 || options == 7;
  filter.skipErrors = options == 2 || options == 3 || options == 6 || options == 7;
  std::vector<double> numbers;
  size_t counta = 0;
  if (fn <= 13) {
    SubtotalValues(c, 2, filter, numbers, counta);
    return Summarise(fn, numbers, counta);
  }
  // 14..19 take an array and k.
  if (c.Count() < 4) return Value::Error(CalcError::Value);
  const Value& array = c.Arg(2);
  if (array.type == Value::Type::Reference) {
    for (const Area& area : array.areas)
      c.Engine().ForEachCell(area, [&](int row, int, const Value& cell) {
        if (filter.skipHidden && c.Engine().Source().RowHidden(area.sheet, row)) return;
        if (cell.IsError()) {
          if (!filter.skipErrors) throw ErrorResult{cell.error};
          return;
        }
        if (cell.type == Value::Type::Number) numbers.push_back(cell.number);
      });
  } else {
    for (const Value& x : c.Grid(2).cells) {
      if (x.IsError()) {
        if (!filter.skipErrors) throw ErrorResult{x.error};
        continue;
      }
      if (x.type == Value::Type::Number) numbers.push_back(x.number);
    }
  }
  const double k = c.Number(3);
  switch (fn) {
    case 14: return KthOf(numbers, k, true);
    case 15: return KthOf(numbers, k, false);
    case 16: return PercentileOf(numbers, k, false);
    case 17: return std::trunc(k) < 0 || std::trunc(k) > 4 ? Value::Error(CalcError::Num) : PercentileOf(numbers, std::trunc(k) / 4, false);
    case 18: return PercentileOf(numbers, k, true);
    default: return std::trunc(k) <= 0 || std::trunc(k) >= 4 ? Value::Error(CalcError::Num) : PercentileOf(numbers, std::trunc(k) / 4, true);
  }
}

constexpr FunctionDef kStatistics[] = {
    {"COUNT", 1, 255, Count},
    {"COUNTA", 1, 255, CountA},
    {"COUNTBLANK", 1, 1, CountBlank},
    {"COUNTIF", 2, 2, CountIf},
    {"COUNTIFS", 2, 254, CountIfs},
    {"AVERAGE", 1, 255, Average},
    {"AVERAGEA", 1, 255, AverageA},
    {"AVERAGEIF", 2, 3, AverageIf},
    {"AVERAGEIFS", 3, 255, AverageIfs},
    {"MIN", 1, 255, Min},
    {"MAX", 1, 255, Max},
    {"MINIFS", 3, 255, MinIfs},
    {"MAXIFS", 3, 255, MaxIfs},
    {"LARGE", 2, 2, Large, 1},
    {"SMALL", 2, 2, Small, 1},
    {"PERCENTILE", 2, 2, PercentileInc, 1},
    {"PERCENTILE.INC", 2, 2, PercentileInc, 1},
    {"PERCENTILE.EXC", 2, 2, PercentileExc, 1},
    {"QUARTILE", 2, 2, QuartileInc, 1},
    {"QUARTILE.INC", 2, 2, QuartileInc, 1},
    {"RANK", 2, 3, RankEq},
    {"RANK.EQ", 2, 3, RankEq},
    {"RANK.AVG", 2, 3, RankAvg},
    {"MEDIAN", 1, 255, Median},
    {"MODE", 1, 255, Mode},
    {"MODE.SNGL", 1, 255, Mode},
    {"VAR", 1, 255, VarS},
    {"VAR.S", 1, 255, VarS},
    {"VARP", 1, 255, VarP},
    {"VAR.P", 1, 255, VarP},
    {"STDEV", 1, 255, StdevS},
    {"STDEV.S", 1, 255, StdevS},
    {"STDEVP", 1, 255, StdevP},
    {"STDEV.P", 1, 255, StdevP},
    {"SUBTOTAL", 2, 255, Subtotal},
    {"AGGREGATE", 3, 255, Aggregate, 1u << 2},
};

}  // namespace

std::span<const FunctionDef> StatisticsFunctions() { return kStatistics; }

}  // namespace host::calc
