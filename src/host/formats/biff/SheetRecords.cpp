#include "host/formats/biff/SheetRecords.h"

#include <algorithm>
#include <cstring>

#include "host/formats/biff/BiffRecords.h"
#include "host/formats/biff/ContinuedData.h"
#include "host/io/LittleEndian.h"
#include "host/io/MappedFile.h"
#include "host/io/PartMemory.h"

namespace host::biff {

using namespace host::io;  // the container and the byte helpers the records sit in

double DecodeRk(uint32_t rk) {
  double value;
  if (rk & 0x02) {
    value = static_cast<int32_t>(rk) >> 2;  // a 30-bit signed integer
  } else {
    uint64_t bits = static_cast<uint64_t>(rk & 0xFFFFFFFC) << 32;  // the high bits of a double
    std::memcpy(&value, &bits, sizeof value);
  }
  return rk & 0x01 ? value / 100 : value;
}

namespace {

// Decodes the cell records of one sheet; each Read* handles one record type.
class SheetReader {
 public:
  SheetReader(std::string_view stream, const std::vector<std::string>& strings, const std::string& streamName,
              const std::string& path, size_t offset, const MappedFile* mapped)
      : stream_(stream), strings_(strings), reader_(stream, offset, streamName, path), mapped_(mapped) {}

  SheetRecords Read();

 private:
  void Need(size_t size) const {
    if (record_.body.size() < size) reader_.Damaged(record_.type, record_.offset, "is too short");
  }
  void Add(uint16_t column) {
    if (column > kMaxCellColumn)
      reader_.Damaged(record_.type, record_.offset,
                      "names column " + std::to_string(column + 1) + ", beyond the last a sheet can have");
    CellRef& cell = sheet_.cells.emplace_back();
    cell.row = U16(record_.body, 0);
    cell.column = column;
    cell.recordOffset = static_cast<uint32_t>(record_.offset);
  }
  void AddSingle() {
    Need(6);
    Add(U16(record_.body, 2));
  }
  void ReadCell();
  void ReadMultiple();
  void ReadFormula();
  void ReadLayout();
  void ReadFormulaArea();

