// The batch run without a window: the numbered statements, what a failing one
// leaves behind, the block question and the closing message.
#include "app/shell/ErrorReport.h"
#include "app/shell/MousePointer.h"
#include "batch/BatchRun.h"
#include "batch/RunControl.h"
#include "batch/WorkbookFixtures.h"
#include "host/core/Application.h"
#include "options/OptionsSource.h"
#include "support/HostFactories.h"
#include "support/RecordingPointer.h"
#include "support/ScriptedMessages.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <deque>
#include <gtest/gtest.h>

using namespace tabulory;
using namespace tabulory::testing;
using Rows = std::vector<int>;
using Texts = std::vector<std::string>;

namespace {

// The procedure whose error reports the batch tests read.
const QString kStartButton = QStringLiteral("PushButton2_Click");


// Answers the block question from a queue: a reference on the active sheet of
// the file's workbook, or "" for a cancelled selection.
class QueuedBlocks : public BlockChooser {
 public:
  void ShowHost(host::Application& app) override {
    app.Workbooks();  // fails like the real window on a quit instance
    ++shown;
  }
  std::optional<host::Range> SelectBlock(host::Application* app) override {
    const std::string ref = answers.empty() ? "" : answers.front();
    if (!answers.empty()) answers.pop_front();
    if (!app || ref.empty()) return std::nullopt;
    try {
      host::Workbooks& books = app->Workbooks();
      return books(books.Count()).ActiveSheet().GetRange(ref);
    } catch (...) {
      return std::nullopt;
    }
  }
  std::deque<std::string> answers;
  int shown = 0;
};

class BatchRunTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }

  QString Path(const QString& name) const { return dir.filePath(name); }
  // A workbook whose only sheet holds "keep"/"drop" in column A, 4 rows.
  QString Workbook(const QString& name) {
    WriteColumn(Path(name).toStdString(), {"drop", "keep", "drop", "keep"});
    return Path(name);
  }
  // Dates the file back a day, so that a save shows in its modification time.
  static void MakeOld(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addDays(-1),
                              QFileDevice::FileModificationTime));
  }
  static bool WrittenSince(const QString& path) {
    return QFileInfo(path).lastModified() > QDateTime::currentDateTime().addSecs(-3600);
  }
  Rows Hidden(const QString& path) {
    OpenedWorkbook book(path.toStdString());
    return book.HiddenRows("Sheet1", 4);
  }

  void Run(const QStringList& paths, BatchRun::AskStop askStop = {}) {
    PathList files(paths);
    BatchRun(files, BatchContext{options, messages, pointer, hosts, blocks, &control},
             std::move(askStop),
             [this](int i, int n, const QString& path) {
               progress << QStringLiteral("%1/%2 %3").arg(i).arg(n).arg(QFileInfo(path).fileName());
               pointerAtProgress.push_back(pointer.pointer);
               if (atFile) atFile(i);
             })
        .Run();
  }

  QTemporaryDir dir;
  FixedOptions options{ProcessingOptions{Operation::Filter, Scope::EntireWorkbook, 1,
                                         QStringLiteral("A"), kEquals, QStringLiteral("keep")}};
  ScriptedMessages messages;
  RecordingPointer pointer{MousePointer::Custom};
  WorkingHostFactory hosts;
  QueuedBlocks blocks;
  RunControl control;
  std::function<void(int file)> atFile;  // as each file begins
  QStringList progress;
  std::vector<MousePointer> pointerAtProgress;
};

}  // namespace

TEST_F(BatchRunTest, EmptyListSaysSoAndStartsNoHost) {
  Run({});
  EXPECT_EQ(messages.Texts(), QStringList{"No files added."});
  EXPECT_EQ(hosts.calls, 0);
  EXPECT_TRUE(pointer.history.empty());  // the pointer is left as it was
}

