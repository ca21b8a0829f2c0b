#include "host/core/RowSet.h"

#include <iterator>

namespace host {

bool RowSet::Insert(int row) {
  auto next = ranges_.upper_bound(row);
  const bool hasBefore = next != ranges_.begin();
  auto before = hasBefore ? std::prev(next) : ranges_.end();
  if (hasBefore && before->second >= row) return false;
  const bool joinsBefore = hasBefore && before->second == row - 1;
  const bool joinsNext = next != ranges_.end() && next->first == row + 1;
  if (joinsBefore && joinsNext) {
    before->second = next->second;
    ranges_.erase(next);
  } else if (joinsBefore) {
    before->second = row;
  } else if (joinsNext) {
    const int last = next->second;
    ranges_.erase(next);
    ranges_.emplace(row, last);
  } else {
    ranges_.emplace(row, row);
  }
  ++size_;
  return true;
}

bool RowSet::Erase(int row) {
  auto next = ranges_.upper_bound(row);
  if (next == ranges_.begin()) return false;
  auto range = std::prev(next);
  if (range->second < row) return false;
  const int first = range->first, last = range->second;
  ranges_.erase(range);
  if (first < row) ranges_.emplace(first, row - 1);
  if (row < last) ranges_.emplace(row + 1, last);
  --size_;
  return true;
}

}  // namespace host
