#pragma once
// Markup-compatibility alternatives (mc:AlternateContent): of its branches the
// host takes the first mc:Choice whose required namespaces it understands,
// else the mc:Fallback, else nothing, as if that branch's content stood in
// the alternative's place.

#include <string>
#include <string_view>

namespace pugi {
class xml_node;
}

namespace host::ooxml {

// Replaces every alternative under node by the content of its chosen branch.
void ResolveAlternateContent(pugi::xml_node node);

// When the sheetData of a worksheet part holds alternatives, the part with
// each replaced by its chosen branch's content (everything else byte for
// byte); false and out untouched when it holds none. Throws XmlFault when the
// part is not well formed where it was read.
bool ResolveSheetDataAlternates(std::string_view xml, std::string& out);

}  // namespace host::ooxml
