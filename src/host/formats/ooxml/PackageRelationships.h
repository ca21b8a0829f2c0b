#pragma once
// The relationships and content types of an Open Packaging package, shared
// by the package formats (.xlsx and .xlsb): which part a relationship names,
// where a part's relationships live, and the content type a part is given.

#include <string>
#include <string_view>
#include <vector>

namespace host::ooxml {

struct PackageRelationship {
  std::string id;
  std::string type;
  std::string target;  // a part name (resolved against its source), or the external target as written
  bool external = false;
};

// The part a relationship target names, relative to the source part.
std::string ResolveTarget(const std::string& sourcePart, std::string_view target);

// The relationships part of a part: "xl/_rels/workbook.bin.rels" for
// "xl/workbook.bin", "_rels/.rels" for the package ("").
std::string RelationshipsPartOf(const std::string& part);

// The relationships of sourcePart as its relationships part lists them;
// throws XmlFault when the part is not well-formed.
std::vector<PackageRelationship> ReadRelationships(std::string_view xml, const std::string& sourcePart);

// The content type [Content_Types].xml gives part: its Override, else the
// Default of its extension; "" when neither names it. Throws XmlFault when
// the part is not well-formed.
std::string ContentTypeOf(std::string_view typesXml, const std::string& part);

}  // namespace host::ooxml
