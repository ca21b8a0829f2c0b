#include "host/core/calc/Coercion.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "host/core/DateSerial.h"

namespace host::calc {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A plain decimal number with optional thousands commas; the whole text.
bool PlainNumber(std::string_view s, double& out) {
  std::string digits;
  size_t i = 0;
  bool any = false, point = false, comma = false;
  size_t sinceComma = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (IsDigit(c)) {
      digits += c;
      any = true;
      ++sinceComma;
    } else if (c == ',' && !point && any) {
      if (comma && sinceComma != 3) return false;
      comma = true;
      sinceComma = 0;
    } else if (c == '.' && !point) {
      if (comma && sinceComma != 3) return false;
      point = true;
      comma = false;
      digits += c;
    } else {
      break;
    }
  }
  if (comma && sinceComma != 3) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E') && any) {
    digits += 'e';
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) digits += s[i++];
    if (i >= s.size() || !IsDigit(s[i])) return false;
    while (i < s.size() && IsDigit(s[i])) digits += s[i++];
  }
  if (!any || i != s.size()) return false;
  out = std::strtod(digits.c_str(), nullptr);
  return true;
}

constexpr std::string_view kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};

int MonthOfName(std::string_view word) {
  if (word.size() < 3) return 0;
  const std::string lower = LowerText(word);
  static constexpr std::string_view kFull[] = {"january", "february", "march", "april", "may", "june", "july",
                                               "august", "september", "october", "november", "december"};
  for (int m = 0; m < 12; ++m)
    if (lower == kMonths[m] || lower == kFull[m] || (lower == "sept" && m == 8)) return m + 1;
  return 0;
}

// hh:mm[:ss[.f]] [AM|PM] as a fraction of a day; the whole text.
bool TimeText(std::string_view s, double& out) {
  s = Trim(s);
  int ampm = 0;
  if (s.size() > 2) {
    const std::string tail = LowerText(s.substr(s.size() - 2));
    if (tail == "am" || tail == "pm") {
      ampm = tail == "am" ? 1 : 2;
      s = Trim(s.substr(0, s.size() - 2));
    }
  }
  double parts[3] = {0, 0, 0};
  int count = 0;
  size_t i = 0;
  while (count < 3) {
    size_t start = i;
    while (i < s.size() && (IsDigit(s[i]) || (count == 2 && s[i] == '.'))) ++i;
    if (i == start) return false;
    parts[count++] = std::strtod(std::string(s.substr(start, i - start)).c_str(), nullptr);
    if (i == s.size()) break;
    if (s[i] != ':') return false;
    ++i;
  }
  if (i != s.size() || (count < 2 && !ampm)) return false;
  double hours = parts[0];
  if (ampm) {
    if (hours < 1 || hours > 12) return false;
    if (hours == 12) hours = 0;
    if (ampm == 2) hours += 12;
  }
  if (parts[1] >= 60 || parts[2] >= 60) return false;
  out = (hours * 3600 + parts[1] * 60 + parts[2]) / 86400.0;
  return true;
}

// A date in one of the forms people type; the whole text.
bool DateText(std::string_view s, bool date1904, double& out) {
  s = Trim(s);
  long y = 0, m = 0, d = 0;
  // Split into up to three fields on '-', '/', ' ' or ','.
  std::string_view fields[3];
  int count = 0;
  size_t i = 0;
  while (i < s.size() && count < 3) {
    size_t start = i;
    while (i < s.size() && s[i] != '-' && s[i] != '/' && s[i] != ' ' && s[i] != ',') ++i;
    fields[count++] = s.substr(start, i - start);
    while (i < s.size() && (s[i] == '-' || s[i] == '/' || s[i] == ' ' || s[i] == ',')) ++i;
  }
  if (i != s.size() || count < 2) return false;
  auto number = [](std::string_view f, long& v) {
    if (f.empty() || f.size() > 4) return false;
    v = 0;
    for (char c : f) {
      if (!IsDigit(c)) return false;
      v = v * 10 + (c - '0');
    }
    return true;
  };
  long a = 0, b = 0, c = 0;
  const bool na = number(fields[0], a), nb = number(fields[1], b), nc = count == 3 && number(fields[2], c);
  const int ma = na ? 0 : MonthOfName(fields[0]), mb = nb ? 0 : MonthOfName(fields[1]);
  long today = 0;
  (void)today;
  if (count == 3 && na && nb && nc) {
    if (fields[0].size() == 4) {
      y = a, m = b, d = c;  // 2024-05-01
    } else {
      m = a, d = b, y = c;  // 5/1/2024 (month first, as the reference program's default locale reads it)
    }
  } else if (count == 3 && na && mb && nc) {
    d = a, m = mb, y = c;  // 1 May 2024
  } else if (count == 3 && ma && nb && nc) {
    m = ma, d = b, y = c;  // May 1, 2024
  } else {
    return false;
  }
  if (fields[2].size() <= 2 && count == 3 && !(fields[0].size() == 4)) y += y < 30 ? 2000 : 1900;
  if (!IsCivilDate(y, m, d) || y < 1900 || y > 9999) return false;
  out = SerialOfDay(y, m, d, date1904);
  return true;
}

