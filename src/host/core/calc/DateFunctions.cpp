// Date and time functions over the workbook's date system (1900, with its
// phantom 29 February 1900 as serial 60, or 1904): DATE, TIME, their parts,
// WEEKDAY, WEEKNUM, EDATE, EOMONTH, DATEDIF, DAYS, NETWORKDAYS, WORKDAY,
// DATEVALUE and TIMEVALUE.

#include <algorithm>
#include <cmath>
#include <set>

#include "host/core/DateSerial.h"
#include "host/core/calc/Coercion.h"
#include "host/core/calc/FunctionFamilies.h"

namespace host::calc {

namespace {

constexpr double kLastSerial = 2958465;  // 9999-12-31

struct Civil {
  long year, month, day;
};

Civil CivilFromDays(long z) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  const long d = doy - (153 * mp + 2) / 5 + 1;
  const long m = mp < 10 ? mp + 3 : mp - 9;
  return {yoe + era * 400 + (m <= 2), m, d};
}

// The calendar day of a serial (its whole days).
Civil CivilOfSerial(double serial, bool date1904) {
  const long n = static_cast<long>(std::floor(serial));
  if (date1904) return CivilFromDays(n + DaysFromCivil(1904, 1, 1));
  if (n == 0) return {1900, 1, 0};
  if (n == 60) return {1900, 2, 29};
  return CivilFromDays(n + DaysFromCivil(1899, 12, n < 60 ? 31 : 30));
}

double Serial(CallContext& c, int i) {
  const double s = c.Number(i);
  if (s < 0 || s > kLastSerial + 1) throw ErrorResult{CalcError::Num};
  return s;
}

int DaysInMonth(long year, long month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// DATE's serial of year, month, day with months and days past their range carried over.
double DateSerial(double year, double month, double day, bool date1904) {
  if (year < 0 || year >= 10000) throw ErrorResult{CalcError::Num};
  if (year < 1900) year += 1900;
  const double months = year * 12 + (month - 1);
  const long y = static_cast<long>(std::floor(months / 12));
  const long m = static_cast<long>(months - std::floor(months / 12) * 12) + 1;
  if (y < 1 || y > 9999) throw ErrorResult{CalcError::Num};
  const double serial = SerialOfDay(y, m, 1, date1904) + day - 1;
  if (serial < 0 || serial > kLastSerial) throw ErrorResult{CalcError::Num};
  return serial;
}

Value Date(CallContext& c) {
  return Value::Number(DateSerial(std::trunc(c.Number(0)), std::trunc(c.Number(1)), std::trunc(c.Number(2)), c.Date1904()));
}

Value Time(CallContext& c) {
  const double seconds = std::trunc(c.Number(0)) * 3600 + std::trunc(c.Number(1)) * 60 + std::trunc(c.Number(2));
  if (seconds < 0) return Value::Error(CalcError::Num);
  return Value::Number(std::fmod(seconds, 86400) / 86400);
}

Value Year(CallContext& c) { return Value::Number(CivilOfSerial(Serial(c, 0), c.Date1904()).year); }
Value Month(CallContext& c) { return Value::Number(CivilOfSerial(Serial(c, 0), c.Date1904()).month); }
Value Day(CallContext& c) { return Value::Number(CivilOfSerial(Serial(c, 0), c.Date1904()).day); }

// The seconds into its day of a serial, rounded to the nearest second.
long SecondsOfDay(double serial) {
  const double fraction = serial - std::floor(serial);
  long s = std::lround(fraction * 86400);
  return s >= 86400 ? 0 : s;
}
Value Hour(CallContext& c) { return Value::Number(static_cast<double>(SecondsOfDay(Serial(c, 0)) / 3600)); }
Value Minute(CallContext& c) { return Value::Number(static_cast<double>(SecondsOfDay(Serial(c, 0)) / 60 % 60)); }
Value Second(CallContext& c) { return Value::Number(static_cast<double>(SecondsOfDay(Serial(c, 0)) % 60)); }

// 0 for Sunday .. 6 for Saturday, as the date system counts (serial 1 of
// the 1900 system is a Sunday).
int DayOfWeek(double serial, bool date1904) {
  const long n = static_cast<long>(std::floor(serial)) + (date1904 ? 1462 : 0);
  return static_cast<int>(((n + 6) % 7 + 7) % 7);
}

Value Weekday(CallContext& c) {
  const int dow = DayOfWeek(Serial(c, 0), c.Date1904());
  const int type = static_cast<int>(c.NumberOr(1, 1));
  if (type == 1) return Value::Number(dow + 1);
  if (type == 2) return Value::Number((dow + 6) % 7 + 1);
  if (type == 3) return Value::Number((dow + 6) % 7);
  if (type >= 11 && type <= 17) {
    const int start = (type - 10) % 7;  // 11 Monday .. 16 Saturday, 17 Sunday
    return Value::Number((dow - start + 7) % 7 + 1);
  }
  return Value::Error(CalcError::Num);
}

Value Weeknum(CallContext& c) {
  const double serial = Serial(c, 0);
  const int type = static_cast<int>(c.NumberOr(1, 1));
  const bool date1904 = c.Date1904();
  const Civil day = CivilOfSerial(serial, date1904);
  if (type == 21) {  // ISO 8601 weeks
    const long days = DaysFromCivil(day.year, day.month, day.day);
    const int isoDow = static_cast<int>(((days + 3) % 7 + 7) % 7);  // 0 Monday
    const long thursday = days - isoDow + 3;
    const Civil t = CivilFromDays(thursday);
    return Value::Number(static_cast<double>((thursday - DaysFromCivil(t.year, 1, 1)) / 7 + 1));
  }
  int start;  // 0 Sunday .. 6 Saturday
  if (type == 1 || type == 17) start = 0;
  else if (type == 2 || type == 11) start = 1;
  else if (type >= 12 && type <= 16) start = type - 10;
  else return Value::Error(CalcError::Num);
  const double jan1 = SerialOfDay(day.year, 1, 1, date1904);
  const int offset = (DayOfWeek(jan1, date1904) - start + 7) % 7;
  return Value::Number(std::floor((std::floor(serial) - jan1 + offset) / 7) + 1);
}

double AddMonths(CallContext& c, bool endOfMonth) {
  const double start = Serial(c, 0);
  const double months = std::trunc(c.Number(1));
  const Civil d = CivilOfSerial(start, c.Date1904());
  const double total = static_cast<double>(d.year) * 12 + static_cast<double>(d.month - 1) + months;
  const long y = static_cast<long>(std::floor(total / 12));
  const long m = static_cast<long>(total - static_cast<double>(y) * 12) + 1;
  if (y < 1900 || y > 9999) throw ErrorResult{CalcError::Num};
  const int last = DaysInMonth(y, m);
  const long dd = endOfMonth ? last : std::min<long>(std::max<long>(d.day, 1), last);
  const double serial = SerialOfDay(y, m, dd, c.Date1904());
  if (serial < 0) throw ErrorResult{CalcError::Num};
  return serial;
}
Value EDate(CallContext& c) { return Value::Number(AddMonths(c, false)); }
Value EOMonth(CallContext& c) { return Value::Number(AddMonths(c, true)); }

Value DateDif(CallContext& c) {
  const double s = std::floor(Serial(c, 0)), e = std::floor(Serial(c, 1));
  const std::string unit = UpperText(c.Text(2));
  if (s > e) return Value::Error(CalcError::Num);
  const bool date1904 = c.Date1904();
  const Civil a = CivilOfSerial(s, date1904), b = CivilOfSerial(e, date1904);
  long months = (b.year - a.year) * 12 + (b.month - a.month);
  if (b.day < a.day) --months;
  if (unit == "D") return Value::Number(e - s);
  if (unit == "M") return Value::Number(static_cast<double>(months));
  if (unit == "Y") return Value::Number(static_cast<double>(months / 12));
  if (unit == "YM") return Value::Number(static_cast<double>(months % 12));
  if (unit == "MD") {
    if (b.day >= a.day) return Value::Number(static_cast<double>(b.day - a.day));
    const long pm = b.month == 1 ? 12 : b.month - 1, py = b.month == 1 ? b.year - 1 : b.year;
    return Value::Number(static_cast<double>(DaysInMonth(py, pm) - a.day + b.day));
  }
  if (unit == "YD") {
    long y = b.year;
    if (b.month < a.month || (b.month == a.month && b.day < a.day)) --y;
    const long day = std::min<long>(a.day, DaysInMonth(y, a.month));
    return Value::Number(e - SerialOfDay(y, a.month, day, date1904));
  }
  return Value::Error(CalcError::Num);
}

Value Days(CallContext& c) { return Value::Number(std::floor(Serial(c, 0)) - std::floor(Serial(c, 1))); }

std::set<long> Holidays(CallContext& c, int i) {
  std::set<long> out;
  if (c.IsMissing(i)) return out;
  for (const Value& v : c.Grid(i).cells) {
    if (v.type == Value::Type::Blank) continue;
    if (v.IsError()) throw ErrorResult{v.error};
    out.insert(static_cast<long>(std::floor(ToNumber(v, c.Date1904()))));
  }
  return out;
}

bool Workday(long serial, bool date1904, const std::set<long>& holidays) {
  const int dow = DayOfWeek(static_cast<double>(serial), date1904);
  return dow != 0 && dow != 6 && !holidays.count(serial);
}

Value NetworkDays(CallContext& c) {
  long s = static_cast<long>(std::floor(Serial(c, 0))), e = static_cast<long>(std::floor(Serial(c, 1)));
  const std::set<long> holidays = Holidays(c, 2);
  const int sign = s <= e ? 1 : -1;
  if (s > e) std::swap(s, e);
  long n = 0;
  for (long d = s; d <= e; ++d) n += Workday(d, c.Date1904(), holidays);
  return Value::Number(static_cast<double>(sign * n));
}

Value WorkdayFn(CallContext& c) {
  long d = static_cast<long>(std::floor(Serial(c, 0)));
  long days = static_cast<long>(std::trunc(c.Number(1)));
  const std::set<long> holidays = Holidays(c, 2);
  const int step = days >= 0 ? 1 : -1;
  for (; days != 0; days -= step) {
    do {
      d += step;
      if (d < 0 || d > kLastSerial) return Value::Error(CalcError::Num);
    } while (!Workday(d, c.Date1904(), holidays));
  }
  return Value::Number(static_cast<double>(d));
}

Value DateValue(CallContext& c) {
  const Value v = c.Scalar(0);
  if (v.type != Value::Type::Text) return v.IsError() ? v : Value::Error(CalcError::Value);
  double n = 0;
  if (!ParseNumberText(v.text, c.Date1904(), n) || v.text.find_first_of("-/ ,") == std::string::npos)
    return Value::Error(CalcError::Value);
  return Value::Number(std::floor(n));
}

Value TimeValue(CallContext& c) {
  const Value v = c.Scalar(0);
  if (v.type != Value::Type::Text) return v.IsError() ? v : Value::Error(CalcError::Value);
  double n = 0;
  if (!ParseNumberText(v.text, c.Date1904(), n)) return Value::Error(CalcError::Value);
  return Value::Number(n - std::floor(n));
}

constexpr FunctionDef kDate[] = {
    {"DATE", 3, 3, Date, 0, true},
    {"TIME", 3, 3, Time, 0, true},
    {"YEAR", 1, 1, Year, 0, true},
    {"MONTH", 1, 1, Month, 0, true},
    {"DAY", 1, 1, Day, 0, true},
    {"HOUR", 1, 1, Hour, 0, true},
    {"MINUTE", 1, 1, Minute, 0, true},
    {"SECOND", 1, 1, Second, 0, true},
    {"WEEKDAY", 1, 2, Weekday, 0, true},
    {"WEEKNUM", 1, 2, Weeknum, 0, true},
    {"EDATE", 2, 2, EDate, 0, true},
    {"EOMONTH", 2, 2, EOMonth, 0, true},
    {"DATEDIF", 3, 3, DateDif, 0, true},
    {"DAYS", 2, 2, Days, 0, true},
    {"NETWORKDAYS", 2, 3, NetworkDays},
    {"WORKDAY", 2, 3, WorkdayFn},
    {"DATEVALUE", 1, 1, DateValue, 0, true},
    {"TIMEVALUE", 1, 1, TimeValue, 0, true},
};

}  // namespace

std::span<const FunctionDef> DateFunctions() { return kDate; }

}  // namespace host::calc