TEST_F(BatchRunTest, DecliningTheQuestionTouchesNoFile) {
  const QString a = Workbook("a.xlsx");
  const QByteArray before = FileBytes(a);
  Run({a}, [] { return true; });
  EXPECT_EQ(hosts.calls, 0);
  EXPECT_EQ(FileBytes(a), before);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(pointer.history, (std::vector{MousePointer::Hourglass, MousePointer::Default}));
}

TEST_F(BatchRunTest, ThreeFilesEachInItsOwnInstanceThenDone) {
  const QStringList files{Workbook("a.xlsx"), Workbook("b.xlsx"), Workbook("c.xlsx")};
  Run(files, [] { return false; });
  EXPECT_EQ(hosts.calls, 3);
  for (const QString& f : files) EXPECT_EQ(Hidden(f), (Rows{1, 3})) << f.toStdString();
  EXPECT_EQ(messages.Texts(), QStringList{"Done."});
  EXPECT_EQ(progress, (QStringList{"1/3 a.xlsx", "2/3 b.xlsx", "3/3 c.xlsx", "0/3 "}));  // 0: the files are done
  for (MousePointer p : pointerAtProgress) EXPECT_EQ(p, MousePointer::Hourglass);
  EXPECT_EQ(pointer.pointer, MousePointer::Default);
}

TEST_F(BatchRunTest, OptionsAreReadAgainForEveryFile) {
  WriteColumn(Path("s.xlsx").toStdString(), {"c", "a", "b"});
  const QStringList files{Workbook("a.xlsx"), Path("s.xlsx")};
  PathList list(files);
  BatchRun(list, BatchContext{options, messages, pointer, hosts, blocks}, {},
           [this](int i, int, const QString&) {
             if (i == 2) options.options.operation = Operation::Sort;
           })
      .Run();
  EXPECT_EQ(Hidden(files[0]), (Rows{1, 3}));
  OpenedWorkbook sorted(files[1].toStdString());
  EXPECT_EQ(sorted.Column("Sheet1", 1, 1, 3), (Texts{"a", "b", "c"}));
  EXPECT_EQ(sorted.HiddenRows("Sheet1", 3), Rows{});
}

TEST_F(BatchRunTest, MissingFirstFileFailsEveryStepThatNeedsIt) {
  const QString b = Workbook("b.xlsx");
  Run({Path("missing.xlsx"), b});
  EXPECT_EQ(messages.ReportedStatements(kStartButton), (std::vector{114, 118, 126, 168, 170}));
  EXPECT_EQ(Hidden(b), (Rows{1, 3}));  // the next file is processed normally
  EXPECT_EQ(messages.PlainTexts(), QStringList{"Done."});
  EXPECT_TRUE(messages.shown[1].text.startsWith("No host instance is running."));
}

TEST_F(BatchRunTest, MissingFileAfterAnotherDoesNotSaveThePreviousOneAgain) {
  const QString a = Workbook("a.xlsx");
  const QString c = Workbook("c.xlsx");
  options.options.scope = Scope::ActiveSheet;
  Run({a, Path("missing.xlsx"), c});
  EXPECT_EQ(messages.ReportedStatements(kStartButton), (std::vector{114, 118, 138, 168, 170}));
  // The previous file's instance has quit: its workbook is closed, not saved.
  EXPECT_TRUE(messages.shown[3].text.startsWith("The workbook is closed: its host instance has quit."));
  EXPECT_TRUE(messages.shown[4].text.startsWith("This host instance has quit"));
  EXPECT_EQ(Hidden(a), (Rows{1, 3}));
  EXPECT_EQ(Hidden(c), (Rows{1, 3}));
  EXPECT_EQ(hosts.calls, 3);
}

