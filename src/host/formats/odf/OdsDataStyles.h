#pragma once
// The number formats of an OpenDocument spreadsheet: each cell style's data
// style (number:number-style, number:date-style, ...) turned into the format
// code the host's NumberFormat understands ("#,##0.00", "0%", "dd/mm/yyyy").

#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <unordered_map>

namespace host::odf {

class OdsDataStyles {
 public:
  // Reads the styles of a document part (content.xml or styles.xml); later
  // parts add to earlier ones, automatic styles of content.xml first.
  void Read(const pugi::xml_node& document);
  // The format code of a cell style; "General" when it has no data style.
  std::string_view CodeOfCellStyle(std::string_view cellStyle) const;

 private:
  std::string CodeOfDataStyle(std::string_view name, int depth) const;

  std::unordered_map<std::string, pugi::xml_node> dataStyles_;   // by style:name
  std::unordered_map<std::string, std::string> cellDataStyle_;   // cell style -> data style
  mutable std::unordered_map<std::string, std::string> codes_;   // cell style -> code
};

// The format code of one data style element; positiveSection is the code
// for values >= 0 when the style maps them to another style ("" otherwise).
std::string DataStyleCode(pugi::xml_node style, const std::string& positiveSection);

}  // namespace host::odf
