// The core's one sort over a store held in memory: which rows move where,
// around hidden rows, tables and merged cells, and what is refused, with no
// file format in between. Each format's own side (reading keys, applying the
// move) is checked by the contract suite over real files.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/core/RowSort.h"
#include "host/core/SheetStore.h"
#include "host/core/SortPlan.h"

namespace {

// Keys as the table below writes them: a number, "t:text", "b:1", "e:#N/A",
// "u:" for a formula never calculated, "" for no cell.
host::StoredValue ValueOf(const std::string& key) {
  host::StoredValue v;
  if (key.empty()) return v;
  if (key.rfind("t:", 0) == 0) {
    v.kind = host::CellKind::Text;
    v.text = key.substr(2);
  } else if (key.rfind("b:", 0) == 0) {
    v.kind = host::CellKind::Boolean;
    v.number = key[2] == '1';
  } else if (key.rfind("e:", 0) == 0) {
    v.kind = host::CellKind::Error;
    v.text = key.substr(2);
  } else if (key == "u:") {
    v.kind = host::CellKind::Number;
    v.uncalculated = true;
  } else {
    v.kind = host::CellKind::Number;
    v.number = std::stod(key);
  }
  return v;
}

// Column A holds the keys of rows 1.., column B each row's own number.
class MemoryStore : public host::SheetStore {
 public:
  explicit MemoryStore(const std::vector<std::string>& keys) {
    for (size_t i = 0; i < keys.size(); ++i) {
      const int row = static_cast<int>(i + 1);
      if (!keys[i].empty()) cells_[{row, 1}] = ValueOf(keys[i]);
      cells_[{row, 2}] = ValueOf(std::to_string(row));
    }
  }

  bool UsedArea(host::CellArea& area) const override {
    if (cells_.empty()) return false;
    area = {1, 1, cells_.rbegin()->first.first, 2};
    return true;
  }
  std::vector<host::CellArea> MergedCellAreas() const override { return merged; }
  std::vector<host::CellArea> ArrayFormulaAreas() const override { return arrays; }
  std::vector<host::TableArea> TableAreas() const override { return tables; }
  host::CellArea Grid() const override { return grid; }
  host::StoredValue Value(int row, int column) const override {
    auto it = cells_.find({row, column});
    return it == cells_.end() ? host::StoredValue{} : it->second;
  }
  std::string_view FormatCode(int, int) const override { return "General"; }
  std::string Formula(int, int) const override { return {}; }
  bool RowHidden(int row) const override { return hidden.count(row) > 0; }
  void SetRowHidden(int row, bool h) override {
    if (h) hidden[row] = true; else hidden.erase(row);
  }
  bool HoldsFormulas() const override { return false; }
  std::vector<host::RowRun> RepeatedRows(int firstRow, int lastRow) const override {
    std::vector<host::RowRun> cut;
    for (const host::RowRun& run : runs) {
      const int first = std::max(run.firstRow, firstRow), last = std::min(run.firstRow + run.count - 1, lastRow);
      if (last > first) cut.push_back({first, last - first + 1});
    }
    return cut;
  }
  size_t MoveRows(const host::RowMove& given) override {
    ++moves;
    lastMove = given;
    host::RowMove move = given;
    if (!move.pieces.empty()) {
      // A move given as pieces, row by row.
      move.targetOf.assign(static_cast<size_t>(move.area.lastRow - move.area.firstRow + 1), 0);
      for (const host::RowPiece& piece : move.pieces)
        for (int k = 0; k < piece.count; ++k)
          move.targetOf[static_cast<size_t>(piece.source + k - move.area.firstRow)] = piece.target + k;
    }
    std::map<std::pair<int, int>, host::StoredValue> next;
    size_t moved = 0;
    std::map<int, int> counted;
    for (const auto& [at, value] : cells_) {
      auto [row, column] = at;
      if (row >= move.area.firstRow && row <= move.area.lastRow && column >= move.area.firstColumn &&
          column <= move.area.lastColumn) {
        const int to = move.targetOf[static_cast<size_t>(row - move.area.firstRow)];
        if (to != row && !counted[row]++) ++moved;
        row = to;
      }
      next[{row, column}] = value;
    }
    cells_.swap(next);
    return moved;
  }

