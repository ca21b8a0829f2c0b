// Text functions: pieces and lengths (counted in characters, not bytes),
// searching and replacing, case, joining, TEXT through the host's number
// formats, VALUE, CHAR and CODE.

#include <cmath>

#include "host/core/NumberFormat.h"
#include "host/core/calc/Coercion.h"
#include "host/core/calc/Criteria.h"
#include "host/core/calc/FunctionFamilies.h"

namespace host::calc {

namespace {

// The characters of UTF-8 text, each as its bytes.
std::vector<std::string> Characters(const std::string& text) {
  std::vector<std::string> out;
  for (size_t i = 0; i < text.size();) {
    size_t n = 1;
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0xF0) n = 4;
    else if (c >= 0xE0) n = 3;
    else if (c >= 0xC0) n = 2;
    n = std::min(n, text.size() - i);
    out.push_back(text.substr(i, n));
    i += n;
  }
  return out;
}

std::string Join(const std::vector<std::string>& chars, size_t from, size_t count) {
  std::string out;
  for (size_t i = from; i < chars.size() && i < from + count; ++i) out += chars[i];
  return out;
}

size_t Count(CallContext& c, int i, double fallback) {
  const double n = std::trunc(c.NumberOr(i, fallback));
  if (n < 0) throw ErrorResult{CalcError::Value};
  return static_cast<size_t>(std::min(n, 1e9));
}

Value Left(CallContext& c) {
  const auto chars = Characters(c.Text(0));
  return Value::Text(Join(chars, 0, Count(c, 1, 1)));
}

Value Right(CallContext& c) {
  const auto chars = Characters(c.Text(0));
  const size_t n = std::min(Count(c, 1, 1), chars.size());
  return Value::Text(Join(chars, chars.size() - n, n));
}

Value Mid(CallContext& c) {
  const auto chars = Characters(c.Text(0));
  const double start = std::trunc(c.Number(1));
  if (start < 1) return Value::Error(CalcError::Value);
  const size_t n = Count(c, 2, 0);
  return Value::Text(Join(chars, static_cast<size_t>(std::min(start, 1e9)) - 1, n));
}

Value Len(CallContext& c) { return Value::Number(static_cast<double>(Characters(c.Text(0)).size())); }

// FIND (case and wildcards not) and SEARCH (no case, wildcards): the
// 1-based character position of needle at or after start.
Value Locate(CallContext& c, bool search) {
  const std::string needle = c.Text(0), haystack = c.Text(1);
  const double start = std::trunc(c.NumberOr(2, 1));
  const auto chars = Characters(haystack);
  if (start < 1 || start > static_cast<double>(chars.size()) + 1) return Value::Error(CalcError::Value);
  for (size_t i = static_cast<size_t>(start) - 1; i <= chars.size(); ++i) {
    const std::string rest = Join(chars, i, chars.size());
    if (!search) {
      if (rest.compare(0, needle.size(), needle) == 0) return Value::Number(static_cast<double>(i + 1));
      continue;
    }
    // Some prefix of rest matches the pattern.
    const auto restChars = Characters(rest);
    for (size_t n = 0; n <= restChars.size(); ++n)
      if (WildcardMatch(Join(restChars, 0, n), needle)) return Value::Number(static_cast<double>(i + 1));
    if (needle.empty()) return Value::Number(static_cast<double>(i + 1));
  }
  return Value::Error(CalcError::Value);
}
Value Find(CallContext& c) { return Locate(c, false); }
Value Search(CallContext& c) { return Locate(c, true); }

Value Substitute(CallContext& c) {
  const std::string text = c.Text(0), old = c.Text(1), replacement = c.Text(2);
  const double which = c.IsMissing(3) ? 0 : std::trunc(c.Number(3));
  if (!c.IsMissing(3) && which < 1) return Value::Error(CalcError::Value);
  if (old.empty()) return Value::Text(text);
  std::string out;
  size_t pos = 0, found, n = 0;
  while ((found = text.find(old, pos)) != std::string::npos) {
    ++n;
    out += text.substr(pos, found - pos);
    out += which == 0 || static_cast<double>(n) == which ? replacement : old;
    pos = found + old.size();
  }
  out += text.substr(pos);
  return Value::Text(out);
}

Value Replace(CallContext& c) {
  const auto chars = Characters(c.Text(0));
  const double start = std::trunc(c.Number(1));
  if (start < 1) return Value::Error(CalcError::Value);
  const size_t n = Count(c, 2, 0);
  const std::string with = c.Text(3);
  const size_t from = static_cast<size_t>(std::min(start, 1e9)) - 1;
  return Value::Text(Join(chars, 0, from) + with + Join(chars, from + n, chars.size()));
}

Value Upper(CallContext& c) { return Value::Text(UpperText(c.Text(0))); }
Value Lower(CallContext& c) { return Value::Text(LowerText(c.Text(0))); }

Value Proper(CallContext& c) {
  const auto chars = Characters(c.Text(0));
  std::string out;
  bool previousLetter = false;
  for (const std::string& ch : chars) {
    const std::string lower = LowerText(ch), upper = UpperText(ch);
    const bool letter = lower != upper;
    out += letter ? (previousLetter ? lower : upper) : ch;
    previousLetter = letter;
  }
  return Value::Text(out);
}

Value Trim(CallContext& c) {
  const std::string text = c.Text(0);
  std::string out;
  for (char ch : text) {
    if (ch == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += ch;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return Value::Text(out);
}

Value Clean(CallContext& c) {
  std::string out;
  for (char ch : c.Text(0))
    if (static_cast<unsigned char>(ch) >= 32) out += ch;
  return Value::Text(out);
}

// Every value of the arguments as text, in row order (CONCAT, TEXTJOIN).
void Texts(CallContext& c, int first, std::vector<std::string>& out, bool skipEmpty) {
  for (int i = first; i < c.Count(); ++i) {
    if (c.IsMissing(i)) {
      if (!skipEmpty) out.emplace_back();
      continue;
    }
    const Value& v = c.Arg(i);
    auto add = [&](const Value& x) {
      const std::string t = ToText(x);
      if (!skipEmpty || !t.empty()) out.push_back(t);
    };
    if (v.type == Value::Type::Reference || v.type == Value::Type::Array) {
      const Matrix m = c.Grid(i);
      for (const Value& x : m.cells) add(x);
    } else {
      add(v);
    }
  }
}

Value Concat(CallContext& c) {
  std::vector<std::string> parts;
  Texts(c, 0, parts, false);
  std::string out;
  for (const std::string& p : parts) out += p;
  if (out.size() > 32767) return Value::Error(CalcError::Value);
  return Value::Text(out);
}

Value Concatenate(CallContext& c) {
  std::string out;
  for (int i = 0; i < c.Count(); ++i) out += c.Text(i);
  if (out.size() > 32767) return Value::Error(CalcError::Value);
  return Value::Text(out);
}

Value TextJoin(CallContext& c) {
  const std::string delimiter = c.Text(0);
  const bool skipEmpty = c.Boolean(1);
  std::vector<std::string> parts;
  Texts(c, 2, parts, skipEmpty);
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) out += (i ? delimiter : "") + parts[i];
  if (out.size() > 32767) return Value::Error(CalcError::Value);
  return Value::Text(out);
}

Value Text(CallContext& c) {
  const Value v = c.Scalar(0);
  const std::string format = c.Text(1);
  if (v.IsError()) return v;
  double n = 0;
  if (v.type == Value::Type::Text && !ParseNumberText(v.text, c.Date1904(), n)) return Value::Text(FormatText(v.text, format));
  if (v.type == Value::Type::Boolean) return Value::Text(v.number ? "TRUE" : "FALSE");
  n = ToNumber(v, c.Date1904());
  return Value::Text(FormatNumber(n, format, c.Date1904()));
}

Value ValueOf(CallContext& c) {
  const Value v = c.Scalar(0);
  if (v.type == Value::Type::Number) return v;
  if (v.type == Value::Type::Blank) return Value::Number(0);
  if (v.type != Value::Type::Text) return v.IsError() ? v : Value::Error(CalcError::Value);
  double n = 0;
  if (!ParseNumberText(v.text, c.Date1904(), n)) return Value::Error(CalcError::Value);
  return Value::Number(n);
}

Value Rept(CallContext& c) {
  const std::string text = c.Text(0);
  const double n = std::trunc(c.Number(1));
  if (n < 0 || text.size() * n > 32767) return Value::Error(CalcError::Value);
  std::string out;
  for (int i = 0; i < static_cast<int>(n); ++i) out += text;
  return Value::Text(out);
}

Value Exact(CallContext& c) { return Value::Boolean(c.Text(0) == c.Text(1)); }

// CHAR and CODE use the Windows-1252 code page the reference program uses.
constexpr char16_t kHigh1252[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                    0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

std::string Utf8(unsigned cp) {
  std::string out;
  if (cp < 0x80) out += static_cast<char>(cp);
  else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

Value Char(CallContext& c) {
  const double n = std::trunc(c.Number(0));
  if (n < 1 || n > 255) return Value::Error(CalcError::Value);
  const unsigned code = static_cast<unsigned>(n);
  return Value::Text(Utf8(code >= 0x80 && code < 0xA0 ? kHigh1252[code - 0x80] : code));
}

Value Code(CallContext& c) {
  const std::string text = c.Text(0);
  if (text.empty()) return Value::Error(CalcError::Value);
  const std::string first = Characters(text)[0];
  unsigned cp = static_cast<unsigned char>(first[0]);
  if (first.size() == 2) cp = ((cp & 0x1F) << 6) | (static_cast<unsigned char>(first[1]) & 0x3F);
  else if (first.size() == 3)
    cp = ((cp & 0x0F) << 12) | ((static_cast<unsigned char>(first[1]) & 0x3F) << 6) | (static_cast<unsigned char>(first[2]) & 0x3F);
  else if (first.size() == 4) return Value::Number(63);  // no code page character: "?"
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return Value::Number(cp);
  for (unsigned i = 0; i < 32; ++i)
    if (kHigh1252[i] == cp) return Value::Number(0x80 + i);
  return Value::Number(63);
}

constexpr FunctionDef kText[] = {
    {"LEFT", 1, 2, Left, 0, true},
    {"RIGHT", 1, 2, Right, 0, true},
    {"MID", 3, 3, Mid, 0, true},
    {"LEN", 1, 1, Len, 0, true},
    {"FIND", 2, 3, Find, 0, true},
    {"SEARCH", 2, 3, Search, 0, true},
    {"SUBSTITUTE", 3, 4, Substitute, 0, true},
    {"REPLACE", 4, 4, Replace, 0, true},
    {"UPPER", 1, 1, Upper, 0, true},
    {"LOWER", 1, 1, Lower, 0, true},
    {"PROPER", 1, 1, Proper, 0, true},
    {"TRIM", 1, 1, Trim, 0, true},
    {"CLEAN", 1, 1, Clean, 0, true},
    {"CONCAT", 1, 255, Concat},
    {"CONCATENATE", 1, 255, Concatenate, 0, true},
    {"TEXTJOIN", 3, 255, TextJoin, kAllArrays & ~3u},
    {"TEXT", 2, 2, Text, 0, true},
    {"VALUE", 1, 1, ValueOf, 0, true},
    {"REPT", 2, 2, Rept, 0, true},
    {"EXACT", 2, 2, Exact, 0, true},
    {"CHAR", 1, 1, Char, 0, true},
    {"CODE", 1, 1, Code, 0, true},
};

}  // namespace

std::span<const FunctionDef> TextFunctions() { return kText; }

}  // namespace host::calc
