#include "host/formats/odf/OdsFormulaResults.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <vector>

#include "host/core/DateSerial.h"
#include "host/core/NumberFormat.h"
#include "host/formats/odf/OdsCell.h"
#include "host/formats/odf/OdsDocument.h"
#include "host/formats/odf/OdsSheetStore.h"
#include "host/io/XmlScanner.h"

namespace host::odf {

namespace {

bool IsParagraph(std::string_view name) { return name == "text:p" || name == "text:h"; }

// True when the code shows one of the letters outside its quoted texts,
// escaped characters and bracketed parts ("[$€-407]", "[Red]").
bool CodeShows(std::string_view code, std::string_view letters) {
  for (size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (c == '"') {
      const size_t end = code.find('"', i + 1);
      if (end == std::string_view::npos) return false;
      i = end;
    } else if (c == '[') {
      const size_t end = code.find(']', i + 1);
      if (end == std::string_view::npos) return false;
      i = end;
    } else if (c == '\\') {
      ++i;
    } else if (letters.find(c) != std::string_view::npos) {
      return true;
    }
  }
  return false;
}

// The value type a number result is stored with: the one the cell has when
// it is numeric (the writer chose it for the cell's format), else the one
// its number format shows.
std::string_view NumberType(std::string_view oldType, std::string_view formatCode) {
  for (std::string_view numeric : {"float", "percentage", "currency", "date", "time"})
    if (oldType == numeric) return numeric;
  if (IsDateFormat(formatCode)) return CodeShows(formatCode, "yYdD") ? "date" : "time";
  if (CodeShows(formatCode, "%")) return "percentage";
  return "float";
}

std::string NumberText(double value) {
  char digits[32];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  return std::string(digits, ec == std::errc() ? end : digits);
}

// An ISO duration of days ("PT36H00M00S"), to the millisecond.
std::string Duration(double days) {
  long long milliseconds = std::llround(std::fabs(days) * 86400000.0);
  const long long seconds = milliseconds / 1000;
  milliseconds %= 1000;
  char buffer[64];
  int n = std::snprintf(buffer, sizeof buffer, "%sPT%02lldH%02lldM%02lld", days < 0 ? "-" : "", seconds / 3600,
                        seconds / 60 % 60, seconds % 60);
  if (milliseconds) n += std::snprintf(buffer + n, sizeof buffer - static_cast<size_t>(n), ".%03lld", milliseconds);
  std::snprintf(buffer + n, sizeof buffer - static_cast<size_t>(n), "S");
  return buffer;
}

std::string Escaped(std::string_view text) {
  std::string out;
  AppendEscapedXml(out, text, true);
  return out;
}

// The text as paragraphs: a line break starts a new one; a space is written
// as such only between two other characters, others as text:s, tabs as
// text:tab, so that readers that collapse white space read the text as it is.
void AppendParagraphs(std::string& out, std::string_view text) {
  // A text of one line without spaces, tabs or characters to escape (a
  // number, an error) is one paragraph as it stands.
  if (!text.empty() && text.find_first_of(" \t\n&<>") == std::string_view::npos) {
    out += "<text:p>";
    out.append(text);
    out += "</text:p>";
    return;
  }
  size_t start = 0;
  for (;;) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line = text.substr(start, end - start);
    if (line.empty()) {
      out += "<text:p/>";
    } else {
      out += "<text:p>";
      for (size_t i = 0; i < line.size();) {
        if (line[i] == '\t') {
          out += "<text:tab/>";
          ++i;
          continue;
        }
        if (line[i] != ' ') {
          const size_t next = std::min(line.find_first_of(" \t", i), line.size());
          AppendEscapedXml(out, line.substr(i, next - i));
          i = next;
          continue;
        }
        size_t run = i;
        while (run < line.size() && line[run] == ' ') ++run;
        size_t count = run - i;
        if (i > 0 && run < line.size() && line[run] != '\t') {
          out += ' ';
          --count;
        }
        if (count == 1) out += "<text:s/>";
        else if (count > 1) out += "<text:s text:c=\"" + std::to_string(count) + "\"/>";
        i = run;
      }
      out += "</text:p>";
    }
    if (end >= text.size()) return;
    start = end + 1;
  }
}

// True when content (what follows a cell's start tag) is its end tag alone,
// or one paragraph without attributes or child elements and the end tag.
bool OnlyPlainParagraph(std::string_view content, std::string_view qname) {
  const auto endTag = [&](std::string_view rest) {
    return rest.size() == qname.size() + 3 && rest.substr(0, 2) == "</" && rest.substr(2, qname.size()) == qname &&
           rest.back() == '>';
  };
  if (endTag(content)) return true;
  constexpr std::string_view kOpen = "<text:p>", kClose = "</text:p>";
  if (content.substr(0, kOpen.size()) != kOpen) return false;
  const size_t close = content.find('<', kOpen.size());
  if (close == std::string_view::npos || content.substr(close, kClose.size()) != kClose) return false;
  return endTag(content.substr(close + kClose.size()));
}

}  // namespace

