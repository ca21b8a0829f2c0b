#include "host/core/LocaleConventions.h"

#include <unicode/datefmt.h>
#include <unicode/dcfmtsym.h>
#include <unicode/smpdtfmt.h>

#include <cstdlib>
#include <memory>

#include "host/core/TextCollator.h"

namespace host {

namespace {

std::string Utf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

// The first of the variables that is set, as the C library reads them.
std::string FromEnvironment(const char* category) {
  for (const char* variable : {"LC_ALL", category, "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return value;
  }
  return {};
}

void ReadNumbers(const std::string& name, LocaleConventions& out) {
  UErrorCode status = U_ZERO_ERROR;
  icu::DecimalFormatSymbols symbols(icu::Locale(name.c_str()), status);
  if (U_FAILURE(status)) return;
  const std::string decimal = Utf8(symbols.getSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol));
  const std::string grouping = Utf8(symbols.getSymbol(icu::DecimalFormatSymbols::kGroupingSeparatorSymbol));
  if (decimal.empty() || decimal == grouping) return;
  out.decimal = decimal;
  out.grouping = grouping;
  out.currency = Utf8(symbols.getSymbol(icu::DecimalFormatSymbols::kCurrencySymbol));
}

// The order of the fields of the locale's short date pattern ("dd.MM.yy",
// "M/d/yy", "y/MM/dd") and the character between them.
void ReadDates(const std::string& name, LocaleConventions& out) {
  std::unique_ptr<icu::DateFormat> format(
      icu::DateFormat::createDateInstance(icu::DateFormat::kShort, icu::Locale(name.c_str())));
  auto* simple = dynamic_cast<icu::SimpleDateFormat*>(format.get());
  if (!simple) return;
  icu::UnicodeString pattern;
  const std::string text = Utf8(simple->toPattern(pattern));
  std::string order;
  char separator = 0;
  bool quoted = false;
  for (char c : text) {
    if (c == '\'') quoted = !quoted;
    if (quoted) continue;
    const char field = c == 'd' ? 'd' : c == 'M' || c == 'L' ? 'm' : c == 'y' ? 'y' : 0;
    if (field && (order.empty() || order.back() != field)) order += field;
    if (!field && !order.empty() && order.size() < 3 && !separator && (c == '.' || c == '/' || c == '-')) separator = c;
  }
  if (!separator) return;
  if (order == "dmy") out.dateOrder = DateOrder::DayMonthYear;
  else if (order == "mdy") out.dateOrder = DateOrder::MonthDayYear;
  else if (order == "ymd") out.dateOrder = DateOrder::YearMonthDay;
  else return;
  out.dateSeparator = separator;
}

}  // namespace

LocaleConventions LocaleConventions::Of(std::string_view numericLocale, std::string_view timeLocale) {
  LocaleConventions conventions;
  // The same reading of a POSIX name as the collation's: no character set,
  // and C or POSIX for none.
  const std::string numeric = CollationLocaleOf(numericLocale), time = CollationLocaleOf(timeLocale);
  if (!numeric.empty()) ReadNumbers(numeric, conventions);
  if (!time.empty()) ReadDates(time, conventions);
  return conventions;
}

LocaleConventions LocaleConventions::ForUser() {
  return Of(FromEnvironment("LC_NUMERIC"), FromEnvironment("LC_TIME"));
}

}  // namespace host
