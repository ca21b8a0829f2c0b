// The binary sheet written anew: the records before the cells as they were,
// every row header (made for rows that had none but now hold cells) with its
// cells and their records in order, then the records after the cells with
// the hyperlinks moved to where their cells went.

#include <algorithm>
#include <memory>

#include "host/formats/xlsb/XlsbCells.h"
#include "host/formats/xlsb/XlsbRecords.h"
#include "host/formats/xlsb/XlsbSheet.h"
#include "host/io/LittleEndian.h"

namespace host::xlsb {

// The piece being written: records kept as read are not copied one by one
// but as runs of the part, a run growing while each record starts where the
// one before it ended (the cells of a row that stayed together, rows that did
// not change); bytes made anew end the run first.
class XlsbSheet::PartCopies {
 public:
  PartCopies(std::string& out, std::string_view part) : out_(out), part_(part) {}
  ~PartCopies() { Flush(); }
  PartCopies(const PartCopies&) = delete;
  PartCopies& operator=(const PartCopies&) = delete;

  // Copies part[at, at + size).
  void Copy(uint32_t at, uint32_t size) {
    if (size_ && at == at_ + size_) {
      size_ += size;
      return;
    }
    Flush();
    at_ = at;
    size_ = size;
  }
  // The output, for bytes made anew.
  std::string& Out() {
    Flush();
    return out_;
  }
  // Bytes written so far, the run not yet copied included.
  size_t Size() const { return out_.size() + size_; }
  void Flush() {
    if (size_) out_.append(part_.data() + at_, size_);
    size_ = 0;
  }

 private:
  std::string& out_;
  std::string_view part_;
  uint32_t at_ = 0, size_ = 0;
};

void XlsbSheet::AppendFollower(PartCopies& out, const Follower& follower) const {
  if (follower.area >= 0) {
    const FormulaArea& area = areas_[static_cast<size_t>(follower.area)];
    if (area.dropped) return;
    if (area.moved) {
      const std::string_view old = part_.substr(follower.at, follower.size);
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
      AppendRecord(out.Out(), record.type, body);
      return;
    }
  }
  out.Copy(follower.at, follower.size);
}

void XlsbSheet::AppendRow(PartCopies& out, int row0, const RowHead* head, const CellRec* first, const CellRec* last,
                          RowScratch& scratch) const {
  const bool changed = !changedRows_.empty() && changedRows_[static_cast<size_t>(row0)];
  if (head && !changed && head->own < 0) {
    out.Copy(head->at, head->bodyAt + head->bodySize - head->at);
  } else if (changed || !head) {
    if (head)
      scratch.body.assign(RowBody(*head));
    else
      scratch.body = NewRowHeader(row0);
    scratch.columns.clear();
    for (const CellRec* c = first; c != last; ++c) scratch.columns.push_back(c->column);
    WithColumnSpans(scratch.body, scratch.columns, scratch.spanned);
    AppendRecord(out.Out(), rt::kRowHdr, scratch.spanned);
  } else {
    AppendRecord(out.Out(), rt::kRowHdr, RowBody(*head));
  }
  if (head)
    for (uint32_t i = 0; i < head->followers; ++i) AppendFollower(out, followers_[head->firstFollower + i]);
  for (const CellRec* c = first; c != last; ++c) {
    if (c->own >= 0)
      AppendRecord(out.Out(), c->type, own_[static_cast<size_t>(c->own)]);
    else
      out.Copy(c->at, c->bodyAt + c->bodySize - c->at);
    for (uint32_t i = 0; i < c->followers; ++i) AppendFollower(out, followers_[c->firstFollower + i]);
  }
}

std::string XlsbSheet::MovedTail() const {
  const std::string_view tail = part_.substr(dataEnd_);
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

PartProducer XlsbSheet::Writer() const {
  // The rows go out in pieces of about kPiece bytes, each written into the
  // same buffer; the records before and after the cells as views of the
  // part as read.
  constexpr size_t kPiece = size_t(1) << 20;
  struct State {
    enum class Phase { Lead, Rows, Tail, Done } phase = Phase::Lead;
    std::vector<int32_t> headRows;  // the rows with a header, in order
    size_t h = 0;
    const CellRec* cell = nullptr;
    std::string piece, tail;
    RowScratch scratch;
  };
  auto state = std::make_shared<State>();
  if (!hasData_) {
    state->phase = State::Phase::Tail;
    return [this, state]() -> std::string_view {
      if (state->phase == State::Phase::Done) return {};
      state->phase = State::Phase::Done;
      return part_;
    };
  }
  state->headRows.reserve(rows_.size());
  for (const auto& [row, head] : rows_) state->headRows.push_back(row);
  std::sort(state->headRows.begin(), state->headRows.end());
  state->cell = cells_.data();
  return [this, state]() -> std::string_view {
    State& s = *state;
    const CellRec* const end = cells_.data() + cells_.size();
    switch (s.phase) {
      case State::Phase::Lead:
        s.phase = State::Phase::Rows;
        if (leadEnd_ > 0) return part_.substr(0, leadEnd_);
        [[fallthrough]];
      case State::Phase::Rows:
        s.piece.clear();
        for (PartCopies out(s.piece, part_); out.Size() < kPiece && (s.h < s.headRows.size() || s.cell != end);) {
          const int32_t row =
              s.h < s.headRows.size() && (s.cell == end || s.headRows[s.h] <= s.cell->row) ? s.headRows[s.h] : s.cell->row;
          const CellRec* first = s.cell;
          while (s.cell != end && s.cell->row == row) ++s.cell;
          auto found = rows_.find(row);
          AppendRow(out, row, found == rows_.end() ? nullptr : &found->second, first, s.cell, s.scratch);
          if (s.h < s.headRows.size() && s.headRows[s.h] == row) ++s.h;
        }
        if (!s.piece.empty()) return s.piece;
        s.phase = State::Phase::Tail;
        [[fallthrough]];
      case State::Phase::Tail:
        s.phase = State::Phase::Done;
        if (moves_.empty()) return part_.substr(dataEnd_);
        s.tail = MovedTail();
        return s.tail;
      case State::Phase::Done: break;
    }
    return {};
  };
}

}  // namespace host::xlsb
