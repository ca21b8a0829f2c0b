#include "host/formats/ooxml/Styles.h"

#include <pugixml.hpp>

#include <map>

#include "host/formats/ooxml/AlternateContent.h"
#include "host/formats/ooxml/ChildElement.h"
#include "host/core/NumberFormat.h"
#include "host/formats/BuiltinNumberFormats.h"
#include "host/formats/ooxml/XmlProblem.h"
#include "host/io/XmlScanner.h"

namespace host::ooxml {

Styles::Styles() { codes_.push_back("General"); }

Styles::Styles(std::string_view xml) {
  RejectDocumentType(xml);
  pugi::xml_document doc;
  pugi::xml_parse_result result = doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_auto);
  if (!result) throw XmlFault{XmlProblem(result)};
  ResolveAlternateContent(doc);
  pugi::xml_node root = doc.document_element();
  if (LocalName(root.name()) != "styleSheet") throw XmlFault{"the root element is not <styleSheet>"};
  std::map<long, std::string> custom;
  for (pugi::xml_node fmt : ChildElement(root, "numFmts").children()) {
    if (LocalName(fmt.name()) != "numFmt") continue;
    custom[fmt.attribute("numFmtId").as_llong(-1)] = fmt.attribute("formatCode").value();
  }
  for (pugi::xml_node xf : ChildElement(root, "cellXfs").children()) {
    if (LocalName(xf.name()) != "xf") continue;
    long id = xf.attribute("numFmtId").as_llong(0);
    auto it = custom.find(id);
    std::string code;
    if (it != custom.end()) code = it->second;
    else code = std::string(BuiltinFormatCode(static_cast<int>(id)));
    if (code.empty()) code = "General";
    codes_.push_back(std::move(code));
  }
  if (codes_.empty()) codes_.push_back("General");
}

}  // namespace host::ooxml
