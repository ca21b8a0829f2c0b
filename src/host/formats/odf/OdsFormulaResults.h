#pragma once
// Fresh formula results in an OpenDocument table cell, as spreadsheet
// programs store them: the value type and value attributes of the result's
// kind (a number keeps the cell's numeric type: float, percentage, currency,
// date, time), calcext:value-type beside them, and the paragraph the cell
// shows, formatted under the cell's number format. An error is a string
// cell whose calcext:value-type is "error" and whose paragraph names it; an
// empty text has no value type and an empty paragraph. Every other
// attribute and child (annotations) is kept as it was.

#include <string>
#include <string_view>
#include <vector>

#include "host/core/StoredValue.h"
#include "host/formats/odf/OdsCell.h"

namespace host::odf {

// The table:table-cell element with result as its stored value; formatCode
// is the cell's number format, date1904 the document's date system, edits
// further changes of its start tag made on the way (a moved formula).
std::string CellWithResult(std::string_view element, const StoredValue& result, std::string_view formatCode,
                           bool date1904, std::vector<AttributeEdit> edits = {});

}  // namespace host::odf
