#pragma once
// How a workbook reads the text of a reference that a formula builds and
// INDIRECT follows: the reference program's A1 form, or the OpenDocument
// form a spreadsheet document asks for in its settings.

#include <cstdint>

namespace host {

enum class ReferenceText : uint8_t {
  A1,              // "Sheet2!A1", "'My Sheet'!$B$1"
  SheetDot,        // "Sheet2.A1", "$'My Sheet'.$B$1", "A1"
  SheetDotThenA1,  // the same, and A1 text where it does not read so
  Unknown,         // a form the host does not read: INDIRECT is left uncomputed
};

}  // namespace host
