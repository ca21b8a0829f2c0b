#pragma once
// The order of a sort, whatever the file format: each row's key (the value
// of its cell in the key column) and the stable order of the keys. Numbers
// and dates first, then text in the user's language order (TextCollator),
// then FALSE, TRUE, then errors; empty keys last in either direction.

#include <cstdint>
#include <string_view>
#include <vector>

#include "host/StoredValue.h"

namespace host {

enum class KeyClass : uint8_t { Number = 0, Text = 1, Boolean = 2, Error = 3, Empty = 4 };

struct SortKey {
  int row = 0;                     // the sheet row the key stands for
  KeyClass cls = KeyClass::Empty;
  double number = 0;               // Number, Boolean
  std::string_view text;           // Text; must stay valid while the keys are ordered
  uint64_t prefix = 0;             // set by OrderKeys
};

// The key of a stored value (text viewed, not copied: value must outlive it).
SortKey KeyOf(int row, const StoredValue& value);

// The rows of the non-empty keys in sorted order, stable, ascending or
// descending. Rows with an empty key are left out: PlaceRows puts them after
// the keyed rows, in their old order, with the rows that hold no cells.
std::vector<int> OrderKeys(std::vector<SortKey> keys, bool descending);

}  // namespace host
