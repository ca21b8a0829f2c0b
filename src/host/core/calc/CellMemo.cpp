#include "host/core/calc/CellMemo.h"

namespace host::calc {

namespace {

// A sheet's used area of at most this many cells gets a flat table (16 MB at most).
constexpr long long kMaxFlatCells = 1LL << 20;

}  // namespace

CellMemo::CellMemo(const CellSource& source) : flat_(static_cast<size_t>(source.SheetCount())) {
  for (int s = 0; s < source.SheetCount(); ++s) {
    CellArea used;
    if (!source.UsedArea(s, used)) continue;
    // Worked out in 64 bits: a damaged sheet's area must not overflow here.
    const long long rows = static_cast<long long>(used.lastRow) - used.firstRow + 1;
    const long long columns = static_cast<long long>(used.lastColumn) - used.firstColumn + 1;
    if (rows <= 0 || columns <= 0 || rows > kMaxFlatCells || columns > kMaxFlatCells) continue;
    const long long cells = rows * columns;
    if (cells > kMaxFlatCells) continue;
    Flat& flat = flat_[static_cast<size_t>(s)];
    flat.firstRow = used.firstRow;
    flat.firstColumn = used.firstColumn;
    flat.rows = used.lastRow - used.firstRow + 1;
    flat.columns = used.lastColumn - used.firstColumn + 1;
    flat.slots.resize(static_cast<size_t>(cells));
  }
}

uint64_t CellMemo::KeyOf(int sheet, int row, int column, bool array) {
  return (array ? 1ULL << 63 : 0) | (static_cast<uint64_t>(sheet) << 40) | (static_cast<uint64_t>(row) << 16) |
         static_cast<uint64_t>(column);
}

CellMemo::Slot* CellMemo::FlatSlot(int sheet, int row, int column) {
  if (sheet < 0 || static_cast<size_t>(sheet) >= flat_.size()) return nullptr;
  Flat& flat = flat_[static_cast<size_t>(sheet)];
  const int r = row - flat.firstRow, c = column - flat.firstColumn;
  if (flat.slots.empty() || r < 0 || c < 0 || r >= flat.rows || c >= flat.columns) return nullptr;
  return &flat.slots[static_cast<size_t>(r) * static_cast<size_t>(flat.columns) + static_cast<size_t>(c)];
}

CellMemo::Slot& CellMemo::At(int sheet, int row, int column, bool array) {
  if (!array)
    if (Slot* slot = FlatSlot(sheet, row, column)) return *slot;
  return others_[KeyOf(sheet, row, column, array)];
}

const CellMemo::Slot* CellMemo::Find(int sheet, int row, int column) const {
  if (Slot* slot = const_cast<CellMemo*>(this)->FlatSlot(sheet, row, column)) return slot;
  auto found = others_.find(KeyOf(sheet, row, column, false));
  return found == others_.end() ? nullptr : &found->second;
}

void CellMemo::Keep(Slot& slot, const Value& value) {
  slot.state = Slot::State::Kept;
  slot.type = value.type;
  if (value.type == Value::Type::Number || value.type == Value::Type::Boolean) {
    slot.number = value.number;
  } else if (value.type != Value::Type::Blank) {
    slot.other = static_cast<uint32_t>(values_.size());
    values_.push_back(value);
  }
}

Value CellMemo::Get(const Slot& slot) const {
  switch (slot.type) {
    case Value::Type::Blank:
      return {};
    case Value::Type::Number:
      return Value::Number(slot.number);
    case Value::Type::Boolean:
      return Value::Boolean(slot.number != 0);
    default:
      return values_[slot.other];
  }
}

void CellMemo::Fail(Slot& slot, std::string why) {
  slot.state = Slot::State::Failed;
  slot.other = static_cast<uint32_t>(whys_.size());
  whys_.push_back(std::move(why));
}

}  // namespace host::calc
