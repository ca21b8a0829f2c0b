#pragma once
// One worksheet of an .xls workbook as the host sees it: where its cell
// records stand (values decoded from them when asked for), its rows' hidden
// flags, and the hides, sorts and fresh formula results made on it, kept
// until the workbook writes the sheet's substream anew.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "host/core/SheetStore.h"
#include "host/core/SortPlan.h"
#include "host/formats/biff/BiffRecords.h"
#include "host/formats/biff/FormulaTokens.h"
#include "host/io/LittleEndian.h"
#include "host/io/MappedFile.h"
#include "host/formats/biff/SheetRecords.h"
#include "host/io/StreamPieces.h"
#include "host/formats/biff/WorkbookGlobals.h"

namespace host::biff {

using namespace host::io;  // the container and the byte helpers the records sit in

// What every sheet of one workbook reads from: the workbook stream and its
// globals. The stream is viewed from the file's pages where a save can never
// write into that file (see MappedFile::MapRuns), else copied: the file's
// pages are let go behind passes that read it in order, so that the stream
// is not held whole.
struct XlsBook {
  std::string path;
  std::string_view stream;  // the "Workbook" stream as read: owned, or inside mapped
  std::string owned;
  MappedFile mapped;
  WorkbookGlobals globals;

  // Lets go of the mapped pages of stream[offset, offset + size).
  void Release(size_t offset, size_t size) const;
  // Tells that a read reached offset (see MappedFile::Reached), or a pass in order (MappedFile::PassedTo).
  void Reached(size_t offset) const { mapped.Reached(offset); }
  void PassedTo(size_t offset) const { mapped.PassedTo(offset); }
  // Appends stream[offset, offset + size) to out as a view, let go once handed on.
  void View(StreamPieces& out, size_t offset, size_t size) const;
};

// Orders cells by row, then column, then place in the stream.
void SortCells(std::vector<CellRef>& cells);
// Gives the cells (in the order SortCells gives) of area's columns in each
// row r of area the row targetOf[r - area.firstRow] (1-based rows, as the
// core's RowMove gives them), and keeps the cells in that order: a row's
// cells are copied as one run, never sorted again.
void MoveCellRows(std::vector<CellRef>& cells, const CellArea& area, const RowNumbers& targetOf);

// Appends the substream [begin, end) of book's stream to out as read, but for
// patches (offset in stream, the bytes standing there now, of the same size)
// and its INDEX record at indexOffset (npos: none), whose DEFCOLWIDTH and
// DBCELL positions move to where the substream now begins.
void CopySubstreamAs(const XlsBook& book, size_t begin, size_t end, size_t indexOffset,
                     std::vector<std::pair<size_t, std::string_view>> patches, StreamPieces& out);
// The offset of the INDEX record of the substream whose BOF is at begin; npos when none.
size_t IndexRecordOf(std::string_view stream, size_t begin, const std::string& path);

class XlsSheet : public SheetStore {
 public:
  // Reads the sheet whose BOUNDSHEET8 is entry index of book's globals.
  // Throws HostError for a damaged record.
  XlsSheet(std::shared_ptr<const XlsBook> book, size_t index);

  bool UsedArea(CellArea& area) const override;
  std::vector<CellArea> MergedCellAreas() const override;
  StoredValue Value(int row, int column) const override;
  // One walk over the rows' cells: shared strings viewed where the globals
  // keep them, numbers read from their records, other cells as Value gives them.
  void ReadSortKeys(int firstRow, int lastRow, int keyColumn, SortKeyList& keys) const override;
  std::string_view FormatCode(int row, int column) const override;
  std::string Formula(int row, int column) const override;
  // The key of the cell's own expression as it stands now (see
  // ExpressionShapeKey); TextOnly for an array formula's cells, a data
  // table's and whatever the key does not cover.
  FormulaKey FormulaShapeKey(int row, int column, std::string& key) const override;
  bool RowHidden(int row) const override;
  void SetRowHidden(int row, bool hidden) override;
  bool SortProtected() const override;
  bool RowFormattingProtected() const override;
  bool HoldsFormulas() const override { return records_.holdsFormulas; }
  // An .xls sheet holds 65,536 rows of 256 columns.
  CellArea Grid() const override { return CellArea{1, 1, 65536, 256}; }
  std::vector<CellArea> ArrayFormulaAreas() const override;
  size_t MoveRows(const RowMove& move) override;
  std::vector<std::pair<int, int>> FormulaCells() const override;
  // Kept for the FORMULA record's result field (and its STRING record); an
  // array formula's cells take theirs together, each in its own FORMULA
  // record; a data table's cells are left to the recalculation.
  bool SetFormulaResult(int row, int column, const StoredValue& result) override;
  bool SetArrayResults(const std::vector<CellResult>& results) override;

