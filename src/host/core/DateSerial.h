#pragma once
// Dates as the host stores them: the day serials of a workbook's date
// system, and the ISO 8601 text that OOXML cells, OpenDocument values and CSV
// fields write dates in. One place holds the rule of the 1900 system, which
// counts 1899-12-31 as day 1 and a 29 February 1900 that never was as day
// 60, so that from 1 March 1900 on its serials are the days since
// 1899-12-30; the 1904 system counts from 1904-01-01 as day 0.

#include <string>
#include <string_view>

namespace host {

// Days from 1970-01-01 of a date in the proleptic Gregorian calendar
// (negative before it); month 1..12, day 1..31.
inline long DaysFromCivil(long year, long month, long day) {
  year -= month <= 2;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const long yearOfEra = year - era * 400;
  const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// The calendar day of a day count from 1970-01-01 (proleptic Gregorian).
void CivilFromDays(long long days, int& year, int& month, int& day);

// A day of a date system as a calendar shows it.
struct CalendarDay {
  int year = 1900, month = 1, day = 0, weekday = 0;  // weekday 0 = Sunday
};

// The calendar day of a serial's whole days. In the 1900 system serial 0
// is "1900-01-00" and serial 60 the 29 February 1900 that never was; the
// weekdays follow that count, as the reference program shows them.
CalendarDay DayOfSerial(long long days, bool date1904);

// True when day is a day of that month of that year.
bool IsCivilDate(long year, long month, long day);

// The serial of a calendar day in the 1900 or 1904 date system.
double SerialOfDay(long year, long month, long day, bool date1904);

// An ISO 8601 date, time or both as text writes them.
struct IsoDateTime {
  bool hasDate = false, hasTime = false, hasZone = false;
  long year = 0, month = 0, day = 0;
  double seconds = 0;  // into the day
};

// Reads "[-]yyyy-mm-dd", "hh:mm[:ss[.fff]]" or both, the time after "T" or
// a blank, each optionally ending in a zone ("Z", "+hh:mm", "-hh:mm", which
// is kept out of the value: the local time written counts). False for
// anything else, a day the calendar has not or a time past 23:59:59.
bool ParseIsoDateTime(std::string_view text, IsoDateTime& out);

// The serial of ISO text in a date system; false when it is not ISO text.
bool IsoDateToSerial(std::string_view text, bool date1904, double& serial);

// The ISO text of a serial, as IsoDateToSerial reads it back: "2024-01-31",
// with "T12:30:00" (and ".250" for a part of a second, to the millisecond)
// when it holds a time of day. False for a serial no calendar day has
// (before the system's first day, past 9999, the 1900 system's 29 February).
bool IsoTextOfSerial(double serial, bool date1904, std::string& text);

}  // namespace host
