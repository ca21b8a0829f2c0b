#include "host/formats/odf/OdsDocument.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "host/core/HostError.h"
#include "host/io/XmlScanner.h"
#include "host/io/Package.h"
#include "host/formats/odf/OdsCell.h"

namespace host::odf {

namespace {

constexpr std::string_view kSpreadsheetType = "application/vnd.oasis.opendocument.spreadsheet";

// The first element below `node` whose name is `name`, depth first.
pugi::xml_node FindElement(pugi::xml_node node, std::string_view name) {
  return node.find_node([name](pugi::xml_node n) { return n.type() == pugi::node_element && name == n.name(); });
}

// Groups nest; a spreadsheet body deeper than any writer puts it is not found.
constexpr int kMaxNesting = 64;

}  // namespace

// One pass over content.xml that checks it is well formed and reads the
// tables of its (first) spreadsheet body.
class OdsDocument::ContentScan {
 public:
  ContentScan(OdsDocument& document, std::string_view bytes)
      : document_(document), bytes_(bytes), scanner_(bytes.data(), bytes.size()) {}

  // False when the part holds no spreadsheet body. XmlFault when damaged.
  bool Read() {
    scanner_.SkipProlog();
    XmlScanner::Tag root = scanner_.ReadTag();
    if (root.isEnd) scanner_.FailAt(root.begin, "an end tag without a start tag");
    if (!root.selfClosing) Children(root, 1);
    scanner_.SkipMisc();
    if (!scanner_.AtEnd()) scanner_.Fail("content after the root element");
    return found_;
  }

 private:
  void Children(const XmlScanner::Tag& parent, int depth) {
    XmlScanner::Tag tag;
    while (scanner_.NextChild(parent, tag)) {
      if (tag.selfClosing) {
        found_ = found_ || tag.qname == "office:spreadsheet";
      } else if (!found_ && tag.qname == "office:spreadsheet") {
        found_ = true;
        Spreadsheet(tag);
      } else if (!found_ && depth < kMaxNesting) {
        Children(tag, depth + 1);
      } else {
        scanner_.SkipContent(tag);
      }
    }
  }

  void Spreadsheet(const XmlScanner::Tag& body) {
    XmlScanner::Tag tag;
    while (scanner_.NextChild(body, tag)) {
      if (tag.qname == "table:table") {
        OdsSheet& sheet =
            document_.sheets_.emplace_back(bytes_, static_cast<size_t>(tag.begin - bytes_.data()));
        scanner_.SetPosition(bytes_.data() + sheet.End());
      } else if (!tag.selfClosing) {
        scanner_.SkipContent(tag);
      }
    }
  }

  OdsDocument& document_;
  std::string_view bytes_;
  XmlScanner scanner_;
  bool found_ = false;
};

OdsDocument::OdsDocument(const std::string& path) {
  path_ = path;
  RefuseFlatXml(path);
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
  contentBytes_ = package_->ReadBytes("content.xml");
  ReadContent();
  pugi::xml_node spreadsheet = FindElement(content_, "office:spreadsheet");
  std::string_view nullDate =
      spreadsheet.child("table:calculation-settings").child("table:null-date").attribute("table:date-value").value();
  date1904_ = nullDate.substr(0, 10) == "1904-01-01";

  if (package_->Has("settings.xml")) {
    pugi::xml_document settings;
    Parse(settings, package_->Read("settings.xml"), "settings.xml");
    pugi::xml_node item = settings.find_node([](pugi::xml_node n) {
      return std::string_view(n.name()) == "config:config-item" &&
             std::string_view(n.attribute("config:name").value()) == "ActiveTable";
    });
    pugi::xml_node syntax = settings.find_node([](pugi::xml_node n) {
      return std::string_view(n.name()) == "config:config-item" &&
             std::string_view(n.attribute("config:name").value()) == "SyntaxStringRef";
    });
    if (syntax) stringRefSyntax_ = LeadingInt(syntax.child_value(), -2);
    std::string activeName = item.child_value();
    for (size_t k = 0; k < sheets_.size(); ++k)
      if (item && sheets_[k].Name() == activeName) active_ = static_cast<int>(k) + 1;
  }
}

OdsDocument::~OdsDocument() = default;

const std::string& OdsDocument::Path() const { return package_->Path(); }

void OdsDocument::Refuse(const std::string& why) const {
  throw CannotOpen(path_, why);
}

// A flat OpenDocument file is one XML document instead of a package.
void OdsDocument::RefuseFlatXml(const std::string& path) const {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return;  // the package reports what is wrong with the path
  char head[1024];
  size_t got = std::fread(head, 1, sizeof head, file);
  std::fclose(file);
  std::string_view start(head, got);
  if (start.substr(0, 2) == "PK") return;
  if (start.find("office:document") != std::string_view::npos || start.find("opendocument") != std::string_view::npos)
    Refuse("it is a flat OpenDocument file (one XML document, .fods), which this program does not read; "
           "nothing was changed");
}

void OdsDocument::Parse(pugi::xml_document& doc, std::string_view bytes, const char* part) const {
  pugi::xml_parse_result result =
      doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_ws_pcdata, pugi::encoding_utf8);
  if (!result)
    Refuse(std::string("its part ") + part + " is damaged (at byte " + std::to_string(result.offset) + ")");
}