TEST_F(BatchRunTest, FailingOperationAbandonsItsRestAndTheFileIsStillSaved) {
  // Sorting by column C: the first sheet's used range reaches C, the second's
  // does not, so the host refuses it; the third sheet is left alone.
  WriteWorkbook(Path("f.xlsx").toStdString(),
                {SheetContent{"One", {{"b", "", "#2"}, {"a", "", "#1"}}}, SheetContent{"Two", {{"d"}, {"c"}}},
                 SheetContent{"Three", {{"f", "", "#2"}, {"e", "", "#1"}}}});
  options.options.operation = Operation::Sort;
  options.options.sortColumn = 3;
  Run({Path("f.xlsx")});
  EXPECT_EQ(messages.ReportedStatements(kStartButton), std::vector{130});
  EXPECT_EQ(messages.PlainTexts(), QStringList{"Done."});
  OpenedWorkbook book(Path("f.xlsx").toStdString());
  EXPECT_EQ(book.Column("One", 1, 1, 2), (Texts{"a", "b"}));  // saved at 168
  EXPECT_EQ(book.Column("Three", 1, 1, 2), (Texts{"f", "e"}));
}

TEST_F(BatchRunTest, CancelledBlockOnTheFirstFileStillEndsWithDone) {
  options.options.scope = Scope::BlockOfCells;
  const QString a = Workbook("a.xlsx");
  const QString b = Workbook("b.xlsx");
  MakeOld(a);
  blocks.answers = {"", "A2:A3"};
  Run({a, b});
  EXPECT_EQ(messages.PlainTexts(),
            (QStringList{"You did not select a range. Please try again.", "Done."}));
  EXPECT_TRUE(messages.ReportedStatements(kStartButton).empty());
  EXPECT_EQ(blocks.shown, 2);
  EXPECT_EQ(Hidden(a), Rows{});
  // The save step ran (nothing reported) and, nothing having changed, wrote
  // nothing, as in every format.
  EXPECT_FALSE(WrittenSince(a));
  EXPECT_EQ(Hidden(b), (Rows{3}));  // only the block's rows were examined
}

TEST_F(BatchRunTest, CancelledBlockOnTheLastFileSuppressesDone) {
  options.options.scope = Scope::BlockOfCells;
  blocks.answers = {"A1:A4", ""};
  const QString a = Workbook("a.xlsx");
  const QString b = Workbook("b.xlsx");
  Run({a, b});
  EXPECT_EQ(messages.PlainTexts(),
            QStringList{"You did not select a range. Please try again."});
  EXPECT_EQ(Hidden(a), (Rows{1, 3}));
  EXPECT_EQ(pointer.pointer, MousePointer::Default);
}

TEST_F(BatchRunTest, MissingFileInBlockScope) {
  options.options.scope = Scope::BlockOfCells;
  blocks.answers = {"A1:A4"};
  Run({Path("missing.xlsx")});
  EXPECT_EQ(messages.ReportedStatements(kStartButton), (std::vector{114, 118, 148, 168, 170}));
  EXPECT_EQ(messages.PlainTexts(),
            QStringList{"You did not select a range. Please try again."});
}

TEST_F(BatchRunTest, StopEndsTheRunAfterTheCurrentFile) {
  const QStringList files{Workbook("a.xlsx"), Workbook("b.xlsx"), Workbook("c.xlsx")};
  const QByteArray last = FileBytes(files[2]);
  atFile = [&](int i) {
    if (i == 2) control.RequestStop();
  };
  Run(files, [] { return false; });
  EXPECT_EQ(hosts.calls, 2);
  EXPECT_EQ(Hidden(files[1]), (Rows{1, 3}));  // the current file is finished
  EXPECT_EQ(FileBytes(files[2]), last);
  EXPECT_EQ(messages.Texts(), QStringList{"Stopped after 2 of 3 files."});
  EXPECT_EQ(pointer.pointer, MousePointer::Default);
}

TEST_F(BatchRunTest, AnAbandonedRunSavesNothingMore) {
  const QStringList files{Workbook("a.xlsx"), Workbook("b.xlsx")};
  const QByteArray first = FileBytes(files[0]);
  atFile = [&](int) { control.Abandon(); };
  Run(files, [] { return false; });
  EXPECT_EQ(hosts.calls, 1);
  EXPECT_EQ(FileBytes(files[0]), first);
  EXPECT_EQ(messages.ReportedStatements(kStartButton), std::vector{168});
}
