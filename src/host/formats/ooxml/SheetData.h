#pragma once
// The cells and rows of one worksheet part, read without a document tree.
//
// The part's bytes are kept as they are. A hand-written scanner walks
// sheetData once and records every row and cell compactly (offsets into the
// bytes, the value already decoded to a number or an index); rows are sorted,
// so a cell is found by two binary searches. Changes (hidden rows, sorted
// cells) are kept beside the bytes; writing copies unchanged rows as raw
// bytes and re-emits only what changed. Everything outside sheetData is
// copied untouched.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/core/HugePages.h"
#include "host/core/CellAddress.h"
#include "host/core/OffsetMap.h"
#include "host/core/SheetStore.h"
#include "host/io/Package.h"
#include "host/core/SortPlan.h"
#include "host/io/SplitScan.h"
#include "host/io/XmlScanner.h"

namespace host::ooxml {

class DynamicArrayMetadata;
class SharedStrings;
class Styles;

class SheetData : public SheetStore {
 public:
  enum class ValueKind : uint8_t { Blank, Number, Shared, Inline, String, Boolean, Error, IsoDate };

  // Cell flags.
  static constexpr uint8_t kFormula = 1;        // has an <f>
  static constexpr uint8_t kSharedFormula = 2;  // <f t="shared">
  static constexpr uint8_t kSharedMaster = 4;   // ... with a ref (the group's master)
  static constexpr uint8_t kArrayFormula = 8;   // <f t="array"> or a data table
  static constexpr uint8_t kMoved = 16;         // stands in another row than its r says
  static constexpr uint8_t kFormulaChanged = 32;  // formula text replaced (see formulas_)
  static constexpr uint8_t kImplicitRef = 64;     // the element has no r attribute
  static constexpr uint8_t kUncalculated = 128;   // a formula with no stored result (<f>, no <v>)

  struct CellRecord {
    uint32_t begin;   // '<' of the <c> element in the part
    uint32_t length;  // length of the whole element
    union {
      double number;  // Number, Boolean (0/1)
      uint64_t index;  // Shared: index into the shared strings
      struct {
        uint32_t offset;  // Inline: the <is> content; String, Error, IsoDate: the <v> content
        uint32_t size;
      } span;
    } value;
    uint32_t style;
    uint16_t column;
    ValueKind kind;
    uint8_t flags;
  };

  struct RowRecord {
    int32_t row;
    uint32_t begin;       // '<' of <row>, or 0 for a row made by the host
    uint32_t startEnd;    // one past the start tag
    uint32_t tailBegin;   // after the last cell (other children follow)
    uint32_t closeBegin;  // '<' of </row> (== end for <row/>)
    uint32_t end;         // one past the element
    uint32_t firstCell;   // index into cells
    uint32_t cellCount;
    uint8_t hiddenOriginal;
    int8_t hiddenSet;     // -1 unchanged, 0 shown, 1 hidden
    uint8_t created;      // the host made the row
    uint8_t dirty;        // cells changed: the row is written anew
  };

  // Scans the worksheet part. sharedCount and styleCount bound the indices
  // cells may use. Throws XmlFault with what is wrong and where.
  SheetData(PartBytes xml, size_t sharedCount, size_t styleCount);
  // Some members are views of others: never copied or moved.
  SheetData(const SheetData&) = delete;
  SheetData& operator=(const SheetData&) = delete;

  // The workbook's strings, styles and cell metadata the cells refer to, and its date system.
  void Bind(const SharedStrings& strings, const Styles& styles, const DynamicArrayMetadata& metadata, bool date1904);

