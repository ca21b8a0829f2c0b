#pragma once
// Fresh formula results in a binary worksheet. The kind of a formula's
// record is the kind of its result (BrtFmlaNum, BrtFmlaString, BrtFmlaBool,
// BrtFmlaError), which it holds before its flags and its formula: a result
// of another kind changes the record's type, the formula's bytes stay. A
// fresh result clears fAlwaysCalc (calculate at the next recalculation),
// but for a volatile formula.

#include <cstdint>
#include <string>
#include <string_view>

#include "host/core/StoredValue.h"

namespace host::xlsb {

// The formula record of type with body that holds result instead: its type
// and body in type and body, its flags as biff::FlagsWithFreshResult gives
// them for expression (the cell's own, or its shared formula's). False,
// with nothing changed, when the record cannot hold it (see
// biff::KeepsAsFormulaResult).
bool WithFormulaResult(uint32_t& type, std::string& body, const StoredValue& result, std::string_view expression);

}  // namespace host::xlsb
