#pragma once
// Notes follow the cells a sort moved. A binary workbook keeps a sheet's
// notes in its comments part (comments.bin): each BrtBeginComment names its
// cell by an area of one cell; the notes' shapes are in the sheet's VML
// drawing, as in .xlsx (moved by the same code). Only the cell a note names
// changes; every other byte stays.

#include <string>
#include <string_view>
#include <vector>

#include "host/core/SortPlan.h"

namespace host::xlsb {

// The comments part with every note naming its cell's new place; false (and
// part untouched) when no note moved. RecordFault when the part is damaged.
bool MoveCommentCells(std::string& part, const std::string& partName, const std::vector<RowMove>& moves);

}  // namespace host::xlsb
