#pragma once
// The character encoding of a CSV file: UTF-8 (with or without a byte-order
// mark), or Windows-1252 when the bytes are not valid UTF-8.

#include <string>
#include <string_view>

namespace host::csv {

// True when every byte sequence of s is well-formed UTF-8.
bool IsValidUtf8(std::string_view s);
// Appends s to out as UTF-8: valid UTF-8 sequences as they are when utf8 is
// true, every other byte read as Windows-1252.
void AppendAsUtf8(std::string_view s, bool utf8, std::string& out);

}  // namespace host::csv
