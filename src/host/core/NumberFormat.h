#pragma once
// Cell values shown as text the way a spreadsheet displays them under a number
// format code. Pure functions; parsed codes are cached per thread.

#include <string>
#include <string_view>

namespace host {

// The displayed text of a number under a format code. An empty code or
// "General" gives the General form a standard-width column shows.
// date1904 selects the 1904 date system for date and time codes.
std::string FormatNumber(double value, std::string_view formatCode, bool date1904);

// The displayed text of a text value under a format code: the text section
// (the fourth, or a single section holding "@") applied; otherwise the text itself.
std::string FormatText(std::string_view text, std::string_view formatCode);

// True when the code shows dates or times (so the value is a serial date).
bool IsDateFormat(std::string_view formatCode);

}  // namespace host
