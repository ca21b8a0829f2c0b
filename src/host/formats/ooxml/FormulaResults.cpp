#include "host/formats/ooxml/FormulaResults.h"

#include <charconv>

#include "host/core/CellAddress.h"
#include "host/formats/ooxml/DynamicArrayMetadata.h"
#include "host/formats/ooxml/SheetData.h"
#include "host/io/XmlScanner.h"

namespace host::ooxml {

namespace {

void AppendRawAttribute(std::string& out, std::string_view name, std::string_view value) {
  out += ' ';
  out.append(name);
  out += "=\"";
  // The value as the part has it, already escaped; a quote inside a
  // single-quoted value must become an entity in a double-quoted one.
  for (char c : value) {
    if (c == '"') out += "&quot;";
    else out += c;
  }
  out += '"';
}

void AppendValue(std::string& out, std::string_view prefix, const StoredValue& result) {
  out += '<';
  out.append(prefix);
  out += "v>";
  switch (result.kind) {
    case CellKind::Number: {
      char digits[32];
      auto [end, ec] = std::to_chars(digits, digits + sizeof digits, result.number);
      out.append(digits, ec == std::errc() ? end : digits);
      break;
    }
    case CellKind::Boolean:
      out += result.number != 0 ? '1' : '0';
      break;
    default:
      AppendEscapedXml(out, result.text);
      break;
  }
  out += "</";
  out.append(prefix);
  out += "v>";
}

}  // namespace

std::string CellWithResult(std::string_view element, const StoredValue& result) {
  XmlScanner scanner(element.data(), element.size());
  const XmlScanner::Tag tag = scanner.ReadTag();
  const std::string_view prefix = tag.qname.substr(0, tag.qname.size() - tag.local.size());
  std::string out;
  out.reserve(element.size() + 16);
  out += '<';
  out.append(tag.qname);
  const char* cursor = tag.attrs;
  std::string_view name, value;
  while (XmlScanner::NextAttribute(cursor, tag.end, name, value))
    if (name != "t") AppendRawAttribute(out, name, value);
  switch (result.kind) {
    case CellKind::Text: out += " t=\"str\""; break;
    case CellKind::Boolean: out += " t=\"b\""; break;
    case CellKind::Error: out += " t=\"e\""; break;
    default: break;
  }
  out += '>';
  bool written = false;
  if (!tag.selfClosing) {
    while (true) {
      scanner.SkipMisc(true);
      if (scanner.AtEnd()) break;
      const char* childBegin = scanner.Position();
      XmlScanner::Tag child = scanner.ReadTag();
      if (child.isEnd) break;
      if (!child.selfClosing) scanner.SkipContent(child);
      const char* childEnd = child.selfClosing ? child.end : scanner.Position();
      if (child.local == "v" || child.local == "is") continue;  // the old result
      out.append(childBegin, static_cast<size_t>(childEnd - childBegin));
      if (child.local == "f") {
        AppendValue(out, prefix, result);
        written = true;
      }
    }
  }
  if (!written) AppendValue(out, prefix, result);
  out += "</";
  out.append(tag.qname);
  out += '>';
  return out;
}

std::vector<std::pair<int, int>> SheetData::FormulaCells() const {
  std::vector<std::pair<int, int>> out;
  for (const RowRecord& row : rows_)
    for (uint32_t i = row.firstCell; i < row.firstCell + row.cellCount; ++i)
      if (cells_[i].flags & kFormula) out.emplace_back(row.row, cells_[i].column);
  return out;
}

bool SheetData::SetFormulaResult(int row, int column, const StoredValue& result) {
  const CellRecord* cell = Find(row, column);
  if (!cell || !(cell->flags & kFormula)) return false;
  // An array formula's cells take their results together (SetArrayResults).
  if ((cell->flags & kArrayFormula)) return false;
  results_[cell->begin] = result;
  // The row is written anew at the save (rows are found by binary search).
  const_cast<RowRecord*>(FindRow(row))->dirty = 1;
  modified_ = true;
  return true;
}

bool SheetData::DynamicArray(int row, int column) const {
  for (size_t i = 0; i < arrays_.size(); ++i)
    if (arrays_[i].firstRow == row && arrays_[i].firstColumn == column)
      return arrayMetadata_[i] != 0 && (!metadata_ || metadata_->Dynamic(arrayMetadata_[i]));
  return false;
}

bool SheetData::SetArrayResults(const std::vector<CellResult>& results) {
  // The array's first cell holds its formula and the others its values, each
  // in a <c> element of its own; a cell the part does not write is left, and
  // with it the whole array.
  for (const CellResult& r : results) {
    const CellRecord* cell = Find(r.row, r.column);
    if (!cell || ((cell->flags & kFormula) && !(cell->flags & kArrayFormula))) return false;
  }
  for (const CellResult& r : results) {
    results_[Find(r.row, r.column)->begin] = r.value;
    const_cast<RowRecord*>(FindRow(r.row))->dirty = 1;
  }
  modified_ = true;
  return true;
}

}  // namespace host::ooxml
