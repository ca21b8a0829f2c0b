#include "host/odf/OdsDocument.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string_view>

#include "host/HostError.h"
#include "host/XmlScanner.h"
#include "host/odf/TreeMemory.h"
#include "host/zip/Package.h"

namespace host::odf {

namespace {

constexpr std::string_view kSpreadsheetType = "application/vnd.oasis.opendocument.spreadsheet";

// The first element below `node` whose name is `name`, depth first.
pugi::xml_node FindElement(pugi::xml_node node, std::string_view name) {
  return node.find_node([name](pugi::xml_node n) { return n.type() == pugi::node_element && name == n.name(); });
}

// Where the first element after `node`'s subtree starts (its '<'), or `size`
// when none follows.
size_t NextElementOffset(pugi::xml_node node, size_t size) {
  for (pugi::xml_node n = node; n; n = n.parent())
    for (pugi::xml_node next = n.next_sibling(); next; next = next.next_sibling())
      if (next.type() == pugi::node_element) {
        ptrdiff_t at = next.offset_debug();
        return at >= 1 && static_cast<size_t>(at) <= size ? static_cast<size_t>(at - 1) : 0;
      }
  return size;
}

// The end (one past its '>') of the table element starting at `begin`, found
// from the next element's start without reading the table again: the last
// "</table:table>" before `limit`, when only white space and end tags follow
// it up to there. 0 when that cannot be told (comments, text), and the table
// is then read through.
size_t TableEndBefore(std::string_view bytes, size_t begin, size_t limit) {
  constexpr std::string_view kEnd = "</table:table";
  if (limit <= begin || limit > bytes.size()) return 0;
  std::string_view span = bytes.substr(begin, limit - begin);
  auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  for (size_t at = span.rfind(kEnd); at != std::string_view::npos && at > 0; at = span.rfind(kEnd, at - 1)) {
    size_t k = at + kEnd.size();
    while (k < span.size() && space(span[k])) ++k;
    if (k >= span.size() || span[k] != '>') continue;  // another name, e.g. </table:table-row>
    size_t end = k + 1;
    // What follows up to the next element: white space and end tags only.
    for (size_t q = end; q < span.size();) {
      if (space(span[q])) {
        ++q;
      } else if (span.substr(q, 2) == "</") {
        size_t close = span.find('>', q);
        if (close == std::string_view::npos) return 0;
        q = close + 1;
      } else {
        return 0;
      }
    }
    return begin + end;
  }
  return 0;
}

// Collects what pugixml writes into blocks of a fixed size, each a piece of
// the part: a large table is never copied to grow one string.
struct BlockWriter : pugi::xml_writer {
  static constexpr size_t kBlock = size_t(4) << 20;
  std::deque<LargeBuffer>* blocks;
  std::vector<std::string_view>* pieces;
  size_t used = 0;     // bytes in the last block
  bool open = false;   // the last block takes more bytes
  BlockWriter(std::deque<LargeBuffer>& b, std::vector<std::string_view>& p) : blocks(&b), pieces(&p) {}
  void write(const void* data, size_t size) override {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
      if (!open || used == kBlock) {
        Finish();
        blocks->emplace_back(kBlock);
        used = 0;
        open = true;
      }
      size_t take = std::min(size, kBlock - used);
      std::memcpy(blocks->back().Data() + used, bytes, take);
      used += take;
      bytes += take;
      size -= take;
    }
  }
  // Adds the last block's bytes to the pieces.
  void Finish() {
    if (open && used > 0) pieces->push_back({blocks->back().Data(), used});
    open = false;
  }
};

}  // namespace

