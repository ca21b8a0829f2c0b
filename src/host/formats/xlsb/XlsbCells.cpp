#include "host/formats/xlsb/XlsbCells.h"

#include <cmath>
#include <cstring>

#include "host/formats/biff/BiffRecords.h"
#include "host/formats/xlsb/XlsbRecords.h"
#include "host/formats/xlsb/XlsbStrings.h"
#include "host/io/LittleEndian.h"

namespace host::xlsb {

using io::U32;
using io::U8;

namespace {

constexpr size_t kCell = 8;  // column and format

// A number stored in 30 bits: an integer or the high bits of a double,
// divided by 100 when its flag says so.
double RkValue(uint32_t rk) {
  double value;
  if (rk & 2) {
    value = static_cast<double>(static_cast<int32_t>(rk) >> 2);
  } else {
    const uint64_t bits = static_cast<uint64_t>(rk & 0xFFFFFFFC) << 32;
    std::memcpy(&value, &bits, sizeof value);
  }
  return rk & 1 ? value / 100 : value;
}

// The size of the wide string at body[at], or 0 when it runs past the end.
size_t WideStringSize(std::string_view body, size_t at) {
  if (body.size() < 4 || at > body.size() - 4) return 0;
  const uint64_t size = 4 + uint64_t{U32(body, at)} * 2;
  return size > body.size() - at ? 0 : static_cast<size_t>(size);
}

StoredValue ErrorValue(uint8_t code) {
  StoredValue value;
  value.kind = CellKind::Error;
  const char* text = biff::ErrorValueText(code);
  value.text = text ? text : "#N/A";
  return value;
}

}  // namespace

bool IsCellRecord(uint32_t type) { return type <= rt::kFmlaError && type != rt::kRowHdr ? true : type == rt::kCellRString; }

bool IsCompactCellRecord(uint32_t type) { return type > rt::kFmlaError && type < rt::kSstItem; }

bool IsFormulaRecord(uint32_t type) {
  return type == rt::kFmlaString || type == rt::kFmlaNum || type == rt::kFmlaBool || type == rt::kFmlaError;
}

size_t FormulaOffset(uint32_t type, std::string_view body) {
  switch (type) {
    case rt::kFmlaNum: return kCell + 8 + 2;
    case rt::kFmlaBool:
    case rt::kFmlaError: return kCell + 1 + 2;
    case rt::kFmlaString: {
      const size_t text = WideStringSize(body, kCell);
      return text ? kCell + text + 2 : body.size() + 1;
    }
    default: return body.size() + 1;
  }
}

bool SplitFormula(std::string_view body, size_t at, std::string_view& rgce, std::string_view& rgcb) {
  if (at > body.size() || body.size() - at < 4) return false;
  const uint32_t cce = U32(body, at);
  if (cce == 0 || cce > body.size() - at - 4 || body.size() - at - 4 - cce < 4) return false;
  const uint32_t cb = U32(body, at + 4 + cce);
  if (cb > body.size() - at - 8 - cce) return false;
  rgce = body.substr(at + 4, cce);
  rgcb = body.substr(at + 8 + cce, cb);
  return true;
}

bool CheckCell(uint32_t type, std::string_view body, size_t stringCount, std::string& why) {
  size_t need = kCell;
  switch (type) {
    case rt::kCellRk:
    case rt::kCellIsst: need += 4; break;
    case rt::kCellError:
    case rt::kCellBool: need += 1; break;
    case rt::kCellReal: need += 8; break;
    case rt::kCellSt:
    case rt::kCellRString:
      if (body.size() < kCell + (type == rt::kCellRString ? 1 : 0) ||
          !WideStringSize(body, kCell + (type == rt::kCellRString ? 1 : 0))) {
        why = "holds a text that is cut off";
        return false;
      }
      break;
    default: break;
  }
  if (body.size() < need) {
    why = "is shorter than its kind of cell";
    return false;
  }
  if (type == rt::kCellIsst && U32(body, kCell) >= stringCount) {
    why = "names a shared string the workbook does not hold";
    return false;
  }
  if (IsFormulaRecord(type)) {
    std::string_view rgce, rgcb;
    if (!SplitFormula(body, FormulaOffset(type, body), rgce, rgcb)) {
      why = "holds a formula that is cut off";
      return false;
    }
  }
  return true;
}

StoredValue CellValue(uint32_t type, std::string_view body, const SharedStrings& strings) {
  StoredValue value;
  switch (type) {
    case rt::kCellRk:
      value.kind = CellKind::Number;
      value.number = RkValue(U32(body, kCell));
      break;
    case rt::kCellReal:
    case rt::kFmlaNum:
      value.kind = CellKind::Number;
      value.number = io::F64(body, kCell);
      break;
    case rt::kCellBool:
    case rt::kFmlaBool:
      value.kind = CellKind::Boolean;
      value.number = U8(body, kCell) ? 1 : 0;
      break;
    case rt::kCellError:
    case rt::kFmlaError: return ErrorValue(U8(body, kCell));
    case rt::kCellIsst:
      value.kind = CellKind::Text;
      value.text = strings.At(U32(body, kCell));
      break;
    case rt::kCellSt:
    case rt::kFmlaString:
    case rt::kCellRString: {
      size_t at = kCell + (type == rt::kCellRString ? 1 : 0);
      value.kind = CellKind::Text;
      ReadWideString(body, at, value.text);
      break;
    }
    default: break;  // blank: only a format
  }
  return value;
}

uint32_t StyleOf(std::string_view body) { return U32(body, 4) & 0xFFFFFF; }

std::string WithFormula(uint32_t type, std::string_view body, std::string_view rgce, std::string_view rgcb) {
  std::string out(body.substr(0, FormulaOffset(type, body)));
  io::Append(out, rgce.size(), 4);
  out.append(rgce);
  io::Append(out, rgcb.size(), 4);
  out.append(rgcb);
  return out;
}

std::string NewRowHeader(int row0) {
  std::string body;
  io::Append(body, static_cast<uint32_t>(row0), 4);
  io::Append(body, 0, 4);       // the default cell format
  io::Append(body, 300, 2);     // 15 points, in twips
  io::Append(body, 0, 3);       // no flags
  io::Append(body, 0, 4);       // no column spans
  return body;
}

void WithColumnSpans(std::string_view body, const std::vector<int32_t>& columns, std::string& out) {
  out.assign(body.substr(0, 13));
  io::Append(out, 0, 4);  // the count, set below
  uint32_t count = 0;
  for (size_t i = 0; i < columns.size();) {
    const int32_t block = columns[i] / 1024;
    size_t j = i;
    while (j + 1 < columns.size() && columns[j + 1] / 1024 == block) ++j;
    io::Append(out, static_cast<uint32_t>(columns[i]), 4);
    io::Append(out, static_cast<uint32_t>(columns[j]), 4);
    ++count;
    i = j + 1;
  }
  io::Put(out, 13, count, 4);
}

}  // namespace host::xlsb
