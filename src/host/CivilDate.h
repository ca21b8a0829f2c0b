#pragma once
// Calendar arithmetic shared by the formats that store dates as text.

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

}  // namespace host