  // SheetStore.
  bool UsedArea(CellArea& area) const override;
  StoredValue Value(int row, int column) const override;
  std::string_view FormatCode(int row, int column) const override;
  std::string Formula(int row, int column) const override;
  bool RowHidden(int row) const override;
  void SetRowHidden(int row, bool hidden) override;
  bool SortProtected() const override { return sortProtected_; }
  bool RowFormattingProtected() const override { return rowFormattingProtected_; }
  bool HoldsFormulas() const override { return holdsFormulas_; }
  std::vector<CellArea> ArrayFormulaAreas() const override { return arrays_; }
  std::vector<TableArea> TableAreas() const override { return tables_; }
  // The key cells read from the records: texts viewed in the part or the
  // shared strings where they need no decoding.
  void ReadSortKeys(int firstRow, int lastRow, int keyColumn, SortKeyList& keys) const override;
  size_t MoveRows(const RowMove& move) override;
  std::vector<std::pair<int, int>> FormulaCells() const override;
  bool SetFormulaResult(int row, int column, const StoredValue& result) override;
  bool DynamicArray(int row, int column) const override;
  bool SetArrayResults(const std::vector<CellResult>& results) override;
  // The fresh result set for a cell's element, or nullptr (see FormulaResults.h).
  const StoredValue* ResultOf(const CellRecord& cell) const {
    return results_.Find(cell.begin);
  }

  // The cell at (row, column), or nullptr when the sheet holds none.
  const CellRecord* Find(int row, int column) const;
  // The row record of row, or nullptr.
  const RowRecord* FindRow(int row) const;



  // The serial number of an ISO 8601 date/time ("2024-05-01T12:00:00");
  // false when malformed.
  static bool IsoDateToSerial(std::string_view text, bool date1904, double& serial);

  // Raw bytes of the part.
  std::string_view Bytes() const { return xml_; }
  std::string_view Span(uint32_t offset, uint32_t size) const { return xml_.substr(offset, size); }
  // The decoded text of an Inline cell's <is> (runs joined, phonetic runs left out).
  std::string InlineText(const CellRecord& cell) const;
  // The formula of a cell without "=" (shared formulas expanded); "" when none.
  std::string FormulaOf(const CellRecord& cell, int row) const;


  // Merged areas and array formula areas, for the sort's checks.
  const std::vector<CellArea>& MergedAreas() const { return merged_; }
  std::vector<CellArea> MergedCellAreas() const override { return merged_; }
  // The sheet's tables as plain areas (set by the workbook, which reads the
  // table parts).
  void SetTables(std::vector<TableArea> tables) { tables_ = std::move(tables); }
  // Where the sorts so far moved cells, in order (for notes and links).
  const std::vector<RowMove>& Moves() const { return moves_; }

  // True when the part must be written anew.
  bool Modified() const { return modified_; }
  // A producer of the part's new bytes (valid while this object lives and is
  // not changed).
  PartProducer Writer() const;
  // The size of the part as read (what the part written anew comes close to).
  uint64_t SourceSize() const { return bytes_.size; }

  size_t CellCount() const { return cells_.size(); }
  size_t RowCount() const { return rows_.size(); }

