#pragma once
// A number for each row of a range being sorted (or each record of a file): the order the keys put the
// rows in, the row each row takes its cells from, the row each row goes to.
// Such a list is written whole right after it is made, so it is not cleared
// first, and from 2 MB up (half a million rows) it lies in huge pages: in
// 4 KB pages a sort of a million rows took a fault for every 1,024 rows of
// each of its lists.

#include <cstddef>
#include <vector>

#include "host/core/HugePages.h"

namespace host {

template <typename T>
using PerRowList = std::vector<T, UnclearedAllocator<T, (size_t(2) << 20)>>;

using RowNumbers = PerRowList<int>;

}  // namespace host
