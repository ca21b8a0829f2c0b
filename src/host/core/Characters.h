#pragma once
// The character tests and the quoting that every reader and message of the
// host uses: ASCII only, whatever the user's locale (a formula's or a
// file's syntax never depends on it).

#include <string>
#include <string_view>

namespace host {

inline bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A name or path as messages show it: in double quotes.
inline std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace host
