#include "host/formats/biff/XlsFormulaResults.h"

#include <cmath>
#include <cstring>

#include "host/formats/biff/BiffRecords.h"
#include "host/formats/biff/FormulaTokens.h"
#include "host/formats/biff/XlsSheet.h"
#include "host/io/Utf16.h"

namespace host::biff {

namespace {

constexpr size_t kLongestRecord = 8224;   // the data one BIFF8 record holds
constexpr size_t kLongestText = 32767;    // the characters a cell holds
constexpr size_t kResultAt = 6;           // the result field in a FORMULA record's data
constexpr size_t kFlagsAt = 14;           // and its flags
constexpr uint8_t kPtgExp = 0x01, kPtgTbl = 0x02;

void AppendRecord(std::string& out, uint16_t type, std::string_view body) {
  Append(out, type, 2);
  Append(out, body.size(), 2);
  out.append(body);
}

}  // namespace

bool KeepsAsFormulaResult(const StoredValue& result) {
  uint8_t code = 0;
  switch (result.kind) {
    case host::CellKind::Number: return std::isfinite(result.number);
    case host::CellKind::Text: return Utf8ToUtf16(result.text).size() / 2 <= kLongestText;
    case host::CellKind::Error: return ErrorValueCode(result.text, code);
    default: return true;  // a boolean; blank is never a result
  }
}

std::string FormulaResultField(const StoredValue& result) {
  std::string field(8, '\0');
  if (result.kind == host::CellKind::Number || result.kind == host::CellKind::Blank) {
    const double number = result.kind == host::CellKind::Number ? result.number : 0;
    uint64_t bits = 0;
    std::memcpy(&bits, &number, sizeof bits);
    Put(field, 0, bits, 8);
    return field;
  }
  uint8_t code = 0x2A;
  switch (result.kind) {
    case host::CellKind::Text: field[0] = NeedsStringRecord(result) ? 0x00 : 0x03; break;
    case host::CellKind::Boolean:
      field[0] = 0x01;
      field[2] = result.number != 0 ? 1 : 0;
      break;
    default:
      ErrorValueCode(result.text, code);
      field[0] = 0x02;
      field[2] = static_cast<char>(code);
      break;
  }
  Put(field, 6, 0xFFFF, 2);
  return field;
}

std::string StringRecord(std::string_view text) {
  const std::string units = Utf8ToUtf16(text);
  bool wide = false;
  for (size_t i = 0; i < units.size() && !wide; i += 2) wide = U16(units, i) > 0xFF;
  std::string characters;
  if (wide) {
    characters = units;
  } else {
    for (size_t i = 0; i < units.size(); i += 2) characters += units[i];
  }
  const size_t width = wide ? 2 : 1;
  std::string out, body;
  Append(body, units.size() / 2, 2);
  body += static_cast<char>(wide ? 1 : 0);
  // The characters that fit after the header, then CONTINUE records that
  // each begin with the flag byte again; no character is split.
  size_t take = std::min(characters.size(), (kLongestRecord - 3) / width * width);
  body.append(characters, 0, take);
  AppendRecord(out, rt::kString, body);
  for (size_t at = take; at < characters.size(); at += take) {
    take = std::min(characters.size() - at, (kLongestRecord - 1) / width * width);
    body.assign(1, static_cast<char>(wide ? 1 : 0));
    body.append(characters, at, take);
    AppendRecord(out, rt::kContinue, body);
  }
  return out;
}

std::vector<std::pair<int, int>> XlsSheet::FormulaCells() const {
  std::vector<std::pair<int, int>> out;
  for (const CellRef& cell : records_.cells)
    if (IsFormula(cell)) out.emplace_back(cell.row + 1, cell.column + 1);
  return out;
}

bool XlsSheet::SetFormulaResult(int row, int column, const StoredValue& result) {
  const CellRef* cell = Find(row - 1, column - 1);
  if (!cell || !IsFormula(*cell) || !KeepsAsFormulaResult(result)) return false;
  // A cell that names its formula elsewhere keeps its result only when that
  // is a shared formula: an array's cells take theirs together
  // (SetArrayResults), and a data table's are the table's. (A move keeps
  // what the record names.)
  const std::string_view rgce = RecordRgce(*cell);
  if (rgce.size() == 5 && (U8(rgce, 0) == kPtgTbl || (U8(rgce, 0) == kPtgExp && !SharedFormulaOf(*cell))))
    return false;
  KeepResult(*cell, result);
  return true;
}

void XlsSheet::KeepResult(const CellRef& cell, const StoredValue& result) {
  if (resultOf_.empty()) resultOf_.assign(records_.cells.size(), 0);
  uint32_t& at = resultOf_[static_cast<size_t>(&cell - records_.cells.data())];
  if (at != 0) {
    results_[at - 1] = result;
  } else {
    results_.push_back(result);
    at = static_cast<uint32_t>(results_.size());
  }
}

bool XlsSheet::SetArrayResults(const std::vector<CellResult>& results) {
  // Every cell of an array holds a FORMULA record that names the array's
  // formula (PtgExp) and keeps a result of its own.
  for (const CellResult& r : results) {
    const CellRef* cell = Find(r.row - 1, r.column - 1);
    if (!cell || !IsFormula(*cell) || !KeepsAsFormulaResult(r.value)) return false;
    const std::string_view rgce = RecordRgce(*cell);
    if (rgce.size() != 5 || U8(rgce, 0) != kPtgExp || SharedFormulaOf(*cell)) return false;
  }
  for (const CellResult& r : results) KeepResult(*Find(r.row - 1, r.column - 1), r.value);
  return true;
}

const StoredValue* XlsSheet::ResultOf(const CellRef& cell) const {
  if (resultOf_.empty()) return nullptr;
  const uint32_t at = resultOf_[static_cast<size_t>(&cell - records_.cells.data())];
  return at != 0 ? &results_[at - 1] : nullptr;
}

uint16_t XlsSheet::FlagsWithResult(const CellRef& cell, uint16_t flags) const {
  const FormulaArea* shared = SharedFormulaOf(cell);
  const std::string_view rgce =
      shared ? std::string_view(book_->stream).substr(shared->formulaOffset, shared->formulaLength) : RecordRgce(cell);
  return FlagsWithFreshResult(flags, rgce);
}

bool XlsSheet::ResultPatches(std::vector<std::pair<size_t, std::string_view>>& patches, StreamPieces& kept) const {
  const std::string_view stream = book_->stream;
  std::vector<std::pair<size_t, std::string>> made;
  for (size_t i = 0; i < resultOf_.size(); ++i) {
    if (resultOf_[i] == 0) continue;
    const StoredValue& result = results_[resultOf_[i] - 1];
    const uint32_t offset = records_.cells[i].recordOffset;
    CellRef ref;
    ref.recordOffset = offset;
    const CellRecord old = DecodeCell(stream, ref);
    const bool hadString = old.result == ResultKind::Text && old.textRecord != UINT32_MAX;
    if (hadString != NeedsStringRecord(result)) return false;
    std::string field = FormulaResultField(result);
    Append(field, FlagsWithResult(ref, U16(stream, offset + 4 + kFlagsAt)), 2);
    made.emplace_back(offset + 4 + kResultAt, std::move(field));
    if (!hadString) continue;
    // The text in a STRING record of the size of the one that stands there.
    const std::string record = StringRecord(result.text);
    if (record.size() != RawRecord(stream, old.textRecord).size()) return false;
    made.emplace_back(old.textRecord, record);
  }
  for (auto& [offset, bytes] : made) patches.emplace_back(offset, kept.Keep(std::move(bytes)));
  return true;
}

}  // namespace host::biff
