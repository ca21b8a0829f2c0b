#include "host/formats/xlsb/XlsbSheet.h"

#include <algorithm>
#include <cmath>

#include "host/core/HostError.h"
#include "host/core/HugePages.h"
#include "host/core/SortKeys.h"
#include "host/formats/biff/BiffRecords.h"
#include "host/formats/xlsb/XlsbCells.h"
#include "host/formats/xlsb/XlsbRecords.h"
#include "host/formats/xlsb/XlsbStrings.h"
#include "host/formats/xlsb/XlsbStyles.h"
#include "host/io/LittleEndian.h"

namespace host::xlsb {

using io::U32;
using io::U8;

namespace {

constexpr int32_t kLastRow0 = 1048575, kLastColumn0 = 16383;

uint64_t Key(int row0, int column0) { return static_cast<uint64_t>(row0) << 32 | static_cast<uint32_t>(column0); }

}  // namespace

XlsbSheet::XlsbSheet(PartBytes part, const std::string& partName, Book book)
    : bytes_(std::move(part)), part_(bytes_.View()), book_(book) {
  Read(partName);
}

void XlsbSheet::Read(const std::string& partName) {
  RecordReader reader(part_, partName);
  Record record;
  enum class Where { Head, Data, Tail } where = Where::Head;
  RowHead* head = nullptr;
  int32_t row = -1;
  bool sawRow = false;
  // Followers go to the last cell of the row, or to its header.
  auto follow = [&](const Record& r) {
    followers_.push_back(Follower{static_cast<uint32_t>(r.offset), static_cast<uint32_t>(r.end - r.offset)});
    if (!cells_.empty() && cells_.back().row == row) {
      if (cells_.back().followers == 0) cells_.back().firstFollower = static_cast<uint32_t>(followers_.size() - 1);
      ++cells_.back().followers;
    } else if (head) {
      if (head->followers == 0) head->firstFollower = static_cast<uint32_t>(followers_.size() - 1);
      ++head->followers;
    }
  };
  if (part_.size() > UINT32_MAX) throw RecordFault{"the part " + partName + " is larger than a sheet part can be"};
  // Room for the cells at once, one for every 20 bytes of the part, as the
  // records of a usual sheet run (numbers and shared strings with their
  // headers, each row's header spread over its cells): growing the array
  // copies it into fresh memory. A sheet of smaller records (blanks) grows
  // it once or twice.
  cells_.reserve(part_.size() / 20);
  while (reader.Next(record)) {
    const std::string_view body = record.body;
    if (where == Where::Head) {
      if (record.type == rt::kBeginSheetData) {
        where = Where::Data;
        hasData_ = true;
        dataBegin_ = leadEnd_ = static_cast<uint32_t>(record.end);
      }
      continue;
    }
    if (where == Where::Data) {
      if (record.type == rt::kEndSheetData) {
        where = Where::Tail;
        dataEnd_ = static_cast<uint32_t>(record.offset);
        if (!sawRow) leadEnd_ = dataEnd_;
        continue;
      }
      if (record.type == rt::kRowHdr) {
        if (body.size() < 17) reader.Damaged(record, "is shorter than a row header");
        const auto rw = static_cast<int32_t>(U32(body, 0));
        if (rw < 0 || rw > kLastRow0 || rw <= row) reader.Damaged(record, "names a row out of order or beyond the sheet");
        if (!sawRow) leadEnd_ = static_cast<uint32_t>(record.offset);
        sawRow = true;
        row = rw;
        head = &rows_[row];
        head->at = static_cast<uint32_t>(record.offset);
        head->bodyAt = static_cast<uint32_t>(body.data() - part_.data());
        head->bodySize = static_cast<uint32_t>(body.size());
        head->hidden = U8(body, 11) & 0x10;
        continue;
      }
      if (IsCellRecord(record.type)) {
        if (!sawRow) reader.Damaged(record, "is a cell before any row header");
        std::string why;
        if (!CheckCell(record.type, body, book_.strings ? book_.strings->Count() : 0, why)) reader.Damaged(record, why);
        CellRec cell;
        cell.row = row;
        cell.column = static_cast<int32_t>(U32(body, 0));
        if (cell.column < 0 || cell.column > kLastColumn0 || (!cells_.empty() && cells_.back().row == row && cells_.back().column >= cell.column))
          reader.Damaged(record, "names a column out of order or beyond the sheet");
        cell.type = record.type;
        cell.at = static_cast<uint32_t>(record.offset);
        cell.bodyAt = static_cast<uint32_t>(body.data() - part_.data());
        cell.bodySize = static_cast<uint32_t>(body.size());
        if (IsFormulaRecord(record.type)) holdsFormulas_ = true;
        cells_.push_back(cell);
        continue;
      }
      if (record.type == rt::kShrFmla || record.type == rt::kArrFmla) {
        // The area, then (an array formula's flags and) the expression.
        FormulaArea area;
        area.type = record.type;
        std::string_view rgce, rgcb;
        const size_t formulaAt = record.type == rt::kArrFmla ? 17 : 16;
        if (body.size() < 16 || !SplitFormula(body, formulaAt, rgce, rgcb)) reader.Damaged(record, "holds a formula that is cut off");
        area.firstRow = static_cast<int32_t>(U32(body, 0));
        area.lastRow = static_cast<int32_t>(U32(body, 4));
        area.firstColumn = static_cast<int32_t>(U32(body, 8));
        area.lastColumn = static_cast<int32_t>(U32(body, 12));
        if (area.firstRow < 0 || area.lastRow > kLastRow0 || area.firstRow > area.lastRow || area.firstColumn < 0 ||
            area.lastColumn > kLastColumn0 || area.firstColumn > area.lastColumn || cells_.empty() ||
            cells_.back().row != area.firstRow || cells_.back().column != area.firstColumn)
          reader.Damaged(record, "names an area that does not start at its formula's cell");
        area.recordAt = static_cast<uint32_t>(record.offset);
        area.rgce.assign(rgce);
        area.rgcb.assign(rgcb);
        areas_.push_back(std::move(area));
        follow(record);
        followers_.back().area = static_cast<int32_t>(areas_.size() - 1);
        continue;
      }
      if (IsCompactCellRecord(record.type))
        throw RecordFault{"the part " + reader.Part() + " holds cells written in a compact form this host cannot read (record " +
                          std::to_string(record.type) + " at byte " + std::to_string(record.offset) +
                          "), so its rows could not be sorted or filtered right"};
      if (!sawRow) continue;  // the lead records stay where they are
      follow(record);
      continue;
    }
    // After the cells.
    switch (record.type) {
      case rt::kMergeCell: {
        if (body.size() < 16) reader.Damaged(record, "is shorter than a merged area");
        const auto r1 = static_cast<int32_t>(U32(body, 0)), r2 = static_cast<int32_t>(U32(body, 4));
        const auto c1 = static_cast<int32_t>(U32(body, 8)), c2 = static_cast<int32_t>(U32(body, 12));
        if (r1 < 0 || r2 > kLastRow0 || r1 > r2 || c1 < 0 || c2 > kLastColumn0 || c1 > c2)
          reader.Damaged(record, "names a merged area beyond the sheet");
        merged_.push_back(CellArea{r1 + 1, c1 + 1, r2 + 1, c2 + 1});
        break;
      }
      case rt::kHLink: {
        if (body.size() < 16) reader.Damaged(record, "is shorter than a hyperlink");
        const auto r1 = static_cast<int32_t>(U32(body, 0)), r2 = static_cast<int32_t>(U32(body, 4));
        const auto c1 = static_cast<int32_t>(U32(body, 8)), c2 = static_cast<int32_t>(U32(body, 12));
        if (r1 < 0 || r2 > kLastRow0 || r1 > r2 || c1 < 0 || c2 > kLastColumn0 || c1 > c2)
          reader.Damaged(record, "names a hyperlink area beyond the sheet");
        break;
      }
      case rt::kSheetProtection:
        // fLocked, then each action's lock; 1 locks the action.
        if (body.size() < 66) reader.Damaged(record, "is shorter than the sheet's protection");
        if (U32(body, 2)) {
          rowsProtected_ = U32(body, 22) != 0;
          sortProtected_ = U32(body, 50) != 0;
        }
        break;
      default: break;
    }
  }
  if (where == Where::Data) throw RecordFault{"the part " + partName + " is damaged: its cells have no end"};
  IndexAreas();
  for (const CellRec& cell : cells_) {
    if (!anyCell_) used_ = CellArea{cell.row + 1, cell.column + 1, cell.row + 1, cell.column + 1};
    anyCell_ = true;
    used_.firstColumn = std::min(used_.firstColumn, cell.column + 1);
    used_.lastColumn = std::max(used_.lastColumn, cell.column + 1);
    used_.lastRow = cell.row + 1;
  }
}

void XlsbSheet::IndexAreas() {
  areaByAnchor_.clear();
  for (size_t i = 0; i < areas_.size(); ++i) areaByAnchor_[Key(areas_[i].firstRow, areas_[i].firstColumn)] = i;
}

std::string_view XlsbSheet::Body(const CellRec& cell) const {
  if (cell.own >= 0) return own_[static_cast<size_t>(cell.own)];
  return part_.substr(cell.bodyAt, cell.bodySize);
}

std::string_view XlsbSheet::RowBody(const RowHead& head) const {
  if (head.own >= 0) return own_[static_cast<size_t>(head.own)];
  return part_.substr(head.bodyAt, head.bodySize);
}

const XlsbSheet::CellRec* XlsbSheet::Find(int row0, int column0) const {
  auto found = std::lower_bound(cells_.begin(), cells_.end(), std::make_pair(row0, column0),
                                [](const CellRec& c, const std::pair<int, int>& at) {
                                  return c.row != at.first ? c.row < at.first : c.column < at.second;
                                });
  return found != cells_.end() && found->row == row0 && found->column == column0 ? &*found : nullptr;
}

const XlsbSheet::FormulaArea* XlsbSheet::AreaAt(int row0, int column0) const {
  auto found = areaByAnchor_.find(Key(row0, column0));
  return found == areaByAnchor_.end() ? nullptr : &areas_[found->second];
}

bool XlsbSheet::UsedArea(CellArea& area) const {
  if (!anyCell_) return false;
  area = used_;
  return true;
}

StoredValue XlsbSheet::Value(int row, int column) const {
  const CellRec* cell = Find(row - 1, column - 1);
  if (!cell) return {};
  return CellValue(cell->type, Body(*cell), *book_.strings);
}

std::string_view XlsbSheet::FormatCode(int row, int column) const {
  const CellRec* cell = Find(row - 1, column - 1);
  if (!cell || !book_.styles) return "General";
  return book_.styles->FormatCode(StyleOf(Body(*cell)));
}

std::string XlsbSheet::Formula(int row, int column) const {
  const CellRec* cell = Find(row - 1, column - 1);
  if (!cell || !IsFormulaRecord(cell->type)) return {};
  std::string_view rgce, rgcb;
  SplitFormula(Body(*cell), FormulaOffset(cell->type, Body(*cell)), rgce, rgcb);
  int anchorRow = 0, anchorColumn = 0;
  if (FormulaAnchor(rgce, rgcb, anchorRow, anchorColumn)) {
    const FormulaArea* area = AreaAt(anchorRow, anchorColumn);
    if (!area) throw HostError("The formula of this cell names a shared or array formula the sheet does not hold.");
    if (area->type == rt::kShrFmla) return FormulaText(area->rgce, row - 1, column - 1, book_.names);
    return FormulaText(area->rgce, anchorRow, anchorColumn, book_.names);
  }
  return FormulaText(rgce, row - 1, column - 1, book_.names);
}

void XlsbSheet::ReadSortKeys(int firstRow, int lastRow, int keyColumn, SortKeyList& keys) const {
  // One walk over the rows' cells; shared strings are viewed where the
  // workbook keeps them, numbers read from their records.
  auto cell = std::lower_bound(cells_.begin(), cells_.end(), firstRow - 1,
                               [](const CellRec& c, int32_t row0) { return c.row < row0; });
  for (; cell != cells_.end() && cell->row <= lastRow - 1; ++cell) {
    if (cell->column != keyColumn - 1) continue;
    const std::string_view body = Body(*cell);
    if (cell->type == rt::kCellIsst)
      keys.AddTextView(cell->row + 1, book_.strings->At(U32(body, 8)));
    else if (cell->type != rt::kCellBlank)
      keys.Add(cell->row + 1, CellValue(cell->type, body, *book_.strings));
  }
}

bool XlsbSheet::RowHidden(int row) const {
  auto found = rows_.find(row - 1);
  return found != rows_.end() && found->second.hidden;
}

void XlsbSheet::SetRowHidden(int row, bool hidden) {
  if (!hasData_) throw HostError("The sheet holds no cell table, so its rows cannot be hidden.");
  auto found = rows_.find(row - 1);
  if (found == rows_.end()) {
    if (!hidden) return;
    found = rows_.emplace(row - 1, RowHead{}).first;
    own_.push_back(NewRowHeader(row - 1));
    found->second.own = static_cast<int32_t>(own_.size() - 1);
  }
  RowHead& head = found->second;
  if (head.hidden == hidden) return;
  if (head.own < 0) {
    own_.emplace_back(RowBody(head));
    head.own = static_cast<int32_t>(own_.size() - 1);
  }
  std::string& body = own_[static_cast<size_t>(head.own)];
  body[11] = static_cast<char>(hidden ? (U8(body, 11) | 0x10) : (U8(body, 11) & ~0x10));
  head.hidden = hidden;
  modified_ = true;
}

std::vector<CellArea> XlsbSheet::ArrayFormulaAreas() const {
  std::vector<CellArea> arrays;
  for (const FormulaArea& a : areas_)
    if (a.type == rt::kArrFmla) arrays.push_back(CellArea{a.firstRow + 1, a.firstColumn + 1, a.lastRow + 1, a.lastColumn + 1});
  return arrays;
}

}  // namespace host::xlsb
