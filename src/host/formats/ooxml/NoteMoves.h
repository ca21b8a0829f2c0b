#pragma once
// Notes follow the cells a sort moved: the entries of a sheet's comments
// part and of its threaded comments part name their cell in a ref
// attribute; the note's shape in the sheet's VML drawing names its cell in
// <x:Row> (0-based) and places its box with <x:Anchor>. Only those values
// change; every other byte of the parts stays as written.

#include <string>
#include <string_view>
#include <vector>

#include "host/core/SortPlan.h"

namespace host::ooxml {

// The part with the ref attribute of every <element> naming its cell's new
// place; false (and xml untouched) when no ref changed.
bool MoveCellRefs(std::string& xml, std::string_view element, const std::vector<RowMove>& moves);

// The VML drawing with every note shape moved to its cell's new row (box
// moved by as many rows); false (and xml untouched) when no note moved.
bool MoveVmlNotes(std::string& xml, const std::vector<RowMove>& moves);

}  // namespace host::ooxml
