// The host's window: shown by Visible, tabs and grid over the workbook, the
// reference dialog of InputBox driven as a user would, and Quit closing it.
#include "host/core/Application.h"
#include "host/core/HostError.h"
#include "host/core/Workbook.h"
#include "host/core/Workbooks.h"
#include "host/core/Worksheet.h"
#include "host/ui/CellBlockDialog.h"
#include "host/ui/HostMainWindow.h"
#include "host/ui/NumberCellDelegate.h"
#include "host/ui/QtHostWindow.h"
#include "host/ui/SheetModel.h"
#include "host/ui/WorkbookView.h"
#include "support/BlockWorkbook.h"
#include "support/DialogDriver.h"
#include "support/WidgetApp.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionViewItem>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>

using namespace tabulory::testing;
using host::ui::CellBlockDialog;
using host::ui::WorkbookView;

namespace {

class HostWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    host::ui::InstallHostWindow();
    ASSERT_TRUE(dir_.isValid());
  }
  void TearDown() override {
    if (app_ && !app_->HasQuit()) app_->Quit();
    app_.reset();
    host::SetHostWindowFactory({});
  }

  // A new instance with the test workbook open in it.
  host::Workbook& Open(BlockWorkbookOptions options = {}) {
    const std::string path = dir_.filePath("blocks.xlsx").toStdString();
    WriteBlockWorkbook(path, options);
    app_ = std::make_unique<host::Application>();
    return app_->Workbooks().Open(path);
  }

  // Asks for a block while the driver acts on the dialog.
  std::optional<host::Range> AskWith(const DialogDriver::Action& action) {
    DialogDriver driver(action);
    auto answer = app_->InputBox("Highlight a block of cells with mouse", 8);
    EXPECT_TRUE(driver.Ran());
    EXPECT_FALSE(driver.TimedOut());
    return answer;
  }

  QTemporaryDir dir_;
  std::unique_ptr<host::Application> app_;
};

host::Worksheet& SheetNamed(host::Workbook& wb, const char* name) {
  host::Worksheet* sheet = wb.FindWorksheet(name);
  if (!sheet) throw std::runtime_error(std::string("no sheet ") + name);
  return *sheet;
}

}  // namespace

TEST_F(HostWindowTest, VisibleShowsTheWorkbookWithATabPerSheetAndTheActiveOneSelected) {
  host::Workbook& wb = Open({.activeSheet = 1});
  EXPECT_EQ(ShownHostWindow(), nullptr);  // a new instance is invisible
  app_->SetVisible(true);
  EXPECT_TRUE(app_->Visible());
  host::ui::HostMainWindow* window = ShownHostWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->windowTitle().startsWith("blocks.xlsx"));
  WorkbookView* view = window->View();
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(view->Tabs()->count(), 3);
  EXPECT_EQ(view->Tabs()->tabText(0), "Sheet1");
  EXPECT_EQ(view->Tabs()->tabText(1), "Sheet2");
  EXPECT_EQ(view->Tabs()->tabText(2), "My sheet");
  EXPECT_EQ(view->Tabs()->currentIndex(), 1);
  EXPECT_EQ(view->ActiveSheet(), &SheetNamed(wb, "Sheet2"));
  // Only the tab in view has its grid yet; another gets one when shown.
  EXPECT_EQ(view->findChildren<QTableView*>().size(), 1);
  view->Tabs()->setCurrentIndex(2);
  const auto grids = view->findChildren<QTableView*>();
  ASSERT_EQ(grids.size(), 2);
  EXPECT_TRUE(view->Tabs()->currentWidget()->isAncestorOf(view->Grid(2)));
  const auto* model = static_cast<const host::ui::SheetModel*>(view->Grid(2)->model());
  EXPECT_EQ(&model->Sheet(), &SheetNamed(wb, "My sheet"));
}

