#include "host/formats/ooxml/SheetData.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "host/core/DateSerial.h"
#include "host/core/FormulaShift.h"
#include "host/core/HugePages.h"
#include "host/formats/ooxml/OoxmlEscapes.h"
#include "host/io/SplitScan.h"

namespace host::ooxml {

namespace {

inline bool IsSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool ParseUnsigned(std::string_view s, uint64_t& value) {
  s = Trim(s);
  if (s.empty()) return false;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return ec == std::errc() && ptr == s.data() + s.size();
}

bool ParseInt(std::string_view s, long& value) {
  s = Trim(s);
  if (s.empty()) return false;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return ec == std::errc() && ptr == s.data() + s.size();
}

bool ParseDouble(std::string_view s, double& value) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return ec == std::errc() && ptr == s.data() + s.size() && std::isfinite(value);
}

std::string CellName(int row, int column) {
  std::string name = ColumnLetters(column);
  name += std::to_string(row);
  return name;
}

}  // namespace

bool SheetData::IsoDateToSerial(std::string_view text, bool date1904, double& serial) {
  return host::IsoDateToSerial(Trim(text), date1904, serial);
}

SheetData::SheetData(PartBytes xml, size_t sharedCount, size_t styleCount)
    : bytes_(std::move(xml)), xml_(bytes_.View()) {
  if (xml_.size() >= (uint64_t(1) << 32) - 1) throw XmlFault{"the sheet is too large"};
  Scan(sharedCount, styleCount);
}

void SheetData::Scan(size_t sharedCount, size_t styleCount) {
  XmlScanner scanner(xml_.data(), xml_.size());
  scanner.SkipProlog();
  XmlScanner::Tag root = scanner.ReadTag();
  if (root.isEnd || root.local != "worksheet") scanner.FailAt(root.begin, "the root element is not <worksheet>");
  bool sawSheetData = false;
  if (!root.selfClosing) {
    while (true) {
      scanner.SkipMisc();
      if (scanner.AtEnd()) scanner.FailAt(root.begin, "<worksheet> is never closed");
      XmlScanner::Tag tag = scanner.ReadTag();
      if (tag.isEnd) {
        if (tag.qname != root.qname) scanner.FailAt(tag.begin, "mismatched end tag");
        break;
      }
      if (tag.local == "sheetData" && !sawSheetData) {
        sawSheetData = true;
        ScanSheetData(scanner, tag, sharedCount, styleCount);
      } else if (tag.local == "mergeCells" && !tag.selfClosing) {
        ReadMergeCells(scanner, tag);
      } else if (tag.local == "sheetProtection") {
        ReadProtection(tag);
        if (!tag.selfClosing) scanner.SkipContent(tag);
      } else if (tag.local == "hyperlinks" && sawSheetData && hyperlinksEnd_ == 0) {
        hyperlinksBegin_ = static_cast<uint32_t>(scanner.OffsetOf(tag.begin));
        if (!tag.selfClosing) scanner.SkipContent(tag);
        hyperlinksEnd_ = static_cast<uint32_t>(scanner.Offset());
      } else if (!tag.selfClosing) {
        scanner.SkipContent(tag);
      }
    }
  }
  scanner.SkipMisc();
  if (!scanner.AtEnd()) scanner.Fail("content after the root element");
  if (!sawSheetData) throw XmlFault{"the sheet has no <sheetData>"};
}

void SheetData::ReadMergeCells(XmlScanner& scanner, const XmlScanner::Tag& start) {
  while (true) {
    scanner.SkipMisc();
    XmlScanner::Tag tag = scanner.ReadTag();
    if (tag.isEnd) {
      if (tag.qname != start.qname) scanner.FailAt(tag.begin, "mismatched end tag");
      return;
    }
    if (tag.local == "mergeCell") {
      const char* cursor = tag.attrs;
      std::string_view name, value;
      while (XmlScanner::NextAttribute(cursor, tag.end, name, value)) {
        if (name == "ref") {
          CellArea area;
          if (!ParseAreaReference(value, area)) scanner.FailAt(tag.begin, "malformed merged area \"" + std::string(value) + "\"");
          merged_.push_back(area);
        }
      }
    }
    if (!tag.selfClosing) scanner.SkipContent(tag);
  }
}

