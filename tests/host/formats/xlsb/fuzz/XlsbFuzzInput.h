#pragma once
// A fuzz input made into an .xlsb package, shared by the fuzz target and the
// regression test.

#include <string>
#include <string_view>

namespace xlsbfuzz {

// Writes the input to path: an input starting with "PK" as it is; any other
// as the records of the sheet part, the shared strings, the styles and the
// workbook part, separated by "\n----\n" (missing ones get plain defaults:
// one sheet "S", no strings, no styles), packed with the content types and
// relationships a binary workbook has. False when the file cannot be written.
bool WritePackage(const std::string& path, std::string_view input);

}  // namespace xlsbfuzz