  // True when a hide, a sort or a fresh formula result changed the sheet since it was read.
  bool Changed() const { return sorted_ || rowsFlipped_ > 0 || !results_.empty(); }
  // The index of the sheet's BOUNDSHEET8 in the globals.
  size_t Index() const { return index_; }
  // Where the sheet's substream begins and ends (just after its EOF) in the stream as read.
  size_t Begin() const { return begin_; }
  size_t End() const { return end_; }
  // Appends the sheet's substream to out as it stands now (out.Size() is
  // where it begins in the new stream). After hides alone, the substream as
  // read with the ROW records' hidden flags changed; after a sort, records
  // the changes do not touch as they were read, the cell table written anew
  // with its ROW blocks, DBCELL and INDEX offsets. INDEX gives the positions
  // the substream has in the new stream.
  void WriteSubstream(StreamPieces& out) const;

 private:
  // Keeps a fresh result for a formula cell's record.
  void KeepResult(const CellRef& cell, const StoredValue& result);
  const CellRef* Find(int row0, int column0) const;
  CellRecord Decode(const CellRef& cell) const { return DecodeCell(book_->stream, cell); }
  bool IsFormula(const CellRef& cell) const { return U16(book_->stream, cell.recordOffset) == rt::kFormula; }
  // The rgce the formula cell holds now (after moves), shared formulas
  // expanded; the second form into out, whose room is used again.
  std::string CurrentRgce(const CellRef& cell) const;
  void CurrentRgce(const CellRef& cell, std::string& out) const;
  // Where each row's cells begin in records_.cells (0-based rows, one more
  // entry than the last row that holds a cell), for Find.
  void IndexRows();
  // The rgcb after the formula cell's rgce (array constants' values), as it stands now.
  std::string Extra(const CellRef& cell) const;
  // A formula cell's rgce and the rgcb after it, in its record as read.
  std::string_view RecordRgce(const CellRef& cell) const;
  std::string_view RecordRgcb(const CellRef& cell) const;
  // The SHRFMLA record whose formula the cell's record names, as read; nullptr when none.
  const FormulaArea* SharedFormulaOf(const CellRef& cell) const;
  const FormulaArea* AreaOfAnchor(uint16_t type, uint16_t row, uint16_t column) const;
  void IndexFormulaAreas();
  // The cell table written anew, laid out before it is written: what each
  // row's cell records take, the blocks of one 32-row band each and where
  // they begin, the groups of blocks written at a time, and each group's
  // rows holding cells in the order their first cell stands in the stream
  // (where it is mapped: the order the table's cells are read in, a pass a
  // group, so that the stream is never held whole).
  struct TableLayout {
    std::vector<RowRecord> rows;      // see RowsToWrite
    std::vector<uint32_t> cellBytes;  // by row (0-based)
    std::vector<size_t> blockEnds;    // rows index where each block ends
    std::vector<size_t> blockAt;      // where each block begins in the table; last: the table's size
    std::vector<size_t> groupEnds;    // block where each group ends
    std::vector<uint32_t> visits;     // each row's first cell in records_.cells, group by group
    std::vector<size_t> visitEnds;    // where each group's visits end
    // The bytes of the cells written after rows[r] (none after a second ROW
    // record of one row).
    uint32_t CellBytesAfter(size_t r) const;
  };
  TableLayout LayOutTable() const;
  // Appends the cell records of the row at row0 as they are written now.
  // With sizing set, formulas written anew are left as zeros of their size.
  void WriteRowCells(std::string& out, int row0, bool sizing) const;
  // Calls write(row0) for the row of each of visits[begin, end) in turn,
  // their cells and records asked for a little ahead, the mapped pages let
  // go behind them.
  template <typename Write>
  void VisitRows(const std::vector<uint32_t>& visits, size_t begin, size_t end, Write write) const;
  // Writes group g of layout into out: ROW records, cells, DBCELL records.
  void WriteGroup(const TableLayout& layout, size_t g, std::string& out) const;
  void WriteCell(std::string& out, const std::vector<CellRef>& cells, size_t& i, bool sizing) const;
  // Appends the FORMULA record (original as read) of a formula cell written
  // anew, up to the end of its CellParsedFormula.
  void AppendOwnFormula(std::string& out, const CellRef& cell, std::string_view original) const;
  std::vector<RowRecord> RowsToWrite() const;
  // Appends the substream written anew (see WriteSubstream).
  void RewriteSubstream(StreamPieces& out) const;
  // The substream as read with its INDEX positions moved to base, and the
  // ROW records whose hidden flag changed patched; false (out untouched)
  // when a row needs a ROW record the sheet does not hold.
  bool CopySubstream(StreamPieces& out) const;

