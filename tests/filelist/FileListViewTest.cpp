// ListView1 and the row dragging it drives.
#include "FileListFixtures.h"
#include "app/shell/ProgramFolder.h"
#include "filelist/FileListModel.h"
#include "filelist/FileListView.h"
#include "filelist/RowDragger.h"
#include "support/ScriptedMessages.h"

#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <gtest/gtest.h>

using namespace tabulory;
using namespace tabulory::testing;

namespace {

FileListModel* Filled(FileListModel& list, const QStringList& texts) {
  for (const QString& t : texts) list.AddEntry(t);
  return &list;
}

}  // namespace

TEST(RowDragger, DraggedTextTravelsOneRowAtATime) {
  FileListModel list;
  Filled(list, {"a", "b", "c", "d"});
  RowDragger drag(list);
  drag.MousePressed();
  drag.RowClicked(1);
  auto r = drag.MouseMoved(2, 330);
  EXPECT_EQ(list.Texts(), QStringList({"b", "a", "c", "d"}));
  EXPECT_EQ(r.selectRow, 2);
  EXPECT_EQ(r.ensureVisibleRow, 0);  // between the two heights nothing scrolls
  EXPECT_EQ(drag.DragItem(), 2);
  EXPECT_EQ(drag.HoverItem(), 0);
  r = drag.MouseMoved(3, 400);
  EXPECT_EQ(list.Texts(), QStringList({"b", "c", "a", "d"}));
  EXPECT_EQ(r.ensureVisibleRow, 4);  // low on the screen: the row below
  r = drag.MouseMoved(2, 100);
  EXPECT_EQ(list.Texts(), QStringList({"b", "a", "c", "d"}));
  EXPECT_EQ(r.ensureVisibleRow, 1);  // high on the screen: the row above
  r = drag.MouseMoved(1, 304);
  EXPECT_EQ(r.ensureVisibleRow, 0);  // no row above the first
  EXPECT_EQ(list.Texts(), QStringList({"a", "b", "c", "d"}));
  drag.MouseReleased();
  r = drag.MouseMoved(4, 330);  // no button held: nothing moves
  EXPECT_EQ(list.Texts(), QStringList({"a", "b", "c", "d"}));
  EXPECT_EQ(drag.DragItem(), 1);  // survives the release
}

TEST(RowDragger, BoundaryHeightsAndTheLastRow) {
  FileListModel list;
  Filled(list, {"a", "b", "c"});
  RowDragger drag(list);
  drag.MousePressed();
  drag.RowClicked(1);
  EXPECT_EQ(drag.MouseMoved(2, 365).ensureVisibleRow, 3);
  EXPECT_EQ(drag.MouseMoved(3, 364).ensureVisibleRow, 0);
  EXPECT_EQ(drag.MouseMoved(2, 305).ensureVisibleRow, 0);
  EXPECT_EQ(drag.MouseMoved(3, 9999).ensureVisibleRow, 0);  // no row below the last
}

TEST(RowDragger, RowWithTheSameTextIsNotSwapped) {
  FileListModel list;
  Filled(list, {"same", "same", "other"});
  RowDragger drag(list);
  drag.MousePressed();
  drag.RowClicked(1);
  const auto r = drag.MouseMoved(2, 330);
  EXPECT_EQ(r.selectRow, 0);
  EXPECT_EQ(drag.DragItem(), 1);  // the drag goes on from the same row
  drag.MouseMoved(3, 330);
  EXPECT_EQ(list.Texts(), QStringList({"other", "same", "same"}));
  EXPECT_EQ(drag.DragItem(), 3);
}

TEST(RowDragger, RemovedDragRowCountsAsNone) {
  FileListModel list;
  Filled(list, {"a", "b", "c"});
  RowDragger drag(list);
  drag.MousePressed();
  drag.RowClicked(2);
  list.RemoveEntry(2);
  EXPECT_EQ(drag.DragItem(), 0);
  drag.MouseMoved(1, 330);
  EXPECT_EQ(list.Texts(), QStringList({"a", "c"}));
  drag.RowClicked(1);
  list.Clear();
  EXPECT_EQ(drag.DragItem(), 0);
  // Pressing outside any row keeps the last dragged row.
  Filled(list, {"x", "y"});
  drag.RowClicked(2);
  drag.MouseReleased();
  drag.MousePressed();
  drag.MouseMoved(1, 330);
  EXPECT_EQ(list.Texts(), QStringList({"y", "x"}));
}