std::string CellWithResult(std::string_view element, const StoredValue& result, std::string_view formatCode,
                           bool date1904, std::vector<AttributeEdit> edits) {
  // One pass over the start tag gives its end and the old value type.
  const CellAttributes attributes = ReadCellAttributes(element);
  const std::string_view start = element.substr(0, attributes.tagLength);
  const std::string_view rawType = attributes.valueType;
  // Value types as writers write them need no decoding.
  const bool plainType = rawType.find('&') == std::string_view::npos;
  const std::string decodedType = rawType.data() && !plainType ? DecodeAttribute(rawType) : std::string();
  const std::string_view oldType = !rawType.data() ? std::string_view() : plainType ? rawType : std::string_view(decodedType);

  std::optional<std::string> type, value, text, boolean, date, time, calcType;
  bool keepCurrency = false;
  std::string shown;
  switch (result.kind) {
    case CellKind::Number: {
      std::string_view kind = NumberType(oldType, formatCode);
      std::string iso;
      if (kind == "date" && !IsoTextOfSerial(result.number, date1904, iso)) kind = "float";
      type = std::string(kind);
      if (kind == "date") date = iso;
      else if (kind == "time") time = Duration(result.number);
      else value = NumberText(result.number);
      keepCurrency = kind == "currency";
      shown = FormatNumber(result.number, formatCode, date1904);
      break;
    }
    case CellKind::Boolean:
      type = "boolean";
      boolean = result.number != 0 ? "true" : "false";
      shown = result.number != 0 ? "TRUE" : "FALSE";
      break;
    case CellKind::Error:
      type = "string";
      text = "";
      calcType = "error";
      shown = result.text;
      break;
    case CellKind::Text:
      if (!result.text.empty()) {
        type = "string";
        text = Escaped(result.text);
      }
      shown = FormatText(result.text, formatCode);
      break;
    case CellKind::Blank:
      break;
  }
  if (!calcType) calcType = type;
  edits.reserve(edits.size() + 8);
  for (auto& [name, edit] : {std::pair<std::string_view, std::optional<std::string>*>{"office:value-type", &type},
                             {"office:value", &value}, {"office:string-value", &text},
                             {"office:boolean-value", &boolean}, {"office:date-value", &date},
                             {"office:time-value", &time}, {"calcext:value-type", &calcType}})
    edits.push_back({name, std::move(*edit)});
  if (!keepCurrency) edits.push_back({"office:currency", std::nullopt});
  std::string out = EditedStartTag(start, attributes.qname, std::move(edits), false);

  std::string paragraphs;
  AppendParagraphs(paragraphs, shown);
  out.reserve(out.size() + paragraphs.size() + attributes.qname.size() + 3);
  // The cell as spreadsheet programs write it, one plain paragraph or none,
  // needs no scan of its content: the new paragraphs replace it all.
  if (attributes.selfClosing || OnlyPlainParagraph(element.substr(start.size()), attributes.qname)) {
    out += paragraphs;
    out += "</";
    out.append(attributes.qname);
    out += '>';
    return out;
  }
  XmlScanner scanner(element.data(), element.size());
  scanner.ReadTag();
  bool placed = false;
  for (;;) {
    scanner.SkipMisc(true);
    if (scanner.AtEnd()) break;
    const char* childBegin = scanner.Position();
    const XmlScanner::Tag child = scanner.ReadTag();
    if (child.isEnd) break;
    if (!child.selfClosing) scanner.SkipContent(child);
    if (IsParagraph(child.qname)) {  // the old result's text
      if (!placed) out += paragraphs;
      placed = true;
      continue;
    }
    out.append(childBegin, static_cast<size_t>(scanner.Position() - childBegin));
  }
  if (!placed) out += paragraphs;
  out += "</";
  out.append(attributes.qname);
  out += '>';
  return out;
}

std::vector<std::pair<int, int>> OdsSheetStore::FormulaCells() const { return Sheet().FormulaCells(); }

bool OdsSheetStore::SetFormulaResult(int row, int column, const StoredValue& result) {
  OdsSheet& sheet = Sheet();
  if (!sheet.IsFormulaCell(row, column)) return false;
  KeepResult(sheet, row, column, result);
  return true;
}

bool OdsSheetStore::SetArrayResults(const std::vector<CellResult>& results) {
  OdsSheet& sheet = Sheet();
  // Only the array's first cell holds a formula; the others must be cells
  // the table writes (an element of their own or of a repeat).
  for (const CellResult& r : results)
    if (sheet.CellElement(r.row, r.column).empty()) return false;
  for (const CellResult& r : results) KeepResult(sheet, r.row, r.column, r.value);
  return true;
}

void OdsSheetStore::KeepResult(OdsSheet& sheet, int row, int column, const StoredValue& result) {
  const std::string code(FormatCode(row, column));
  const bool date1904 = document_->Date1904();
  sheet.RewriteCell(row, column, [&](std::string_view element, std::vector<AttributeEdit> edits) {
    return CellWithResult(element, result, code, date1904, std::move(edits));
  });
}

}  // namespace host::odf
