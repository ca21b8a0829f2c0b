#include "host/formats/odf/OdsDataStyles.h"

#include <algorithm>

namespace host::odf {

namespace {

bool IsLong(pugi::xml_node n) { return std::string_view(n.attribute("number:style").value()) == "long"; }

std::string Zeros(int n, char c = '0') { return std::string(static_cast<size_t>(std::clamp(n, 0, 30)), c); }

// A literal: punctuation that codes show as itself stays bare, anything else is quoted.
void AppendLiteral(std::string_view text, bool percentStyle, std::string& code) {
  std::string quoted;
  for (char c : text) {
    if (c == '"') continue;
    if ((c == '%' && percentStyle) || c == ' ' || c == '-' || c == '/' || c == ':' || c == ',' || c == '(' ||
        c == ')' || c == '.') {
      if (!quoted.empty()) code += "\"" + quoted + "\"", quoted.clear();
      code += c;
    } else {
      quoted += c;
    }
  }
  if (!quoted.empty()) code += "\"" + quoted + "\"";
}

void AppendNumber(pugi::xml_node n, std::string& code) {
  int integers = n.attribute("number:min-integer-digits").as_int(1);
  int decimals = n.attribute("number:decimal-places").as_int(0);
  int minDecimals = n.attribute("number:min-decimal-places").as_int(decimals);
  std::string whole = integers > 0 ? Zeros(integers) : "#";
  if (n.attribute("number:grouping").as_bool()) whole = (integers >= 4 ? "" : "#,##") + whole;
  code += whole;
  if (decimals > 0) code += "." + Zeros(std::min(minDecimals, decimals)) + Zeros(decimals - minDecimals, '#');
}

}  // namespace

std::string DataStyleCode(pugi::xml_node style, const std::string& positiveSection) {
  std::string_view kind = style.name();
  bool percent = kind == "number:percentage-style";
  bool elapsed = kind == "number:time-style" && !style.attribute("number:truncate-on-overflow").as_bool(true);
  std::string code;
  for (pugi::xml_node n : style.children()) {
    std::string_view name = n.name();
    if (name == "number:number") {
      AppendNumber(n, code);
    } else if (name == "number:scientific-number") {
      AppendNumber(n, code);
      code += "E+" + Zeros(std::max(1, n.attribute("number:min-exponent-digits").as_int(2)));
    } else if (name == "number:fraction") {
      int whole = n.attribute("number:min-integer-digits").as_int(0);
      code += (whole > 0 ? Zeros(whole) : "#") + " ";
      code += Zeros(std::max(1, n.attribute("number:min-numerator-digits").as_int(1)), '?') + "/";
      pugi::xml_attribute denominator = n.attribute("number:denominator-value");
      code += denominator ? std::string(denominator.value())
                          : Zeros(std::max(1, n.attribute("number:min-denominator-digits").as_int(1)), '?');
    } else if (name == "number:text") {
      AppendLiteral(n.child_value(), percent, code);
    } else if (name == "number:currency-symbol") {
      AppendLiteral(n.child_value(), false, code);
    } else if (name == "number:text-content") {
      code += "@";
    } else if (name == "number:year") {
      code += IsLong(n) ? "yyyy" : "yy";
    } else if (name == "number:month") {
      bool textual = n.attribute("number:textual").as_bool();
      code += textual ? (IsLong(n) ? "mmmm" : "mmm") : (IsLong(n) ? "mm" : "m");
    } else if (name == "number:day") {
      code += IsLong(n) ? "dd" : "d";
    } else if (name == "number:day-of-week") {
      code += IsLong(n) ? "dddd" : "ddd";
    } else if (name == "number:hours") {
      std::string h = IsLong(n) ? "hh" : "h";
      code += elapsed ? "[" + h + "]" : h;
    } else if (name == "number:minutes") {
      code += IsLong(n) ? "mm" : "m";
    } else if (name == "number:seconds") {
      code += IsLong(n) ? "ss" : "s";
      int decimals = n.attribute("number:decimal-places").as_int(0);
      if (decimals > 0) code += "." + Zeros(decimals);
    } else if (name == "number:am-pm") {
      code += "AM/PM";
    } else if (name == "number:boolean") {
      code += "\"TRUE\";\"TRUE\";\"FALSE\"";  // a number under a boolean style: zero is FALSE
    }
  }
  if (code.empty()) code = "General";
  return positiveSection.empty() ? code : positiveSection + ";" + code;
}

void OdsDataStyles::Read(const pugi::xml_node& document) {
  pugi::xml_node root = document.first_child();
  while (root && root.type() != pugi::node_element) root = root.next_sibling();
  for (const char* container : {"office:automatic-styles", "office:styles"}) {
    for (pugi::xml_node style : root.child(container).children()) {
      std::string_view name = style.name();
      std::string styleName = style.attribute("style:name").value();
      if (styleName.empty()) continue;
      if (name == "style:style") {
        if (std::string_view(style.attribute("style:family").value()) != "table-cell") continue;
        pugi::xml_attribute data = style.attribute("style:data-style-name");
        if (data && !cellDataStyle_.count(styleName)) cellDataStyle_[styleName] = data.value();
      } else if (name.substr(0, 7) == "number:" && name.size() > 6 && name.substr(name.size() - 6) == "-style") {
        if (!dataStyles_.count(styleName)) dataStyles_[styleName] = style;
      }
    }
  }
}

std::string OdsDataStyles::CodeOfDataStyle(std::string_view name, int depth) const {
  auto it = dataStyles_.find(std::string(name));
  if (it == dataStyles_.end() || depth > 3) return "General";
  pugi::xml_node style = it->second;
  // The usual way negatives get their own look: the style shows negatives,
  // a map applies another style to values >= 0 (or > 0).
  std::string positive;
  for (pugi::xml_node map : style.children("style:map")) {
    std::string_view condition = map.attribute("style:condition").value();
    if (condition == "value()>=0" || condition == "value()>0")
      positive = CodeOfDataStyle(map.attribute("style:apply-style-name").value(), depth + 1);
  }
  return DataStyleCode(style, positive);
}

std::string_view OdsDataStyles::CodeOfCellStyle(std::string_view cellStyle) const {
  std::string key(cellStyle);
  auto cached = codes_.find(key);
  if (cached != codes_.end()) return cached->second;
  auto data = cellDataStyle_.find(key);
  std::string code = data == cellDataStyle_.end() ? "General" : CodeOfDataStyle(data->second, 0);
  return codes_.emplace(key, std::move(code)).first->second;
}

}  // namespace host::odf
