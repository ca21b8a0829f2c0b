#include "host/formats/ooxml/NoteMoves.h"

#include <algorithm>
#include <charconv>

#include "host/io/XmlScanner.h"

namespace host::ooxml {

namespace {

struct Edit {
  size_t begin, end;
  std::string text;
};

// xml with the edits (in ascending order, not overlapping) made.
std::string Apply(const std::string& xml, const std::vector<Edit>& edits) {
  std::string out;
  out.reserve(xml.size() + 16);
  size_t copied = 0;
  for (const Edit& e : edits) {
    out.append(xml, copied, e.begin - copied);
    out += e.text;
    copied = e.end;
  }
  out.append(xml, copied, std::string::npos);
  return out;
}

bool ParseNumber(std::string_view text, int& value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\n' || text.front() == '\r' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\r' || text.back() == '\t'))
    text.remove_suffix(1);
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && ptr == text.data() + text.size();
}

// The element's text between its start tag and the next '<', as a range.
struct TextSpan {
  size_t begin = 0, end = 0;
  bool found = false;
};

TextSpan ChildText(const std::string& xml, size_t from, size_t to, std::string_view qname) {
  std::string open = "<" + std::string(qname) + ">";
  size_t at = xml.find(open, from);
  if (at == std::string::npos || at >= to) return {};
  size_t begin = at + open.size();
  size_t end = xml.find('<', begin);
  if (end == std::string::npos || end > to) return {};
  return {begin, end, true};
}

}  // namespace

bool MoveCellRefs(std::string& xml, std::string_view element, const std::vector<RowMove>& moves) {
  std::vector<Edit> edits;
  XmlScanner scanner(xml.data(), xml.size());
  scanner.SkipProlog();
  while (!scanner.AtEnd()) {
    scanner.SkipMisc(true);
    if (scanner.AtEnd()) break;
    XmlScanner::Tag tag = scanner.ReadTag();
    if (tag.isEnd || tag.local != element) continue;
    const char* cursor = tag.attrs;
    std::string_view name, value;
    while (XmlScanner::NextAttribute(cursor, tag.end, name, value)) {
      if (name != "ref") continue;
      int row = 0, column = 0;
      if (!ParseCellReference(value, row, column)) break;
      int to = MovedRow(moves, row, column);
      if (to == row) break;
      std::string text = ColumnLetters(column) + std::to_string(to);
      size_t begin = value.data() - xml.data();
      edits.push_back({begin, begin + value.size(), text});
      break;
    }
  }
  if (edits.empty()) return false;
  xml = Apply(xml, edits);
  return true;
}

bool MoveVmlNotes(std::string& xml, const std::vector<RowMove>& moves) {
  // VML as the reference program writes it is not always well-formed XML, so
  // the note blocks are found by their tags rather than parsed.
  std::vector<Edit> edits;
  size_t at = 0;
  while ((at = xml.find("ClientData", at)) != std::string::npos) {
    size_t tagStart = xml.rfind('<', at);
    size_t tagEnd = xml.find('>', at);
    if (tagStart == std::string::npos || tagEnd == std::string::npos || xml[tagStart + 1] == '/') {
      at += 10;
      continue;
    }
    std::string_view qname(xml.data() + tagStart + 1, at + 10 - tagStart - 1);
    std::string prefix(qname.substr(0, qname.size() - 10));  // "x:"
    size_t close = xml.find("</" + std::string(qname) + ">", tagEnd);
    if (close == std::string::npos) break;
    std::string_view startTag(xml.data() + tagStart, tagEnd - tagStart);
    at = close;
    if (startTag.find("\"Note\"") == std::string_view::npos && startTag.find("'Note'") == std::string_view::npos)
      continue;
    TextSpan rowText = ChildText(xml, tagEnd, close, prefix + "Row");
    TextSpan columnText = ChildText(xml, tagEnd, close, prefix + "Column");
    int row = 0, column = 0;
    if (!rowText.found || !columnText.found ||
        !ParseNumber(std::string_view(xml).substr(rowText.begin, rowText.end - rowText.begin), row) ||
        !ParseNumber(std::string_view(xml).substr(columnText.begin, columnText.end - columnText.begin), column))
      continue;
    int to = MovedRow(moves, row + 1, column + 1) - 1;
    if (to == row) continue;
    int delta = to - row;
    TextSpan anchor = ChildText(xml, tagEnd, close, prefix + "Anchor");
    if (anchor.found) {
      // Left column, offset, top row, offset, right column, offset, bottom row, offset.
      std::string moved;
      std::string_view values(xml.data() + anchor.begin, anchor.end - anchor.begin);
      int index = 0;
      size_t i = 0;
      while (i < values.size()) {
        if (values[i] < '0' || values[i] > '9') {
          moved += values[i++];
          continue;
        }
        size_t j = i;
        while (j < values.size() && values[j] >= '0' && values[j] <= '9') ++j;
        int number = 0;
        std::from_chars(values.data() + i, values.data() + j, number);
        if (index == 2 || index == 6) number = std::max(0, number + delta);
        moved += std::to_string(number);
        ++index;
        i = j;
      }
      edits.push_back({anchor.begin, anchor.end, moved});
    }
    edits.push_back({rowText.begin, rowText.end, std::to_string(to)});
  }
  if (edits.empty()) return false;
  std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.begin < b.begin; });
  xml = Apply(xml, edits);
  return true;
}

}  // namespace host::ooxml