 private:
  friend class SheetWriter;
  void Scan(size_t sharedCount, size_t styleCount);
  struct SharedMaster {
    int row;
    int column;
    std::string formula;
  };
  // What a scan of rows gathers. A large sheetData is scanned in two halves
  // at once, the second into a RowsScan of its own, joined after the first;
  // written row after row by its thread, it keeps cache lines of its own.
  struct alignas(64) RowsScan {
    HugeVector<RowRecord> rows;
    HugeVector<CellRecord> cells;
    std::unordered_map<uint32_t, SharedMaster> sharedMasters;
    std::vector<CellArea> arrays;
    std::vector<uint32_t> arrayMetadata;  // the cm attribute of each array's first cell (0: none)
    bool holdsFormulas = false;
    uint32_t close = 0;  // '<' of </sheetData>, once reached
    uint32_t end = 0;    // one past it
  };
  // How a scan of rows ended: at </sheetData>; at the point where the other
  // half begins (a row start tag there); or, for the second half, at
  // something only the scan from the start can judge (a row without a
  // number, a fault), which leaves that half to the first.
  enum class RowsEnd { Closed, AtSplit, Unsure };
  void ScanSheetData(XmlScanner& scanner, const XmlScanner::Tag& tag, size_t sharedCount, size_t styleCount);
  RowsEnd ScanRows(XmlScanner& scanner, const XmlScanner::Tag& tag, RowsScan& into, int& lastRow,
                   SplitScan* split, bool secondHalf, size_t sharedCount, size_t styleCount) const;
  void ScanRow(XmlScanner& scanner, const XmlScanner::Tag& tag, RowRecord& row, RowsScan& into, size_t sharedCount,
               size_t styleCount) const;
  void ScanCell(XmlScanner& scanner, const XmlScanner::Tag& tag, int row, int& lastColumn, RowsScan& into,
                size_t sharedCount, size_t styleCount) const;
  // Reads a cell of the common shape, <c r=".." s=".." t=".."><v>..</v></c>,
  // straight from its bytes; false, with nothing read, for any other shape.
  bool ScanPlainCell(XmlScanner& scanner, int row, int& lastColumn, RowsScan& into, size_t sharedCount,
                     size_t styleCount) const;
  // The checks and the value every way of reading a cell ends with: the
  // column's order and the type; the value from its text, then the cell kept.
  void PlaceCell(XmlScanner& scanner, const char* cellBegin, int row, int column, int& lastColumn,
                 std::string_view type, CellRecord& cell) const;
  void AddCell(XmlScanner& scanner, const char* cellBegin, int row, int column, bool hasValue,
               std::string_view valueText, const char* inlineBegin, const char* inlineEnd, CellRecord& cell,
               RowsScan& into, size_t sharedCount) const;
  void ReadMergeCells(XmlScanner& scanner, const XmlScanner::Tag& tag);
  void ReadProtection(const XmlScanner::Tag& tag);
  void ExpandSharedFormulas(const CellArea& area);
  void MergeCreatedRows();
  std::string CurrentFormula(const CellRecord& cell, int row) const;
  // The row's hidden flag as it stands now.
  static bool IsHidden(const RowRecord& r) { return r.hiddenSet >= 0 ? r.hiddenSet == 1 : r.hiddenOriginal == 1; }

  const SharedStrings* strings_ = nullptr;
  const Styles* styles_ = nullptr;
  const DynamicArrayMetadata* metadata_ = nullptr;
  bool date1904_ = false;
  PartBytes bytes_;
  std::string_view xml_;  // the part's bytes
  RowsScan scan_;  // rows, cells, shared formula masters and array areas as read
  HugeVector<RowRecord>& rows_ = scan_.rows;
  HugeVector<CellRecord>& cells_ = scan_.cells;
  // Rows the host made that the part has no element for: row -> hidden.
  std::map<int, bool> createdRows_;
  // Formulas replaced by a sort, by the cell's begin offset (unique per cell).
  OffsetMap<std::string> formulas_;
  // Formula results computed by the host, by the cell's begin offset.
  OffsetMap<StoredValue> results_;
  std::unordered_map<uint32_t, SharedMaster>& sharedMasters_ = scan_.sharedMasters;
  std::vector<CellArea> merged_;
  std::vector<CellArea>& arrays_ = scan_.arrays;
  std::vector<uint32_t>& arrayMetadata_ = scan_.arrayMetadata;
  // New ref of array formulas that moved, by the cell's begin offset.
  OffsetMap<std::string> arrayRefs_;
  std::vector<TableArea> tables_;
  std::vector<RowMove> moves_;
  bool sortProtected_ = false;
  bool rowFormattingProtected_ = false;
  // The <hyperlinks> element after sheetData (begin == end when none).
  uint32_t hyperlinksBegin_ = 0;
  uint32_t hyperlinksEnd_ = 0;
  // Where sheetData stands in the part.
  uint32_t sheetDataBegin_ = 0;    // '<' of <sheetData>
  uint32_t sheetDataStartEnd_ = 0;  // one past its start tag
  uint32_t sheetDataClose_ = 0;     // '<' of </sheetData> (== end when self-closing)
  uint32_t sheetDataEnd_ = 0;       // one past the element
  bool sheetDataSelfClosing_ = false;
  std::string prefix_;  // namespace prefix of sheetData ("x:" or "")
  bool modified_ = false;
  bool& holdsFormulas_ = scan_.holdsFormulas;
  mutable bool usedValid_ = false;
  mutable bool usedAny_ = false;
  mutable CellArea used_;
};

}  // namespace host::ooxml
