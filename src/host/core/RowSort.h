#pragma once
// The one sort of the host, whatever the file format: the rows a sort of a
// range reorders (SortPlan.h), the keys and their order (SortKeys.h), where
// each row goes around the hidden rows, and every refusal; the store only
// reads its keys and applies the move (SheetStore::MoveRows).

#include <cstddef>
#include <functional>
#include <optional>

#include "host/core/CellAddress.h"
#include "host/core/StoredValue.h"

namespace host {

class SheetStore;

// The value of a key cell whose formula has no stored result, computed now;
// nullopt when it cannot be computed.
using KeyCalculator = std::function<std::optional<StoredValue>(int row, int column)>;

// Reorders the visible rows of range, within its columns, by the cells of
// keyColumn (one of range's columns): numbers and dates, then text in the
// user's language order, then FALSE, TRUE, errors, blank keys last; equal
// keys keep their order, hidden rows their place, a table's header and
// totals rows stay. Returns the rows whose cells went to another row (0:
// nothing changed). A key formula that was never calculated is computed by
// calculate. Throws SortRefused with the reason, nothing changed, when a
// record would be torn apart, a key formula was never calculated and cannot
// be computed, or the store cannot apply the move.
size_t SortRows(SheetStore& store, const CellArea& range, int keyColumn, bool descending,
                const KeyCalculator& calculate = {});

}  // namespace host
