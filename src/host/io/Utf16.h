#pragma once
// Text as the compound file and BIFF store it: UTF-16LE, or its low bytes
// only ("compressed"), turned into UTF-8.

#include <cstdint>
#include <string>
#include <string_view>

namespace host::io {

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, uint32_t codePoint);

// UTF-16LE bytes as UTF-8; an odd last byte is ignored, a lone surrogate
// becomes U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes);

// Appends a run of UTF-16 code units given as bytes: two bytes each when wide,
// else one (the high byte is zero). A surrogate pair split between two calls
// is carried in pending (0 when none).
void AppendUnits(std::string& out, std::string_view bytes, bool wide, uint16_t& pending);

// Ends a run of AppendUnits calls: a surrogate left pending becomes U+FFFD.
void FinishUnits(std::string& out, uint16_t& pending);

// UTF-8 text as UTF-16LE bytes (code points past U+FFFF as surrogate pairs),
// for the records that store text that way.
std::string Utf8ToUtf16(std::string_view text);

}  // namespace host::io
