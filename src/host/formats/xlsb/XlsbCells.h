#pragma once
// The cell and row records of a binary worksheet: each BrtCell* kind starts
// with the column (4 bytes) and the cell format (24 bits) and holds its
// value after them; each BrtFmla* kind holds its cached result, flags and
// then the formula (a 4-byte count, the tokens, a 4-byte count, the extra
// data). BrtRowHdr holds the row, its format, height and flags (the hidden
// flag among them) and the spans of its columns.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/core/StoredValue.h"

namespace host::xlsb {

class SharedStrings;

bool IsCellRecord(uint32_t type);
bool IsFormulaRecord(uint32_t type);
// Record types 12 to 18 sit among the cell kinds but are not in the record
// table this reader follows; newer writers use them for cells that leave out
// their column. Their values cannot be read, so a sheet holding one is refused
// rather than sorted by keys read as empty.
bool IsCompactCellRecord(uint32_t type);

// True when the body holds what its kind needs (and a shared string index
// below stringCount); else why not, to follow "record T at byte O".
bool CheckCell(uint32_t type, std::string_view body, size_t stringCount, std::string& why);

// The cell's value (a formula's cached result).
StoredValue CellValue(uint32_t type, std::string_view body, const SharedStrings& strings);

// The cell format index of a cell.
uint32_t StyleOf(std::string_view body);

// Where a formula record's formula starts in its body.
size_t FormulaOffset(uint32_t type, std::string_view body);

// The tokens and the extra data of the formula at body[at]; false when cut off.
bool SplitFormula(std::string_view body, size_t at, std::string_view& rgce, std::string_view& rgcb);

// The formula record's body with its formula replaced.
std::string WithFormula(uint32_t type, std::string_view body, std::string_view rgce, std::string_view rgcb);

// A row header for a row that had none: default format and height, no flags.
std::string NewRowHeader(int row0);

// A row header's body with its column spans made to cover columns (0-based,
// ascending): one span for each block of 1,024 columns that holds any.
// Written into out (its memory reused from row to row).
void WithColumnSpans(std::string_view body, const std::vector<int32_t>& columns, std::string& out);

}  // namespace host::xlsb