void OdsDocument::ReadContent() {
  const std::string_view bytes = contentBytes_.View();
  ContentScan scan(*this, bytes);
  bool body = false;
  try {
    body = scan.Read();
  } catch (const XmlFault& fault) {
    Refuse("its part content.xml is damaged: " + fault.message);
  } catch (const HostError& tooMany) {
    Refuse(tooMany.Description());
  }
  if (!body) Refuse("it holds no spreadsheet body");
  if (sheets_.empty()) Refuse("it holds no sheets");
  // The rest of the part (styles, settings of the calculation) as a tree,
  // each table element left empty: the tables are read from their bytes.
  std::string outside;
  size_t at = 0;
  for (const OdsSheet& sheet : sheets_) {
    outside.append(bytes.substr(at, sheet.Begin() - at));
    std::string_view start = sheet.StartTag();
    outside.append(start);
    if (start.substr(start.size() - 2) != "/>") outside.append("</table:table>");
    at = sheet.End();
  }
  outside.append(bytes.substr(at));
  Parse(content_, outside, "content.xml");
}

pugi::xml_node OdsDocument::NamedExpressions() const {
  return FindElement(content_, "office:spreadsheet").child("table:named-expressions");
}

std::string_view OdsDocument::FormatCode(std::string_view cellStyle) {
  if (!stylesRead_) {
    stylesRead_ = true;
    styles_.Read(content_);
    if (package_->Has("styles.xml")) {
      // Damaged styles leave the cells in the General format: their values
      // are still read and the part is never written.
      std::string bytes = package_->Read("styles.xml");
      if (stylesPart_.load_buffer(bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_ws_pcdata,
                                  pugi::encoding_utf8))
        styles_.Read(stylesPart_);
    }
  }
  return styles_.CodeOfCellStyle(cellStyle);
}

Pieces OdsDocument::ContentPieces(std::deque<std::string>& written) const {
  Pieces pieces;
  const std::string_view bytes = contentBytes_.View();
  size_t at = 0;
  for (const OdsSheet& sheet : sheets_) {
    if (!sheet.Modified()) continue;
    pieces.push_back(bytes.substr(at, sheet.Begin() - at));
    sheet.Write(pieces, written);
    at = sheet.End();
  }
  pieces.push_back(bytes.substr(at));
  return pieces;
}

void OdsDocument::Save() {
  bool changed = false;
  for (const OdsSheet& sheet : sheets_) changed = changed || sheet.Modified();
  if (!changed) return;
  // The part goes to the package piece by piece: the bytes kept (rows and
  // cells of the changed tables included) are never copied.
  auto written = std::make_shared<std::deque<std::string>>();
  auto pieces = std::make_shared<Pieces>(ContentPieces(*written));
  // Pieces of the part as read that follow on from each other there (the
  // cells of a row that moved whole) go to the deflater as one.
  const std::string_view bytes = contentBytes_.View();
  auto inPart = [&bytes](std::string_view piece) {
    return piece.data() >= bytes.data() && piece.data() <= bytes.data() + bytes.size();
  };
  size_t kept = 0;
  for (std::string_view piece : *pieces) {
    if (piece.empty()) continue;
    std::string_view* last = kept ? &(*pieces)[kept - 1] : nullptr;
    if (last && inPart(*last) && inPart(piece) && last->data() + last->size() == piece.data())
      *last = std::string_view(last->data(), last->size() + piece.size());
    else
      (*pieces)[kept++] = piece;
  }
  pieces->resize(kept);
  uint64_t size = 0;
  for (std::string_view piece : *pieces) size += piece.size();
  size_t next = 0;
  NewPart part{[written, pieces, next]() mutable -> std::string_view {
                 while (next < pieces->size() && (*pieces)[next].empty()) ++next;
                 return next < pieces->size() ? (*pieces)[next++] : std::string_view();
               },
               size, kContentDeflateLevel};
  package_->Save({{"content.xml", part}});
}

}  // namespace host::odf
