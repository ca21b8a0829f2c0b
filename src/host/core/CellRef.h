#pragma once
// A cell position that belongs to no sheet, as the program-wide cell accessor
// hands it out. Sort only looks at its column.

namespace host {

struct CellRef {
  int row = 1;
  int column = 1;
};

// The program-wide cell accessor: the position (row, column). Throws HostError
// when the position lies outside A1:XFD1048576.
CellRef Cells(int row, int column);

}  // namespace host
