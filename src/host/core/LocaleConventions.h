#pragma once
// How the user's locale writes numbers and dates as text, so that text typed
// by people (a CSV field) is read as a spreadsheet program opening it in that
// locale reads it: the decimal and grouping separators and the currency sign
// come from LC_ALL, LC_NUMERIC or LANG, the order of day, month and year in a
// short date and its separator from LC_ALL, LC_TIME or LANG (ICU's data for
// the locale). The C locale knows "." and "," and no local date form; ISO
// dates and plain numbers read the same everywhere.

#include <string>
#include <string_view>

namespace host {

enum class DateOrder { None, DayMonthYear, MonthDayYear, YearMonthDay };

struct LocaleConventions {
  std::string decimal = ".";
  std::string grouping = ",";
  std::string currency;  // the locale's own currency sign ("€"); empty in C
  DateOrder dateOrder = DateOrder::None;
  char dateSeparator = 0;

  // The conventions of a POSIX locale name for numbers ("de_DE.UTF-8") and
  // for dates; "" or "C" for the C locale.
  static LocaleConventions Of(std::string_view numericLocale, std::string_view timeLocale);
  // The running user's, from the environment.
  static LocaleConventions ForUser();
};

}  // namespace host
