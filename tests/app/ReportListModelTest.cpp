// The one-column list model behind the file list and the sort-column list.
#include "app/ReportListModel.h"
#include "support/WidgetApp.h"

#include <QTreeView>
#include <gtest/gtest.h>

using namespace tabulory;

TEST(ReportListModel, NoColumnUntilAdded) {
  ReportListModel model;
  model.Append({"a", "b"});
  EXPECT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.columnCount(), 0);
  model.AddColumn("Files");
  EXPECT_EQ(model.columnCount(), 1);
  EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole), "Files");
  EXPECT_EQ(model.data(model.index(1, 0), Qt::DisplayRole), "b");
}

TEST(ReportListModel, AppendRemoveMoveClear) {
  ReportListModel model;
  model.AddColumn("Files");
  model.Append(QStringList{"a", "b", "c", "d"});
  model.Append("a");  // duplicates are kept
  EXPECT_EQ(model.Texts(), (QStringList{"a", "b", "c", "d", "a"}));
  EXPECT_TRUE(model.Remove(1));
  EXPECT_EQ(model.Texts(), (QStringList{"a", "c", "d", "a"}));
  EXPECT_FALSE(model.Remove(4));
  EXPECT_FALSE(model.Remove(-1));
  EXPECT_FALSE(model.Remove(2, 3));
  EXPECT_TRUE(model.Move(0, 2));
  EXPECT_EQ(model.Texts(), (QStringList{"c", "d", "a", "a"}));
  EXPECT_TRUE(model.Move(3, 0));
  EXPECT_EQ(model.Texts(), (QStringList{"a", "c", "d", "a"}));
  EXPECT_FALSE(model.Move(0, 4));
  model.Clear();
  EXPECT_EQ(model.Count(), 0);
}

TEST(ReportListModel, ViewFollowsLargeAppends) {
  tabulory::testing::EnsureApplication();
  ReportListModel model;
  model.AddColumn("Files");
  QTreeView view;
  view.setUniformRowHeights(true);
  view.setModel(&model);
  QStringList rows;
  for (int i = 0; i < 100000; ++i) rows << QStringLiteral("/data/book%1.xlsx").arg(i);
  model.Append(rows);
  EXPECT_EQ(view.model()->rowCount(), 100000);
  view.scrollToBottom();
  EXPECT_EQ(model.Text(99999), "/data/book99999.xlsx");
}