class FileListViewTest : public ::testing::Test {
 protected:
  void Key(int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(view.get(), &press);
  }
  void DoubleClick(int row) {
    const QPoint at = view->visualRect(list.index(row - 1)).center();
    QMouseEvent e(QEvent::MouseButtonDblClick, at, view->viewport()->mapToGlobal(at),
                  Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view->viewport(), &e);
  }

  QApplication& app = App();  // first: the view needs it
  FileListModel list;
  TestPointer pointer;
  ScriptedMessages messages;
  std::unique_ptr<FileListView> view = std::make_unique<FileListView>(list, pointer, messages);
};

TEST_F(FileListViewTest, TwoColumnsWithHeaderWidthAndToolTip) {
  EXPECT_EQ(view->header()->count(), 2);
  EXPECT_EQ(view->model()->headerData(0, Qt::Horizontal).toString(), "Excel File(s)");
  EXPECT_EQ(view->model()->headerData(1, Qt::Horizontal).toString(), "Result of the last run");
  EXPECT_EQ(view->header()->sectionSize(0), 467);
  EXPECT_EQ(view->toolTip(),
            "Drag and drop files here. Double-click item to remove it. Move | line to right and "
            "out of window to reveal full names.");
  EXPECT_TRUE(view->acceptDrops());
}

TEST_F(FileListViewTest, DeleteKeyAndDoubleClickRemoveTheSelectedRowUnlessBusy) {
  Filled(list, {"a", "b", "c"});
  view->resize(400, 300);
  view->SelectRow(2);
  pointer.pointer = MousePointer::Hourglass;
  Key(Qt::Key_Delete);
  DoubleClick(2);
  EXPECT_EQ(list.Count(), 3);
  pointer.pointer = MousePointer::Default;
  Key(Qt::Key_Backspace);  // other keys remove nothing
  EXPECT_EQ(list.Count(), 3);
  Key(Qt::Key_Delete);
  EXPECT_EQ(list.Texts(), QStringList({"a", "c"}));
  view->SelectRow(1);
  DoubleClick(1);
  EXPECT_EQ(list.Texts(), QStringList({"c"}));
}

