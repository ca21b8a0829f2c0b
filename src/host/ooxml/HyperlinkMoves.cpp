#include "host/ooxml/HyperlinkMoves.h"

#include <algorithm>

#include "host/XmlScanner.h"

namespace host::ooxml {

std::vector<CellArea> MovedAreas(const CellArea& area, const std::vector<RowMove>& moves) {
  std::vector<CellArea> pieces{area};
  for (const RowMove& m : moves) {
    std::vector<CellArea> next;
    for (const CellArea& p : pieces) {
      if (!p.Intersects(m.area)) {
        next.push_back(p);
        continue;
      }
      CellArea in{std::max(p.firstRow, m.area.firstRow), std::max(p.firstColumn, m.area.firstColumn),
                  std::min(p.lastRow, m.area.lastRow), std::min(p.lastColumn, m.area.lastColumn)};
      // What lies outside the moved block keeps its place.
      if (p.firstRow < in.firstRow) next.push_back({p.firstRow, p.firstColumn, in.firstRow - 1, p.lastColumn});
      if (p.lastRow > in.lastRow) next.push_back({in.lastRow + 1, p.firstColumn, p.lastRow, p.lastColumn});
      if (p.firstColumn < in.firstColumn) next.push_back({in.firstRow, p.firstColumn, in.lastRow, in.firstColumn - 1});
      if (p.lastColumn > in.lastColumn) next.push_back({in.firstRow, in.lastColumn + 1, in.lastRow, p.lastColumn});
      for (int r = in.firstRow; r <= in.lastRow; ++r) {
        int to = m.targetOf[r - m.area.firstRow];
        next.push_back({to, in.firstColumn, to, in.lastColumn});
      }
    }
    pieces.swap(next);
  }
  return pieces;
}

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
