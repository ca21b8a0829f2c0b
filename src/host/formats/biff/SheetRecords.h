#pragma once
// The records of one BIFF8 sheet substream that say where rows and cells
// are and what the cells hold: DIMENSIONS, ROW, INDEX and DBCELL positions,
// and where each cell's record stands, decoded when asked for.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace host {
class MappedFile;
}

namespace host::biff {

enum class CellKind : uint8_t { Blank, Number, Text, Boolean, Error, Formula };
// What a formula cell's cached result is.
enum class ResultKind : uint8_t { Number, Text, Boolean, Error, EmptyText };

// What a formula cell's expression is now, as the store sets it: the one
// its record holds, one a single move gives (worked out from the record when
// written), or one the store keeps.
enum class FormulaNow : uint8_t { AsRead = 0, Derived = 1, Kept = 2 };

// The columns a cell record may name here (an .xls sheet has 256; the rest
// of the 14 bits leaves room for what other programs write).
constexpr uint16_t kMaxCellColumn = 0x3FFF;

// One cell as the store keeps it: where its record stands and the cell it
// is (MULRK and MULBLANK give one per column). Kept to 8 bytes, a sheet may
// hold millions: the value is decoded from the record when asked for.
struct CellRef {
  uint32_t recordOffset = 0;
  uint16_t row = 0;              // 0-based; where the cell stands now
  uint16_t column : 14 = 0;      // 0-based
  uint16_t formula : 2 = 0;      // a FormulaNow
  FormulaNow Formula() const { return static_cast<FormulaNow>(formula); }
};
static_assert(sizeof(CellRef) == 8, "a sheet holds millions of cells");

// One cell decoded from its record.
struct CellRecord {
  uint32_t recordOffset = 0;
  uint32_t formulaOffset = 0;   // Formula: where its parsed expression (rgce) starts in the stream
  uint32_t sharedString = UINT32_MAX;  // Text from LABELSST: its index in the shared strings
  uint32_t textRecord = UINT32_MAX;    // Text from LABEL or RSTRING, a formula's text result from
                                       // its STRING record: that record's offset
  uint16_t row = 0, column = 0, xf = 0;  // 0-based row and column, XF index
  uint16_t recordType = 0;
  uint16_t formulaLength = 0;
  CellKind kind = CellKind::Blank;
  ResultKind result = ResultKind::Number;  // Formula only
  uint8_t code = 0;                        // Boolean 0/1 or error code, also as a formula result
  double number = 0;                       // Number, and a formula's number result
};

// One ROW record. Kept to 12 bytes, a sheet holds up to 65,536: its other
// fields are read from the record when it is written.
struct RowRecord {
  static constexpr uint32_t kCreated = UINT32_MAX;  // offset of a row this host made
  uint32_t offset = 0;  // in the stream (below 4 GB, as ReadSheet checks)
  uint16_t row = 0;
  uint16_t firstColumn = 0, lastColumnPlus1 = 0;
  bool hidden = false;
};
static_assert(sizeof(RowRecord) == 12, "a sheet holds up to 65,536 rows");

// An area as BIFF records give it: 0-based rows and columns, inclusive.
struct RecordArea {
  uint16_t firstRow = 0, lastRow = 0, firstColumn = 0, lastColumn = 0;
};

// A SHRFMLA, ARRAY or TABLE record: the area it covers and the formula cell
// it follows (the cell whose ptgExp/ptgTbl names it).
struct FormulaArea {
  uint16_t type = 0;
  RecordArea area;
  uint16_t anchorRow = 0, anchorColumn = 0;
  size_t offset = 0;                 // of the record
  uint32_t formulaOffset = 0;        // SHRFMLA, ARRAY: where its rgce starts in the stream
  uint16_t formulaLength = 0;        // its cce
  uint32_t extraOffset = 0;          // its rgcb (what follows the rgce in the record)
  uint16_t extraLength = 0;
};

// A record that names cells and must follow them when they move: NOTE (one
// cell), HLINK and HLINKTOOLTIP (an area).
struct AnchoredRecord {
  uint16_t type = 0;
  size_t offset = 0;
  RecordArea area;
};

struct SheetRecords {
  // DIMENSIONS: the used area, last row and column exclusive.
  uint32_t firstRow = 0, lastRowPlus1 = 0;
  uint16_t firstColumn = 0, lastColumnPlus1 = 0;
  size_t dimensionsOffset = std::string_view::npos;
  std::vector<RowRecord> rows;
  std::vector<CellRef> cells;                  // in stream order
  size_t indexOffset = std::string_view::npos;  // of the INDEX record
  std::vector<uint32_t> indexedDbCells;         // DBCELL positions the INDEX record lists
  std::vector<size_t> dbCells;                  // offsets where DBCELL records stand
  size_t end = 0;                               // just after the substream's EOF
  std::vector<RecordArea> merged;               // MERGECELLS areas
  std::vector<FormulaArea> formulaAreas;        // SHRFMLA, ARRAY and TABLE records
  std::vector<AnchoredRecord> anchored;         // NOTE, HLINK, HLINKTOOLTIP records
  bool protectedSheet = false;                  // PROTECT with fLock set
  bool enhancedProtection = false;              // a FEATHEADR of sheet protection was read
  uint32_t protectionAllows = 0;                // its EnhancedProtection bits (1: allowed)
  uint16_t defaultRowHeight = 0x00FF;           // DEFAULTROWHEIGHT's miyRw, in twips
  bool holdsFormulas = false;                   // a FORMULA record was read

  // A formula cell's parsed expression (rgce), inside stream.
  static std::string_view Formula(const CellRecord& cell, std::string_view stream) {
    return stream.substr(cell.formulaOffset, cell.formulaLength);
  }
};

// The cell ref stands for, decoded from its record in stream (which
// ReadSheet checked).
CellRecord DecodeCell(std::string_view stream, const CellRef& ref);
// The text of a Text cell or of a formula's text result (UTF-8); empty for
// other cells.
std::string CellText(std::string_view stream, const CellRecord& cell, const std::vector<std::string>& sharedStrings);

// The value an RK number stands for.
double DecodeRk(uint32_t rk);

// Reads the sheet substream whose BOF is at offset; sharedStrings resolve
// LABELSST. streamName and path name the place in messages. Throws HostError
// for a damaged record, and for a stream beyond 4 GB, which BIFF8 cannot address.
// mapped, when given, is the view stream is: its pages are let go behind the read.
SheetRecords ReadSheet(std::string_view stream, size_t offset, const std::vector<std::string>& sharedStrings,
                       const std::string& streamName, const std::string& path, const MappedFile* mapped = nullptr);

}  // namespace host::biff