TEST_F(FileListViewTest, DropOfFilesAddsThemAndOtherDataIsRefused) {
  TempTree t;
  const QString a = t.File("a.xlsx");
  t.File("D/b.xlsx");
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(t.Path("D"))});
  view->resize(400, 300);
  view->show();
  const QPoint at(10, 10);
  QDragEnterEvent enter(at, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(view->viewport(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDragMoveEvent over(at, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(view->viewport(), &over);
  EXPECT_TRUE(over.isAccepted());
  QDropEvent drop(at, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(view->viewport(), &drop);
  EXPECT_EQ(list.Texts(), QStringList({a, t.Path("D/b.xlsx")}));

  QMimeData text;
  text.setText(a);
  QDragEnterEvent refusedEnter(at, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(view->viewport(), &refusedEnter);
  EXPECT_FALSE(refusedEnter.isAccepted());
  QDragMoveEvent refused(at, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(view->viewport(), &refused);
  EXPECT_FALSE(refused.isAccepted());
  QDropEvent ignored(at, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(view->viewport(), &ignored);
  EXPECT_EQ(list.Count(), 2);
}

TEST_F(FileListViewTest, PressingOnARowAndMovingDragsItsText) {
  Filled(list, {"a", "b", "c"});
  view->resize(400, 300);
  view->show();
  const QPoint first = view->visualRect(list.index(0)).center();
  const QPoint second = view->visualRect(list.index(1)).center();
  const QPoint global = view->viewport()->mapToGlobal(first);
  QMouseEvent press(QEvent::MouseButtonPress, first, global, Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(view->viewport(), &press);
  EXPECT_TRUE(view->Dragger().MouseIsDown());
  EXPECT_EQ(view->Dragger().DragItem(), 1);
  pointer.pointer = MousePointer::Custom;
  QMouseEvent move(QEvent::MouseMove, second, view->viewport()->mapToGlobal(second),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(view->viewport(), &move);
  EXPECT_EQ(list.Texts(), QStringList({"b", "a", "c"}));
  EXPECT_EQ(view->SelectedRow(), 2);
  EXPECT_EQ(pointer.pointer, MousePointer::Default);  // the window's pointer reset
  QMouseEvent release(QEvent::MouseButtonRelease, second, view->viewport()->mapToGlobal(second),
                      Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(view->viewport(), &release);
  EXPECT_FALSE(view->Dragger().MouseIsDown());
  EXPECT_EQ(view->viewport()->cursor().shape(), Qt::ArrowCursor);
  // The busy pointer is left as it is.
  pointer.pointer = MousePointer::Hourglass;
  QCoreApplication::sendEvent(view->viewport(), &move);
  EXPECT_EQ(pointer.pointer, MousePointer::Hourglass);
}

TEST_F(FileListViewTest, HundredThousandRowsAreAppendedAsOneBatch) {
  int inserts = 0;
  QObject::connect(&list, &QAbstractItemModel::rowsInserted, [&] { ++inserts; });
  {
    FileListModel::AppendBatch batch(list);
    for (int i = 0; i < 100000; ++i) list.AddEntry(QString("/data/%1.xlsx").arg(i));
  }
  EXPECT_EQ(inserts, 1);
  EXPECT_EQ(view->model()->rowCount(), 100000);
  EXPECT_TRUE(list.ListContains("/data/99999.xlsx"));
}

TEST_F(FileListViewTest, ClickedRowShowsTheDragPointerFromTheProgramFolder) {
  Filled(list, {"a", "b"});
  view->resize(400, 300);
  view->show();
  const QPoint first = view->visualRect(list.index(0)).center();
  auto pressAndRelease = [&] {
    QMouseEvent press(QEvent::MouseButtonPress, first, view->viewport()->mapToGlobal(first),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view->viewport(), &press);
    const Qt::CursorShape during = view->viewport()->cursor().shape();
    QMouseEvent release(QEvent::MouseButtonRelease, first, view->viewport()->mapToGlobal(first),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view->viewport(), &release);
    return during;
  };
  SetProgramFolder(QStringLiteral(TABULORY_PROGRAM_BUILD_DIR));  // drag.ico drawn by the build
  EXPECT_EQ(pressAndRelease(), Qt::BitmapCursor);
  EXPECT_EQ(view->viewport()->cursor().shape(), Qt::ArrowCursor);
  TempTree empty;
  SetProgramFolder(empty.Root());  // no icon file: the arrow stays
  EXPECT_EQ(pressAndRelease(), Qt::ArrowCursor);
  SetProgramFolder(QString());
}

TEST_F(FileListViewTest, FailedDropIsToldAndEarlierRowsStay) {
  TempTree t;
  const QString a = t.File("a.xlsx");
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(t.Root() + "/" + QString(300, 'n'))});
  view->resize(400, 300);
  view->show();
  const QPoint at(10, 10);
  QDragEnterEvent enter(at, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(view->viewport(), &enter);
  QDropEvent drop(at, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(view->viewport(), &drop);
  EXPECT_EQ(list.Texts(), QStringList({a}));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_TRUE(messages.shown[0].text.startsWith("Cannot examine the dropped path "));
  EXPECT_EQ(messages.shown[0].icon, MessageIcon::Warning);
}

// The last run's results stay while rows are only added, and go when rows
// are removed or reordered (they would name the wrong files).
TEST(FileListResults, KeptUntilRowsAreRemovedOrReordered) {
  for (int change = 0; change < 3; ++change) {
    SCOPED_TRACE(change);
    FileListModel list;
    for (const char* t : {"a", "b"}) list.AddEntry(t);
    list.SetResult(1, "ok");
    list.SetResult(2, "skipped");
    EXPECT_EQ(list.data(list.index(1, 1)).toString(), "skipped");
    if (change == 0) list.AddEntry("c");
    if (change == 1) list.RemoveEntry(2);
    if (change == 2) list.SetEntryText(1, "b");
    EXPECT_EQ(list.Result(1), change == 0 ? "ok" : "");
  }
}