TEST_F(HostWindowTest, GridShowsDisplayedTextAndHeadersAndLeavesHiddenRowsOut) {
  Open();
  app_->SetVisible(true);
  WorkbookView* view = ShownHostWindow()->View();
  QTableView* grid = view->Grid(0);
  const QAbstractItemModel* model = grid->model();
  EXPECT_EQ(model->rowCount(), 1048576 - 1);  // Sheet1 hides row 5
  EXPECT_EQ(model->columnCount(), 16384);
  EXPECT_EQ(model->data(model->index(0, 0)).toString(), "Item");
  EXPECT_EQ(model->data(model->index(1, 0)).toString(), "a1");
  EXPECT_EQ(model->data(model->index(1, 1)).toString(), "101");
  EXPECT_EQ(model->data(model->index(3, 0)).toString(), "a3");
  EXPECT_EQ(model->data(model->index(4, 0)).toString(), "a5");  // a4, in row 5, is hidden
  EXPECT_EQ(model->data(model->index(11, 1)).toString(), "TRUE");
  EXPECT_EQ(model->data(model->index(40, 40)).toString(), "");
  EXPECT_EQ(model->data(model->index(1, 1), Qt::TextAlignmentRole).value<Qt::Alignment>() &
                Qt::AlignHorizontal_Mask,
            Qt::AlignRight);
  EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "A");
  EXPECT_EQ(model->headerData(27, Qt::Horizontal).toString(), "AB");
  EXPECT_EQ(model->headerData(0, Qt::Vertical).toString(), "1");
  EXPECT_EQ(model->headerData(3, Qt::Vertical).toString(), "4");
  EXPECT_EQ(model->headerData(4, Qt::Vertical).toString(), "6");
  EXPECT_EQ(model->headerData(model->rowCount() - 1, Qt::Vertical).toString(), "1048576");
  const QAbstractItemModel* sheet2 = view->Grid(1)->model();  // only Sheet1 hides a row
  EXPECT_EQ(sheet2->rowCount(), 1048576);
  EXPECT_EQ(sheet2->headerData(4, Qt::Vertical).toString(), "5");
}

TEST_F(HostWindowTest, FarRowsShowWithoutReadingTheWholeSheetIntoTheGrid) {
  Open({.farCell = true});
  app_->SetVisible(true);
  QTableView* grid = ShownHostWindow()->View()->Grid(0);
  const auto* model = static_cast<const host::ui::SheetModel*>(grid->model());
  EXPECT_EQ(model->HiddenRows(), (std::vector<int>{5, 999998}));
  const int far = model->GridRow(1000000);
  EXPECT_EQ(far, 1000000 - 1 - 2);
  EXPECT_EQ(model->data(model->index(far, 0)).toString(), "far");
  EXPECT_EQ(model->headerData(far - 1, Qt::Vertical).toString(), "999999");
  EXPECT_EQ(model->headerData(far - 2, Qt::Vertical).toString(), "999997");
  grid->scrollTo(model->index(far, 0));
  EXPECT_GT(grid->verticalScrollBar()->value(), 0);
}

TEST_F(HostWindowTest, GridRowsAndSheetRowsMapBothWaysAroundHiddenRuns) {
  host::Workbook& wb = Open();
  host::Worksheet& sheet = SheetNamed(wb, "Sheet2");
  for (int row : {1, 3, 4, 5, 9, 1048576}) sheet.Rows(row).SetHidden(true);
  host::ui::SheetModel model(sheet);
  EXPECT_EQ(model.rowCount(), 1048576 - 6);
  const std::vector<int> shown = {2, 6, 7, 8, 10, 11};
  for (int g = 0; g < static_cast<int>(shown.size()); ++g) {
    EXPECT_EQ(model.SheetRow(g), shown[g]) << g;
    EXPECT_EQ(model.GridRow(shown[g]), g) << shown[g];
  }
  EXPECT_EQ(model.GridRow(3), 1);  // a hidden row maps to the next shown one
  EXPECT_EQ(model.GridRow(9), 4);
  EXPECT_EQ(model.SheetRow(model.rowCount() - 1), 1048575);
  EXPECT_EQ(model.GridRow(1048576), -1);
}

TEST_F(HostWindowTest, GridShowsChangesMadeWhileTheWindowShowedWhenAsking) {
  host::Workbook& wb = Open();
  app_->SetVisible(true);
  host::Worksheet& sheet1 = SheetNamed(wb, "Sheet1");
  sheet1.Rows(3).SetHidden(true);
  sheet1.Rows(5).SetHidden(false);
  QString row3Header, row5Text;
  AskWith([&](CellBlockDialog& dialog, WorkbookView* view) {
    const QAbstractItemModel* model = view->Grid(0)->model();
    row3Header = model->headerData(2, Qt::Vertical).toString();
    row5Text = model->data(model->index(3, 0)).toString();
    PressCancel(dialog);
  });
  EXPECT_EQ(row3Header, "4");
  EXPECT_EQ(row5Text, "a4");
}

