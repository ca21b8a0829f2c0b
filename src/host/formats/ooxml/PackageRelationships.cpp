#include "host/formats/ooxml/PackageRelationships.h"

#include <pugixml.hpp>

#include <sstream>

#include "host/core/HostError.h"
#include "host/formats/ooxml/XmlProblem.h"
#include "host/io/XmlScanner.h"

namespace host::ooxml {

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c += 32;
  return out;
}

std::string Directory(const std::string& part) {
  size_t slash = part.rfind('/');
  return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

// The document of a small package part, or XmlFault naming what is wrong.
void Load(pugi::xml_document& doc, std::string_view xml) {
  pugi::xml_parse_result result = doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_auto);
  if (!result) throw XmlFault{XmlProblem(result)};
}

}  // namespace

std::string ResolveTarget(const std::string& sourcePart, std::string_view target) {
  std::string joined = !target.empty() && target[0] == '/' ? std::string(target.substr(1))
                                                           : Directory(sourcePart) + std::string(target);
  std::vector<std::string> segments;
  std::stringstream in(joined);
  std::string segment;
  while (std::getline(in, segment, '/')) {
    if (segment.empty() || segment == ".") continue;
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
      continue;
    }
    segments.push_back(segment);
  }
  std::string out;
  for (size_t i = 0; i < segments.size(); ++i) {
    if (i) out += '/';
    out += segments[i];
  }
  return out;
}

std::string RelationshipsPartOf(const std::string& part) {
  size_t slash = part.rfind('/');
  std::string dir = slash == std::string::npos ? "" : part.substr(0, slash + 1);
  std::string file = slash == std::string::npos ? part : part.substr(slash + 1);
  return dir + "_rels/" + file + ".rels";
}

std::vector<PackageRelationship> ReadRelationships(std::string_view xml, const std::string& sourcePart) {
  RejectDocumentType(xml);
  pugi::xml_document doc;
  Load(doc, xml);
  std::vector<PackageRelationship> rels;
  for (pugi::xml_node node : doc.document_element().children()) {
    if (LocalName(node.name()) != "Relationship") continue;
    PackageRelationship rel;
    rel.id = node.attribute("Id").value();
    rel.type = node.attribute("Type").value();
    rel.external = std::string_view(node.attribute("TargetMode").value()) == "External";
    rel.target = rel.external ? node.attribute("Target").value() : ResolveTarget(sourcePart, node.attribute("Target").value());
    rels.push_back(std::move(rel));
  }
  return rels;
}

std::string ContentTypeOf(std::string_view typesXml, const std::string& part) {
  RejectDocumentType(typesXml);
  pugi::xml_document doc;
  Load(doc, typesXml);
  const std::string name = "/" + Lower(part);
  const size_t dot = part.rfind('.');
  const std::string ext = dot == std::string::npos ? std::string() : Lower(part.substr(dot + 1));
  std::string byDefault;
  for (pugi::xml_node node : doc.document_element().children()) {
    std::string_view local = LocalName(node.name());
    if (local == "Override" && Lower(node.attribute("PartName").value()) == name) return node.attribute("ContentType").value();
    if (local == "Default" && byDefault.empty() && Lower(node.attribute("Extension").value()) == ext)
      byDefault = node.attribute("ContentType").value();
  }
  return byDefault;
}

}  // namespace host::ooxml