void SheetData::ReadProtection(const XmlScanner::Tag& tag) {
  // The sheet flag turns protection on; sort and formatRows are true (the
  // action is locked) unless written as false.
  bool on = false, sortLocked = true, rowsLocked = true;
  const char* cursor = tag.attrs;
  std::string_view name, value;
  auto truth = [](std::string_view v) { return v == "1" || v == "true"; };
  while (XmlScanner::NextAttribute(cursor, tag.end, name, value)) {
    if (name == "sheet") on = truth(value);
    else if (name == "sort") sortLocked = truth(value);
    else if (name == "formatRows") rowsLocked = truth(value);
  }
  sortProtected_ = on && sortLocked;
  rowFormattingProtected_ = on && rowsLocked;
}

void SheetData::ScanSheetData(XmlScanner& scanner, const XmlScanner::Tag& tag, size_t sharedCount,
                              size_t styleCount) {
  sheetDataBegin_ = static_cast<uint32_t>(scanner.OffsetOf(tag.begin));
  sheetDataStartEnd_ = static_cast<uint32_t>(scanner.OffsetOf(tag.end));
  prefix_ = std::string(tag.qname.substr(0, tag.qname.size() - tag.local.size()));
  if (tag.selfClosing) {
    sheetDataSelfClosing_ = true;
    sheetDataClose_ = sheetDataEnd_ = sheetDataStartEnd_;
    return;
  }
  // Room for as many cells as the bytes could hold at about 24 bytes each:
  // reserved pages that are never written cost no memory, and growing the
  // vector would copy it.
  cells_.reserve(xml_.size() / 24 + 16);
  rows_.reserve(xml_.size() / 64 + 16);
  // The second half is scanned from a row start tag near the middle; it is
  // taken only when the first half ends exactly there (so the tag was a row
  // start tag of sheetData, not text inside a cell or a comment) and its rows
  // follow on (see SplitScan).
  RowsScan second;
  const char* at = FindSplitTag(xml_, sheetDataStartEnd_, "<" + prefix_ + "row");
  SplitScan split(at, [&](const SplitScan&) {
    const size_t bytes = static_cast<size_t>(xml_.data() + xml_.size() - at);
    second.cells.reserve(bytes / 24 + 16);
    second.rows.reserve(bytes / 64 + 16);
    XmlScanner from(xml_.data(), xml_.size());
    from.SetPosition(at);
    int lastRow = 0;
    return ScanRows(from, tag, second, lastRow, nullptr, true, sharedCount, styleCount) == RowsEnd::Closed;
  });

  int lastRow = 0;
  RowsEnd end = ScanRows(scanner, tag, scan_, lastRow, &split, false, sharedCount, styleCount);
  if (end == RowsEnd::AtSplit) {
    if (split.Join() && (second.rows.empty() || second.rows.front().row > lastRow)) {
      const auto firstCell = static_cast<uint32_t>(cells_.size());
      for (RowRecord& row : second.rows) row.firstCell += firstCell;
      cells_.insert(cells_.end(), second.cells.begin(), second.cells.end());
      rows_.insert(rows_.end(), second.rows.begin(), second.rows.end());
      for (auto& [id, master] : second.sharedMasters) sharedMasters_[id] = std::move(master);
      arrays_.insert(arrays_.end(), second.arrays.begin(), second.arrays.end());
      arrayMetadata_.insert(arrayMetadata_.end(), second.arrayMetadata.begin(), second.arrayMetadata.end());
      holdsFormulas_ = holdsFormulas_ || second.holdsFormulas;
      scan_.close = second.close;
      scan_.end = second.end;
    } else {
      end = ScanRows(scanner, tag, scan_, lastRow, nullptr, false, sharedCount, styleCount);
    }
  }
  sheetDataClose_ = scan_.close;
  sheetDataEnd_ = scan_.end;
  scanner.SetPosition(xml_.data() + sheetDataEnd_);
}

