// The set of rows a sheet counts as hidden (or shown) since it was read:
// rows added and removed one by one, kept as ranges.

#include <gtest/gtest.h>

#include <vector>

#include "host/core/RowSet.h"

namespace {

struct Step {
  bool insert;
  int row;
  bool changed;  // what Insert or Erase returns
};

struct Case {
  const char* name;
  std::vector<Step> steps;
  size_t size;
  size_t ranges;
};

const Case kCases[] = {
    {"apart", {{true, 5, true}, {true, 9, true}}, 2, 2},
    {"again", {{true, 5, true}, {true, 5, false}}, 1, 1},
    {"joins the one before", {{true, 5, true}, {true, 6, true}}, 2, 1},
    {"joins the one after", {{true, 6, true}, {true, 5, true}}, 2, 1},
    {"joins both", {{true, 4, true}, {true, 6, true}, {true, 5, true}}, 3, 1},
    {"erased from the middle", {{true, 4, true}, {true, 5, true}, {true, 6, true}, {false, 5, true}}, 2, 2},
    {"erased at the ends", {{true, 4, true}, {true, 5, true}, {false, 4, true}, {false, 5, true}}, 0, 0},
    {"erased when not in", {{true, 4, true}, {false, 3, false}, {false, 5, false}}, 1, 1},
    {"a million rows one by one", {}, 1000000, 1},
};

TEST(RowSet, KeepsRowsAsRanges) {
  for (const Case& c : kCases) {
    host::RowSet set;
    std::vector<Step> steps = c.steps;
    if (steps.empty())
      for (int row = 2; row <= 1000001; ++row) steps.push_back({true, row, true});
    for (const Step& step : steps)
      EXPECT_EQ(step.insert ? set.Insert(step.row) : set.Erase(step.row), step.changed) << c.name << " " << step.row;
    EXPECT_EQ(set.Size(), c.size) << c.name;
    EXPECT_EQ(set.RangeCount(), c.ranges) << c.name;
  }
}

}  // namespace
