// What a store answers when its format has nothing faster.

#include "host/core/SheetStore.h"

#include "host/core/SortKeys.h"

namespace host {

void SheetStore::ReadSortKeys(int firstRow, int lastRow, int keyColumn, SortKeyList& keys) const {
  for (int row = firstRow; row <= lastRow; ++row) keys.Add(row, Value(row, keyColumn));
}

}  // namespace host
