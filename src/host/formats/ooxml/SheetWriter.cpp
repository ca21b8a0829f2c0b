#include "host/formats/ooxml/SheetWriter.h"

#include <charconv>
#include <cstring>

#include "host/formats/ooxml/FormulaResults.h"
#include "host/formats/ooxml/HyperlinkMoves.h"

namespace host::ooxml {

namespace {

// Appends ` name="value"` as it stood in the source, with its own quote mark
// (the scanner's value view ends right before the closing quote).
void AppendAttribute(std::string& out, std::string_view name, std::string_view value) {
  const char quote = value.data()[value.size()];
  out += ' ';
  out.append(name);
  out += '=';
  out += quote;
  out.append(value);
  out += quote;
}
constexpr size_t kPieceSize = 1 << 16;
}

SheetWriter::SheetWriter(const SheetData& sheet) : sheet_(sheet), xml_(sheet.xml_), created_(sheet.createdRows_.begin()) {}

std::string_view SheetWriter::Next() {
  const auto& rows = sheet_.rows_;
  const auto& createdRows = sheet_.createdRows_;
  switch (phase_) {
    case 0: {
      phase_ = 1;
      bool anyRows = !rows.empty() || !createdRows.empty();
      if (sheet_.sheetDataSelfClosing_ && anyRows) {
        // <sheetData/> becomes <sheetData> ... </sheetData>.
        scratch_.assign(xml_.substr(0, sheet_.sheetDataStartEnd_));
        size_t slash = scratch_.rfind('/');
        scratch_.erase(slash, 1);
        openedSheetData_ = true;
        rawCursor_ = sheet_.sheetDataStartEnd_;
        return scratch_;
      }
      rawCursor_ = sheet_.sheetDataStartEnd_;
      return xml_.substr(0, rawCursor_);
    }
    case 1: {
      scratch_.clear();
      while (scratch_.size() < kPieceSize) {
        bool haveRow = rowIndex_ < rows.size();
        bool haveCreated = created_ != createdRows.end();
        if (!haveRow && !haveCreated) {
          phase_ = 2;
          break;
        }
        if (haveCreated && (!haveRow || created_->first < rows[rowIndex_].row)) {
          WriteCreatedRow(created_->first, created_->second);
          ++created_;
          continue;
        }
        const SheetData::RowRecord& row = rows[rowIndex_];
        bool clean = !row.created && !row.dirty && row.hiddenSet < 0;
        if (clean) {
          if (!scratch_.empty()) break;  // hand out what was written first
          // A run of clean rows is one raw piece.
          uint32_t end = row.end;
          ++rowIndex_;
          while (rowIndex_ < rows.size()) {
            const SheetData::RowRecord& next = rows[rowIndex_];
            if (next.created || next.dirty || next.hiddenSet >= 0) break;
            if (created_ != createdRows.end() && created_->first < next.row) break;
            end = next.end;
            ++rowIndex_;
          }
          std::string_view piece = xml_.substr(rawCursor_, end - rawCursor_);
          rawCursor_ = end;
          return piece;
        }
        if (!row.created) {
          scratch_.append(xml_.substr(rawCursor_, row.begin - rawCursor_));
          rawCursor_ = row.end;
        }
        WriteRow(row);
        ++rowIndex_;
      }
      if (!scratch_.empty()) return scratch_;
      return Next();
    }
    case 2: {
      phase_ = 3;
      std::string_view rest = xml_.substr(rawCursor_);
      if (openedSheetData_) {
        scratch_ = "</" + sheet_.prefix_ + "sheetData>";
        rest = xml_.substr(sheet_.sheetDataEnd_);
      } else {
        scratch_.clear();
      }
      if (sheet_.moves_.empty() || sheet_.hyperlinksEnd_ == 0) {
        if (scratch_.empty()) return rest;
        scratch_.append(rest);
        return scratch_;
      }
      // The links follow the cells that moved.
      size_t at = sheet_.hyperlinksBegin_ - (rest.data() - xml_.data());
      scratch_.append(rest.substr(0, at));
      scratch_ += MoveHyperlinks(xml_.substr(sheet_.hyperlinksBegin_, sheet_.hyperlinksEnd_ - sheet_.hyperlinksBegin_),
                                 sheet_.moves_);
      scratch_.append(xml_.substr(sheet_.hyperlinksEnd_));
      return scratch_;
    }
    default:
      return {};
  }
}

void SheetWriter::WriteCreatedRow(int row, bool hidden) {
  scratch_ += '<';
  scratch_ += sheet_.prefix_;
  scratch_ += "row r=\"";
  scratch_ += std::to_string(row);
  scratch_ += hidden ? "\" hidden=\"1\"/>" : "\"/>";
}

void SheetWriter::WriteStartTag(const SheetData::RowRecord& row, bool withChildren) {
  if (row.created) {
    scratch_ += '<';
    scratch_ += sheet_.prefix_;
    scratch_ += "row r=\"";
    scratch_ += std::to_string(row.row);
    scratch_ += '"';
    if (row.hiddenSet == 1) scratch_ += " hidden=\"1\"";
    scratch_ += withChildren ? ">" : "/>";
    return;
  }
  std::string_view tag = xml_.substr(row.begin, row.startEnd - row.begin);
  bool selfClosing = row.closeBegin == row.end && row.end == row.startEnd;
  size_t closeLength = selfClosing ? 2 : 1;
  std::string_view body = tag.substr(0, tag.size() - closeLength);
  while (!body.empty() && (body.back() == ' ' || body.back() == '\t' || body.back() == '\n' || body.back() == '\r'))
    body.remove_suffix(1);
  if (row.hiddenSet >= 0) {
    // Replace the hidden attribute's value, or add the attribute.
    const char* cursor = body.data() + 1;
    while (cursor < body.data() + body.size() && *cursor != ' ' && *cursor != '\t' && *cursor != '\n' && *cursor != '\r')
      ++cursor;
    std::string_view name, value;
    bool replaced = false;
    const char* tagEnd = tag.data() + tag.size();
    while (XmlScanner::NextAttribute(cursor, tagEnd, name, value)) {
      if (name == "hidden") {
        scratch_.append(body.substr(0, value.data() - body.data()));
        scratch_ += row.hiddenSet == 1 ? "1" : "0";
        scratch_.append(body.substr(value.data() + value.size() - body.data()));
        replaced = true;
        break;
      }
    }
    if (!replaced) {
      scratch_.append(body);
      if (row.hiddenSet == 1) scratch_ += " hidden=\"1\"";
    }
  } else {
    scratch_.append(body);
  }
  scratch_ += withChildren ? ">" : "/>";
}

void SheetWriter::WriteRow(const SheetData::RowRecord& row) {
  bool selfClosing = row.created || (row.closeBegin == row.end && row.end == row.startEnd);
  bool hasChildren = row.cellCount > 0 || !selfClosing;
  WriteStartTag(row, hasChildren);
  if (!hasChildren) return;
  const auto& cells = sheet_.cells_;
  for (uint32_t i = row.firstCell; i < row.firstCell + row.cellCount; ++i) {
    const SheetData::CellRecord& cell = cells[i];
    bool rewrite = (cell.flags & (SheetData::kMoved | SheetData::kFormulaChanged)) ||
                   ((cell.flags & SheetData::kImplicitRef) && row.dirty);
    const StoredValue* result = sheet_.ResultOf(cell);
    if (!result) {
      if (rewrite) WriteCell(cell, row.row);
      else scratch_.append(xml_.substr(cell.begin, cell.length));
      continue;
    }
    // A fresh formula result: the cell as it would be written, then its value replaced.
    std::string element;
    if (rewrite) {
      const size_t start = scratch_.size();
      WriteCell(cell, row.row);
      element = scratch_.substr(start);
      scratch_.resize(start);
    } else {
      element = std::string(xml_.substr(cell.begin, cell.length));
    }
    scratch_ += CellWithResult(element, *result);
  }
  if (selfClosing) {
    scratch_ += "</";
    scratch_ += sheet_.prefix_;
    scratch_ += "row>";
  } else {
    scratch_.append(xml_.substr(row.tailBegin, row.end - row.tailBegin));
  }
}

void SheetWriter::WriteWithReference(std::string_view element, size_t valueBegin, size_t valueEnd, int column,
                                     int row) {
  scratch_.append(element.substr(0, valueBegin));
  AppendColumnLetters(scratch_, column);
  char digits[16];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, row);
  scratch_.append(digits, end);
  scratch_.append(element.substr(valueEnd));
}

