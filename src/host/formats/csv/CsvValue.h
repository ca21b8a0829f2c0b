#pragma once
// The value a spreadsheet program gives a CSV field when it opens the file,
// used to order a sort. The displayed text always stays the field as written.
//
// Typed, after leading and trailing blanks are trimmed, in the conventions
// of a locale (see LocaleConventions.h; the C locale's shown here):
// - numbers: optional sign, digits with optional grouping separators in
//   groups of three ("1,234,567.5"; German "1.234.567,5"), the decimal
//   separator, exponent; "(12)" is -12;
// - percentages: a number followed by "%" (the value is the fraction);
// - currency amounts: a number with a currency sign before or after it
//   ("$20", "-20 €", "€ 1.234,50"; $ € £ ¥ and the locale's own);
// - ISO dates yyyy-mm-dd, optionally with a time "hh:mm[:ss[.fff]]" after a
//   blank or "T" (the value is the day serial, 1900 date system; years before
//   1900 stay text as they do in the reference program); and dates in the
//   locale's short form ("9/1/2023" in US English, "1.9.2023" in German),
//   with two-digit years 00-29 read as 20xx and 30-99 as 19xx;
// - TRUE / FALSE in any case; the error codes ("#N/A", "#DIV/0!", ...).
// Everything else is text; an empty field is empty.

#include <string_view>

#include "host/core/LocaleConventions.h"

namespace host::csv {

// Kinds in ascending sort order; empty fields always go last.
enum class CsvKind { Number, Text, Boolean, Error, Empty };

struct CsvValue {
  CsvKind kind = CsvKind::Empty;
  double number = 0;  // numbers, percentages, date serials; 1/0 for booleans
};

// Types one field's text (UTF-8, already unquoted).
CsvValue TypeField(std::string_view text, const LocaleConventions& locale = {});

}  // namespace host::csv
