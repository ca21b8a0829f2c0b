#include "host/formats/odf/OdsFixtures.h"

#include <zip.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace odsfixtures {

std::string Content(const std::string& tables, const std::string& automaticStyles) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content "
         "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
         "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
         "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
         "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
         "xmlns:number=\"urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0\" "
         "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" "
         "xmlns:xlink=\"http://www.w3.org/1999/xlink\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
         "xmlns:of=\"urn:oasis:names:tc:opendocument:xmlns:of:1.2\" "
         "xmlns:calcext=\"urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0\" "
         "office:version=\"1.3\">\n<office:scripts/>\n<office:automatic-styles>" +
         automaticStyles +
         "</office:automatic-styles>\n<office:body>\n<office:spreadsheet>\n"
         "<table:calculation-settings table:automatic-find-labels=\"false\"/>\n" +
         tables +
         "\n<table:named-expressions/>\n</office:spreadsheet>\n</office:body>\n</office:document-content>\n";
}

std::string Settings(const std::string& active) {
  return "<?xml version=\"1.0\"?><office:document-settings "
         "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
         "xmlns:config=\"urn:oasis:names:tc:opendocument:xmlns:config:1.0\"><office:settings>"
         "<config:config-item-set config:name=\"ooo:view-settings\"><config:config-item-map-indexed "
         "config:name=\"Views\"><config:config-item-map-entry><config:config-item config:name=\"ActiveTable\" "
         "config:type=\"string\">" +
         active +
         "</config:config-item></config:config-item-map-entry></config:config-item-map-indexed>"
         "</config:config-item-set></office:settings></office:document-settings>";
}

std::string Manifest(const std::string& extra) {
  return "<?xml version=\"1.0\"?><manifest:manifest "
         "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\"><manifest:file-entry "
         "manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\">" +
         extra + "</manifest:file-entry></manifest:manifest>";
}

void WritePackage(const std::string& path, const std::string& mime,
                  const std::vector<std::pair<std::string, std::string>>& entries) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) throw std::runtime_error("cannot create zip " + path);
  auto add = [archive](const std::string& name, const std::string& data, bool stored) {
    void* copy = std::malloc(data.size() ? data.size() : 1);
    std::memcpy(copy, data.data(), data.size());
    zip_source_t* source = zip_source_buffer(archive, copy, data.size(), 1);
    zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (stored) zip_set_file_compression(archive, index, ZIP_CM_STORE, 0);
  };
  add("mimetype", mime, true);
  for (const auto& [name, data] : entries) add(name, data, false);
  if (zip_close(archive) != 0) throw std::runtime_error("cannot write zip " + path);
}

std::string WriteOds(const fixtures::TempDir& dir, const std::string& file, const std::string& content,
                     const std::string& manifest, const std::string& mime) {
  std::string path = dir.File(file);
  WritePackage(path, mime,
               {{"content.xml", content},
                {"styles.xml", "<?xml version=\"1.0\"?><office:document-styles "
                               "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\"/>"},
                {"settings.xml", Settings("Two")},
                {"Pictures/a.png", fixtures::TinyPng()},
                {"META-INF/manifest.xml", manifest}});
  return path;
}

std::string Cell(const std::string& attributes, const std::string& inner) {
  return "<table:table-cell " + attributes + ">" + inner + "</table:table-cell>";
}
std::string Text(const std::string& text, const std::string& attributes) {
  return Cell("office:value-type=\"string\" calcext:value-type=\"string\" " + attributes, "<text:p>" + text + "</text:p>");
}
std::string Number(double value, const std::string& attributes) {
  std::string v = std::to_string(value);
  v.erase(v.find_last_not_of('0') + 1);
  if (v.back() == '.') v.pop_back();
  return Cell("office:value-type=\"float\" office:value=\"" + v + "\" " + attributes, "<text:p>" + v + "</text:p>");
}

const std::string kOther =
    "<table:table table:name=\"Two\"><table:table-row><table:table-cell office:value-type=\"float\" "
    "office:value=\"5\"><text:p>5</text:p></table:table-cell></table:table-row></table:table>";

std::string DataTable() {
  return "<table:table table:name=\"Data\" table:style-name=\"ta1\">"
         "<table:table-column table:number-columns-repeated=\"3\" table:default-cell-style-name=\"Default\"/>"
         "<table:table-row table:style-name=\"ro1\">" +
         Text("name") + Text("n") + Text("calc") +
         "</table:table-row>\n<table:table-row table:style-name=\"ro2\">" + Text("pear") +
         Number(3, "table:style-name=\"ce1\"") +
         Cell("table:formula=\"of:=[.B2]*2\" office:value-type=\"float\" office:value=\"6\"", "<text:p>6</text:p>") +
         "</table:table-row>\n<table:table-row table:style-name=\"ro1\">" +
         Cell("office:value-type=\"string\"",
              "<office:annotation><dc:creator>me</dc:creator><text:p>ripe</text:p></office:annotation>"
              "<text:p>apple</text:p>") +
         Number(1) +
         Cell("table:formula=\"of:=[.B3]+[$Two.A5]+[.$B$2]\" office:value-type=\"float\" office:value=\"9\"",
              "<text:p>9</text:p>") +
         "</table:table-row>\n<table:table-row table:style-name=\"ro1\" table:visibility=\"collapse\">" +
         Text("zz") + Number(9) +
         "<table:table-cell/></table:table-row>\n<table:table-row table:style-name=\"ro3\">" +
         Cell("office:value-type=\"string\"", "<text:p><text:a xlink:href=\"http://example.org/\">fig</text:a></text:p>") +
         Number(2) +
         Cell("table:formula=\"of:=[.B5]+[.B1]\" office:value-type=\"float\" office:value=\"2\"", "<text:p>2</text:p>") +
         "</table:table-row>\n<table:table-row table:style-name=\"ro1\" table:number-rows-repeated=\"1048571\">"
         "<table:table-cell table:number-columns-repeated=\"3\"/></table:table-row></table:table>\n";
}

std::string SofficeConvert(const std::string& file, const std::string& format, const fixtures::TempDir& dir,
                           const std::string& outDir) {
  std::string command = "cd '" + dir.Path() + "' && timeout 180 soffice -env:UserInstallation=file://" +
                        dir.Path() + "/profile --headless --convert-to " + format + " --outdir '" + outDir + "' '" +
                        file + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return "";
  std::string base = file.substr(file.rfind('/') + 1);
  return outDir + "/" + base.substr(0, base.rfind('.')) + "." + format;
}

std::vector<std::pair<std::string, bool>> EntryOrder(const std::string& path) {
  std::vector<std::pair<std::string, bool>> entries;
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (!archive) return entries;
  for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(archive, i, 0, &st);
    entries.emplace_back(st.name, st.comp_method == ZIP_CM_STORE);
  }
  zip_discard(archive);
  return entries;
}

pugi::xml_document CellTree(const host::odf::OdsSheet& sheet, int row, int column) {
  pugi::xml_document doc;
  std::string xml = sheet.CellXml(row, column);
  doc.load_buffer(xml.data(), xml.size(), pugi::parse_default | pugi::parse_ws_pcdata);
  return doc;
}

}  // namespace odsfixtures
