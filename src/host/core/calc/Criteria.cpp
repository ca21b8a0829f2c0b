#include "host/core/calc/Criteria.h"

#include <algorithm>

#include "host/core/calc/Coercion.h"

namespace host::calc {

namespace {

// The pattern's text with its ~ escapes resolved, when it has no wildcard.
bool HasWildcard(const std::string& pattern) {
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '~') {
      ++i;
      continue;
    }
    if (pattern[i] == '*' || pattern[i] == '?') return true;
  }
  return false;
}

}  // namespace

bool WildcardMatch(const std::string& textIn, const std::string& patternIn) {
  const std::string text = LowerText(textIn), pattern = LowerText(patternIn);
  // Iterative matching with one backtrack point for '*'.
  size_t t = 0, p = 0, starP = std::string::npos, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '~' && p + 1 < pattern.size() && pattern[p + 1] == text[t]) {
      p += 2;
      ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starT = t;
    } else if (p < pattern.size() && (pattern[p] == '?' || (pattern[p] == text[t] && pattern[p] != '~'))) {
      ++p;
      // A '?' takes one whole UTF-8 character.
      if (pattern[p - 1] == '?')
        while (t + 1 < text.size() && (static_cast<unsigned char>(text[t + 1]) & 0xC0) == 0x80) ++t;
      ++t;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

Criterion::Criterion(const Value& criterion, bool date1904) : date1904_(date1904) {
  if (criterion.type != Value::Type::Text) {
    target_ = criterion.type == Value::Type::Blank ? Value::Number(0) : criterion;
    return;
  }
  std::string text = criterion.text;
  static const std::pair<const char*, Op> kOps[] = {{"<=", Op::LessEqual}, {">=", Op::GreaterEqual}, {"<>", Op::NotEqual},
                                                    {"<", Op::Less},       {">", Op::Greater},       {"=", Op::Equal}};
  for (const auto& [prefix, op] : kOps) {
    const std::string p(prefix);
    if (text.compare(0, p.size(), p) == 0) {
      op_ = op;
      text.erase(0, p.size());
      break;
    }
  }
  double number = 0;
  const std::string upper = UpperText(text);
  CalcError error;
  if (!text.empty() && ParseNumberText(text, date1904, number)) target_ = Value::Number(number);
  else if (upper == "TRUE" || upper == "FALSE") target_ = Value::Boolean(upper == "TRUE");
  else if (ErrorFromText(text, error)) target_ = Value::Error(error);
  else {
    target_ = Value::Text(text);
    wildcard_ = (op_ == Op::Equal || op_ == Op::NotEqual) && HasWildcard(text);
  }
}

bool Criterion::Matches(const Value& cell) const {
  const bool equalish = op_ == Op::Equal || op_ == Op::NotEqual;
  bool equal = false;
  if (target_.type == Value::Type::Text && target_.text.empty()) {
    // "" and "=" meet blank cells (and empty texts); "<>" meets all others.
    equal = cell.type == Value::Type::Blank || (cell.type == Value::Type::Text && cell.text.empty());
    if (equalish) return (op_ == Op::Equal) == equal;
    return false;
  }
  if (cell.type == Value::Type::Blank) return op_ == Op::NotEqual;
  int cmp = 2;  // not comparable
  switch (target_.type) {
    case Value::Type::Number: {
      double n = 0;
      if (cell.type == Value::Type::Number) cmp = Compare(cell, target_);
      else if (cell.type == Value::Type::Text && equalish && ParseNumberText(cell.text, date1904_, n))
        cmp = Compare(Value::Number(n), target_);
      break;
    }
    case Value::Type::Boolean:
      if (cell.type == Value::Type::Boolean) cmp = Compare(cell, target_);
      break;
    case Value::Type::Error:
      if (cell.type == Value::Type::Error) cmp = cell.error == target_.error ? 0 : 2;
      break;
    case Value::Type::Text:
      if (cell.type == Value::Type::Text) {
        if (wildcard_) cmp = WildcardMatch(cell.text, target_.text) ? 0 : 2;
        else cmp = CompareText(cell.text, target_.text);
      }
      break;
    default:
      break;
  }
  switch (op_) {
    case Op::Equal: return cmp == 0;
    case Op::NotEqual: return cmp != 0;
    case Op::Less: return cmp == -1;
    case Op::Greater: return cmp == 1;
    case Op::LessEqual: return cmp == -1 || cmp == 0;
    case Op::GreaterEqual: return cmp == 1 || cmp == 0;
  }
  return false;
}

void ForEachMatch(Evaluator& engine, const std::vector<Area>& ranges, const std::vector<Criterion>& criteria,
                  const std::function<void(int, int)>& fn) {
  if (ranges.empty()) return;
  const int rows = ranges[0].Rows(), columns = ranges[0].Columns();
  for (const Area& a : ranges)
    if (a.Rows() != rows || a.Columns() != columns) throw ErrorResult{CalcError::Value};
  // Past every range's used area all cells are blank: walk only as far as
  // the used areas reach, unless blanks meet every criterion.
  bool blanksMatch = true;
  for (const Criterion& c : criteria) blanksMatch = blanksMatch && c.Matches(Value{});
  int lastRow = 0, lastColumn = 0;
  for (const Area& a : ranges) {
    CellArea used;
    if (!engine.Source().UsedArea(a.sheet, used)) continue;
    lastRow = std::max(lastRow, used.lastRow - a.firstRow);
    lastColumn = std::max(lastColumn, used.lastColumn - a.firstColumn);
  }
  int rowsToWalk = std::min(rows, lastRow + 1), columnsToWalk = std::min(columns, lastColumn + 1);
  if (blanksMatch) {
    rowsToWalk = rows;
    columnsToWalk = columns;
    if (static_cast<long long>(rows) * columns > 4LL * 1024 * 1024) throw NotEvaluable{"a criteria range too large to walk"};
  }
  for (int r = 0; r < rowsToWalk; ++r)
    for (int c = 0; c < columnsToWalk; ++c) {
      bool all = true;
      for (size_t k = 0; k < ranges.size() && all; ++k)
        all = criteria[k].Matches(engine.ReadCell(ranges[k].sheet, ranges[k].firstRow + r, ranges[k].firstColumn + c));
      if (all) fn(r, c);
    }
}

void ReadCriteriaPairs(CallContext& c, int first, std::vector<Area>& ranges, std::vector<Criterion>& criteria) {
  if ((c.Count() - first) % 2 != 0 || c.Count() - first < 2) throw ErrorResult{CalcError::Value};
  for (int i = first; i < c.Count(); i += 2) {
    const std::vector<Area>& areas = c.Areas(i);
    if (areas.size() != 1) throw ErrorResult{CalcError::Value};
    ranges.push_back(areas[0]);
    const Value v = c.Scalar(i + 1);
    criteria.emplace_back(v, c.Date1904());
  }
}

}  // namespace host::calc