  // The row numbers column B shows from top to bottom, rows 1..count.
  std::vector<int> Order(int count) const {
    std::vector<int> rows;
    for (int row = 1; row <= count; ++row) rows.push_back(static_cast<int>(Value(row, 2).number));
    return rows;
  }

  std::vector<host::CellArea> merged, arrays;
  std::vector<host::TableArea> tables;
  host::CellArea grid{1, 1, host::kMaxRows, host::kMaxColumns};
  std::map<int, bool> hidden;
  std::vector<host::RowRun> runs;  // rows the store names as repeated
  int moves = 0;
  host::RowMove lastMove;

 private:
  std::map<std::pair<int, int>, host::StoredValue> cells_;
};

struct Case {
  const char* name;
  std::vector<std::string> keys;
  host::CellArea range;
  bool descending = false;
  std::vector<int> hiddenRows;
  std::vector<host::TableArea> tables;
  std::vector<host::CellArea> merged;
  std::vector<int> order;    // column B afterwards; empty when refused
  std::string refusal = {};  // the start of the refusal's reason
};

TEST(RowSort, EveryRuleOfTheOrderAndEveryRefusalOverAStoreInMemory) {
  const Case cases[] = {
      {"kinds: numbers, text, FALSE/TRUE, errors; blanks last; ties stable",
       {"t:pear", "10", "b:1", "", "e:#DIV/0!", "t:Apple", "b:0", "-2.5", "10"},
       {1, 1, 9, 2},
       false, {}, {}, {},
       {8, 2, 9, 6, 1, 7, 3, 5, 4}},
      {"descending keeps blanks last", {"1", "", "3", "2"}, {1, 1, 4, 2}, true, {}, {}, {}, {3, 4, 1, 2}},
      {"hidden rows keep their place and are no keys", {"3", "1", "u:", "2"}, {1, 1, 4, 2}, false, {3}, {}, {},
       {2, 4, 3, 1}},
      {"a never calculated key in a visible row refuses", {"3", "u:", "1"}, {1, 1, 3, 2}, false, {}, {}, {}, {},
       "cell A2 holds a formula that has never been calculated"},
      {"a table's header and totals rows stay", {"0", "3", "1", "2", "9"}, {1, 1, 5, 2}, false, {},
       {host::TableArea{"Sales", {1, 1, 5, 2}, 1, 1}}, {}, {1, 3, 4, 2, 5}},
      {"part of a table refuses", {"3", "2", "1"}, {1, 1, 3, 2}, false, {},
       {host::TableArea{"Sales", {2, 1, 5, 2}, 1, 0}}, {}, {}, "the range holds rows of the table \"Sales\""},
      {"merged cells cut by the range refuse", {"3", "2", "1"}, {1, 1, 3, 2}, false, {}, {}, {{3, 1, 4, 1}}, {},
       "the range cuts through the merged cells $A$3:$A$4"},
      {"rows past the last used one stay", {"2", "1"}, {1, 1, host::kMaxRows, 2}, false, {}, {}, {}, {2, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryStore store(c.keys);
    for (int row : c.hiddenRows) store.hidden[row] = true;
    store.tables = c.tables;
    store.merged = c.merged;
    const std::vector<int> before = store.Order(static_cast<int>(c.keys.size()));
    try {
      host::SortRows(store, c.range, 1, c.descending);
      EXPECT_TRUE(c.refusal.empty()) << "not refused";
      EXPECT_EQ(store.Order(static_cast<int>(c.keys.size())), c.order);
    } catch (const host::SortRefused& refused) {
      EXPECT_EQ(refused.Reason().substr(0, c.refusal.size()), c.refusal) << refused.Reason();
      EXPECT_FALSE(c.refusal.empty()) << refused.Reason();
      EXPECT_EQ(store.moves, 0);
      EXPECT_EQ(store.Order(static_cast<int>(c.keys.size())), before);
    }
  }
}

TEST(RowSort, AnOrderThatChangesNothingAsksTheStoreForNothing) {
  MemoryStore store({"1", "2", "", "3"});
  EXPECT_EQ(host::SortRows(store, {1, 1, 3, 2}, 1, false), 0u);  // the blank row is last already
  EXPECT_EQ(store.moves, 0);
  EXPECT_EQ(host::SortRows(store, {1, 1, 4, 2}, 1, true), 3u);  // row 2 stays
  EXPECT_EQ(store.Order(4), (std::vector<int>{4, 2, 1, 3}));
}

TEST(RowSort, TheMoveStaysWithinTheFormatsGrid) {
  // A sheet that holds fewer rows and columns than the range names (.xls).
  MemoryStore store({"2", "1"});
  store.grid = {1, 1, 65536, 256};
  ASSERT_EQ(host::SortRows(store, {1, 1, host::kMaxRows, host::kMaxColumns}, 1, false), 2u);
  EXPECT_EQ(store.lastMove.area, (host::CellArea{1, 1, 2, 256}));
  EXPECT_EQ(store.lastMove.targetOf, (host::RowNumbers{2, 1}));
}

struct RunCase {
  const char* name;
  std::vector<std::string> keys;  // a run's rows hold the same key
  std::vector<host::RowRun> runs;
  std::vector<int> hiddenRows;
  host::CellArea range;
  bool descending;
  std::vector<int> order;  // column B afterwards
};

// Rows a store names as repeated are read once and move as one (given as
// pieces), with the order a row-by-row sort gives.
TEST(RowSort, RepeatedRowsMoveAsOneWithTheOrderOfEachRow) {
  const RunCase cases[] = {
      {"a keyed run", {"3", "t:b", "t:b", "t:b", "1"}, {{2, 3}}, {}, {1, 1, 5, 2}, false, {5, 1, 2, 3, 4}},
      {"an empty run between keys", {"2", "", "", "", "1"}, {{2, 3}}, {}, {1, 1, 5, 2}, false, {5, 1, 2, 3, 4}},
      {"a hidden run keeps its place", {"3", "", "", "", "1", "2"}, {{2, 3}}, {2, 3, 4}, {1, 1, 6, 2}, false,
       {5, 2, 3, 4, 6, 1}},
      {"a run split around a hidden row", {"9", "9", "9", "2", "1"}, {{1, 3}}, {4}, {1, 1, 5, 2}, false,
       {5, 1, 2, 4, 3}},
      {"descending", {"1", "5", "5", "", "", "3"}, {{2, 2}, {4, 2}}, {}, {1, 1, 6, 2}, true, {2, 3, 6, 1, 4, 5}},
      {"a run cut by the range", {"4", "4", "4", "1", "2"}, {{1, 3}}, {}, {2, 1, 5, 2}, false, {1, 4, 5, 2, 3}},
  };
  for (const RunCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int rows = static_cast<int>(c.keys.size());
    std::vector<int> orders[2];
    for (int withRuns = 0; withRuns < 2; ++withRuns) {
      MemoryStore store(c.keys);
      for (int row : c.hiddenRows) store.hidden[row] = true;
      if (withRuns) store.runs = c.runs;
      host::SortRows(store, c.range, 1, c.descending);
      orders[withRuns] = store.Order(rows);
      if (withRuns) {
        EXPECT_TRUE(store.lastMove.targetOf.empty());
      }
    }
    EXPECT_EQ(orders[1], c.order);
    EXPECT_EQ(orders[0], orders[1]);
  }
}

}  // namespace
