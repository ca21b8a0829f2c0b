// The block the user highlights in the host's window, and nothing (and no
// failure) when the user cancels or the host cannot ask.
#include "app/shell/ErrorReport.h"
#include "batch/CellBlock.h"
#include "host/core/Application.h"
#include "host/core/Workbook.h"
#include "host/core/Workbooks.h"
#include "host/core/Worksheet.h"
#include "host/ui/QtHostWindow.h"
#include "support/BlockWorkbook.h"
#include "support/DialogDriver.h"
#include "support/ScriptedMessages.h"
#include "support/WidgetApp.h"

#include <QLabel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tabulory;
using namespace tabulory::testing;

namespace {

class CellBlockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    host::ui::InstallHostWindow();
    ASSERT_TRUE(dir_.isValid());
    const std::string path = dir_.filePath("block.xlsx").toStdString();
    WriteBlockWorkbook(path);
    app_ = std::make_unique<host::Application>();
    workbook_ = &app_->Workbooks().Open(path);
    app_->SetVisible(true);
  }
  void TearDown() override {
    if (!app_->HasQuit()) app_->Quit();
    host::SetHostWindowFactory({});
  }

  // SelectCellBlock, as the block scope of a run calls it, with the driver
  // acting on the dialog; reports of the guarded caller go to messages_.
  std::optional<host::Range> Select(const DialogDriver::Action& action) {
    DialogDriver driver(action);
    GuardedProcedure run(messages_, "in Tabulorix2021/08/31.Form1.PushButton2_Click ");
    std::optional<host::Range> block;
    run.Do(150, [&] { block = SelectCellBlock(*app_); });
    EXPECT_TRUE(driver.Ran());
    return block;
  }

  host::Worksheet& Sheet(const char* name) { return *workbook_->FindWorksheet(name); }

  QTemporaryDir dir_;
  std::unique_ptr<host::Application> app_;
  host::Workbook* workbook_ = nullptr;
  ScriptedMessages messages_;
};

}  // namespace

TEST_F(CellBlockTest, HighlightedBlockIsReturned) {
  QString prompt;
  auto block = Select([&](host::ui::CellBlockDialog& dialog, host::ui::WorkbookView* view) {
    prompt = dialog.findChild<QLabel*>("prompt")->text();
    HighlightBlock(*view, 0, 2, 2, 9, 4);
    PressOk(dialog);
  });
  EXPECT_EQ(prompt, "Highlight a block of cells with mouse");
  ASSERT_TRUE(block.has_value());
  EXPECT_EQ(*block, Sheet("Sheet1").GetRange("B2:D9"));
  EXPECT_EQ(block->Rows().Count(), 8);
  EXPECT_EQ(block->Columns()(block->Columns().Count()).Column(), 4);
  EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(CellBlockTest, BlockOnAnotherSheetStaysOnItsSheet) {
  auto block = Select([&](host::ui::CellBlockDialog& dialog, host::ui::WorkbookView* view) {
    HighlightBlock(*view, 1, 3, 1, 6, 2);
    PressOk(dialog);
  });
  ASSERT_TRUE(block.has_value());
  EXPECT_EQ(&block->Worksheet(), &Sheet("Sheet2"));
  EXPECT_NE(&block->Worksheet(), &workbook_->ActiveSheet());
  EXPECT_EQ(block->Address(), "$A$3:$B$6");
}

TEST_F(CellBlockTest, CancelGivesNothingAndNoReport) {
  auto block = Select([&](host::ui::CellBlockDialog& dialog, host::ui::WorkbookView* view) {
    HighlightBlock(*view, 0, 2, 2, 9, 4);
    PressCancel(dialog);
  });
  EXPECT_FALSE(block.has_value());
  EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(CellBlockTest, HostThatCannotAskGivesNothingAndNoReport) {
  std::optional<host::Range> block = Sheet("Sheet1").GetRange("A1");
  app_->Quit();  // every call on the instance now fails
  GuardedProcedure run(messages_, "in Tabulorix2021/08/31.Form1.PushButton2_Click ");
  run.Do(150, [&] { block = SelectCellBlock(*app_); });
  EXPECT_FALSE(block.has_value());
  EXPECT_TRUE(messages_.shown.empty());
}