unsigned char FoldByte(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

}  // namespace

std::string NumberText(double n) {
  if (n == 0) return "0";
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15G", n);
  std::string s(buffer);
  size_t e = s.find('E');
  std::string mantissa = e == std::string::npos ? s : s.substr(0, e);
  std::string exponent = e == std::string::npos ? "" : s.substr(e);
  if (mantissa.find('.') != std::string::npos) {
    while (!mantissa.empty() && mantissa.back() == '0') mantissa.pop_back();
    if (!mantissa.empty() && mantissa.back() == '.') mantissa.pop_back();
  }
  if (!exponent.empty()) {
    // "E+020" style exponents: sign and at least two digits.
    const char sign = exponent[1];
    std::string digits = exponent.substr(2);
    while (digits.size() > 2 && digits[0] == '0') digits.erase(0, 1);
    if (digits.size() < 2) digits.insert(0, "0");
    exponent = std::string("E") + sign + digits;
  }
  return mantissa + exponent;
}

bool ParseNumberText(std::string_view text, bool date1904, double& out) {
  std::string_view s = Trim(text);
  if (s.empty()) return false;
  bool negative = false, parenthesised = false, percent = false;
  if (s.front() == '(' && s.back() == ')') {
    parenthesised = true;
    s = Trim(s.substr(1, s.size() - 2));
  }
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s = Trim(s.substr(1));
  }
  if (!s.empty() && s.front() == '$') s = Trim(s.substr(1));
  if (!s.empty() && (s.front() == '+' || s.front() == '-') && !negative) {
    negative = s.front() == '-';
    s = Trim(s.substr(1));
  }
  if (!s.empty() && s.back() == '%') {
    percent = true;
    s = Trim(s.substr(0, s.size() - 1));
  }
  double value = 0;
  if (PlainNumber(s, value)) {
    if (percent) value /= 100;
    if (negative != parenthesised) value = -value;
    if (parenthesised && negative) return false;
    out = value;
    return true;
  }
  if (negative || parenthesised || percent || text.find('$') != std::string_view::npos) return false;
  s = Trim(text);
  double day = 0, time = 0;
  if (TimeText(s, time)) {
    out = time;
    return true;
  }
  if (DateText(s, date1904, day)) {
    out = day;
    return true;
  }
  // A date and a time: the time is the part after the last blank holding ':'.
  const size_t colon = s.find(':');
  if (colon != std::string_view::npos) {
    size_t blank = s.rfind(' ', colon);
    if (blank != std::string_view::npos && DateText(s.substr(0, blank), date1904, day) &&
        TimeText(s.substr(blank + 1), time)) {
      out = day + time;
      return true;
    }
  }
  return false;
}

double ToNumber(const Value& v, bool date1904) {
  switch (v.type) {
    case Value::Type::Blank:
      return 0;
    case Value::Type::Number:
    case Value::Type::Boolean:
      return v.number;
    case Value::Type::Text: {
      double n = 0;
      if (ParseNumberText(v.text, date1904, n)) return n;
      throw ErrorResult{CalcError::Value};
    }
    case Value::Type::Error:
      throw ErrorResult{v.error};
    default:
      throw ErrorResult{CalcError::Value};
  }
}

