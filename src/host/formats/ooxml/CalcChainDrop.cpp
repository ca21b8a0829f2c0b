#include "host/formats/ooxml/CalcChainDrop.h"

#include <pugixml.hpp>

#include <functional>
#include <sstream>

#include "host/core/HostError.h"
#include "host/formats/ooxml/XmlEncoding.h"
#include "host/formats/ooxml/XmlProblem.h"

namespace host::ooxml {

namespace {

// Parts edited and written back keep their comments, processing
// instructions, white space and line ends.
constexpr unsigned kRewriteFlags =
    (pugi::parse_default | pugi::parse_comments | pugi::parse_pi | pugi::parse_declaration | pugi::parse_ws_pcdata) &
    ~(pugi::parse_wconv_attribute | pugi::parse_eol);

std::string_view LocalName(std::string_view name) {
  const size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The XML part with the root's children that drop() picks left out.
std::string PartWithout(Package& package, const std::string& part, const std::function<bool(const pugi::xml_node&)>& drop) {
  std::string xml = package.Read(part);
  if (IsUtf16(xml)) xml = Utf16ToUtf8(xml);
  pugi::xml_document doc;
  const pugi::xml_parse_result result = doc.load_buffer(xml.data(), xml.size(), kRewriteFlags, pugi::encoding_auto);
  if (!result) throw XmlFault{XmlProblem(result)};
  pugi::xml_node root = doc.document_element();
  for (pugi::xml_node child = root.first_child(); child;) {
    pugi::xml_node next = child.next_sibling();
    if (child.type() == pugi::node_element && drop(child)) root.remove_child(child);
    child = next;
  }
  std::ostringstream out;
  doc.save(out, "", pugi::format_raw | (doc.first_child().type() == pugi::node_declaration ? 0 : pugi::format_no_declaration),
           pugi::encoding_utf8);
  return out.str();
}

}  // namespace

void DropCalcChain(Package& package, const std::string& workbookRelsPart, const std::string& chainPart,
                   std::map<std::string, NewPart>& changed) {
  std::string rels = PartWithout(package, workbookRelsPart, [](const pugi::xml_node& n) {
    const std::string_view type = n.attribute("Type").value();
    return type.size() >= 10 && type.substr(type.size() - 10) == "/calcChain";
  });
  std::string types = PartWithout(package, "[Content_Types].xml", [&chainPart](const pugi::xml_node& n) {
    return LocalName(n.name()) == "Override" && EqualNoCase(n.attribute("PartName").value(), "/" + chainPart);
  });
  changed[package.StoredName(chainPart)] = NewPart{};
  changed[package.StoredName(workbookRelsPart)] = TextPart(std::move(rels));
  changed[package.StoredName("[Content_Types].xml")] = TextPart(std::move(types));
}

}  // namespace host::ooxml
