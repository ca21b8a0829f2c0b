#pragma once
// A serial date and time shown under a date section of a format code: years,
// months and days (names in English), hours, minutes, seconds and their
// fractions, AM/PM, and elapsed times, in the 1900 or 1904 date system.

#include <string>

#include "host/core/FormatCode.h"

namespace host::numfmt {

// The text of the serial value under sec.
std::string RenderDate(const Section& sec, double value, bool date1904);

}  // namespace host::numfmt
