#pragma once
// One sheet column as reached through a range's Columns(n).

namespace host {

class ColumnRef {
 public:
  explicit ColumnRef(int column) : column_(column) {}
  // The column's number on the sheet (A = 1).
  int Column() const { return column_; }

 private:
  int column_;
};

}  // namespace host
