#pragma once
// Fresh formula results in a worksheet part: a cell's element rewritten with
// its new <v> and the t attribute of the result's kind (none for a number,
// "str", "b", "e"); every other attribute and child is kept as it was.

#include <string>
#include <string_view>

#include "host/core/StoredValue.h"

namespace host::ooxml {

// The <c> element with result as its stored value.
std::string CellWithResult(std::string_view element, const StoredValue& result);

}  // namespace host::ooxml
