#pragma once
// The first child element of a package part's element by its local name,
// whatever namespace prefix the writer gave it: the parts the host reads as
// trees (the workbook, its styles, its cell metadata) are looked into this
// way.

#include <pugixml.hpp>
#include <string_view>

#include "host/io/XmlScanner.h"

namespace host::ooxml {

inline pugi::xml_node ChildElement(pugi::xml_node parent, std::string_view local) {
  for (pugi::xml_node child : parent.children())
    if (LocalName(child.name()) == local) return child;
  return {};
}

}  // namespace host::ooxml
