#include "host/formats/odf/OdsNames.h"

#include <pugixml.hpp>

#include <optional>
#include <string>

#include "host/core/calc/FormulaParser.h"
#include "host/formats/odf/OpenFormula.h"

namespace host::odf {

namespace {

// True when each bracketed reference of the OpenFormula text names its
// sheet absolutely ("[$Data.$A$1:.$A$3]"): a name's reference without one is
// relative to the sheet of the cell that uses it.
bool SheetsAbsolute(std::string_view text) {
  bool inReference = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"' || c == '\'') {
      const size_t end = text.find(c, i + 1);
      if (end == std::string_view::npos) return false;
      i = end;  // a doubled quote reads as two texts, which is the same here
    } else if (c == '[') {
      if (i + 1 >= text.size() || text[i + 1] != '$') return false;
      inReference = true;
    } else if (c == ']') {
      inReference = false;
    } else if (c == ':' && inReference) {
      if (i + 1 >= text.size() || (text[i + 1] != '.' && text[i + 1] != '$')) return false;
    }
  }
  return true;
}

// The name's A1 text; empty when it has none the engine may use as it stands.
std::string NameText(const pugi::xml_node& element) {
  const std::string_view kind = element.name();
  std::string text;
  if (kind == "table:named-range") text = std::string("[") + element.attribute("table:cell-range-address").value() + "]";
  else text = element.attribute("table:expression").value();
  if (text.empty() || text == "[]" || !SheetsAbsolute(text)) return {};
  const std::optional<std::string> a1 = OpenFormulaToA1(text);
  if (!a1 || a1->empty()) return {};
  // Every coordinate absolute: the text has one shape wherever it stands.
  std::string here, there;
  if (!calc::FormulaShape(*a1, 1, 1, here) || !calc::FormulaShape(*a1, 2, 2, there) || here != there) return {};
  return *a1;
}

void AddNames(const pugi::xml_node& names, int sheet, std::vector<WorkbookStore::DefinedName>& out) {
  for (const pugi::xml_node& element : names.children()) {
    const std::string_view kind = element.name();
    if (kind != "table:named-range" && kind != "table:named-expression") continue;
    const std::string name = element.attribute("table:name").value();
    if (name.empty()) continue;
    out.push_back({name, sheet, NameText(element)});
  }
}

}  // namespace

std::vector<WorkbookStore::DefinedName> ReadOdsNames(const pugi::xml_node& document, const std::vector<std::string_view>& tables) {
  std::vector<WorkbookStore::DefinedName> out;
  AddNames(document, -1, out);
  for (size_t i = 0; i < tables.size(); ++i) {
    if (tables[i].empty()) continue;
    pugi::xml_document table;
    if (!table.load_buffer(tables[i].data(), tables[i].size(), pugi::parse_default, pugi::encoding_utf8)) continue;
    AddNames(table.first_child(), static_cast<int>(i), out);
  }
  return out;
}

}  // namespace host::odf
