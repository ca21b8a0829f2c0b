#pragma once
// A set of sheet rows kept as ranges of consecutive rows: a filter that
// hides a million rows one by one holds one range, not a million entries.

#include <cstddef>
#include <map>

namespace host {

class RowSet {
 public:
  // Adds row; false when it was in the set already.
  bool Insert(int row);
  // Removes row; false when it was not in the set.
  bool Erase(int row);
  // The rows in the set.
  size_t Size() const { return size_; }
  // The ranges the rows form (for tests of the set itself).
  size_t RangeCount() const { return ranges_.size(); }

 private:
  std::map<int, int> ranges_;  // first row -> last row; apart, never touching
  size_t size_ = 0;
};

}  // namespace host
