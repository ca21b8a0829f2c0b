#include "host/formats/ooxml/XmlProblem.h"

#include <pugixml.hpp>

namespace host::ooxml {

std::string XmlProblem(const pugi::xml_parse_result& result) {
  const char* what = "the XML cannot be read";
  switch (result.status) {
    case pugi::status_out_of_memory: what = "not enough memory to read it"; break;
    case pugi::status_unrecognized_tag: what = "malformed markup"; break;
    case pugi::status_bad_pi: what = "a malformed declaration or processing instruction"; break;
    case pugi::status_bad_comment: what = "a malformed comment"; break;
    case pugi::status_bad_cdata: what = "a malformed CDATA section"; break;
    case pugi::status_bad_doctype: what = "a malformed document type declaration"; break;
    case pugi::status_bad_pcdata: what = "malformed text"; break;
    case pugi::status_bad_start_element: what = "a malformed start tag"; break;
    case pugi::status_bad_attribute: what = "a malformed attribute"; break;
    case pugi::status_bad_end_element: what = "a malformed end tag"; break;
    case pugi::status_end_element_mismatch: what = "an end tag that does not match its start tag"; break;
    case pugi::status_no_document_element: what = "no root element"; break;
    default: break;
  }
  return std::string(what) + " (at byte " + std::to_string(result.offset) + ")";
}

}  // namespace host::ooxml
