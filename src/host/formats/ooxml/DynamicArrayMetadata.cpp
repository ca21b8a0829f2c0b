#include "host/formats/ooxml/DynamicArrayMetadata.h"

#include <pugixml.hpp>
#include <string>

#include "host/formats/ooxml/ChildElement.h"
#include "host/io/XmlScanner.h"

namespace host::ooxml {

namespace {

bool True(std::string_view v) { return v == "1" || v == "true"; }

// True when a future-metadata block holds dynamic-array properties with fDynamic set.
bool SpillsIn(pugi::xml_node block) {
  for (pugi::xml_node ext : ChildElement(block, "extLst").children()) {
    if (LocalName(ext.name()) != "ext") continue;
    pugi::xml_node properties = ChildElement(ext, "dynamicArrayProperties");
    if (properties) return True(properties.attribute("fDynamic").value());
  }
  return false;
}

}  // namespace

DynamicArrayMetadata::DynamicArrayMetadata(std::string_view xml) {
  pugi::xml_document doc;
  if (!doc.load_buffer(xml.data(), xml.size(), pugi::parse_default & ~pugi::parse_wconv_attribute)) return;
  pugi::xml_node root = doc.document_element();
  if (LocalName(root.name()) != "metadata") return;
  std::vector<std::string> types;  // by 1-based index less one
  for (pugi::xml_node type : ChildElement(root, "metadataTypes").children())
    if (LocalName(type.name()) == "metadataType") types.emplace_back(type.attribute("name").value());
  std::vector<uint8_t> spills;  // the XLDAPR future metadata's blocks, 0-based
  for (pugi::xml_node future : root.children()) {
    if (LocalName(future.name()) != "futureMetadata" || std::string_view(future.attribute("name").value()) != "XLDAPR")
      continue;
    for (pugi::xml_node block : future.children())
      if (LocalName(block.name()) == "bk") spills.push_back(SpillsIn(block) ? 1 : 0);
  }
  for (pugi::xml_node block : ChildElement(root, "cellMetadata").children()) {
    if (LocalName(block.name()) != "bk") continue;
    bool dynamic = false;
    for (pugi::xml_node record : block.children()) {
      if (LocalName(record.name()) != "rc") continue;
      const unsigned t = record.attribute("t").as_uint(0), v = record.attribute("v").as_uint(UINT32_MAX);
      if (t >= 1 && t <= types.size() && types[t - 1] == "XLDAPR" && v < spills.size() && spills[v]) dynamic = true;
    }
    dynamic_.push_back(dynamic ? 1 : 0);
  }
}

}  // namespace host::ooxml
