#include "host/formats/ooxml/HyperlinkMoves.h"

#include "host/io/XmlScanner.h"

namespace host::ooxml {

std::string MoveHyperlinks(std::string_view element, const std::vector<RowMove>& moves) {
  std::string out;
  out.reserve(element.size() + 64);
  XmlScanner scanner(element.data(), element.size());
  XmlScanner::Tag start = scanner.ReadTag();
  if (start.selfClosing) return std::string(element);
  const char* copied = element.data();
  while (true) {
    scanner.SkipMisc(true);
    if (scanner.AtEnd()) break;
    XmlScanner::Tag tag = scanner.ReadTag();
    if (tag.isEnd) break;
    const char* end = tag.end;
    if (!tag.selfClosing) {
      scanner.SkipContent(tag);
      end = scanner.Position();
    }
    if (tag.local != "hyperlink") continue;
    const char* cursor = tag.attrs;
    std::string_view name, value, ref;
    while (XmlScanner::NextAttribute(cursor, tag.end, name, value))
      if (name == "ref") ref = value;
    CellArea area;
    if (ref.empty() || !ParseAreaReference(ref, area)) continue;
    std::vector<CellArea> pieces = MovedAreas(area, moves);
    if (pieces.size() == 1 && pieces[0].firstRow == area.firstRow && pieces[0].lastRow == area.lastRow &&
        pieces[0].firstColumn == area.firstColumn && pieces[0].lastColumn == area.lastColumn)
      continue;
    out.append(copied, tag.begin);
    std::string_view whole(tag.begin, end - tag.begin);
    size_t refBegin = ref.data() - tag.begin, refEnd = refBegin + ref.size();
    for (const CellArea& piece : pieces) {
      out.append(whole.substr(0, refBegin));
      out += PlainAddress(piece);
      out.append(whole.substr(refEnd));
    }
    copied = end;
  }
  out.append(copied, element.data() + element.size());
  return out;
}

}  // namespace host::ooxml
