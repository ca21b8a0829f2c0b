// Data styles of OpenDocument spreadsheets turned into format codes, checked
// by what the host then displays.
#include <gtest/gtest.h>

#include "host/core/NumberFormat.h"
#include "host/formats/odf/OdsDataStyles.h"

TEST(OdsDataStyles, CodesShowValuesAsTheWriterDid) {
  struct Case {
    const char* style;
    double value;
    const char* shown;
  } cases[] = {
      {"<number:number-style><number:number number:decimal-places=\"2\" number:min-integer-digits=\"1\" "
       "number:grouping=\"true\"/></number:number-style>",
       1234.5, "1,234.50"},
      {"<number:percentage-style><number:number number:decimal-places=\"1\" number:min-integer-digits=\"1\"/>"
       "<number:text>%</number:text></number:percentage-style>",
       0.125, "12.5%"},
      {"<number:date-style><number:year number:style=\"long\"/><number:text>-</number:text>"
       "<number:month number:style=\"long\"/><number:text>-</number:text><number:day number:style=\"long\"/>"
       "</number:date-style>",
       45351, "2024-02-29"},
      {"<number:date-style><number:month/><number:text>/</number:text><number:day/><number:text>/</number:text>"
       "<number:year/></number:date-style>",
       45351, "2/29/24"},
      {"<number:time-style number:truncate-on-overflow=\"false\"><number:hours/><number:text>:</number:text>"
       "<number:minutes number:style=\"long\"/></number:time-style>",
       1.25, "30:00"},
      {"<number:number-style><number:scientific-number number:decimal-places=\"2\" number:min-integer-digits=\"1\" "
       "number:min-exponent-digits=\"2\"/></number:number-style>",
       12345, "1.23E+04"},
      {"<number:currency-style><number:number number:decimal-places=\"2\" number:min-integer-digits=\"1\"/>"
       "<number:text> </number:text><number:currency-symbol>EUR</number:currency-symbol></number:currency-style>",
       3, "3.00 EUR"},
      {"<number:boolean-style><number:boolean/></number:boolean-style>", 0, "FALSE"},
      {"<number:boolean-style><number:boolean/></number:boolean-style>", -2, "TRUE"},
  };
  for (const Case& c : cases) {
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(c.style, pugi::parse_default | pugi::parse_ws_pcdata));
    std::string code = host::odf::DataStyleCode(doc.first_child(), "");
    EXPECT_EQ(host::FormatNumber(c.value, code, false), c.shown) << c.style << " -> " << code;
  }
}

TEST(OdsDataStyles, NegativesShownByTheirOwnStyle) {
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(
      "<office:document-content><office:automatic-styles>"
      "<number:number-style style:name=\"N1P0\"><number:number number:decimal-places=\"1\" "
      "number:min-integer-digits=\"1\"/></number:number-style>"
      "<number:number-style style:name=\"N1\"><number:text>(</number:text><number:number number:decimal-places=\"1\" "
      "number:min-integer-digits=\"1\"/><number:text>)</number:text>"
      "<style:map style:condition=\"value()&gt;=0\" style:apply-style-name=\"N1P0\"/></number:number-style>"
      "<style:style style:name=\"ce1\" style:family=\"table-cell\" style:data-style-name=\"N1\"/>"
      "</office:automatic-styles></office:document-content>"));
  host::odf::OdsDataStyles styles;
  styles.Read(doc);
  std::string_view code = styles.CodeOfCellStyle("ce1");
  EXPECT_EQ(host::FormatNumber(2.5, code, false), "2.5");
  EXPECT_EQ(host::FormatNumber(-2.5, code, false), "(2.5)");
  EXPECT_EQ(styles.CodeOfCellStyle("none"), "General");
}
