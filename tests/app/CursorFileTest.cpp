// Cursor files: reading a picture and its hot spot, and writing one.
#include "app/CursorFile.h"
#include "support/CursorFiles.h"
#include "support/WidgetApp.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tabulory;
using namespace tabulory::testing;

TEST(CursorFile, ReadsPictureAndHotSpot) {
  EnsureApplication();
  QTemporaryDir dir;
  const QString path = dir.filePath("HAND-M.CUR");
  ASSERT_TRUE(WriteFile(path, CursorFileBytes(9, 30, Qt::blue)));
  EXPECT_EQ(CursorFileHotSpot(path), QPoint(9, 30));
  const auto cursor = LoadCursorFile(path);
  ASSERT_TRUE(cursor);
  EXPECT_EQ(cursor->hotSpot(), QPoint(9, 30));
  EXPECT_EQ(cursor->pixmap().size(), QSize(32, 32));
  EXPECT_EQ(cursor->pixmap().toImage().pixelColor(0, 31), QColor(Qt::blue));
}

TEST(CursorFile, MissingOrBrokenFilesGiveNothing) {
  EnsureApplication();
  QTemporaryDir dir;
  EXPECT_FALSE(LoadCursorFile(dir.filePath("none.cur")));
  EXPECT_EQ(CursorFileHotSpot(dir.filePath("none.cur")), QPoint());
  ASSERT_TRUE(WriteFile(dir.filePath("empty.cur"), QByteArray()));
  EXPECT_FALSE(LoadCursorFile(dir.filePath("empty.cur")));
  ASSERT_TRUE(WriteFile(dir.filePath("text.cur"), "hello, not a cursor"));
  EXPECT_FALSE(LoadCursorFile(dir.filePath("text.cur")));
  EXPECT_FALSE(LoadCursorFile(dir.path()));  // a folder
}

TEST(CursorFile, WrittenFileReadsBackWithTransparency) {
  EnsureApplication();
  QImage picture(24, 24, QImage::Format_ARGB32);
  picture.fill(Qt::transparent);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 6; ++x) picture.setPixelColor(x, y, QColor(10, 200, 30));
  const QByteArray bytes = CursorFileBytes(picture, QPoint(3, 1));
  EXPECT_EQ(bytes.left(6), QByteArray("\x00\x00\x02\x00\x01\x00", 6));
  QTemporaryDir dir;
  ASSERT_TRUE(WriteFile(dir.filePath("made.cur"), bytes));
  const auto cursor = LoadCursorFile(dir.filePath("made.cur"));
  ASSERT_TRUE(cursor);
  EXPECT_EQ(cursor->hotSpot(), QPoint(3, 1));
  const QImage back = cursor->pixmap().toImage();
  ASSERT_EQ(back.size(), QSize(24, 24));
  EXPECT_EQ(back.pixelColor(2, 2), QColor(10, 200, 30));
  EXPECT_EQ(back.pixelColor(20, 20).alpha(), 0);
}
