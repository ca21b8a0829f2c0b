#pragma once
// What one cell holds as its file stores it, whatever the format: the kind,
// the number or text, and whether a formula was ever calculated.

#include <string>

namespace host {

// What a cell holds. Blank: no cell, or a cell with only a style.
enum class CellKind { Blank, Number, Text, Boolean, Error };

struct StoredValue {
  CellKind kind = CellKind::Blank;  // the value's kind (a formula's cached result for formulas)
  double number = 0;                // Number (dates as serial numbers); Boolean 1 or 0
  std::string text;                 // Text; Error as shown ("#N/A"); for a number, its stored
                                    // text when the file keeps one (an ISO date), else empty
  bool uncalculated = false;        // a formula that has no cached result
};

}  // namespace host
