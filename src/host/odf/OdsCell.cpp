#include "host/odf/OdsCell.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace host::odf {

namespace {

void AppendParagraph(pugi::xml_node node, std::string& out) {
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
    } else if (name != "office:annotation" && name != "text:note") {
      AppendParagraph(child, out);  // spans, links, fields
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

bool CellHasContent(pugi::xml_node cell) {
  if (cell.attribute("office:value-type") || cell.attribute("table:formula")) return true;
  for (pugi::xml_node child : cell.children()) {
    std::string_view name = child.name();
    if (name == "text:p" || name == "text:h" || name == "office:annotation") return true;
  }
  return false;
}

}  // namespace host::odf