  std::string_view stream_;
  const std::vector<std::string>& strings_;
  RecordReader reader_;
  const MappedFile* mapped_;  // the view stream is, or nullptr
  Record record_;
  SheetRecords sheet_;
  long pendingString_ = -1;  // the formula cell whose text result the next STRING record holds
  long lastFormula_ = -1;    // the formula cell a SHRFMLA, ARRAY or TABLE record follows
};

RecordArea AreaAt(std::string_view body, size_t at, bool byteColumns) {
  RecordArea area;
  area.firstRow = U16(body, at);
  area.lastRow = U16(body, at + 2);
  area.firstColumn = byteColumns ? U8(body, at + 4) : U16(body, at + 4);
  area.lastColumn = byteColumns ? U8(body, at + 5) : U16(body, at + 6);
  return area;
}

SheetRecords SheetReader::Read() {
  if (stream_.size() > UINT32_MAX) reader_.Damaged(rt::kBof, 0, "lies in a stream larger than 4 GB");
  if (!reader_.Next(record_) || record_.type != rt::kBof)
    reader_.Damaged(record_.type, record_.offset, "stands where the sheet's BOF record must be");
  int depth = 1;
  while (reader_.Next(record_)) {
    if (record_.type == rt::kBof) {
      ++depth;  // a chart embedded in the sheet: its records are not the sheet's
      continue;
    }
    if (record_.type == rt::kEof && --depth == 0) {
      sheet_.end = record_.end;
      return std::move(sheet_);
    }
    if (mapped_) mapped_->PassedTo(record_.offset);
    if (depth > 1) continue;
    ReadCell();
  }
  reader_.Damaged(rt::kEof, stream_.size(), "is missing: the sheet substream has no end");
}

void SheetReader::ReadCell() {
  const std::string_view body = record_.body;
  // A formula's SHRFMLA, ARRAY, TABLE and STRING records follow it directly.
  if (record_.type != rt::kShrFmla && record_.type != rt::kArray && record_.type != rt::kTable &&
      record_.type != rt::kString)
    lastFormula_ = pendingString_ = -1;
  switch (record_.type) {
    case rt::kNumber:
      Need(14);
      AddSingle();
      break;
    case rt::kRk:
      Need(10);
      AddSingle();
      break;
    case rt::kLabelSst: {
      Need(10);
      uint32_t index = U32(body, 6);
      if (index >= strings_.size())
        reader_.Damaged(record_.type, record_.offset,
                        "refers to shared string " + std::to_string(index) + ", which the workbook does not hold");
      AddSingle();
      break;
    }
    case rt::kLabel:
    case rt::kRString: {
      Need(6);
      ContinuedData data(record_, reader_);
      data.Skip(6);
      data.UnicodeString();  // checked here, decoded when asked for
      AddSingle();
      break;
    }
    case rt::kBlank: AddSingle(); break;
    case rt::kBoolErr:
      Need(8);
      AddSingle();
      break;
    case rt::kMulRk:
    case rt::kMulBlank: ReadMultiple(); break;
    case rt::kFormula: ReadFormula(); break;
    case rt::kString: {
      if (pendingString_ < 0) break;  // a STRING with no formula before it carries nothing we show
      ContinuedData data(record_, reader_);
      data.UnicodeString();  // checked here, decoded when asked for
      pendingString_ = -1;
      return;
    }
    default: ReadLayout(); return;
  }
  // A formula's STRING record comes right after it (or after its SHRFMLA,
  // ARRAY or TABLE record); another cell ends the wait.
  if (record_.type != rt::kFormula) pendingString_ = -1;
}

void SheetReader::ReadMultiple() {
  const std::string_view body = record_.body;
  const bool numbers = record_.type == rt::kMulRk;
  const size_t width = numbers ? 6 : 2;
  Need(6 + width);
  size_t count = (body.size() - 6) / width;
  uint16_t first = U16(body, 2);
  uint16_t last = U16(body, body.size() - 2);
  if ((body.size() - 6) % width || last < first || static_cast<size_t>(last - first + 1) != count)
    reader_.Damaged(record_.type, record_.offset, "gives columns that do not match its length");
  for (size_t i = 0; i < count; ++i) Add(static_cast<uint16_t>(first + i));
}

void SheetReader::ReadFormula() {
  const std::string_view body = record_.body;
  Need(22);
  uint16_t length = U16(body, 20);
  if (body.size() < 22u + length) reader_.Damaged(record_.type, record_.offset, "is shorter than its formula");
  AddSingle();
  sheet_.holdsFormulas = true;
  lastFormula_ = static_cast<long>(sheet_.cells.size() - 1);
  pendingString_ = -1;
  if (U16(body, 12) != 0xFFFF) return;  // a number
  switch (U8(body, 6)) {
    case 0: pendingString_ = static_cast<long>(sheet_.cells.size() - 1); break;  // text, in a STRING record
    case 1:
    case 2:
    case 3: break;
    default: reader_.Damaged(record_.type, record_.offset, "has a cached result of unknown kind");
  }
}

void SheetReader::ReadFormulaArea() {
  const std::string_view body = record_.body;
  if (lastFormula_ < 0)
    reader_.Damaged(record_.type, record_.offset, "does not follow the formula cell it belongs to");
  FormulaArea area;
  area.type = record_.type;
  area.offset = record_.offset;
  area.anchorRow = sheet_.cells[lastFormula_].row;
  area.anchorColumn = sheet_.cells[lastFormula_].column;
  Need(6);
  area.area = AreaAt(body, 0, true);
  if (record_.type != rt::kTable) {
    size_t at = record_.type == rt::kShrFmla ? 8 : 12;
    Need(at + 2);
    area.formulaLength = U16(body, at);
    if (body.size() < at + 2 + area.formulaLength)
      reader_.Damaged(record_.type, record_.offset, "is shorter than its formula");
    area.formulaOffset = static_cast<uint32_t>(record_.offset + 4 + at + 2);
    area.extraOffset = area.formulaOffset + area.formulaLength;
    area.extraLength = static_cast<uint16_t>(body.size() - (at + 2 + area.formulaLength));
  }
  sheet_.formulaAreas.push_back(area);
}

void SheetReader::ReadLayout() {
  const std::string_view body = record_.body;
  switch (record_.type) {
    case rt::kDimensions:
      Need(12);
      sheet_.firstRow = U32(body, 0);
      sheet_.lastRowPlus1 = U32(body, 4);
      sheet_.firstColumn = U16(body, 8);
      sheet_.lastColumnPlus1 = U16(body, 10);
      sheet_.dimensionsOffset = record_.offset;
      // Room for the cells the used area may hold, within what the rest of
      // the stream can encode (6 bytes a cell at the least in MULRK).
      if (sheet_.lastRowPlus1 > sheet_.firstRow && sheet_.lastColumnPlus1 > sheet_.firstColumn) {
        sheet_.cells.reserve(std::min<uint64_t>(
            uint64_t{sheet_.lastRowPlus1 - sheet_.firstRow} * (sheet_.lastColumnPlus1 - sheet_.firstColumn),
            (stream_.size() - record_.end) / 6));
        AdviseReserved(sheet_.cells);
      }
      break;
    case rt::kRow: {
      Need(16);
      RowRecord& row = sheet_.rows.emplace_back();
      row.row = U16(body, 0);
      row.firstColumn = U16(body, 2);
      row.lastColumnPlus1 = U16(body, 4);
      row.hidden = U8(body, 12) & 0x20;
      row.offset = static_cast<uint32_t>(record_.offset);
      break;
    }
    case rt::kIndex:
      Need(16);
      sheet_.indexOffset = record_.offset;
      for (size_t at = 16; at + 4 <= body.size(); at += 4) sheet_.indexedDbCells.push_back(U32(body, at));
      break;
    case rt::kDbCell: sheet_.dbCells.push_back(record_.offset); break;
    case rt::kMergeCells: {
      Need(2);
      size_t count = U16(body, 0);
      if (body.size() < 2 + 8 * count) reader_.Damaged(record_.type, record_.offset, "is shorter than its areas");
      for (size_t i = 0; i < count; ++i) sheet_.merged.push_back(AreaAt(body, 2 + 8 * i, false));
      break;
    }
    case rt::kShrFmla:
    case rt::kArray:
    case rt::kTable: ReadFormulaArea(); break;
    case rt::kNote:
      Need(8);
      sheet_.anchored.push_back({record_.type, record_.offset, {U16(body, 0), U16(body, 0), U16(body, 2), U16(body, 2)}});
      break;
    case rt::kHLink:
      Need(8);
      sheet_.anchored.push_back({record_.type, record_.offset, AreaAt(body, 0, false)});
      break;
    case rt::kHLinkTooltip:
      Need(10);
      sheet_.anchored.push_back({record_.type, record_.offset, AreaAt(body, 2, false)});
      break;
    case rt::kProtect:
      Need(2);
      sheet_.protectedSheet = U16(body, 0) != 0;
      break;
    case rt::kFeatHeader:
      // Sheet protection (isf 2) with its EnhancedProtection bits.
      if (body.size() >= 23 && U16(body, 12) == 2 && U32(body, 15) >= 4) {
        sheet_.enhancedProtection = true;
        sheet_.protectionAllows = U32(body, 19);
      }
      break;
    case rt::kDefaultRowHeight:
      Need(4);
      sheet_.defaultRowHeight = U16(body, 2);
      break;
    default: break;
  }
}

}  // namespace

namespace {

// The STRING record holding the text result of the formula whose record is
// at offset: it follows the formula, after its SHRFMLA, ARRAY or TABLE record
// (charts embedded between are passed over, as the reader does).
uint32_t StringRecordAfter(std::string_view stream, size_t offset) {
  RecordReader reader(stream, offset, "Workbook", std::string());
  Record record;
  reader.Next(record);
  int depth = 0;
  while (reader.Next(record)) {
    if (record.type == rt::kBof) {
      ++depth;
      continue;
    }
    if (depth > 0) {
      if (record.type == rt::kEof) --depth;
      continue;
    }
    if (record.type == rt::kString) return static_cast<uint32_t>(record.offset);
    if (record.type != rt::kShrFmla && record.type != rt::kArray && record.type != rt::kTable) break;
  }
  return UINT32_MAX;
}

}  // namespace

CellRecord DecodeCell(std::string_view stream, const CellRef& ref) {
  CellRecord cell;
  cell.recordOffset = ref.recordOffset;
  cell.row = ref.row;
  cell.column = ref.column;
  const size_t at = ref.recordOffset;
  cell.recordType = U16(stream, at);
  const std::string_view body = stream.substr(at + 4, U16(stream, at + 2));
  switch (cell.recordType) {
    case rt::kMulRk:
    case rt::kMulBlank: {
      const bool numbers = cell.recordType == rt::kMulRk;
      const size_t item = 4 + (ref.column - U16(body, 2)) * (numbers ? 6 : 2);
      cell.xf = U16(body, item);
      if (numbers) {
        cell.kind = CellKind::Number;
        cell.number = DecodeRk(U32(body, item + 2));
      }
      return cell;
    }
    default: break;
  }
  cell.xf = U16(body, 4);
  switch (cell.recordType) {
    case rt::kNumber:
      cell.kind = CellKind::Number;
      cell.number = F64(body, 6);
      break;
    case rt::kRk:
      cell.kind = CellKind::Number;
      cell.number = DecodeRk(U32(body, 6));
      break;
    case rt::kLabelSst:
      cell.kind = CellKind::Text;
      cell.sharedString = U32(body, 6);
      break;
    case rt::kLabel:
    case rt::kRString:
      cell.kind = CellKind::Text;
      cell.textRecord = ref.recordOffset;
      break;
    case rt::kBoolErr:
      cell.kind = U8(body, 7) ? CellKind::Error : CellKind::Boolean;
      cell.code = U8(body, 6);
      break;
    case rt::kFormula:
      cell.kind = CellKind::Formula;
      cell.formulaOffset = ref.recordOffset + 4 + 22;
      cell.formulaLength = U16(body, 20);
      if (U16(body, 12) != 0xFFFF) {
        cell.result = ResultKind::Number;
        cell.number = F64(body, 6);
        break;
      }
      switch (U8(body, 6)) {
        case 0:
          cell.result = ResultKind::Text;
          cell.textRecord = StringRecordAfter(stream, ref.recordOffset);
          break;
        case 1:
        case 2:
          cell.result = U8(body, 6) == 1 ? ResultKind::Boolean : ResultKind::Error;
          cell.code = U8(body, 8);
          break;
        default: cell.result = ResultKind::EmptyText; break;
      }
      break;
    default: break;  // BLANK
  }
  return cell;
}

std::string CellText(std::string_view stream, const CellRecord& cell, const std::vector<std::string>& sharedStrings) {
  if (cell.kind != CellKind::Text && !(cell.kind == CellKind::Formula && cell.result == ResultKind::Text)) return {};
  if (cell.sharedString != UINT32_MAX)
    return cell.sharedString < sharedStrings.size() ? sharedStrings[cell.sharedString] : std::string();
  if (cell.textRecord == UINT32_MAX) return {};
  RecordReader reader(stream, cell.textRecord, "Workbook", std::string());
  Record record;
  reader.Next(record);
  ContinuedData data(record, reader);
  if (record.type != rt::kString) data.Skip(6);
  return data.UnicodeString();
}

SheetRecords ReadSheet(std::string_view stream, size_t offset, const std::vector<std::string>& sharedStrings,
                       const std::string& streamName, const std::string& path, const MappedFile* mapped) {
  return SheetReader(stream, sharedStrings, streamName, path, offset, mapped).Read();
}

}  // namespace host::biff
