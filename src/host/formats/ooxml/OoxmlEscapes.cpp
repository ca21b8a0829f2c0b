#include "host/formats/ooxml/OoxmlEscapes.h"

#include <charconv>

#include "host/io/XmlScanner.h"

namespace host::ooxml {

bool HasOoxmlEscape(std::string_view text) { return text.find("_x") != std::string_view::npos; }

std::string DecodeOoxmlEscapes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '_' && i + 6 < text.size() && text[i + 1] == 'x' && text[i + 6] == '_') {
      unsigned long cp = 0;
      const char* hex = text.data() + i + 2;
      auto [end, ec] = std::from_chars(hex, hex + 4, cp, 16);
      if (ec == std::errc() && end == hex + 4) {
        AppendUtf8(out, cp);
        i += 7;
        continue;
      }
    }
    out.push_back(text[i++]);
  }
  return out;
}

}  // namespace host::ooxml
