#include "host/formats/odf/OdsCell.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <string_view>

#include "host/core/DateSerial.h"
#include "host/io/XmlScanner.h"

namespace host::odf {

namespace {

bool IsParagraph(std::string_view name) { return name == "text:p" || name == "text:h"; }

// Appends the text of a paragraph, the scanner standing after its start tag.
// Spans, links and fields nest in it to any depth: the walk counts the open
// ones instead of descending into each.
void AppendParagraph(XmlScanner& scanner, const XmlScanner::Tag& start, std::string& out) {
  if (start.selfClosing) return;
  size_t open = 1;
  while (true) {
    AppendTextContent(out, scanner.ReadContent());
    XmlScanner::Tag tag = scanner.ReadTag();
    if (tag.isEnd) {
      if (--open == 0) return;
      continue;
    }
    std::string_view name = tag.qname;
    if (name == "text:s") {
      std::string_view count;
      int n = ElementAttribute({tag.begin, static_cast<size_t>(tag.end - tag.begin)}, "text:c", count)
                  ? LeadingInt(count, 1)
                  : 1;
      out.append(static_cast<size_t>(n > 0 ? n : 1), ' ');
    } else if (name == "text:tab") {
      out += '\t';
    } else if (name == "text:line-break") {
      out += '\n';
    } else if (name != "office:annotation" && name != "text:note") {
      if (!tag.selfClosing) ++open;  // spans, links, fields
      continue;
    }
    if (!tag.selfClosing) scanner.SkipContent(tag);
  }
}

double Number(std::string_view text) {
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

}  // namespace

int LeadingInt(std::string_view raw, int fallback) {
  while (!raw.empty() && (raw.front() == ' ' || raw.front() == '\t' || raw.front() == '\n' || raw.front() == '\r'))
    raw.remove_prefix(1);
  int value = fallback;
  auto [ptr, ec] = std::from_chars(raw.data(), raw.data() + raw.size(), value);
  if (ec == std::errc::result_out_of_range) return raw.front() == '-' ? INT_MIN : INT_MAX;
  return ec == std::errc() ? value : fallback;
}

bool ElementAttribute(std::string_view element, std::string_view name, std::string_view& raw) {
  size_t at = 1;
  while (at < element.size() && element[at] != ' ' && element[at] != '\t' && element[at] != '\n' &&
         element[at] != '\r' && element[at] != '>' && element[at] != '/')
    ++at;
  const char* cursor = element.data() + at;
  const char* end = element.data() + element.size();
  std::string_view n, v;
  while (XmlScanner::NextAttribute(cursor, end, n, v))
    if (n == name) {
      raw = v;
      return true;
    }
  return false;
}

std::string DecodeAttribute(std::string_view raw) {
  // White space characters written as such read as spaces (CR LF as one).
  std::string spaced;
  spaced.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
    spaced += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
  }
  return DecodeXml(spaced);
}

std::string AttributeText(std::string_view element, std::string_view name) {
  std::string_view raw;
  return ElementAttribute(element, name, raw) ? DecodeAttribute(raw) : std::string();
}

std::string CellText(std::string_view cell) {
  std::string text;
  if (cell.empty()) return text;
  XmlScanner scanner(cell.data(), cell.size());
  XmlScanner::Tag start = scanner.ReadTag();
  if (start.selfClosing) return text;
  bool first = true;
  XmlScanner::Tag tag;
  while (scanner.NextChild(start, tag)) {
    if (IsParagraph(tag.qname)) {
      if (!first) text += '\n';
      first = false;
      AppendParagraph(scanner, tag, text);
    } else if (!tag.selfClosing) {
      scanner.SkipContent(tag);
    }
  }
  return text;
}

CellAttributes ReadCellAttributes(std::string_view cell) {
  CellAttributes out;
  if (cell.empty()) return out;
  size_t at = 1;
  while (at < cell.size() && cell[at] != ' ' && cell[at] != '\t' && cell[at] != '\n' && cell[at] != '\r' &&
         cell[at] != '>' && cell[at] != '/')
    ++at;
  out.qname = cell.substr(1, at - 1);
  const char* cursor = cell.data() + at;
  const char* end = cell.data() + cell.size();
  std::string_view n, v;
  for (;;) {
    if (!XmlScanner::NextAttribute(cursor, end, n, v)) {
      // The cursor stands on the tag's "/>" or ">".
      out.selfClosing = cursor < end && *cursor == '/';
      out.tagLength = std::min(static_cast<size_t>(cursor - cell.data()) + (out.selfClosing ? 2 : 1), cell.size());
      break;
    }
    if (n.size() > 7 && n.compare(0, 7, "office:") == 0) {
      const std::string_view local = n.substr(7);
      if (local == "value-type") out.valueType = v;
      else if (local == "value") out.value = v;
      else if (local == "date-value") out.dateValue = v;
      else if (local == "time-value") out.timeValue = v;
      else if (local == "boolean-value") out.booleanValue = v;
      else if (local == "string-value") out.stringValue = v;
    } else if (n == "table:formula") {
      out.formula = v;
    } else if (n == "calcext:value-type") {
      out.calcValueType = v;
    }
  }
  return out;
}

OdsValue CellValue(std::string_view cell) { return CellValue(ReadCellAttributes(cell)); }

OdsValue CellValue(const CellAttributes& a) {
  if (!a.valueType.data()) return {};
  // Values as writers write them need no decoding (read for every cell the
  // engine reads); those holding references or white space are decoded.
  const auto plain = [](std::string_view raw) {
    for (char c : raw)
      if (c == '&' || c == '\t' || c == '\n' || c == '\r') return false;
    return true;
  };
  const std::string decoded = plain(a.valueType) ? std::string() : DecodeAttribute(a.valueType);
  const std::string_view t = plain(a.valueType) ? a.valueType : std::string_view(decoded);
  auto number = [&] {
    if (!a.value.data()) return 0.0;
    return plain(a.value) ? Number(a.value) : Number(DecodeAttribute(a.value));
  };
  auto text = [](std::string_view raw) { return raw.data() ? DecodeAttribute(raw) : std::string(); };
  if (t == "float") return {OdsKind::Number, number(), {}};
  if (t == "percentage") return {OdsKind::Percentage, number(), {}};
  if (t == "currency") return {OdsKind::Currency, number(), {}};
  if (t == "date") return {OdsKind::Date, 0, text(a.dateValue)};
  if (t == "time") return {OdsKind::Time, 0, text(a.timeValue)};
  if (t == "boolean") return {OdsKind::Boolean, text(a.booleanValue) == "true" ? 1.0 : 0.0, {}};
  return {OdsKind::Text, 0, {}};
}

std::string CellFormula(std::string_view cell) { return AttributeText(cell, "table:formula"); }

bool CellHasParagraphs(std::string_view cell) {
  if (cell.empty()) return false;
  XmlScanner scanner(cell.data(), cell.size());
  XmlScanner::Tag start = scanner.ReadTag();
  if (start.selfClosing) return false;
  XmlScanner::Tag tag;
  while (scanner.NextChild(start, tag)) {
    if (IsParagraph(tag.qname)) return true;
    if (!tag.selfClosing) scanner.SkipContent(tag);
  }
  return false;
}

bool PlainParagraphText(std::string_view cell, size_t tagLength, std::string_view& text) {
  static constexpr std::string_view kOpen = "<text:p>", kClose = "</text:p></";
  if (cell.size() <= tagLength || cell.compare(tagLength, kOpen.size(), kOpen) != 0) return false;
  const size_t from = tagLength + kOpen.size();
  const size_t lt = cell.find('<', from);
  // The cell's element ends with its own end tag, so "</" after the
  // paragraph's can only be that.
  if (lt == std::string_view::npos || cell.compare(lt, kClose.size(), kClose) != 0) return false;
  const std::string_view raw = cell.substr(from, lt - from);
  if (raw.find_first_of("&\r") != std::string_view::npos) return false;
  text = raw;
  return true;
}

std::string EditedStartTag(std::string_view tag, std::string_view qname, std::vector<AttributeEdit> edits, bool empty) {
  std::string out;
  out.reserve(tag.size() + 160);
  out += '<';
  out += qname;
  if (!tag.empty()) {
    const char* cursor = tag.data() + 1 + qname.size();
    const char* end = tag.data() + tag.size();
    std::string_view name, value;
    while (XmlScanner::NextAttribute(cursor, end, name, value)) {
      auto edit = std::find_if(edits.begin(), edits.end(), [&](const AttributeEdit& e) { return e.name == name; });
      if (edit != edits.end()) {
        edit->done = true;
        if (edit->value) out.append(" ").append(name).append("=\"").append(*edit->value).append("\"");
        continue;
      }
      char quote = value.data()[value.size()];
      out.append(" ").append(name).append("=");
      out += quote;
      out.append(value);
      out += quote;
    }
  }
  for (const AttributeEdit& edit : edits)
    if (!edit.done && edit.value) out.append(" ").append(edit.name).append("=\"").append(*edit.value).append("\"");
  out += empty ? "/>" : ">";
  return out;
}

bool DurationDays(std::string_view literal, double& days) {
  bool negative = !literal.empty() && literal[0] == '-';
  if (negative) literal.remove_prefix(1);
  if (literal.size() < 2 || literal[0] != 'P') return false;
  double total = 0;  // seconds
  bool inTime = false;
  size_t i = 1;
  while (i < literal.size()) {
    if (literal[i] == 'T') {
      inTime = true;
      ++i;
      continue;
    }
    size_t end = i;
    while (end < literal.size() && (std::isdigit(static_cast<unsigned char>(literal[end])) || literal[end] == '.')) ++end;
    double value = 0;
    auto [ptr, ec] = std::from_chars(literal.data() + i, literal.data() + end, value);
    if (ec != std::errc() || end == i || end >= literal.size()) return false;
    char unit = literal[end];
    if (!inTime && unit == 'D') total += value * 86400;
    else if (!inTime && unit == 'Y') total += value * 365 * 86400;  // not written for cell times
    else if (!inTime && unit == 'M') total += value * 30 * 86400;
    else if (inTime && unit == 'H') total += value * 3600;
    else if (inTime && unit == 'M') total += value * 60;
    else if (inTime && unit == 'S') total += value;
    else return false;
    i = end + 1;
  }
  days = (negative ? -total : total) / 86400;
  return true;
}

}  // namespace host::odf
