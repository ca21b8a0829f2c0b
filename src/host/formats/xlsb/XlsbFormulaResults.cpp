#include "host/formats/xlsb/XlsbFormulaResults.h"

#include <cstring>

#include "host/formats/biff/BiffRecords.h"
#include "host/formats/biff/FormulaTokens.h"
#include "host/formats/biff/XlsFormulaResults.h"
#include "host/formats/xlsb/XlsbCells.h"
#include "host/formats/xlsb/XlsbRecords.h"
#include "host/formats/xlsb/XlsbSheet.h"
#include "host/io/LittleEndian.h"
#include "host/io/Utf16.h"

namespace host::xlsb {

namespace {

constexpr size_t kCell = 8;  // column and format

}  // namespace

bool WithFormulaResult(uint32_t& type, std::string& body, const StoredValue& result, std::string_view expression) {
  const size_t formulaAt = FormulaOffset(type, body);
  if (formulaAt < kCell + 2 || formulaAt > body.size() || !biff::KeepsAsFormulaResult(result)) return false;
  std::string value;
  uint32_t kind = rt::kFmlaNum;
  uint8_t code = 0;
  switch (result.kind) {
    case CellKind::Text: {
      const std::string units = io::Utf8ToUtf16(result.text);
      kind = rt::kFmlaString;
      io::Append(value, units.size() / 2, 4);
      value += units;
      break;
    }
    case CellKind::Boolean:
      kind = rt::kFmlaBool;
      value += static_cast<char>(result.number != 0 ? 1 : 0);
      break;
    case CellKind::Error:
      biff::ErrorValueCode(result.text, code);
      kind = rt::kFmlaError;
      value += static_cast<char>(code);
      break;
    default: {
      const double number = result.kind == CellKind::Number ? result.number : 0;
      uint64_t bits = 0;
      std::memcpy(&bits, &number, sizeof bits);
      io::Append(value, bits, 8);
      break;
    }
  }
  const std::string_view old = body;
  const uint16_t flags = biff::FlagsWithFreshResult(io::U16(old, formulaAt - 2), expression);
  std::string made(old.substr(0, kCell));
  made += value;
  io::Append(made, flags, 2);
  made.append(old.substr(formulaAt));
  type = kind;
  body = std::move(made);
  return true;
}

std::vector<std::pair<int, int>> XlsbSheet::FormulaCells() const {
  std::vector<std::pair<int, int>> out;
  for (const CellRec& cell : cells_)
    if (IsFormulaRecord(cell.type)) out.emplace_back(cell.row + 1, cell.column + 1);
  return out;
}

bool XlsbSheet::BodyWithResult(int row, int column, const StoredValue& result, bool array, std::string& body,
                               uint32_t& type) const {
  const CellRec* cell = Find(row - 1, column - 1);
  if (!cell || !IsFormulaRecord(cell->type)) return false;
  body = std::string(Body(*cell));
  // A shared formula's member or an array's cell is volatile when the expression it names is.
  std::string_view rgce, rgcb;
  SplitFormula(body, FormulaOffset(cell->type, body), rgce, rgcb);
  std::string_view expression = rgce;
  int anchorRow = 0, anchorColumn = 0;
  const bool named = FormulaAnchor(rgce, rgcb, anchorRow, anchorColumn);
  if (named) {
    const FormulaArea* area = AreaAt(anchorRow, anchorColumn);
    if (!area || area->type != (array ? rt::kArrFmla : rt::kShrFmla)) return false;
    expression = area->rgce;
  } else if (array) {
    return false;
  }
  type = cell->type;
  return WithFormulaResult(type, body, result, expression);
}

void XlsbSheet::KeepBody(int row, int column, std::string body, uint32_t type) {
  CellRec& cell = cells_[static_cast<size_t>(Find(row - 1, column - 1) - cells_.data())];
  if (cell.own >= 0) {
    own_[static_cast<size_t>(cell.own)] = std::move(body);
  } else {
    own_.push_back(std::move(body));
    cell.own = static_cast<int32_t>(own_.size() - 1);
  }
  cell.type = type;
  modified_ = true;
}

bool XlsbSheet::SetFormulaResult(int row, int column, const StoredValue& result) {
  std::string body;
  uint32_t type = 0;
  if (!BodyWithResult(row, column, result, false, body, type)) return false;
  KeepBody(row, column, std::move(body), type);
  return true;
}

bool XlsbSheet::SetArrayResults(const std::vector<CellResult>& results) {
  std::vector<std::pair<std::string, uint32_t>> made(results.size());
  for (size_t i = 0; i < results.size(); ++i)
    if (!BodyWithResult(results[i].row, results[i].column, results[i].value, true, made[i].first, made[i].second)) return false;
  for (size_t i = 0; i < results.size(); ++i)
    KeepBody(results[i].row, results[i].column, std::move(made[i].first), made[i].second);
  return true;
}

}  // namespace host::xlsb
