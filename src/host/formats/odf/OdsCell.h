#pragma once
// What one cell element of an OpenDocument table holds, read from its bytes
// (a well-formed table:table-cell element): its value (from
// office:value-type and the value attributes), its formula and the text the
// writer displayed, kept in its paragraphs.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host::odf {

enum class OdsKind { Empty, Number, Percentage, Currency, Date, Time, Boolean, Text };

struct OdsValue {
  OdsKind kind = OdsKind::Empty;
  double number = 0;    // numbers, percentages (as fraction), currencies; 1/0 for booleans
  std::string literal;  // dates and times as stored (office:date-value, office:time-value)
};

// The raw value of an attribute of the element's start tag; false when absent.
bool ElementAttribute(std::string_view element, std::string_view name, std::string_view& raw);
// An attribute's value as XML reads it (references replaced, white space
// characters as spaces); "" when absent.
std::string AttributeText(std::string_view element, std::string_view name);
// An integer attribute as XML readers take it: its leading digits (after
// white space), the nearest int beyond int's range, else fallback.
int LeadingInt(std::string_view raw, int fallback);
// A raw attribute value as XML reads it.
std::string DecodeAttribute(std::string_view raw);

// The displayed text: the cell's paragraphs joined by line breaks, with the
// spaces, tabs and line breaks their elements stand for; annotations apart.
std::string CellText(std::string_view cell);
// The attributes of a cell's start tag that say what it holds, read in one
// pass over the tag (a cell's value is asked for often: the engine reads
// every cell a formula uses); data() is null for an attribute it lacks.
struct CellAttributes {
  std::string_view formula;        // table:formula
  std::string_view calcValueType;  // calcext:value-type
  std::string_view valueType;      // office:value-type
  std::string_view value, dateValue, timeValue, booleanValue, stringValue;  // office:...
  std::string_view qname;   // the element's name
  size_t tagLength = 0;     // the start tag's bytes, '<' to '>'
  bool selfClosing = false;
};
CellAttributes ReadCellAttributes(std::string_view cell);

// The typed value; empty for a cell without office:value-type.
OdsValue CellValue(std::string_view cell);
OdsValue CellValue(const CellAttributes& attributes);
// The formula as written (table:formula, e.g. "of:=[.A1]*2"), or empty.
std::string CellFormula(std::string_view cell);
// True when the cell holds paragraphs (the text the writer displayed).
bool CellHasParagraphs(std::string_view cell);
// The text of a cell whose start tag (tagLength bytes) is followed by one
// paragraph of plain characters and the cell's end tag, viewed in the
// cell's bytes: what CellText gives for it, without a copy. False for any
// other content (markup, character references, carriage returns).
bool PlainParagraphText(std::string_view cell, size_t tagLength, std::string_view& text);

// An attribute given a new value (escaped for a double-quoted value) or
// removed (no value) when a start tag is written anew.
struct AttributeEdit {
  std::string_view name;
  std::optional<std::string> value;
  bool done = false;
};

// The start tag `tag` (or a new one named qname when tag is empty) with the
// edits made; other attributes as written. Edited attributes keep their
// places; new ones go last.
std::string EditedStartTag(std::string_view tag, std::string_view qname, std::vector<AttributeEdit> edits, bool empty);

// A time value (an ISO duration, "PT12H30M00S") in days; false when malformed.
bool DurationDays(std::string_view literal, double& days);

}  // namespace host::odf