std::string ToText(const Value& v) {
  switch (v.type) {
    case Value::Type::Blank:
      return {};
    case Value::Type::Number:
      return NumberText(v.number);
    case Value::Type::Boolean:
      return v.number != 0 ? "TRUE" : "FALSE";
    case Value::Type::Text:
      return v.text;
    case Value::Type::Error:
      throw ErrorResult{v.error};
    default:
      throw ErrorResult{CalcError::Value};
  }
}

bool ToBoolean(const Value& v) {
  switch (v.type) {
    case Value::Type::Blank:
      return false;
    case Value::Type::Number:
    case Value::Type::Boolean:
      return v.number != 0;
    case Value::Type::Text: {
      const std::string upper = UpperText(v.text);
      if (upper == "TRUE") return true;
      if (upper == "FALSE") return false;
      throw ErrorResult{CalcError::Value};
    }
    case Value::Type::Error:
      throw ErrorResult{v.error};
    default:
      throw ErrorResult{CalcError::Value};
  }
}

double Add(double a, double b) {
  const double r = a + b;
  if (r != 0 && (a < 0) != (b < 0) && std::fabs(r) < std::max(std::fabs(a), std::fabs(b)) * 1e-15) return 0;
  return r;
}

int CompareText(std::string_view a, std::string_view b) {
  const std::string la = LowerText(a), lb = LowerText(b);
  const size_t n = std::min(la.size(), lb.size());
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = static_cast<unsigned char>(la[i]), y = static_cast<unsigned char>(lb[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return la.size() == lb.size() ? 0 : (la.size() < lb.size() ? -1 : 1);
}

int Compare(const Value& a, const Value& b) {
  auto rank = [](Value::Type t) { return t == Value::Type::Number ? 0 : t == Value::Type::Text ? 1 : 2; };
  Value x = a, y = b;
  if (x.type == Value::Type::Blank && y.type == Value::Type::Blank) return 0;
  if (x.type == Value::Type::Blank) {
    x = y.type == Value::Type::Text ? Value::Text("") : y.type == Value::Type::Boolean ? Value::Boolean(false) : Value::Number(0);
  }
  if (y.type == Value::Type::Blank) {
    y = x.type == Value::Type::Text ? Value::Text("") : x.type == Value::Type::Boolean ? Value::Boolean(false) : Value::Number(0);
  }
  if (rank(x.type) != rank(y.type)) return rank(x.type) < rank(y.type) ? -1 : 1;
  if (x.type == Value::Type::Text) return CompareText(x.text, y.text);
  if (x.number == y.number) return 0;
  const double scale = std::max(std::fabs(x.number), std::fabs(y.number));
  if (std::fabs(x.number - y.number) <= scale * 1e-15) return 0;
  return x.number < y.number ? -1 : 1;
}

std::string UpperText(std::string_view text) {
  std::string out(text);
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (c >= 'a' && c <= 'z') out[i] = static_cast<char>(c - 32);
    // Latin-1 letters à..þ (U+00E0..U+00FE but ÷) in UTF-8: C3 A0..BE.
    if (c == 0xC3 && i + 1 < out.size()) {
      unsigned char d = static_cast<unsigned char>(out[i + 1]);
      if (d >= 0xA0 && d <= 0xBE && d != 0xB7) out[i + 1] = static_cast<char>(d - 0x20);
      ++i;
    }
  }
  return out;
}

std::string LowerText(std::string_view text) {
  std::string out(text);
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char c = FoldByte(static_cast<unsigned char>(out[i]));
    out[i] = static_cast<char>(c);
    if (c == 0xC3 && i + 1 < out.size()) {
      unsigned char d = static_cast<unsigned char>(out[i + 1]);
      if (d >= 0x80 && d <= 0x9E && d != 0x97) out[i + 1] = static_cast<char>(d + 0x20);
      ++i;
    }
  }
  return out;
}

Value NumberResult(double n) {
  if (!std::isfinite(n)) return Value::Error(CalcError::Num);
  return Value::Number(n == 0 ? 0 : n);
}

}  // namespace host::calc
