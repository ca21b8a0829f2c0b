#include "host/csv/CsvValue.h"

#include <array>
#include <charconv>
#include <string>

#include "host/CivilDate.h"

namespace host::csv {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A number written with the locale's decimal and grouping separators
// (groups of exactly three digits); false when s is not one.
bool ParseNumber(std::string_view s, const LocaleConventions& locale, double& out) {
  const std::string_view point = locale.decimal, group = locale.grouping;
  std::string digits;
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    if (s[i] == '-') digits += '-';
    ++i;
  }
  // Integer part: digits, separators only between groups of exactly three.
  size_t intStart = i, groupLen = 0;
  bool grouped = false;
  while (i < s.size()) {
    if (IsDigit(s[i])) {
      digits += s[i++];
      ++groupLen;
    } else if (!group.empty() && s.substr(i, group.size()) == group) {
      if (groupLen == 0 || (grouped ? groupLen != 3 : groupLen > 3)) return false;
      grouped = true;
      groupLen = 0;
      i += group.size();
    } else {
      break;
    }
  }
  if (grouped && groupLen != 3) return false;
  bool haveDigits = i > intStart;
  if (s.substr(i, point.size()) == point) {
    digits += '.';
    i += point.size();
    size_t fracStart = i;
    for (; i < s.size() && IsDigit(s[i]); ++i) digits += s[i];
    haveDigits = haveDigits || i > fracStart;
  }
  if (!haveDigits) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    digits += 'e';
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) digits += s[i++];
    size_t expStart = i;
    for (; i < s.size() && IsDigit(s[i]); ++i) digits += s[i];
    if (i == expStart) return false;
  }
  if (i != s.size()) return false;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), out);
  return ec == std::errc() && end == digits.data() + digits.size();
}

// s without leading / trailing blanks, no-break spaces included.
std::string_view TrimSpaces(std::string_view s) {
  for (bool again = true; again;) {
    again = false;
    for (std::string_view blank : {" ", "\xC2\xA0", "\xE2\x80\xAF"}) {
      if (s.substr(0, blank.size()) == blank) s.remove_prefix(blank.size()), again = true;
      if (s.size() >= blank.size() && s.substr(s.size() - blank.size()) == blank) s.remove_suffix(blank.size()), again = true;
    }
  }
  return s;
}

// An amount with a currency sign before or after the number (the sign of
// the number on either side of a leading currency sign).
bool ParseCurrency(std::string_view s, const LocaleConventions& locale, double& out) {
  for (std::string_view sign : {std::string_view("$"), std::string_view("\xE2\x82\xAC"), std::string_view("\xC2\xA3"),
                                std::string_view("\xC2\xA5"), std::string_view(locale.currency)}) {
    if (sign.empty()) continue;
    std::string_view rest = s;
    bool negative = false;
    if (!rest.empty() && (rest[0] == '-' || rest[0] == '+')) {
      negative = rest[0] == '-';
      rest.remove_prefix(1);
    }
    if (rest.substr(0, sign.size()) == sign) {
      std::string_view number = TrimSpaces(rest.substr(sign.size()));
      if (number.empty() || ((number[0] == '-' || number[0] == '+') && rest.size() != s.size())) continue;
      if (!ParseNumber(number, locale, out)) continue;
      if (negative) out = -out;
      return true;
    }
    if (s.size() > sign.size() && s.substr(s.size() - sign.size()) == sign &&
        ParseNumber(TrimSpaces(s.substr(0, s.size() - sign.size())), locale, out))
      return true;
  }
  return false;
}