TEST_F(HostWindowTest, HighlightedBlockFillsTheFieldAndOkReturnsIt) {
  host::Workbook& wb = Open();
  app_->SetVisible(true);
  QString field;
  auto answer = AskWith([&](CellBlockDialog& dialog, WorkbookView* view) {
    HighlightBlock(*view, 0, 2, 2, 9, 4);
    field = dialog.ReferenceField()->text();
    PressOk(dialog);
  });
  EXPECT_EQ(field, "$B$2:$D$9");
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(*answer, SheetNamed(wb, "Sheet1").GetRange("B2:D9"));
  EXPECT_EQ(ShownCellBlockDialog(), nullptr);
  EXPECT_NE(ShownHostWindow(), nullptr);  // the window stays until Quit
}

TEST_F(HostWindowTest, BlockOnAnotherTabIsNamedWithItsSheet) {
  host::Workbook& wb = Open();
  app_->SetVisible(true);
  QString onSheet2, onMySheet;
  auto answer = AskWith([&](CellBlockDialog& dialog, WorkbookView* view) {
    HighlightBlock(*view, 1, 2, 2, 9, 4);
    onSheet2 = dialog.ReferenceField()->text();
    HighlightBlock(*view, 2, 1, 1, 3, 3);
    onMySheet = dialog.ReferenceField()->text();
    PressOk(dialog);
  });
  EXPECT_EQ(onSheet2, "Sheet2!$B$2:$D$9");
  EXPECT_EQ(onMySheet, "'My sheet'!$A$1:$C$3");
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(&answer->Worksheet(), &SheetNamed(wb, "My sheet"));
  EXPECT_EQ(answer->Address(), "$A$1:$C$3");
}

TEST_F(HostWindowTest, BlockAcrossAHiddenRowCoversIt) {
  host::Workbook& wb = Open();
  app_->SetVisible(true);
  QString field;
  auto answer = AskWith([&](CellBlockDialog& dialog, WorkbookView* view) {
    // Rows 3, 4, 6, 7, 8 show; row 5 lies inside the block, hidden.
    HighlightBlock(*view, 0, 3, 2, 8, 3);
    field = dialog.ReferenceField()->text();
    PressOk(dialog);
  });
  EXPECT_EQ(field, "$B$3:$C$8");
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(*answer, SheetNamed(wb, "Sheet1").GetRange("B3:C8"));
}

TEST_F(HostWindowTest, GridTakesTheMouseWhileTheDialogWaitsAndOtherWindowsDoNot) {
  Open();
  app_->SetVisible(true);
  QString field;
  QWidget other;  // a window of the driving program
  other.show();
  bool dialogModal = true, gridWindowIsTheModalOne = false, dialogBelongsToIt = false;
  auto answer = AskWith([&](CellBlockDialog& dialog, WorkbookView* view) {
    // The host's window (and what belongs to it) is all that takes input:
    // the driving program's windows wait, the grid and the dialog do not.
    dialogModal = dialog.isModal();
    gridWindowIsTheModalOne = QGuiApplication::modalWindow() == view->window()->windowHandle();
    dialogBelongsToIt = dialog.window() == view->window();
    QTableView* grid = view->Grid(0);
    const QRect cell = grid->visualRect(grid->model()->index(3, 2));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    field = dialog.ReferenceField()->text();
    PressOk(dialog);
  });
  EXPECT_FALSE(dialogModal);
  EXPECT_TRUE(gridWindowIsTheModalOne);
  EXPECT_TRUE(dialogBelongsToIt);
  EXPECT_EQ(field, "$C$4");
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->Address(), "$C$4");
}

TEST_F(HostWindowTest, TypedReferencesOfEveryFormResolve) {
  host::Workbook& wb = Open();
  app_->SetVisible(true);
  host::Worksheet& sheet1 = SheetNamed(wb, "Sheet1");
  host::Worksheet& sheet2 = SheetNamed(wb, "Sheet2");
  host::Worksheet& mine = SheetNamed(wb, "My sheet");
  AskWith([&](CellBlockDialog& dialog, WorkbookView*) {
    EXPECT_EQ(dialog.Resolve("B2:D9"), sheet1.GetRange("B2:D9"));
    EXPECT_EQ(dialog.Resolve("$B$2:$D$9"), sheet1.GetRange("B2:D9"));
    EXPECT_EQ(dialog.Resolve(" B5 "), sheet1.GetRange("B5"));
    EXPECT_EQ(dialog.Resolve("=b2:d9"), sheet1.GetRange("B2:D9"));
    EXPECT_EQ(dialog.Resolve("Sheet2!B2:D9"), sheet2.GetRange("B2:D9"));
    EXPECT_EQ(dialog.Resolve("'My sheet'!A1:C3"), mine.GetRange("A1:C3"));
    EXPECT_FALSE(dialog.Resolve("").has_value());
    EXPECT_FALSE(dialog.Resolve("hello").has_value());
    EXPECT_FALSE(dialog.Resolve("Nowhere!A1").has_value());
    EXPECT_FALSE(dialog.Resolve("A0:B2").has_value());
    EXPECT_FALSE(dialog.Resolve("XFE1").has_value());
    PressCancel(dialog);
  });
}

