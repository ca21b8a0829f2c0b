// The binary sheet written anew: the records before the cells as they were,
// every row header (made for rows that had none but now hold cells) with its
// cells and their records in order, then the records after the cells with
// the hyperlinks moved to where their cells went.

#include <algorithm>

#include "host/formats/xlsb/XlsbCells.h"
#include "host/formats/xlsb/XlsbRecords.h"
#include "host/formats/xlsb/XlsbSheet.h"
#include "host/io/LittleEndian.h"

namespace host::xlsb {

void XlsbSheet::AppendFollower(std::string& out, const Follower& follower) const {
  if (follower.area >= 0) {
    const FormulaArea& area = areas_[static_cast<size_t>(follower.area)];
    if (area.dropped) return;
    if (area.moved) {
      const std::string_view old = std::string_view(part_).substr(follower.at, follower.size);
      RecordReader reader(old, "");
      Record record;
      reader.Next(record);
      std::string body;
      io::Append(body, static_cast<uint32_t>(area.firstRow), 4);
      io::Append(body, static_cast<uint32_t>(area.lastRow), 4);
      body.append(record.body.substr(8, 8));
      body.append(record.body.substr(16, 1));  // the array formula's flags
      io::Append(body, area.rgce.size(), 4);
      body += area.rgce;
      io::Append(body, area.rgcb.size(), 4);
      body += area.rgcb;
      AppendRecord(out, record.type, body);
      return;
    }
  }
  out.append(part_, follower.at, follower.size);
}

void XlsbSheet::AppendRow(std::string& out, int row0, const RowHead* head, const CellRec* first,
                          const CellRec* last) const {
  const bool changed = !changedRows_.empty() && changedRows_[static_cast<size_t>(row0)];
  if (head && !changed && head->own < 0) {
    out.append(part_, head->at, head->bodyAt + head->bodySize - head->at);
  } else {
    std::string body = head ? std::string(RowBody(*head)) : NewRowHeader(row0);
    if (changed || !head) {
      std::vector<int32_t> columns;
      for (const CellRec* c = first; c != last; ++c) columns.push_back(c->column);
      body = WithColumnSpans(body, columns);
    }
    AppendRecord(out, rt::kRowHdr, body);
  }
  if (head)
    for (uint32_t i = 0; i < head->followers; ++i) AppendFollower(out, followers_[head->firstFollower + i]);
  for (const CellRec* c = first; c != last; ++c) {
    if (c->own >= 0)
      AppendRecord(out, c->type, own_[static_cast<size_t>(c->own)]);
    else
      out.append(part_, c->at, c->bodyAt + c->bodySize - c->at);
    for (uint32_t i = 0; i < c->followers; ++i) AppendFollower(out, followers_[c->firstFollower + i]);
  }
}

std::string XlsbSheet::MovedTail() const {
  const std::string_view tail = std::string_view(part_).substr(dataEnd_);
  if (moves_.empty()) return std::string(tail);
  std::string out;
  out.reserve(tail.size());
  RecordReader reader(tail, "");
  Record record;
  while (reader.Next(record)) {
    if (record.type != rt::kHLink) {
      out.append(tail.substr(record.offset, record.end - record.offset));
      continue;
    }
    const std::string_view body = record.body;
    const CellArea area{static_cast<int>(io::U32(body, 0)) + 1, static_cast<int>(io::U32(body, 8)) + 1,
                        static_cast<int>(io::U32(body, 4)) + 1, static_cast<int>(io::U32(body, 12)) + 1};
    for (const CellArea& to : MovedAreas(area, moves_)) {
      std::string moved(body);
      io::Put(moved, 0, static_cast<uint32_t>(to.firstRow - 1), 4);
      io::Put(moved, 4, static_cast<uint32_t>(to.lastRow - 1), 4);
      io::Put(moved, 8, static_cast<uint32_t>(to.firstColumn - 1), 4);
      io::Put(moved, 12, static_cast<uint32_t>(to.lastColumn - 1), 4);
      AppendRecord(out, rt::kHLink, moved);
    }
  }
  return out;
}

std::string XlsbSheet::Write() const {
  if (!hasData_) return part_;
  std::string out;
  out.reserve(part_.size() + part_.size() / 8);
  out.append(part_, 0, leadEnd_);
  std::vector<int32_t> headRows;
  headRows.reserve(rows_.size());
  for (const auto& [row, head] : rows_) headRows.push_back(row);
  std::sort(headRows.begin(), headRows.end());
  size_t h = 0;
  const CellRec* cell = cells_.data();
  const CellRec* const end = cells_.data() + cells_.size();
  while (h < headRows.size() || cell != end) {
    const int32_t row = h < headRows.size() && (cell == end || headRows[h] <= cell->row) ? headRows[h] : cell->row;
    const CellRec* first = cell;
    while (cell != end && cell->row == row) ++cell;
    auto found = rows_.find(row);
    AppendRow(out, row, found == rows_.end() ? nullptr : &found->second, first, cell);
    if (h < headRows.size() && headRows[h] == row) ++h;
  }
  out += MovedTail();
  return out;
}

}  // namespace host::xlsb