// Exactly n digits at s[pos]; advances pos.
bool Digits(std::string_view s, size_t& pos, size_t n, int& out) {
  if (pos + n > s.size()) return false;
  out = 0;
  for (size_t k = 0; k < n; ++k) {
    if (!IsDigit(s[pos + k])) return false;
    out = out * 10 + (s[pos + k] - '0');
  }
  pos += n;
  return true;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

bool DateSerial(int y, int m, int d, std::string_view s, size_t pos, char timeMark, double& out);

// yyyy-mm-dd with an optional time; the 1900-system serial.
bool ParseIsoDate(std::string_view s, double& out) {
  size_t pos = 0;
  int y, m, d;
  if (!Digits(s, pos, 4, y) || pos >= s.size() || s[pos++] != '-' || !Digits(s, pos, 2, m) ||
      pos >= s.size() || s[pos++] != '-' || !Digits(s, pos, 2, d))
    return false;
  return DateSerial(y, m, d, s, pos, 'T', out);
}

// The serial of the civil date y-m-d (years from 1900, valid days only) with
// the time "hh:mm[:ss[.fff]]" that may follow at s[pos] after a blank or
// timeMark; false when anything else follows.
bool DateSerial(int y, int m, int d, std::string_view s, size_t pos, char timeMark, double& out) {
  static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1900 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1] + (m == 2 && IsLeap(y))) return false;
  // Serials count from 1899-12-31; the 1900 system also counts a 29 Feb 1900.
  long serial = DaysFromCivil(y, m, d) - DaysFromCivil(1899, 12, 31);
  if (serial >= 60) ++serial;
  double fraction = 0;
  if (pos < s.size()) {
    if (s[pos] != ' ' && s[pos] != timeMark) return false;
    ++pos;
    int hh, mm, ss = 0;
    if (!Digits(s, pos, 2, hh) || pos >= s.size() || s[pos++] != ':' || !Digits(s, pos, 2, mm)) return false;
    double frac = 0;
    if (pos < s.size() && s[pos] == ':') {
      ++pos;
      if (!Digits(s, pos, 2, ss)) return false;
      if (pos < s.size() && s[pos] == '.') {
        size_t start = pos;
        ++pos;
        while (pos < s.size() && IsDigit(s[pos])) ++pos;
        if (pos == start + 1) return false;
        std::from_chars(s.data() + start, s.data() + pos, frac);
      }
    }
    if (pos != s.size() || hh > 23 || mm > 59 || ss > 59) return false;
    fraction = (hh * 3600 + mm * 60 + ss + frac) / 86400.0;
  }
  out = static_cast<double>(serial) + fraction;
  return true;
}

// One to four digits at s[pos]; advances pos, counts them in n.
bool SomeDigits(std::string_view s, size_t& pos, int& out, size_t& n) {
  out = 0;
  for (n = 0; pos < s.size() && IsDigit(s[pos]) && n < 4; ++n) out = out * 10 + (s[pos++] - '0');
  return n > 0 && !(pos < s.size() && IsDigit(s[pos]));
}

// A date in the locale's short form, with an optional time after a blank.
bool ParseLocalDate(std::string_view s, const LocaleConventions& locale, double& out) {
  if (locale.dateOrder == DateOrder::None) return false;
  int part[3];
  size_t width[3], pos = 0;
  for (int k = 0; k < 3; ++k) {
    if (k > 0 && (pos >= s.size() || s[pos++] != locale.dateSeparator)) return false;
    if (!SomeDigits(s, pos, part[k], width[k])) return false;
  }
  const int yearAt = locale.dateOrder == DateOrder::YearMonthDay ? 0 : 2;
  if (width[yearAt] != 2 && width[yearAt] != 4) return false;
  for (int k = 0; k < 3; ++k)
    if (k != yearAt && width[k] > 2) return false;
  int y = part[yearAt];
  if (width[yearAt] == 2) y += y < 30 ? 2000 : 1900;
  const int m = locale.dateOrder == DateOrder::DayMonthYear ? part[1] : locale.dateOrder == DateOrder::MonthDayYear ? part[0] : part[1];
  const int d = locale.dateOrder == DateOrder::DayMonthYear ? part[0] : locale.dateOrder == DateOrder::MonthDayYear ? part[1] : part[2];
  return DateSerial(y, m, d, s, pos, ' ', out);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'a' && a[i] <= 'z' ? a[i] - 32 : a[i];
    if (x != b[i]) return false;
  }
  return true;
}

}  // namespace

CsvValue TypeField(std::string_view text, const LocaleConventions& locale) {
  if (text.empty()) return {CsvKind::Empty, 0};
  std::string_view s = Trim(text);
  double n = 0;
  if (!s.empty()) {
    if (EqualsNoCase(s, "TRUE")) return {CsvKind::Boolean, 1};
    if (EqualsNoCase(s, "FALSE")) return {CsvKind::Boolean, 0};
    static constexpr std::array<std::string_view, 7> kErrors = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!",
                                                                "#NAME?", "#NUM!",   "#N/A"};
    for (auto e : kErrors)
      if (EqualsNoCase(s, e)) return {CsvKind::Error, 0};
    if (ParseNumber(s, locale, n)) return {CsvKind::Number, n};
    if (s.size() > 1 && s.back() == '%' && ParseNumber(TrimSpaces(s.substr(0, s.size() - 1)), locale, n))
      return {CsvKind::Number, n / 100};
    if (s.size() > 2 && s.front() == '(' && s.back() == ')') {
      std::string_view inner = s.substr(1, s.size() - 2);
      if (!inner.empty() && inner[0] != '-' && inner[0] != '+' &&
          (ParseNumber(inner, locale, n) || ParseCurrency(inner, locale, n)))
        return {CsvKind::Number, -n};
    }
    if (ParseCurrency(s, locale, n)) return {CsvKind::Number, n};
    if (ParseIsoDate(s, n) || ParseLocalDate(s, locale, n)) return {CsvKind::Number, n};
  }
  return {CsvKind::Text, 0};
}

}  // namespace host::csv
