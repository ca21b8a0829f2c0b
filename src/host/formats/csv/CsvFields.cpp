#include "host/formats/csv/CsvFields.h"

namespace host::csv {

size_t FieldEnd(std::string_view content, size_t start, char delimiter) {
  size_t i = start;
  if (i < content.size() && content[i] == '"') {
    for (++i; i < content.size(); ++i) {
      if (content[i] != '"') continue;
      if (i + 1 < content.size() && content[i + 1] == '"') ++i;
      else break;
    }
    if (i < content.size()) ++i;
  }
  size_t d = content.find(delimiter, i);
  return d == std::string_view::npos ? content.size() : d;
}

std::string_view RawField(std::string_view content, char delimiter, int column) {
  size_t start = 0;
  for (int field = 1;; ++field) {
    size_t end = FieldEnd(content, start, delimiter);
    if (field == column) return content.substr(start, end - start);
    if (end >= content.size()) return {};
    start = end + 1;
  }
}

std::string Unquote(std::string_view raw) {
  if (raw.empty() || raw[0] != '"') return std::string(raw);
  std::string text;
  size_t i = 1;
  for (; i < raw.size(); ++i) {
    if (raw[i] == '"') {
      if (i + 1 < raw.size() && raw[i + 1] == '"') {
        text += '"';
        ++i;
        continue;
      }
      ++i;
      break;
    }
    text += raw[i];
  }
  text.append(raw.substr(std::min(i, raw.size())));
  return text;
}

}  // namespace host::csv
