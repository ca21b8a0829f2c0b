#include "host/core/DateSerial.h"
#include "host/core/Characters.h"

#include <cmath>
#include <cstdio>

namespace host {

namespace {

// Exactly n digits at text[pos]; advances pos.
bool Digits(std::string_view text, size_t& pos, size_t n, long& out) {
  if (pos + n > text.size()) return false;
  out = 0;
  for (size_t k = 0; k < n; ++k) {
    if (!IsAsciiDigit(text[pos + k])) return false;
    out = out * 10 + (text[pos + k] - '0');
  }
  pos += n;
  return true;
}

// hh:mm[:ss[.fff]] at text[pos]; advances pos.
bool Time(std::string_view text, size_t& pos, double& seconds) {
  long hour = 0, minute = 0, second = 0;
  if (!Digits(text, pos, 2, hour) || pos >= text.size() || text[pos++] != ':' || !Digits(text, pos, 2, minute))
    return false;
  double fraction = 0;
  if (pos < text.size() && text[pos] == ':') {
    ++pos;
    if (!Digits(text, pos, 2, second)) return false;
    if (pos < text.size() && text[pos] == '.') {
      ++pos;
      double scale = 0.1;
      const size_t start = pos;
      for (; pos < text.size() && IsAsciiDigit(text[pos]); ++pos, scale /= 10) fraction += (text[pos] - '0') * scale;
      if (pos == start) return false;
    }
  }
  if (hour > 23 || minute > 59 || second > 59) return false;
  seconds = static_cast<double>(hour * 3600 + minute * 60 + second) + fraction;
  return true;
}

// Z or ±hh:mm at text[pos]; advances pos.
bool Zone(std::string_view text, size_t& pos) {
  if (pos < text.size() && text[pos] == 'Z') {
    ++pos;
    return true;
  }
  if (pos >= text.size() || (text[pos] != '+' && text[pos] != '-')) return false;
  size_t at = pos + 1;
  long hours = 0, minutes = 0;
  if (!Digits(text, at, 2, hours) || at >= text.size() || text[at++] != ':' || !Digits(text, at, 2, minutes)) return false;
  pos = at;
  return true;
}

}  // namespace

bool IsCivilDate(long year, long month, long day) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap);
}

double SerialOfDay(long year, long month, long day, bool date1904) {
  const long days = DaysFromCivil(year, month, day);
  if (date1904) return static_cast<double>(days - DaysFromCivil(1904, 1, 1));
  const long serial = days - DaysFromCivil(1899, 12, 30);
  // Before 1 March 1900 the system's phantom 29 February is not yet counted.
  return static_cast<double>(serial < 61 ? serial - 1 : serial);
}

bool ParseIsoDateTime(std::string_view text, IsoDateTime& out) {
  out = {};
  size_t pos = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (text.size() >= pos + (negative ? 11 : 10) && text[pos + (negative ? 5 : 4)] == '-') {
    if (negative) ++pos;
    if (!Digits(text, pos, 4, out.year) || text[pos++] != '-' || !Digits(text, pos, 2, out.month) ||
        pos >= text.size() || text[pos++] != '-' || !Digits(text, pos, 2, out.day))
      return false;
    if (negative) out.year = -out.year;
    if (!IsCivilDate(out.year, out.month, out.day)) return false;
    out.hasDate = true;
    if (pos < text.size() && (text[pos] == 'T' || text[pos] == ' ')) {
      ++pos;
      if (!Time(text, pos, out.seconds)) return false;
      out.hasTime = true;
    }
  } else {
    if (!Time(text, pos, out.seconds)) return false;
    out.hasTime = true;
  }
  if (pos < text.size()) {
    if (!Zone(text, pos)) return false;
    out.hasZone = true;
  }
  return pos == text.size();
}

bool IsoDateToSerial(std::string_view text, bool date1904, double& serial) {
  IsoDateTime parsed;
  if (!ParseIsoDateTime(text, parsed)) return false;
  serial = (parsed.hasDate ? SerialOfDay(parsed.year, parsed.month, parsed.day, date1904) : 0.0) + parsed.seconds / 86400.0;
  return true;
}

bool IsoTextOfSerial(double serial, bool date1904, std::string& text) {
  if (!(serial >= (date1904 ? 0.0 : 1.0)) || serial >= 2958466) return false;
  long long milliseconds = std::llround(serial * 86400000.0);
  const long long days = milliseconds / 86400000;
  milliseconds -= days * 86400000;
  if (!date1904 && days == 60) return false;
  const CalendarDay day = DayOfSerial(days, date1904);
  char buffer[40];
  int n = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", day.year, day.month, day.day);
  if (milliseconds > 0) {
    const long long seconds = milliseconds / 1000;
    n += std::snprintf(buffer + n, sizeof buffer - static_cast<size_t>(n), "T%02lld:%02lld:%02lld", seconds / 3600,
                       seconds / 60 % 60, seconds % 60);
    if (milliseconds % 1000)
      std::snprintf(buffer + n, sizeof buffer - static_cast<size_t>(n), ".%03lld", milliseconds % 1000);
  }
  text = buffer;
  return day.year <= 9999;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

CalendarDay DayOfSerial(long long days, bool date1904) {
    CalendarDay p;
    if (date1904) {
        // day 0 is 1904-01-01, a Friday; 1904-01-01 is 12418 days before 1970-01-01
        CivilFromDays(days - 24107, p.year, p.month, p.day);
        p.weekday = static_cast<int>((days + 5) % 7);
        return p;
    }
    // The 1900 system counts a 29 February 1900 (serial 60) that never was, and
    // serial 0 is "1/0/1900"; weekdays follow that count.
    p.weekday = static_cast<int>((days + 6) % 7);
    if (days == 0) { p.year = 1900; p.month = 1; p.day = 0; return p; }
    if (days == 60) { p.year = 1900; p.month = 2; p.day = 29; return p; }
    const long long fromEpoch = days < 60 ? days - 25568 : days - 25569;
    CivilFromDays(fromEpoch, p.year, p.month, p.day);
    return p;
}

}  // namespace host