TEST_F(HostWindowTest, TypedReferenceIsTakenOnOk) {
  host::Workbook& wb = Open();
  app_->SetVisible(true);
  auto answer = AskWith([&](CellBlockDialog& dialog, WorkbookView*) {
    QTest::keyClicks(dialog.ReferenceField(), "Sheet2!B2:D9");
    PressOk(dialog);
  });
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(*answer, SheetNamed(wb, "Sheet2").GetRange("B2:D9"));
}

TEST_F(HostWindowTest, EnterConfirmsAndEscapeCancels) {
  host::Workbook& wb = Open();
  app_->SetVisible(true);
  auto confirmed = AskWith([&](CellBlockDialog& dialog, WorkbookView*) {
    QTest::keyClicks(dialog.ReferenceField(), "$B$2:$D$9");
    QTest::keyClick(dialog.ReferenceField(), Qt::Key_Return);
  });
  ASSERT_TRUE(confirmed.has_value());
  EXPECT_EQ(*confirmed, SheetNamed(wb, "Sheet1").GetRange("B2:D9"));
  auto cancelled = AskWith([&](CellBlockDialog& dialog, WorkbookView*) {
    QTest::keyClicks(dialog.ReferenceField(), "B5");
    QTest::keyClick(dialog.ReferenceField(), Qt::Key_Escape);
  });
  EXPECT_FALSE(cancelled.has_value());
}

TEST_F(HostWindowTest, InvalidReferenceKeepsTheDialogOpenUntilTheUserGivesUp) {
  Open();
  app_->SetVisible(true);
  bool stillOpen = false, hinted = false;
  auto answer = AskWith([&](CellBlockDialog& dialog, WorkbookView*) {
    dialog.ReferenceField()->setText("not a block");
    PressOk(dialog);
    stillOpen = dialog.isVisible();
    hinted = dialog.findChild<QLabel*>("problem")->isVisibleTo(&dialog);
    PressCancel(dialog);
  });
  EXPECT_TRUE(stillOpen);
  EXPECT_TRUE(hinted);
  EXPECT_FALSE(answer.has_value());
}

TEST_F(HostWindowTest, CancelOrClosingGivesNoRange) {
  Open();
  app_->SetVisible(true);
  EXPECT_FALSE(AskWith([](CellBlockDialog& dialog, WorkbookView* view) {
                 HighlightBlock(*view, 0, 2, 2, 9, 4);
                 PressCancel(dialog);
               }).has_value());
  EXPECT_FALSE(AskWith([](CellBlockDialog& dialog, WorkbookView* view) {
                 HighlightBlock(*view, 0, 2, 2, 9, 4);
                 dialog.close();
               }).has_value());
  EXPECT_FALSE(AskWith([](CellBlockDialog&, WorkbookView* view) {
                 HighlightBlock(*view, 0, 2, 2, 9, 4);
                 view->window()->close();
               }).has_value());
}

TEST_F(HostWindowTest, QuitClosesTheWindow) {
  Open();
  app_->SetVisible(true);
  ASSERT_NE(ShownHostWindow(), nullptr);
  app_->Quit();
  EXPECT_EQ(ShownHostWindow(), nullptr);
  EXPECT_THROW(app_->Workbooks(), host::HostError);
}

TEST_F(HostWindowTest, NoWindowWithoutTheFactory) {
  host::SetHostWindowFactory({});
  Open();
  EXPECT_THROW(app_->SetVisible(true), host::HostError);
  EXPECT_EQ(ShownHostWindow(), nullptr);
  EXPECT_FALSE(app_->InputBox("Highlight a block of cells with mouse", 8).has_value());
}