void SheetWriter::WriteCell(const SheetData::CellRecord& cell, int row) {
  std::string_view element = xml_.substr(cell.begin, cell.length);
  if (!(cell.flags & (SheetData::kFormulaChanged | SheetData::kImplicitRef))) {
    // Most moved cells only need their r attribute's value replaced. Most
    // also begin with it, which needs no search for the attribute.
    if (element.size() > 6 && element.compare(0, 6, "<c r=\"") == 0) {
      size_t close = 6;
      while (close < element.size() && element[close] != '"' && element[close] != '>') ++close;
      if (close < element.size() && element[close] == '"') return WriteWithReference(element, 6, close, cell.column, row);
    }
    size_t tagEnd = element.find('>');
    size_t at = element.find("r=", 2);
    while (at != std::string_view::npos && at < tagEnd) {
      char before = element[at - 1];
      char quote = element[at + 2];
      if ((before == ' ' || before == '\t' || before == '\n' || before == '\r') && (quote == '"' || quote == '\'')) {
        return WriteWithReference(element, at + 3, element.find(quote, at + 3), cell.column, row);
      }
      at = element.find("r=", at + 2);
    }
  }
  XmlScanner scanner(element.data(), element.size());
  XmlScanner::Tag tag = scanner.ReadTag();
  // Start tag: every attribute kept, r set to the cell's new place.
  scratch_ += '<';
  scratch_.append(tag.qname);
  scratch_ += " r=\"";
  AppendColumnLetters(scratch_, cell.column);
  scratch_ += std::to_string(row);
  scratch_ += '"';
  const char* cursor = tag.attrs;
  std::string_view name, value;
  while (XmlScanner::NextAttribute(cursor, tag.end, name, value)) {
    if (name == "r") continue;
    AppendAttribute(scratch_, name, value);
  }
  if (tag.selfClosing) {
    scratch_ += "/>";
    return;
  }
  scratch_ += '>';
  const char* contentBegin = tag.end;
  if (!(cell.flags & SheetData::kFormulaChanged)) {
    scratch_.append(contentBegin, element.data() + element.size() - contentBegin);
    return;
  }
  // Replace the <f> element by one holding the new formula; the shared
  // formula attributes go, since the formula now stands on its own. An
  // array formula stays one, its ref naming its new area.
  const std::string& formula = *sheet_.formulas_.Find(cell.begin);
  const std::string* arrayRef = sheet_.arrayRefs_.Find(cell.begin);
  bool array = (cell.flags & SheetData::kArrayFormula) && arrayRef;
  const char* copied = contentBegin;
  while (true) {
    scanner.SkipMisc(true);
    if (scanner.AtEnd()) break;
    const char* childBegin = scanner.Position();
    XmlScanner::Tag child = scanner.ReadTag();
    if (child.isEnd) break;
    const char* childEnd = child.end;
    if (!child.selfClosing) {
      scanner.SkipContent(child);
      childEnd = scanner.Position();
    }
    if (child.local != "f") continue;
    scratch_.append(copied, childBegin - copied);
    scratch_ += '<';
    scratch_.append(child.qname);
    const char* c2 = child.attrs;
    while (XmlScanner::NextAttribute(c2, child.end, name, value)) {
      if (array && name == "t") {
        AppendAttribute(scratch_, name, value);
      } else if (array && name == "ref") {
        scratch_ += " ref=\"";
        scratch_ += *arrayRef;
        scratch_ += '"';
      }
      if (name == "t" || name == "ref" || name == "si") continue;
      AppendAttribute(scratch_, name, value);
    }
    scratch_ += '>';
    AppendEscapedXml(scratch_, formula);
    scratch_ += "</";
    scratch_.append(child.qname);
    scratch_ += '>';
    copied = childEnd;
  }
  scratch_.append(copied, element.data() + element.size() - copied);
}

PartProducer SheetData::Writer() const {
  auto writer = std::make_shared<SheetWriter>(*this);
  return [writer]() { return writer->Next(); };
}

}  // namespace host::ooxml
