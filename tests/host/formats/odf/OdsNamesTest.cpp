// The defined names of an .ods document: what each named range and named
// expression stands for in A1 text, and those the engine must not compute
// as written (relative to their base cell, or to the sheet of the cell that
// uses them), which are given without text.

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <string>
#include <vector>

#include "host/formats/odf/OdsNames.h"

namespace {

TEST(OdsNames, EachNameHasItsA1TextOrNoneWhenRelative) {
  struct Case {
    const char* element;
    const char* a1;  // "" when the name is not to be computed here
  } cases[] = {
      {R"(<table:named-range table:name="N" table:cell-range-address="$Data.$A$1:.$A$3"/>)", "'Data'!$A$1:$A$3"},
      {R"(<table:named-range table:name="N" table:cell-range-address="$'My Data'.$B$2"/>)", "'My Data'!$B$2"},
      {R"(<table:named-expression table:name="N" table:expression="[$Data.$A$2]*2"/>)", "'Data'!$A$2*2"},
      {R"(<table:named-expression table:name="N" table:expression="of:=0.5"/>)", "0.5"},
      {R"(<table:named-expression table:name="N" table:expression="&quot;[.A1]&quot;"/>)", "\"[.A1]\""},
      {R"(<table:named-range table:name="N" table:cell-range-address="$Data.A1"/>)", ""},      // relative cell
      {R"(<table:named-range table:name="N" table:cell-range-address="$Data.$A1"/>)", ""},     // relative row
      {R"(<table:named-expression table:name="N" table:expression="[.$A$2]*2"/>)", ""},        // sheet of the user
      {R"(<table:named-range table:name="N" table:cell-range-address="$Data.$A$1:Other.$B$2"/>)", ""},
      {R"(<table:named-expression table:name="N" table:expression="['file:///x.ods'#$S.$A$1]"/>)", ""},
  };
  for (const Case& c : cases) {
    const std::string xml = std::string("<table:named-expressions>") + c.element + "</table:named-expressions>";
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(xml.c_str())) << c.element;
    const std::vector<host::WorkbookStore::DefinedName> names = host::odf::ReadOdsNames(document.first_child(), {});
    ASSERT_EQ(names.size(), 1u) << c.element;
    EXPECT_EQ(names[0].formula, c.a1) << c.element;
    EXPECT_EQ(names[0].sheet, -1) << c.element;
  }
  // A table's own names are local to it.
  const std::string local = R"(<table:named-expressions><table:named-expression table:name="Rate" table:expression="2"/></table:named-expressions>)";
  const auto names = host::odf::ReadOdsNames(pugi::xml_node(), {"", local});
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].name, "Rate");
  EXPECT_EQ(names[0].sheet, 1);
  EXPECT_EQ(names[0].formula, "2");
}

}  // namespace