// A number wider than its column fills the cell with "#", as in a spreadsheet;
// a number that fits, a truth value and text show as they are.
TEST_F(HostWindowTest, NumbersWiderThanTheirColumnShowHashes) {
  Open();
  app_->SetVisible(true);
  QTableView* grid = ShownHostWindow()->View()->Grid(0);
  auto* delegate = qobject_cast<host::ui::NumberCellDelegate*>(grid->itemDelegate());
  ASSERT_NE(delegate, nullptr);
  const int narrow = grid->fontMetrics().horizontalAdvance("10") + 4;
  struct Case {
    int row, column, width;  // grid row and column (0-based), column width
    QString shown;           // "#" when the cell must fill with hashes
  } cases[] = {
      {1, 1, 80, "101"},      // Sheet1!B2 = 101 fits
      {1, 1, narrow, "#"},    // ... and does not fit
      {11, 1, narrow, "TRUE"},  // a truth value is no number
      {0, 0, narrow, "Item"},   // text is the style's to cut
  };
  for (const Case& c : cases) {
    grid->setColumnWidth(c.column, c.width);
    const QModelIndex index = grid->model()->index(c.row, c.column);
    QStyleOptionViewItem option;
    option.rect = grid->visualRect(index);
    option.widget = grid;
    option.font = grid->font();
    option.fontMetrics = grid->fontMetrics();
    const QString shown = delegate->ShownText(option, index);
    if (c.shown == "#") {
      EXPECT_FALSE(shown.isEmpty());
      EXPECT_EQ(shown, QString(shown.size(), '#')) << shown.toStdString();
      EXPECT_LE(grid->fontMetrics().horizontalAdvance(shown), c.width);
    } else {
      EXPECT_EQ(shown, c.shown);
    }
  }
}

// The reference box is a band above the grid: it covers no column letter, no
// row and no cell, its refusal lies below its buttons, and the window fits the
// free area of its screen.
TEST_F(HostWindowTest, TheReferenceBoxLiesAboveTheGridAndTheWindowFitsItsScreen) {
  Open();
  app_->SetVisible(true);
  struct Seen {
    QRect band, buttons, problem;
    int gridTop = 0;
  };
  std::vector<Seen> seen;  // before and after a refused reference
  QRect window, screen;
  AskWith([&](CellBlockDialog& dialog, WorkbookView* view) {
    QWidget* top = view->window();
    window = top->frameGeometry();
    screen = top->screen()->availableGeometry();
    const auto in = [top](const QWidget* w) { return QRect(w->mapTo(top, QPoint(0, 0)), w->size()); };
    for (const char* reference : {"B2:C3", "not a block"}) {
      dialog.ReferenceField()->setText(reference);
      if (QString(reference) == "not a block") PressOk(dialog);
      QApplication::processEvents();
      seen.push_back({in(&dialog), in(dialog.Buttons()), in(dialog.findChild<QLabel*>("problem")),
                      view->Grid(0)->mapTo(top, QPoint(0, 0)).y()});
    }
    EXPECT_TRUE(dialog.findChild<QLabel*>("problem")->isVisible());
    PressCancel(dialog);
  });
  EXPECT_TRUE(screen.contains(window)) << window.width() << "x" << window.height();
  EXPECT_LE(window.width(), host::ui::HostMainWindow::kPreferredWidth);
  ASSERT_EQ(seen.size(), 2u);
  for (const Seen& s : seen) EXPECT_LE(s.band.bottom(), s.gridTop);  // the header row A, B, ... included
  EXPECT_FALSE(seen[1].problem.intersects(seen[1].buttons));
  EXPECT_GE(seen[1].problem.top(), seen[1].buttons.bottom());
  EXPECT_TRUE(seen[1].band.contains(seen[1].problem));
}

// A CSV file longer than the grid shows its first 1,048,576 rows, and a
// note above the grid says how many the sheet has; a sheet that fits has none.
TEST_F(HostWindowTest, ASheetLongerThanTheGridSaysSo) {
  const std::string path = dir_.filePath("long.csv").toStdString();
  {
    std::ofstream out(path, std::ios::binary);
    for (int r = 1; r <= 1048600; ++r) out << r << '\n';
  }
  app_ = std::make_unique<host::Application>();
  app_->Workbooks().Open(path);
  app_->SetVisible(true);
  WorkbookView* view = ShownHostWindow()->View();
  QTableView* grid = view->Grid(0);
  EXPECT_EQ(grid->model()->rowCount(), 1048576);
  const QLabel* note = view->findChild<QLabel*>(QStringLiteral("gridLimitNote"));
  ASSERT_NE(note, nullptr);
  EXPECT_TRUE(note->text().contains(QLocale().toString(1048600))) << note->text().toStdString();
  app_->Quit();
  Open();
  app_->SetVisible(true);
  EXPECT_EQ(ShownHostWindow()->View()->findChild<QLabel*>(QStringLiteral("gridLimitNote")), nullptr);
}
