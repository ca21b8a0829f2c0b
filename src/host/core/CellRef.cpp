#include "host/core/CellRef.h"

#include <string>

#include "host/core/CellAddress.h"
#include "host/core/HostError.h"

namespace host {

CellRef Cells(int row, int column) {
  if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
    throw HostError("Cells(" + std::to_string(row) + ", " + std::to_string(column) +
                    ") lies outside the sheet (A1 to XFD1048576).");
  return CellRef{row, column};
}

}  // namespace host
