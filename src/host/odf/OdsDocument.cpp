#include "host/odf/OdsDocument.h"

#include <sstream>
#include <string_view>

#include "host/HostError.h"
#include "host/zip/Package.h"

namespace host::odf {

namespace {

constexpr std::string_view kSpreadsheetType = "application/vnd.oasis.opendocument.spreadsheet";

// The first element below `node` whose name is `name`, depth first.
pugi::xml_node FindElement(pugi::xml_node node, std::string_view name) {
  return node.find_node([name](pugi::xml_node n) { return n.type() == pugi::node_element && name == n.name(); });
}

}  // namespace

OdsDocument::OdsDocument(const std::string& path) {
  size_t slash = path.find_last_of('/');
  name_ = slash == std::string::npos ? path : path.substr(slash + 1);
  package_ = std::make_unique<Package>(path);

  if (!package_->Has("mimetype") || package_->Read("mimetype") != kSpreadsheetType)
    Refuse("it is not an OpenDocument spreadsheet");
  if (package_->Has("META-INF/manifest.xml")) {
    pugi::xml_document manifest;
    Parse(manifest, package_->Read("META-INF/manifest.xml"), "META-INF/manifest.xml");
    if (FindElement(manifest, "manifest:encryption-data"))
      Refuse("it is protected by a password; nothing was changed");
  }
  if (!package_->Has("content.xml")) Refuse("its content.xml part is missing");
  Parse(content_, package_->Read("content.xml"), "content.xml");

  pugi::xml_node spreadsheet = FindElement(content_, "office:spreadsheet");
  if (!spreadsheet) Refuse("it holds no spreadsheet body");
  for (pugi::xml_node table : spreadsheet.children("table:table")) sheets_.emplace_back(table);

  if (package_->Has("settings.xml")) {
    pugi::xml_document settings;
    Parse(settings, package_->Read("settings.xml"), "settings.xml");
    pugi::xml_node item = settings.find_node([](pugi::xml_node n) {
      return std::string_view(n.name()) == "config:config-item" &&
             std::string_view(n.attribute("config:name").value()) == "ActiveTable";
    });
    std::string activeName = item.child_value();
    for (size_t k = 0; k < sheets_.size(); ++k)
      if (item && sheets_[k].Name() == activeName) active_ = static_cast<int>(k) + 1;
  }
}

OdsDocument::~OdsDocument() = default;

void OdsDocument::Refuse(const std::string& why) const {
  throw HostError(name_ + " cannot be opened: " + why + ".");
}

void OdsDocument::Parse(pugi::xml_document& doc, const std::string& bytes, const char* part) const {
  pugi::xml_parse_result result =
      doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_ws_pcdata);
  if (!result)
    Refuse(std::string("its part ") + part + " is damaged (at byte " + std::to_string(result.offset) + ")");
}

std::string OdsDocument::ContentXml() const {
  std::ostringstream out;
  content_.save(out, "", pugi::format_raw);
  return out.str();
}

}  // namespace host::odf
