#pragma once
// The number formats a workbook names by id alone: OOXML styles, BIFF
// FORMAT records and .xlsb style records number the same built-in codes,
// which a file never writes out. The formats that number their codes this
// way read them here.

#include <string_view>

namespace host {

// The format code of a built-in number format id (0-49 and the locale ids the
// standard reserves), or an empty view when the id has no built-in code.
std::string_view BuiltinFormatCode(int numFmtId);

}  // namespace host