OdsDocument::OdsDocument(const std::string& path) {
  UseChunkedTreeMemory();
  size_t slash = path.find_last_of('/');
  name_ = slash == std::string::npos ? path : path.substr(slash + 1);
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
  Parse(content_, contentBytes_.View(), "content.xml");

  pugi::xml_node spreadsheet = FindElement(content_, "office:spreadsheet");
  if (!spreadsheet) Refuse("it holds no spreadsheet body");
  try {
    for (pugi::xml_node table : spreadsheet.children("table:table")) sheets_.emplace_back(table);
  } catch (const HostError& tooMany) {
    Refuse(tooMany.what());
  }
  if (sheets_.empty()) Refuse("it holds no sheets");
  FindTableBytes();
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
    std::string activeName = item.child_value();
    for (size_t k = 0; k < sheets_.size(); ++k)
      if (item && sheets_[k].Name() == activeName) active_ = static_cast<int>(k) + 1;
  }
}

OdsDocument::~OdsDocument() = default;

const std::string& OdsDocument::Path() const { return package_->Path(); }

void OdsDocument::Refuse(const std::string& why) const {
  throw HostError(name_ + " cannot be opened: " + why + ".");
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

// Where each table element starts and ends in the bytes read, so that a save
// can keep everything around the changed tables as it was.
void OdsDocument::FindTableBytes() {
  std::vector<std::pair<size_t, size_t>> spans;
  const std::string_view bytes = contentBytes_.View();
  for (const OdsSheet& sheet : sheets_) {
    ptrdiff_t at = sheet.Table().offset_debug();
    if (at < 1 || static_cast<size_t>(at) >= bytes.size() || bytes[at - 1] != '<' ||
        bytes.substr(static_cast<size_t>(at), 11) != "table:table")
      return;
    size_t begin = static_cast<size_t>(at - 1);
    if (size_t end = TableEndBefore(bytes, begin, NextElementOffset(sheet.Table(), bytes.size()))) {
      spans.emplace_back(begin, end);
      continue;
    }
    XmlScanner scanner(bytes.data(), bytes.size());
    scanner.SetPosition(bytes.data() + begin);
    try {
      XmlScanner::Tag tag = scanner.ReadTag();
      if (tag.selfClosing) {
        spans.emplace_back(begin, scanner.OffsetOf(tag.end));
        continue;
      }
      scanner.SkipContent(tag);  // reads up to and including the end tag
      spans.emplace_back(begin, scanner.Offset());
    } catch (const XmlFault&) {
      return;
    }
  }
  tableBytes_ = std::move(spans);
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

std::vector<std::string_view> OdsDocument::ContentPieces(std::deque<LargeBuffer>& written) const {
  std::vector<std::string_view> pieces;
  if (tableBytes_.size() != sheets_.size()) {
    BlockWriter writer(written, pieces);
    content_.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
    writer.Finish();
    return pieces;
  }
  const std::string_view bytes = contentBytes_.View();
  size_t at = 0;
  for (size_t k = 0; k < sheets_.size(); ++k) {
    if (!sheets_[k].Modified()) continue;
    pieces.push_back(bytes.substr(at, tableBytes_[k].first - at));
    BlockWriter writer(written, pieces);
    sheets_[k].Table().print(writer, "", pugi::format_raw);
    writer.Finish();
    at = tableBytes_[k].second;
  }
  pieces.push_back(bytes.substr(at));
  return pieces;
}

void OdsDocument::Save() {
  bool changed = false;
  for (const OdsSheet& sheet : sheets_) changed = changed || sheet.Modified();
  if (!changed) return;
  // The part goes to the package piece by piece: the bytes kept around the
  // changed tables are never copied.
  auto written = std::make_shared<std::deque<LargeBuffer>>();
  auto pieces = std::make_shared<std::vector<std::string_view>>(ContentPieces(*written));
  uint64_t size = 0;
  for (std::string_view piece : *pieces) size += piece.size();
  size_t next = 0;
  NewPart part{[written, pieces, next]() mutable -> std::string_view {
                 while (next < pieces->size() && (*pieces)[next].empty()) ++next;
                 return next < pieces->size() ? (*pieces)[next++] : std::string_view();
               },
               size};
  package_->Save({{"content.xml", part}});
}

}  // namespace host::odf
