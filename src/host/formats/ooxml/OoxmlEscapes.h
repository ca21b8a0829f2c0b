#pragma once
// The _xHHHH_ escapes OOXML string values use for characters XML cannot hold.

#include <string>
#include <string_view>

namespace host::ooxml {

// Replaces the _xHHHH_ escapes of OOXML string values by their characters.
std::string DecodeOoxmlEscapes(std::string_view text);
// True when text holds a _xHHHH_ escape.
bool HasOoxmlEscape(std::string_view text);

}  // namespace host::ooxml