  // The rgce and rgcb of a formula cell written anew (not FormulaNow::AsRead).
  // A Derived one is the record's expression (a shared formula's expanded
  // at the row it was read at) shifted by the rows the cell moved since.
  std::pair<std::string, std::string> OwnFormula(const CellRef& cell) const;
  // Where a Kept formula cell's CellParsedFormula stands in formulaArena_.
  uint32_t KeptAt(const CellRef& cell) const;
  // Adds (FORMULA record offset, place in formulaArena_) entries to keptAt_,
  // replacing those of the same records.
  void Keep(std::vector<std::pair<uint32_t, uint32_t>> kept);
  // The size of the CellParsedFormula OwnFormula gives, without working it out.
  size_t OwnFormulaSize(const CellRef& cell) const;
  // The fresh result set for the formula cell (one of records_.cells), or nullptr.
  const StoredValue* ResultOf(const CellRef& cell) const;
  // A FORMULA record's flags once it holds a fresh result (see
  // FlagsWithFreshResult), from its own or its shared formula's expression.
  uint16_t FlagsWithResult(const CellRef& cell, uint16_t flags) const;
  // Adds to patches (offset in the stream, bytes of the same size, kept in
  // kept) what the fresh results change in the records as read; false when
  // a result needs a STRING record added, removed or resized (the cell table
  // is then written anew).
  bool ResultPatches(std::vector<std::pair<size_t, std::string_view>>& patches, StreamPieces& kept) const;

  std::shared_ptr<const XlsBook> book_;
  size_t index_;
  size_t begin_, end_;  // the substream in the stream as read
  SheetRecords records_;  // cells sorted by row then column; rows sorted by row
  std::vector<uint32_t> rowStart_;  // see IndexRows
  // A shared formula's ExpressionShapeKey where it is the same for every
  // cell that its offsets keep inside the sheet (see SharedOffsetBounds);
  // by formulaAreas index, key empty where there is none.
  struct SharedKey {
    OffsetBounds bounds;
    std::string key;
  };
  std::vector<SharedKey> sharedKeys_;
  // (type, anchor row and column) -> formulaAreas index, in key order; the
  // first area of a key: a sheet holds few, looked up for every formula cell.
  std::vector<std::pair<uint64_t, size_t>> areaByAnchor_;
  // Formulas written anew that moved more than once (or are array and
  // table cells), each a 4-byte length and its CellParsedFormula; keptAt_
  // gives where, by FORMULA record offset (in its order).
  std::string formulaArena_;
  std::vector<std::pair<uint32_t, uint32_t>> keptAt_;
  std::unordered_set<size_t> droppedShared_;             // SHRFMLA records no cell refers to any more
  std::unordered_map<size_t, std::string> arrayRgce_;    // moved ARRAY record offset -> its rgce now
  std::vector<RowMove> moves_;
  // The fresh results set and, by records_.cells index, 1 + where a cell's
  // own stands in results_ (0: none); empty until the first is set.
  std::deque<StoredValue> results_;  // grows without moving those kept
  std::vector<uint32_t> resultOf_;
  bool sorted_ = false;      // a sort moved cells
  size_t rowsFlipped_ = 0;   // rows whose hidden flag differs from the file's
};

}  // namespace host::biff
