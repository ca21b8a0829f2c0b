#pragma once
// The character encoding of a CSV file: UTF-8 (with or without a byte-order
// mark), UTF-16 in either byte order (with its mark, as "Unicode text"
// exports write it), or Windows-1252 when the bytes are not valid UTF-8.
// UTF-16 is read as UTF-8 and written back to the very code units it was
// read from, so each record keeps its own bytes.

#include <string>
#include <string_view>

namespace host::csv {

// True when every byte sequence of s is well-formed UTF-8.
bool IsValidUtf8(std::string_view s);
// Appends s to out as UTF-8: valid UTF-8 sequences as they are when utf8 is
// true, every other byte read as Windows-1252.
void AppendAsUtf8(std::string_view s, bool utf8, std::string& out);

// The text of UTF-16 code units (bigEndian or little-endian, no mark) as
// UTF-8 in out; false when the units do not make text: an odd byte count or
// a surrogate without its pair.
bool Utf16ToUtf8(std::string_view units, bool bigEndian, std::string& out);
// Appends valid UTF-8 text to out as UTF-16 code units.
void AppendAsUtf16(std::string_view utf8, bool bigEndian, std::string& out);

}  // namespace host::csv
