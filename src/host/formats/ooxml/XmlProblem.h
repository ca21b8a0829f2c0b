#pragma once
// What the XML parser found wrong, in the host's words with the byte offset
// (the parser's own descriptions are not shown to users).

#include <string>

namespace pugi {
struct xml_parse_result;
}

namespace host::ooxml {

// E.g. "malformed start tag (at byte 120)".
std::string XmlProblem(const pugi::xml_parse_result& result);

}  // namespace host::ooxml
