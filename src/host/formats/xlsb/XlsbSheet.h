#pragma once
// One worksheet part of a binary workbook (sheet*.bin) as the host's sheet
// store: the cell records (every BrtCell* and BrtFmla* kind) under their
// row headers, the shared and array formulas, merged cells, hyperlinks and
// protection, read once at open. A sort moves cell records whole to their new
// rows (formulas shifted in BIFF12 tokens); hiding sets the row header's flag,
// making a header where the row had none. Saving writes the part anew from
// its records: the records before and after the cells as they were (the
// hyperlinks moved with their cells), the rows with only what moved or was
// hidden changed and the formula records given fresh results, produced
// piece by piece for the package to deflate.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/core/HugePages.h"
#include "host/core/SheetStore.h"
#include "host/core/SortPlan.h"
#include "host/formats/xlsb/XlsbFormula.h"
#include "host/io/Package.h"

namespace host::xlsb {

class SharedStrings;
class Styles;

class XlsbSheet : public SheetStore {
 public:
  // What the workbook lends to the sheet's cells.
  struct Book {
    const SharedStrings* strings = nullptr;
    const Styles* styles = nullptr;
    FormulaNames names;
  };

  // Reads the part (kept as read for the save); RecordFault naming part,
  // record and offset when damaged.
  XlsbSheet(PartBytes part, const std::string& partName, Book book);

  void SetTables(std::vector<TableArea> tables) { tables_ = std::move(tables); }
  // True when a sort or a hide changed the sheet since it was read.
  bool Modified() const { return modified_; }
  // The moves applied, in order (for the notes that follow their cells).
  const std::vector<RowMove>& Moves() const { return moves_; }
  // The part written anew from its records, piece by piece; valid while the
  // sheet lives and unchanged.
  PartProducer Writer() const;
  // The size of the part as read (about the size written).
  uint64_t SourceSize() const { return part_.size(); }

  // SheetStore.
  bool UsedArea(CellArea& area) const override;
  std::vector<CellArea> MergedCellAreas() const override { return merged_; }
  StoredValue Value(int row, int column) const override;
  std::string_view FormatCode(int row, int column) const override;
  std::string Formula(int row, int column) const override;
  bool RowHidden(int row) const override;
  void SetRowHidden(int row, bool hidden) override;
  bool SortProtected() const override { return sortProtected_; }
  bool RowFormattingProtected() const override { return rowsProtected_; }
  bool HoldsFormulas() const override { return holdsFormulas_; }
  std::vector<CellArea> ArrayFormulaAreas() const override;
  std::vector<TableArea> TableAreas() const override { return tables_; }
  void ReadSortKeys(int firstRow, int lastRow, int keyColumn, SortKeyList& keys) const override;
  size_t MoveRows(const RowMove& move) override;
  std::vector<std::pair<int, int>> FormulaCells() const override;
  // Kept in the cell's formula record (see XlsbFormulaResults.h); every
  // cell of an array formula has one, naming the array's (PtgExp).
  bool SetFormulaResult(int row, int column, const StoredValue& result) override;
  bool SetArrayResults(const std::vector<CellResult>& results) override;

 private:
  // The formula record of the cell at (row, column) with result in it, as
  // its body and record type; false when it cannot keep the result there
  // or the cell's formula is not of the kind asked for (a shared formula's
  // member or a formula of its own; else an array's cell).
  bool BodyWithResult(int row, int column, const StoredValue& result, bool array, std::string& body, uint32_t& type) const;
  // Puts a body made by BodyWithResult in the cell's record.
  void KeepBody(int row, int column, std::string body, uint32_t type);

  // A record kept after a cell or a row header (a shared or array formula,
  // cell metadata): where it stands in the part.
  struct Follower {
    uint32_t at = 0, size = 0;
    int32_t area = -1;  // the shared or array formula it is, an index in areas_
  };
  struct CellRec {
    int32_t row = 0, column = 0;  // 0-based
    uint32_t type = 0;
    uint32_t at = 0;           // the record's offset in the part
    uint32_t bodyAt = 0;       // its body's offset and size in the part
    uint32_t bodySize = 0;
    int32_t own = -1;          // the body rewritten: its index in own_
    uint32_t firstFollower = 0, followers = 0;
  };
  struct RowHead {
    uint32_t at = 0;  // the record's offset in the part
    uint32_t bodyAt = 0, bodySize = 0;
    int32_t own = -1;          // a header rewritten or made: its body in own_
    uint32_t firstFollower = 0, followers = 0;
    bool hidden = false;
  };
  // A BrtShrFmla or BrtArrFmla: the area and the expression it gives.
  struct FormulaArea {
    uint32_t type = 0;
    int32_t firstRow = 0, lastRow = 0, firstColumn = 0, lastColumn = 0;  // 0-based
    uint32_t recordAt = 0;
    std::string rgce, rgcb;
    bool dropped = false;  // a shared formula whose members got their own expressions
    bool moved = false;    // an array formula written anew
  };

  void Read(const std::string& partName);
  std::string_view Body(const CellRec& cell) const;
  std::string_view RowBody(const RowHead& head) const;
  const CellRec* Find(int row0, int column0) const;
  const FormulaArea* AreaAt(int row0, int column0) const;
  void IndexAreas();
  // Output that copies records of the part as read in runs (XlsbSheetWrite.cpp).
  class PartCopies;
  // The record bytes of a follower as written (a moved array formula anew,
  // a dropped shared formula not at all).
  void AppendFollower(PartCopies& out, const Follower& follower) const;
  // Buffers a row header written anew is made in, reused from row to row.
  struct RowScratch {
    std::vector<int32_t> columns;
    std::string body, spanned;
  };
  void AppendRow(PartCopies& out, int row0, const RowHead* head, const CellRec* first, const CellRec* last,
                 RowScratch& scratch) const;
  std::string MovedTail() const;
  // Puts the cells back in (row, column) order after their rows changed,
  // through placed (room reserved, empty), which becomes the cells.
  void ReorderCells(HugeVector<CellRec>& placed);

  PartBytes bytes_;
  std::string_view part_;  // bytes_ as read
  Book book_;
  HugeVector<CellRec> cells_;  // in (row, column) order
  std::vector<std::string> own_;
  std::unordered_map<int32_t, RowHead> rows_;
  std::vector<Follower> followers_;
  std::vector<FormulaArea> areas_;
  std::unordered_map<uint64_t, size_t> areaByAnchor_;  // (row << 32 | column) -> areas_ index
  std::vector<CellArea> merged_;
  std::vector<TableArea> tables_;
  std::vector<RowMove> moves_;
  std::vector<bool> changedRows_;  // rows (0-based) whose cells changed, for their column spans
  uint32_t dataBegin_ = 0;     // the offset just past BrtBeginSheetData
  uint32_t leadEnd_ = 0;       // the records before the first row header end here
  uint32_t dataEnd_ = 0;       // the offset of BrtEndSheetData
  bool hasData_ = false;
  bool holdsFormulas_ = false;
  bool sortProtected_ = false;
  bool rowsProtected_ = false;
  bool modified_ = false;
  CellArea used_;
  bool anyCell_ = false;
};

}  // namespace host::xlsb