SheetData::RowsEnd SheetData::ScanRows(XmlScanner& scanner, const XmlScanner::Tag& tag, RowsScan& into, int& lastRow,
                                       SplitScan* split, bool secondHalf, size_t sharedCount,
                                       size_t styleCount) const {
  while (true) {
    scanner.SkipMisc();
    if (split && split->Reached(scanner.Position())) return RowsEnd::AtSplit;
    if (scanner.AtEnd()) scanner.FailAt(tag.begin, "<sheetData> is never closed");
    XmlScanner::Tag rowTag = scanner.ReadTag();
    if (rowTag.isEnd) {
      if (rowTag.qname != tag.qname) scanner.FailAt(rowTag.begin, "mismatched end tag in <sheetData>");
      into.close = static_cast<uint32_t>(scanner.OffsetOf(rowTag.begin));
      into.end = static_cast<uint32_t>(scanner.OffsetOf(rowTag.end));
      return RowsEnd::Closed;
    }
    if (rowTag.local != "row") {
      if (!rowTag.selfClosing) scanner.SkipContent(rowTag);
      continue;
    }
    RowRecord row{};
    row.row = 0;
    row.hiddenSet = -1;
    const char* cursor = rowTag.attrs;
    std::string_view name, value;
    while (XmlScanner::NextAttribute(cursor, rowTag.end, name, value)) {
      if (name == "r") {
        long r = 0;
        if (!ParseInt(value, r) || r < 1 || r > kMaxRows)
          scanner.FailAt(rowTag.begin, "row number \"" + std::string(value) + "\" is malformed or beyond row 1048576");
        row.row = static_cast<int32_t>(r);
      } else if (name == "hidden") {
        row.hiddenOriginal = (value == "1" || value == "true") ? 1 : 0;
      }
    }
    if (row.row == 0) {
      // Its number follows from the rows before, which only the first half knows.
      if (secondHalf) return RowsEnd::Unsure;
      if (lastRow >= kMaxRows) scanner.FailAt(rowTag.begin, "more rows than a sheet holds");
      row.row = lastRow + 1;
    }
    if (row.row <= lastRow)
      scanner.FailAt(rowTag.begin, "row " + std::to_string(row.row) + " comes after row " + std::to_string(lastRow) +
                                       " (rows out of order or repeated)");
    lastRow = row.row;
    row.begin = static_cast<uint32_t>(scanner.OffsetOf(rowTag.begin));
    row.startEnd = static_cast<uint32_t>(scanner.OffsetOf(rowTag.end));
    row.firstCell = static_cast<uint32_t>(into.cells.size());
    if (rowTag.selfClosing) {
      row.tailBegin = row.closeBegin = row.end = row.startEnd;
    } else {
      ScanRow(scanner, rowTag, row, into, sharedCount, styleCount);
    }
    row.cellCount = static_cast<uint32_t>(into.cells.size() - row.firstCell);
    into.rows.push_back(row);
  }
}

void SheetData::ScanRow(XmlScanner& scanner, const XmlScanner::Tag& rowTag, RowRecord& row, RowsScan& into,
                        size_t sharedCount, size_t styleCount) const {
  int lastColumn = 0;
  row.tailBegin = row.startEnd;
  while (true) {
    scanner.SkipMisc();
    if (scanner.AtEnd()) scanner.FailAt(rowTag.begin, "<row> is never closed");
    if (ScanPlainCell(scanner, row.row, lastColumn, into, sharedCount, styleCount)) {
      row.tailBegin = static_cast<uint32_t>(scanner.Offset());
      continue;
    }
    XmlScanner::Tag tag = scanner.ReadTag();
    if (tag.isEnd) {
      if (tag.qname != rowTag.qname) scanner.FailAt(tag.begin, "mismatched end tag in row " + std::to_string(row.row));
      row.closeBegin = static_cast<uint32_t>(scanner.OffsetOf(tag.begin));
      row.end = static_cast<uint32_t>(scanner.OffsetOf(tag.end));
      return;
    }
    if (tag.local == "c") {
      ScanCell(scanner, tag, row.row, lastColumn, into, sharedCount, styleCount);
      row.tailBegin = static_cast<uint32_t>(scanner.Offset());
    } else if (!tag.selfClosing) {
      scanner.SkipContent(tag);
    }
  }
}

