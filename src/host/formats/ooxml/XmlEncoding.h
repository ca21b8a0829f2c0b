#pragma once
// Parts written in UTF-16 (with a byte-order mark, as XML requires of them)
// are read as UTF-8, the encoding every reader of the host works in.

#include <string>
#include <string_view>

namespace host::ooxml {

// True when bytes start with a UTF-16 byte-order mark.
bool IsUtf16(std::string_view bytes);

// The UTF-8 form of a UTF-16 document with its byte-order mark; its XML
// declaration then names UTF-8, so that the text stays true if written back.
// Throws XmlFault when the UTF-16 is malformed.
std::string Utf16ToUtf8(std::string_view bytes);

}  // namespace host::ooxml
