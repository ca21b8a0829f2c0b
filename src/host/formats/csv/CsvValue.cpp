#include "host/formats/csv/CsvValue.h"
#include "host/core/Characters.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string>

#include "host/core/DateSerial.h"

namespace host::csv {

namespace {

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
    if (IsAsciiDigit(s[i])) {
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
    for (; i < s.size() && IsAsciiDigit(s[i]); ++i) digits += s[i];
    haveDigits = haveDigits || i > fracStart;
  }
  if (!haveDigits) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    digits += 'e';
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) digits += s[i++];
    size_t expStart = i;
    for (; i < s.size() && IsAsciiDigit(s[i]); ++i) digits += s[i];
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

// The serial of a day (1900 system; years before 1900 stay text, as in the
// reference program) with the time that may follow it at s[pos] after a
// blank: false when anything else follows.
bool DaySerial(long y, long m, long d, std::string_view s, size_t pos, double& out) {
  if (y < 1900 || !IsCivilDate(y, m, d)) return false;
  double seconds = 0;
  if (pos < s.size()) {
    IsoDateTime time;
    if (s[pos] != ' ' || !ParseIsoDateTime(s.substr(pos + 1), time) || time.hasDate || time.hasZone) return false;
    seconds = time.seconds;
  }
  out = SerialOfDay(y, m, d, false) + seconds / 86400.0;
  return true;
}

// yyyy-mm-dd with an optional time after a blank or "T", no zone.
bool ParseIsoDate(std::string_view s, double& out) {
  IsoDateTime parsed;
  if (!ParseIsoDateTime(s, parsed) || !parsed.hasDate || parsed.hasZone || parsed.year < 1900) return false;
  out = SerialOfDay(parsed.year, parsed.month, parsed.day, false) + parsed.seconds / 86400.0;
  return true;
}

// One to four digits at s[pos]; advances pos, counts them in n.
bool SomeDigits(std::string_view s, size_t& pos, int& out, size_t& n) {
  out = 0;
  for (n = 0; pos < s.size() && IsAsciiDigit(s[pos]) && n < 4; ++n) out = out * 10 + (s[pos++] - '0');
  return n > 0 && !(pos < s.size() && IsAsciiDigit(s[pos]));
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
  return DaySerial(y, m, d, s, pos, out);
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
    // Numbers, amounts, percentages and dates all hold a digit.
    if (std::none_of(s.begin(), s.end(), IsAsciiDigit)) return {CsvKind::Text, 0};
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