void SheetData::ScanCell(XmlScanner& scanner, const XmlScanner::Tag& tag, int row, int& lastColumn, RowsScan& into,
                         size_t sharedCount, size_t styleCount) const {
  CellRecord cell{};
  cell.begin = static_cast<uint32_t>(scanner.OffsetOf(tag.begin));
  cell.kind = ValueKind::Number;
  int column = 0;
  const char* cursor = tag.attrs;
  std::string_view name, value;
  std::string_view type;
  uint64_t metadata = 0;  // cm: the cell's metadata block
  while (XmlScanner::NextAttribute(cursor, tag.end, name, value)) {
    if (name.size() != 1) {
      if (name == "cm" && (!ParseUnsigned(value, metadata) || metadata > 0xFFFFFFFFu)) metadata = 0;
      continue;
    }
    switch (name[0]) {
      case 'r': {
        int r = 0;
        if (!ParsePlainCellReference(value, r, column))
          scanner.FailAt(tag.begin, "cell reference \"" + std::string(value) + "\" is malformed or beyond XFD1048576");
        if (r != row)
          scanner.FailAt(tag.begin, "cell " + std::string(value) + " stands in row " + std::to_string(row));
        break;
      }
      case 's': {
        uint64_t s = 0;
        if (!ParseUnsigned(value, s)) scanner.FailAt(tag.begin, "malformed style index \"" + std::string(value) + "\"");
        if (s >= styleCount)
          scanner.FailAt(tag.begin, "cell " + CellName(row, column ? column : lastColumn + 1) + " uses unknown style " +
                                        std::to_string(s));
        cell.style = static_cast<uint32_t>(s);
        break;
      }
      case 't':
        type = value;
        break;
      default:
        break;
    }
  }
  if (column == 0) {
    cell.flags |= kImplicitRef;
    column = lastColumn + 1;
    if (column > kMaxColumns) scanner.FailAt(tag.begin, "more cells in row " + std::to_string(row) + " than a row holds");
  }
  PlaceCell(scanner, tag.begin, row, column, lastColumn, type, cell);

  bool hasValue = false;
  std::string_view valueText;
  const char* inlineBegin = nullptr;
  const char* inlineEnd = nullptr;
  if (!tag.selfClosing) {
    while (true) {
      scanner.SkipMisc();
      if (scanner.AtEnd()) scanner.FailAt(tag.begin, "<c> is never closed");
      XmlScanner::Tag child = scanner.ReadTag();
      if (child.isEnd) {
        if (child.qname != tag.qname) scanner.FailAt(child.begin, "mismatched end tag in cell " + CellName(row, column));
        break;
      }
      if (child.local == "v") {
        hasValue = true;
        // An empty value (<v/>) still points into the part: spans are kept
        // as offsets from the part's start.
        valueText = std::string_view(child.end, 0);
        if (!child.selfClosing) {
          valueText = scanner.ReadContent();
          scanner.ExpectEnd(child);
        }
      } else if (child.local == "f") {
        cell.flags |= kFormula;
        std::string_view ft, ref, si;
        const char* c2 = child.attrs;
        while (XmlScanner::NextAttribute(c2, child.end, name, value)) {
          if (name == "t") ft = value;
          else if (name == "ref") ref = value;
          else if (name == "si") si = value;
        }
        std::string_view text;
        if (!child.selfClosing) {
          text = scanner.ReadText();
          scanner.ExpectEnd(child);
        }
        if (ft == "shared") {
          cell.flags |= kSharedFormula;
          uint64_t id = 0;
          if (!ParseUnsigned(si, id) || id > 0xFFFFFFFFu)
            scanner.FailAt(child.begin, "shared formula of cell " + CellName(row, column) + " has no valid si");
          if (!ref.empty() && !text.empty()) {
            cell.flags |= kSharedMaster;
            into.sharedMasters[static_cast<uint32_t>(id)] = SharedMaster{row, column, DecodeXml(text)};
          }
        } else if (ft == "array" || ft == "dataTable") {
          cell.flags |= kArrayFormula;
          CellArea area{row, column, row, column};
          if (!ref.empty() && !ParseAreaReference(ref, area))
            scanner.FailAt(child.begin, "malformed formula area \"" + std::string(ref) + "\"");
          into.arrays.push_back(area);
          into.arrayMetadata.push_back(static_cast<uint32_t>(metadata));
        }
      } else if (child.local == "is") {
        if (!child.selfClosing) {
          inlineBegin = child.end;
          inlineEnd = scanner.SkipContent(child);
        } else {
          inlineBegin = inlineEnd = child.end;
        }
      } else if (!child.selfClosing) {
        scanner.SkipContent(child);
      }
    }
  }
  cell.length = static_cast<uint32_t>(scanner.Offset() - cell.begin);
  if (cell.flags & kFormula) {
    into.holdsFormulas = true;
    // Written by a program that does not calculate: the result is unknown,
    // which is not the same as empty.
    if (!hasValue) cell.flags |= kUncalculated;
  }
  AddCell(scanner, tag.begin, row, column, hasValue, valueText, inlineBegin, inlineEnd, cell, into, sharedCount);
}

