#pragma once
// One sheet row as reached through Rows(n): its number and its hidden flag.

namespace host {

class Worksheet;

class RowRef {
 public:
  RowRef(Worksheet& sheet, int row) : sheet_(&sheet), row_(row) {}

  // The row's number on the sheet.
  int Row() const { return row_; }
  // True when the row is hidden.
  bool Hidden() const;
  // Hides or shows the row; nothing else of the row changes. A row the sheet
  // has no element for gets one. HostError when the sheet is protected
  // against formatting rows.
  void SetHidden(bool hidden);

 private:
  Worksheet* sheet_;
  int row_;
};

}  // namespace host
