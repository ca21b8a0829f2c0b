#pragma once
// The hyperlinks of a worksheet part follow the cells a sort moved: each
// <hyperlink> entry's ref names the cells' new place, and an entry that
// spans cells which went to different rows is split into one entry per run
// of rows (each with the same target; see MovedAreas). Entries the sort did not touch stay as they
// were written.

#include <string>
#include <string_view>
#include <vector>

#include "host/core/SortPlan.h"

namespace host::ooxml {

// The <hyperlinks> element (its bytes as in the part) after the moves.
std::string MoveHyperlinks(std::string_view element, const std::vector<RowMove>& moves);

}  // namespace host::ooxml