bool SheetData::ScanPlainCell(XmlScanner& scanner, int row, int& lastColumn, RowsScan& into, size_t sharedCount,
                              size_t styleCount) const {
  // Most cells a spreadsheet program writes take one shape: an r, s and t
  // attribute of letters and digits each, and a value that is plain text. This
  // reads that shape byte by byte and hands anything else (another
  // attribute, a formula, inline text, character references, comments,
  // other spacing, a fault) to the full reading, which then starts afresh
  // at the same place. The checks after the bytes are the full reading's own.
  const char* const begin = scanner.Position();
  const char* const end = scanner.End();
  if (end - begin < 4 || begin[0] != '<' || begin[1] != 'c' || begin[2] != ' ') return false;
  const char* p = begin + 2;
  std::string_view ref, style, type;
  bool haveRef = false, haveStyle = false, haveType = false;
  while (p < end && *p == ' ') {
    ++p;
    if (end - p < 3 || p[1] != '=' || p[2] != '"') return false;
    std::string_view* slot;
    bool* seen;
    switch (*p) {
      case 'r': slot = &ref, seen = &haveRef; break;
      case 's': slot = &style, seen = &haveStyle; break;
      case 't': slot = &type, seen = &haveType; break;
      default: return false;
    }
    if (*seen) return false;
    *seen = true;
    p += 3;
    const char* valueBegin = p;
    while (p < end && ((*p >= '0' && *p <= '9') || (*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z'))) ++p;
    if (p >= end || *p != '"') return false;
    *slot = std::string_view(valueBegin, static_cast<size_t>(p - valueBegin));
    ++p;
  }
  if (!haveRef || p >= end) return false;
  bool hasValue = false;
  std::string_view valueText;
  if (*p == '/') {
    if (end - p < 2 || p[1] != '>') return false;
    p += 2;
  } else if (*p == '>') {
    ++p;
    if (end - p >= 4 && std::memcmp(p, "</c>", 4) == 0) {
      p += 4;
    } else {
      if (end - p < 3 || std::memcmp(p, "<v>", 3) != 0) return false;
      p += 3;
      const char* valueBegin = p;
      while (p < end && *p != '<' && *p != '&') ++p;
      if (end - p < 8 || std::memcmp(p, "</v></c>", 8) != 0) return false;
      valueText = std::string_view(valueBegin, static_cast<size_t>(p - valueBegin));
      hasValue = true;
      p += 8;
    }
  } else {
    return false;
  }
  int r = 0, column = 0;
  uint64_t s = 0;
  if (!ParsePlainCellReference(ref, r, column) || r != row) return false;
  if (haveStyle && (!ParseUnsigned(style, s) || s >= styleCount)) return false;
  CellRecord cell{};
  cell.begin = static_cast<uint32_t>(scanner.OffsetOf(begin));
  cell.length = static_cast<uint32_t>(p - begin);
  cell.style = static_cast<uint32_t>(s);
  PlaceCell(scanner, begin, row, column, lastColumn, type, cell);
  scanner.SetPosition(p);
  AddCell(scanner, begin, row, column, hasValue, valueText, nullptr, nullptr, cell, into, sharedCount);
  return true;
}

void SheetData::PlaceCell(XmlScanner& scanner, const char* cellBegin, int row, int column, int& lastColumn,
                          std::string_view type, CellRecord& cell) const {
  if (column <= lastColumn)
    scanner.FailAt(cellBegin, "cell " + CellName(row, column) + " comes after " + CellName(row, lastColumn) +
                                  " (cells out of order or repeated)");
  lastColumn = column;
  cell.column = static_cast<uint16_t>(column);
  if (type.empty() || type == "n") cell.kind = ValueKind::Number;
  else if (type == "s") cell.kind = ValueKind::Shared;
  else if (type == "str") cell.kind = ValueKind::String;
  else if (type == "inlineStr") cell.kind = ValueKind::Inline;
  else if (type == "b") cell.kind = ValueKind::Boolean;
  else if (type == "e") cell.kind = ValueKind::Error;
  else if (type == "d") cell.kind = ValueKind::IsoDate;
  else scanner.FailAt(cellBegin, "cell " + CellName(row, column) + " has unknown type \"" + std::string(type) + "\"");
}

void SheetData::AddCell(XmlScanner& scanner, const char* cellBegin, int row, int column, bool hasValue,
                        std::string_view valueText, const char* inlineBegin, const char* inlineEnd, CellRecord& cell,
                        RowsScan& into, size_t sharedCount) const {
  // A value written with character references ("&#49;") or in a CDATA
  // section is read decoded.
  std::string decodedValue;
  if (cell.kind != ValueKind::String && cell.kind != ValueKind::Error && cell.kind != ValueKind::IsoDate &&
      cell.kind != ValueKind::Inline && valueText.find_first_of("&<") != std::string_view::npos) {
    decodedValue = DecodeTextContent(valueText);
    valueText = decodedValue;
  }
  auto setSpan = [&](std::string_view text) {
    cell.value.span.offset = static_cast<uint32_t>(text.data() - xml_.data());
    cell.value.span.size = static_cast<uint32_t>(text.size());
  };
  switch (cell.kind) {
    case ValueKind::Number:
      if (!hasValue || Trim(valueText).empty()) {
        cell.kind = ValueKind::Blank;
      } else if (!ParseDouble(valueText, cell.value.number)) {
        scanner.FailAt(cellBegin, "cell " + CellName(row, column) + " holds \"" + std::string(valueText.substr(0, 40)) +
                                      "\", which is not a number");
      }
      break;
    case ValueKind::Shared: {
      uint64_t index = 0;
      if (!hasValue || Trim(valueText).empty()) {
        cell.kind = ValueKind::Blank;
      } else if (!ParseUnsigned(valueText, index) || index >= sharedCount) {
        scanner.FailAt(cellBegin, "cell " + CellName(row, column) + " refers to shared string " +
                                      std::string(Trim(valueText).substr(0, 20)) + ", but the workbook has " +
                                      std::to_string(sharedCount));
      } else {
        cell.value.index = index;
      }
      break;
    }
    case ValueKind::Boolean: {
      std::string_view v = Trim(valueText);
      if (!hasValue || v.empty()) cell.kind = ValueKind::Blank;
      else if (v == "1" || v == "true") cell.value.number = 1;
      else if (v == "0" || v == "false") cell.value.number = 0;
      else scanner.FailAt(cellBegin, "cell " + CellName(row, column) + " holds a malformed boolean");
      break;
    }
    case ValueKind::Inline:
      if (!inlineBegin) {
        if (hasValue) {
          cell.kind = ValueKind::String;
          setSpan(valueText);
        } else {
          cell.kind = ValueKind::Blank;
        }
      } else {
        setSpan(std::string_view(inlineBegin, inlineEnd - inlineBegin));
      }
      break;
    case ValueKind::String:
    case ValueKind::Error:
    case ValueKind::IsoDate:
      if (!hasValue) cell.kind = cell.kind == ValueKind::String && (cell.flags & kFormula) ? ValueKind::String : ValueKind::Blank;
      setSpan(hasValue ? valueText : std::string_view(xml_.data() + cell.begin, 0));
      break;
    case ValueKind::Blank:
      break;
  }
  into.cells.push_back(cell);
}

const SheetData::RowRecord* SheetData::FindRow(int row) const {
  // Most sheets hold every row of their block: the row's place is its number.
  if (!rows_.empty() && row >= rows_.front().row) {
    const size_t guess = static_cast<size_t>(row - rows_.front().row);
    if (guess < rows_.size() && rows_[guess].row == row) return &rows_[guess];
  }
  auto it = std::lower_bound(rows_.begin(), rows_.end(), row,
                             [](const RowRecord& r, int value) { return r.row < value; });
  return it != rows_.end() && it->row == row ? &*it : nullptr;
}

const SheetData::CellRecord* SheetData::Find(int row, int column) const {
  const RowRecord* r = FindRow(row);
  if (!r || r->cellCount == 0) return nullptr;
  const CellRecord* first = cells_.data() + r->firstCell;
  const CellRecord* last = first + r->cellCount;
  const CellRecord* it = std::lower_bound(first, last, column,
                                          [](const CellRecord& c, int value) { return c.column < value; });
  return it != last && it->column == column ? it : nullptr;
}

bool SheetData::UsedArea(CellArea& area) const {
  if (!usedValid_) {
    usedAny_ = false;
    int minColumn = kMaxColumns + 1, maxColumn = 0, minRow = 0, maxRow = 0;
    for (const RowRecord& r : rows_) {
      if (r.cellCount == 0) continue;
      if (!usedAny_) minRow = r.row;
      usedAny_ = true;
      maxRow = r.row;
      // Cells are sorted by column: the first and last decide.
      minColumn = std::min<int>(minColumn, cells_[r.firstCell].column);
      maxColumn = std::max<int>(maxColumn, cells_[r.firstCell + r.cellCount - 1].column);
    }
    if (usedAny_) used_ = CellArea{minRow, minColumn, maxRow, maxColumn};
    usedValid_ = true;
  }
  if (usedAny_) area = used_;
  return usedAny_;
}

bool SheetData::RowHidden(int row) const {
  if (const RowRecord* r = FindRow(row)) return IsHidden(*r);
  auto it = createdRows_.find(row);
  return it != createdRows_.end() && it->second;
}

void SheetData::SetRowHidden(int row, bool hidden) {
  if (RowHidden(row) == hidden) return;
  auto it = std::lower_bound(rows_.begin(), rows_.end(), row,
                             [](const RowRecord& r, int value) { return r.row < value; });
  if (it != rows_.end() && it->row == row) {
    RowRecord& r = *it;
    r.hiddenSet = (hidden == (r.hiddenOriginal == 1)) && !r.created ? -1 : (hidden ? 1 : 0);
  } else if (hidden) {
    createdRows_[row] = true;
  } else {
    createdRows_.erase(row);
  }
  modified_ = true;
}

std::string SheetData::InlineText(const CellRecord& cell) const {
  std::string out;
  std::string_view content = Span(cell.value.span.offset, cell.value.span.size);
  XmlScanner scanner(content.data(), content.size());
  // <is> holds <t>, or runs <r> with a <t> each, and phonetic runs <rPh> to leave out.
  while (!scanner.AtEnd()) {
    scanner.SkipMisc(true);
    if (scanner.AtEnd()) break;
    XmlScanner::Tag tag = scanner.ReadTag();
    if (tag.isEnd || tag.selfClosing) continue;
    if (tag.local == "rPh" || tag.local == "phoneticPr" || tag.local == "rPr") {
      scanner.SkipContent(tag);
      continue;
    }
    if (tag.local == "t") AppendTextContent(out, scanner.ReadContent());
  }
  return HasOoxmlEscape(out) ? DecodeOoxmlEscapes(out) : out;
}

std::string SheetData::FormulaOf(const CellRecord& cell, int row) const {
  if (!(cell.flags & kFormula)) return {};
  return CurrentFormula(cell, row);
}

std::string SheetData::CurrentFormula(const CellRecord& cell, int row) const {
  if (cell.flags & kFormulaChanged) {
    const std::string* formula = formulas_.Find(cell.begin);
    return formula ? *formula : std::string();
  }
  std::string_view element = Span(cell.begin, cell.length);
  XmlScanner scanner(element.data(), element.size());
  XmlScanner::Tag tag = scanner.ReadTag();
  if (tag.selfClosing) return {};
  while (true) {
    scanner.SkipMisc(true);
    if (scanner.AtEnd()) return {};
    XmlScanner::Tag child = scanner.ReadTag();
    if (child.isEnd) return {};
    if (child.local != "f") {
      if (!child.selfClosing) scanner.SkipContent(child);
      continue;
    }
    std::string_view text;
    if (!child.selfClosing) text = scanner.ReadText();
    if (!(cell.flags & kSharedFormula) || (cell.flags & kSharedMaster)) return DecodeXml(text);
    // A dependent of a shared formula: the master's formula moved to this cell.
    const char* cursor = child.attrs;
    std::string_view name, value;
    uint64_t si = 0;
    while (XmlScanner::NextAttribute(cursor, child.end, name, value))
      if (name == "si") si = std::strtoull(std::string(value).c_str(), nullptr, 10);
    auto it = sharedMasters_.find(static_cast<uint32_t>(si));
    if (it == sharedMasters_.end()) return DecodeXml(text);
    return ShiftFormula(it->second.formula, row - it->second.row, cell.column - it->second.column);
  }
}

}  // namespace host::ooxml
