#include "host/odf/OdsCell.h"

#include <cctype>
#include <charconv>
#include <cstring>
#include <string_view>

#include "host/CivilDate.h"

namespace host::odf {

namespace {

// Spans nest; text nested deeper than any writer nests it is left out.
constexpr int kMaxNesting = 64;

void AppendParagraph(pugi::xml_node node, std::string& out, int depth = 0) {
  for (pugi::xml_node child : node.children()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
      out += child.value();
      continue;
    }
    if (child.type() != pugi::node_element) continue;
    std::string_view name = child.name();
    if (name == "text:s") {
      int count = child.attribute("text:c").as_int(1);
      out.append(static_cast<size_t>(count > 0 ? count : 1), ' ');
    } else if (name == "text:tab") {
      out += '\t';
    } else if (name == "text:line-break") {
      out += '\n';
    } else if (name != "office:annotation" && name != "text:note" && depth < kMaxNesting) {
      AppendParagraph(child, out, depth + 1);  // spans, links, fields
    }
  }
}

double Number(const char* text) {
  double value = 0;
  std::from_chars(text, text + std::strlen(text), value);
  return value;
}

}  // namespace

std::string CellText(pugi::xml_node cell) {
  std::string text;
  bool first = true;
  for (pugi::xml_node p : cell.children()) {
    std::string_view name = p.name();
    if (name != "text:p" && name != "text:h") continue;
    if (!first) text += '\n';
    first = false;
    AppendParagraph(p, text);
  }
  return text;
}

OdsValue CellValue(pugi::xml_node cell) {
  pugi::xml_attribute type = cell.attribute("office:value-type");
  if (!type) return {};
  std::string_view t = type.value();
  const char* value = cell.attribute("office:value").value();
  if (t == "float") return {OdsKind::Number, Number(value), {}};
  if (t == "percentage") return {OdsKind::Percentage, Number(value), {}};
  if (t == "currency") return {OdsKind::Currency, Number(value), {}};
  if (t == "date") return {OdsKind::Date, 0, cell.attribute("office:date-value").value()};
  if (t == "time") return {OdsKind::Time, 0, cell.attribute("office:time-value").value()};
  if (t == "boolean") {
    std::string_view b = cell.attribute("office:boolean-value").value();
    return {OdsKind::Boolean, b == "true" ? 1.0 : 0.0, {}};
  }
  return {OdsKind::Text, 0, {}};
}

std::string CellFormula(pugi::xml_node cell) { return cell.attribute("table:formula").value(); }

bool CellHasParagraphs(pugi::xml_node cell) {
  for (pugi::xml_node child : cell.children()) {
    std::string_view name = child.name();
    if (name == "text:p" || name == "text:h") return true;
  }
  return false;
}

namespace {

bool Digits(std::string_view text, size_t pos, size_t len, long& out) {
  if (pos + len > text.size()) return false;
  auto [ptr, ec] = std::from_chars(text.data() + pos, text.data() + pos + len, out);
  return ec == std::errc() && ptr == text.data() + pos + len;
}

}  // namespace

bool DateSerial(std::string_view literal, bool date1904, double& serial) {
  long year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double second = 0;
  bool negative = !literal.empty() && literal[0] == '-';
  if (negative) literal.remove_prefix(1);
  if (literal.size() < 10 || literal[4] != '-' || literal[7] != '-' || !Digits(literal, 0, 4, year) ||
      !Digits(literal, 5, 2, month) || !Digits(literal, 8, 2, day) || month < 1 || month > 12 || day < 1 || day > 31)
    return false;
  if (negative) year = -year;
  if (literal.size() > 10) {
    if (literal[10] != 'T' || literal.size() < 16 || literal[13] != ':' || !Digits(literal, 11, 2, hour) ||
        !Digits(literal, 14, 2, minute))
      return false;
    if (literal.size() > 16) {
      if (literal[16] != ':') return false;
      size_t end = 17;
      while (end < literal.size() && (std::isdigit(static_cast<unsigned char>(literal[end])) || literal[end] == '.')) ++end;
      auto [ptr, ec] = std::from_chars(literal.data() + 17, literal.data() + end, second);
      if (ec != std::errc()) return false;
      // A time zone (Z, +hh:mm) may follow; the value is the local one written.
    }
  }
  long base = date1904 ? DaysFromCivil(1904, 1, 1) : DaysFromCivil(1899, 12, 30);
  serial = static_cast<double>(DaysFromCivil(year, month, day) - base) + (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
  return true;
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

bool CellHasContent(pugi::xml_node cell) {
  // One pass over the attributes: sheets hold millions of cells.
  for (pugi::xml_attribute a : cell.attributes()) {
    std::string_view name = a.name();
    if (name == "office:value-type" || name == "table:formula") return true;
  }
  for (pugi::xml_node child : cell.children()) {
    std::string_view name = child.name();
    if (name == "text:p" || name == "text:h" || name == "office:annotation") return true;
  }
  return false;
}

}  // namespace host::odf
