#pragma once
// Splitting a CSV record's content (its bytes without the line ending) into
// fields, as RFC 4180 reads them: a field that starts with a quote runs to
// its closing quote, with doubled quotes inside; bytes after the closing
// quote, and quotes inside an unquoted field, are kept as written.

#include <string>
#include <string_view>

namespace host::csv {

// The index of the delimiter that ends the field starting at `start`, or the
// content's size for the last field.
size_t FieldEnd(std::string_view content, size_t start, char delimiter);
// The raw bytes of field `column` (1-based); empty past the record's end.
std::string_view RawField(std::string_view content, char delimiter, int column);
// True when the raw field needs no unquoting.
inline bool IsPlain(std::string_view raw) { return raw.empty() || raw[0] != '"'; }
// The field's text from its raw bytes (still in the file's encoding).
std::string Unquote(std::string_view raw);

}  // namespace host::csv
