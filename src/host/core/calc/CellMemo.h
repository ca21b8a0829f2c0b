#pragma once
// What the evaluator knows of the cells it read: each cell's value is read
// from its sheet once and each formula computed once, then answered from
// here. A sheet whose used area is of moderate size keeps a flat table of
// 16 bytes a cell (numbers, booleans and blanks held in it, texts, errors
// and arrays beside it), so a read is an index, not a hash; a larger sheet,
// and the whole-area results of array formulas, are kept in a hash map.

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/core/HugePages.h"
#include "host/core/calc/CalcValue.h"
#include "host/core/calc/CellSource.h"

namespace host::calc {

class CellMemo {
 public:
  struct Slot {
    enum class State : uint8_t { Unread, Kept, InProgress, Failed };
    State state = State::Unread;
    bool formula = false;                  // the cell holds a formula
    Value::Type type = Value::Type::Blank;  // Kept: the value's type
    uint32_t other = 0;                    // Kept text/error/array: index into values_; Failed: into whys_
    double number = 0;                     // Kept number or boolean
  };

  // Sizes the flat tables for the source's sheets as they stand.
  explicit CellMemo(const CellSource& source);

  // The slot of a cell, made Unread when new; array marks the slot of an
  // array formula's whole result (kept by its first cell).
  Slot& At(int sheet, int row, int column, bool array = false);
  // The slot of a cell when one was made, else nullptr.
  const Slot* Find(int sheet, int row, int column) const;
  // Forgets a slot's state (a computation put off until its inputs are done).
  void Clear(Slot& slot) { slot = Slot{}; }

  // Keeps a value in the slot (Kept).
  void Keep(Slot& slot, const Value& value);
  // The value a Kept slot holds.
  Value Get(const Slot& slot) const;
  // Marks the slot as having no result, with the reason.
  void Fail(Slot& slot, std::string why);
  const std::string& Why(const Slot& slot) const { return whys_[slot.other]; }

 private:
  struct Flat {
    int firstRow = 1, firstColumn = 1, rows = 0, columns = 0;
    HugeVector<Slot> slots;  // 16 bytes a cell: a sheet of a million cells takes 16 MB, in huge pages
  };
  static uint64_t KeyOf(int sheet, int row, int column, bool array);
  Slot* FlatSlot(int sheet, int row, int column);

  std::vector<Flat> flat_;                      // by sheet; empty where the map is used
  std::unordered_map<uint64_t, Slot> others_;  // larger sheets and array results
  std::deque<Value> values_;                   // texts, errors and arrays kept
  std::deque<std::string> whys_;
};

}  // namespace host::calc
