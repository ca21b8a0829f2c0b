#pragma once
// The defined names of an OpenDocument spreadsheet: the named ranges and
// named expressions of the whole document (table:named-expressions in the
// spreadsheet body) and those of each table (its own table:named-expressions),
// each made A1 text for the calculation engine. A name whose references
// are relative (to its table:base-cell-address, so that it means another
// cell in each formula that uses it) or do not name their sheet absolutely
// is given without its text: the formulas that use it are not computed here.

#include <string_view>
#include <vector>

#include "host/core/WorkbookStore.h"

namespace pugi {
class xml_node;
}

namespace host::odf {

// The names of document (a table:named-expressions element, or an empty
// node) for the whole workbook, then those of each table: tables[i] is the
// i-th table's table:named-expressions element as written (empty when it has
// none), and its names are local to sheet i.
std::vector<WorkbookStore::DefinedName> ReadOdsNames(const pugi::xml_node& document, const std::vector<std::string_view>& tables);

}  // namespace host::odf
