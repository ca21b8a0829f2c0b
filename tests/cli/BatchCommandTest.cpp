// tabulory-batch end to end on real workbooks: output lines, reports, exit
// statuses, the question, block scope, threads and the progress bar.
#include "app/shell/MousePointer.h"
#include "batch/HostRunning.h"
#include "batch/WorkbookFixtures.h"
#include "cli/BatchCommand.h"
#include "cli/BatchCommandFixture.h"
#include "cli/HeadlessHostFactory.h"
#include "cli/OrderedRun.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>

#include <algorithm>

#include "host/core/MemoryBudget.h"
#include "host/formats/FormatRegistry.h"
#include "host/formats/WorkbookFormat.h"
#include <xlsxwriter.h>
#include <map>
#include <mutex>
#include <thread>

using namespace tabulory;
using namespace tabulory::cli;
using namespace tabulory::testing;

TEST_F(BatchCommandTest, EveryFileOkThenDone) {
  const QString a = Workbook("a.xlsx"), b = Workbook("b.xlsx");
  EXPECT_EQ(Run(FilterKeep({a, b})), kExitSuccess);
  EXPECT_EQ(out, "ok " + a + "\nok " + b + "\nDone.\n");
  EXPECT_EQ(err, "");
  EXPECT_EQ(Hidden(a), (Rows{1, 3}));
  EXPECT_EQ(Hidden(b), (Rows{1, 3}));
}

TEST_F(BatchCommandTest, SortByColumnNumber) {
  const QString s = dir.filePath("s.xlsx");
  WriteColumn(s.toStdString(), {"c", "a", "b"});
  EXPECT_EQ(Run({"sort", "--column", "1", "--scope", "active", s}), kExitSuccess);
  OpenedWorkbook book(s.toStdString());
  EXPECT_EQ(book.Column("Sheet1", 1, 1, 3), (std::vector<std::string>{"a", "b", "c"}));
}

// A file saved with formulas the host could not compute says how many are
// left to the recalculation when it is next opened.
TEST_F(BatchCommandTest, TheResultLineCountsTheFormulasLeftToRecalculate) {
  struct Case {
    int uncomputed;  // formulas of a volatile function among the three
    const char* note;
  };
  const Case cases[] = {{0, ""},
                        {1, " (1 formula will be recalculated when opened)"},
                        {3, " (3 formulas will be recalculated when opened)"}};
  for (const Case& c : cases) {
    const QString path = dir.filePath(QStringLiteral("left%1.xlsx").arg(c.uncomputed));
    lxw_workbook* wb = workbook_new(path.toUtf8().constData());
    lxw_worksheet* sheet = workbook_add_worksheet(wb, "Sheet1");
    const char* keys[] = {"c", "a", "b"};
    for (int r = 0; r < 3; ++r) {
      worksheet_write_string(sheet, r, 0, keys[r], nullptr);
      worksheet_write_formula(sheet, r, 1, r < c.uncomputed ? "=NOW()" : "=ROW()*2", nullptr);
    }
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
    out.clear();
    EXPECT_EQ(Run({"sort", "--column", "1", "--scope", "active", path}), kExitSuccess);
    EXPECT_EQ(out, "ok " + path + c.note + "\nDone.\n");
  }
}

// A file that cannot ask for a recalculation (an OpenDocument file) says that
// the formulas left keep their earlier results instead.
TEST(RecalculationNote, SaysWhatBecomesOfTheFormulasLeft) {
  EXPECT_EQ(RecalculationNote(0, false), "");
  EXPECT_EQ(RecalculationNote(1, false), " (1 formula could not be recalculated and keeps its earlier result)");
  EXPECT_EQ(RecalculationNote(2, false), " (2 formulas could not be recalculated and keep their earlier results)");
}

// A file that cannot be opened is reported once, with the step, in the
// command's words: no follow-on reports, no screenshot request.
TEST_F(BatchCommandTest, MissingFileIsReportedOnceWithItsStepAndTheRestGoesOn) {
  const QString gone = dir.filePath("gone.xlsx");
  const QString b = Workbook("b.xlsx");
  EXPECT_EQ(Run(FilterKeep({gone, b})), kExitFailure);
  const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3);
  EXPECT_TRUE(lines[0].startsWith("failed " + gone + ": ")) << lines[0].toStdString();
  EXPECT_TRUE(lines[0].contains("gone.xlsx"));
  EXPECT_EQ(lines[1], "ok " + b);
  EXPECT_EQ(lines[2], "Done.");
  const QStringList reports = err.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(reports.size(), 1) << err.toStdString();
  EXPECT_TRUE(reports[0].startsWith("tabulory-batch: " + gone + ": opening it failed: ")) << err.toStdString();
  for (const char* word : {"screenshot", "No host instance", "No workbook is open", "at line"})
    EXPECT_FALSE(err.contains(word)) << word;
  EXPECT_EQ(Hidden(b), (Rows{1, 3}));
}

// A sheet that refuses the sort after others were sorted: the run saves what
// it did, and the result line says so.
TEST_F(BatchCommandTest, APartlySortedWorkbookIsSavedAndTheLineSaysWhat) {
  const QString path = dir.filePath("three.xlsx");
  {
    lxw_workbook* wb = workbook_new(path.toUtf8().constData());
    for (const char* name : {"A", "B"}) {
      lxw_worksheet* ws = workbook_add_worksheet(wb, name);
      worksheet_write_string(ws, 0, 0, "b", nullptr);
      worksheet_write_string(ws, 1, 0, "a", nullptr);
    }
    lxw_worksheet* ws = workbook_add_worksheet(wb, "C");
    worksheet_write_string(ws, 0, 0, "b", nullptr);
    worksheet_write_string(ws, 1, 0, "a", nullptr);
    worksheet_merge_range(ws, 0, 1, 0, 2, "merged", nullptr);  // B1:C1 alone: merged cells of different sizes
    workbook_close(wb);
  }
  EXPECT_EQ(Run({"sort", "--column", "A", path}), kExitFailure);
  EXPECT_TRUE(out.startsWith("failed " + path + ": ")) << out.toStdString();
  EXPECT_TRUE(out.contains("(sheets \"A\" and \"B\" were sorted and saved)\n")) << out.toStdString();
  EXPECT_TRUE(err.contains(": sorting it failed: ")) << err.toStdString();
  OpenedWorkbook book(path.toStdString());
  EXPECT_EQ(book.Column("B", 1, 1, 2), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(book.Column("C", 1, 1, 2), (std::vector<std::string>{"b", "a"}));
}

// A dry run says what the real run would do: a CSV cannot keep hidden rows,
// a read-only file would be refused; neither gets counts of changes.
TEST_F(BatchCommandTest, ADryRunReportsTheRefusalTheRealRunWouldMeet) {
  const QString csv = dir.filePath("k.csv");
  const QString locked = Workbook("locked.xlsx");
  {
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("drop\nkeep\n");
  }
  ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::ReadOwner));
  EXPECT_EQ(Run(FilterKeep({"--dry-run", csv, locked})), kExitFailure);
  EXPECT_FALSE(out.contains("would be hidden")) << out.toStdString();
  EXPECT_TRUE(out.contains("failed " + csv + ": ")) << out.toStdString();
  EXPECT_TRUE(out.contains("failed " + locked + ": \"" + locked + "\" is read-only")) << out.toStdString();
}

TEST_F(BatchCommandTest, UsageErrorIsOneLineAndStatusTwo) {
  EXPECT_EQ(Run({"sort", "--jobs", "0", "--column", "A", "f"}), kExitUsage);
  EXPECT_EQ(err, "tabulory-batch: invalid --jobs '0': a whole number from 1 to 64 (see --help)\n");
  EXPECT_EQ(out, "");
}

TEST_F(BatchCommandTest, HelpAndVersionGoToStandardOutput) {
  EXPECT_EQ(Run({"--help"}), kExitSuccess);
  EXPECT_TRUE(out.contains("--criterion"));
  out.clear();
  EXPECT_EQ(Run({"--version"}), kExitSuccess);
  EXPECT_TRUE(out.startsWith("tabulory-batch "));
  EXPECT_EQ(err, "");
}

// A running program is named, with the way on (--yes); stopped, every file
// still gets its line and stays as it was.
TEST_F(BatchCommandTest, ARunningProgramIsNamedAndEveryFileGetsItsLine) {
  const RunningProgram calc{"LibreOffice", 4242, false}, window{"Tabulory", 77, true};
  struct Case {
    RunningProgram program;
    bool terminal;
    QString answer;
    QStringList options;
    int status;
    QString saidOnError;  // on standard error, besides the reports
    int questions;
  } cases[] = {
      {calc, false, "", {}, kExitFailure,
       "tabulory-batch: a LibreOffice process (process id 4242) is running and may have some of these files "
       "open.\ntabulory-batch: no file was processed: close it first, or give --yes to go on anyway.\n", 0},
      {window, true, "n", {}, kExitFailure,
       "tabulory-batch: another Tabulory instance (process id 77) is running and may have some of these files "
       "open.\nGo on anyway (as --yes does)? [y/N] ", 1},
      {window, true, "Yes", {}, kExitSuccess,
       "tabulory-batch: another Tabulory instance (process id 77) is running and may have some of these files "
       "open.\nGo on anyway (as --yes does)? [y/N] ", 1},
      {calc, false, "", {"--yes"}, kExitSuccess, "", 0},
  };
  for (const Case& c : cases) {
    const QString a = Workbook("a.xlsx"), b = Workbook("b.xlsx");
    const QByteArray before = FileBytes(a);
    running = c.program;
    io.inIsTerminal = io.errIsTerminal = c.terminal;
    answer = c.answer;
    questionsRead = 0;
    out.clear();
    err.clear();
    const QString phrase = RunningProgramPhrase(c.program);
    EXPECT_EQ(Run(FilterKeep(c.options + QStringList{a, b})), c.status) << phrase.toStdString();
    EXPECT_EQ(questionsRead, c.questions);
    if (c.status == kExitFailure) {
      EXPECT_EQ(err, c.saidOnError);
      EXPECT_EQ(out, "failed " + a + ": not processed: " + phrase + " is running (--yes goes on anyway)\n" +
                         "failed " + b + ": not processed: " + phrase + " is running (--yes goes on anyway)\n");
      EXPECT_EQ(FileBytes(a), before);
    } else {
      EXPECT_EQ(err.left(c.saidOnError.size()), c.saidOnError);  // then the progress bar, if any
      EXPECT_EQ(out, "ok " + a + "\nok " + b + "\nDone.\n");
      EXPECT_EQ(Hidden(a), (Rows{1, 3}));
    }
  }
}

TEST_F(BatchCommandTest, BlockScopeNamedBlockInEveryFile) {
  const QString a = Workbook("a.xlsx"), b = Workbook("b.xlsx");
  EXPECT_EQ(Run(FilterKeep({"--scope", "block", "--block", "Sheet1!A2:A3", a, b})), kExitSuccess);
  EXPECT_EQ(out, "ok " + a + "\nok " + b + "\nDone.\n");
  EXPECT_EQ(Hidden(a), (Rows{3}));
  EXPECT_EQ(Hidden(b), (Rows{3}));
}

TEST_F(BatchCommandTest, BlockMissingFromTheLastFileFailsItAndSuppressesDone) {
  const QString a = Workbook("a.xlsx");
  const QString other = dir.filePath("other.xlsx");
  WriteColumn(other.toStdString(), {"x", "keep"}, "Data");
  EXPECT_EQ(Run(FilterKeep({"--scope", "block", "--block", "Sheet1!A1:A4", a, other})), kExitFailure);
  EXPECT_EQ(out, "ok " + a + "\nfailed " + other + ": block Sheet1!A1:A4 not found: \"" + other +
                     "\" has no worksheet \"Sheet1\".\n");
  EXPECT_EQ(err, "You did not select a range. Please try again.\n");
  EXPECT_EQ(Hidden(a), (Rows{1, 3}));
}

TEST_F(BatchCommandTest, BlockMissingFromTheFirstFileOnlyStillEndsWithDone) {
  const QString other = dir.filePath("other.xlsx");
  WriteColumn(other.toStdString(), {"x", "keep"}, "Data");
  const QString a = Workbook("a.xlsx");
  EXPECT_EQ(Run(FilterKeep({"--scope", "block", "--block", "Sheet1!A1:A4", other, a})), kExitFailure);
  const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3);
  EXPECT_TRUE(lines[0].startsWith("failed " + other + ": block Sheet1!A1:A4 not found"));
  EXPECT_EQ(lines[1], "ok " + a);
  EXPECT_EQ(lines[2], "Done.");
}

TEST_F(BatchCommandTest, ActiveSheetScopeAndOtherCriteria) {
  const QString path = dir.filePath("two.xlsx");
  WriteWorkbook(path.toStdString(), {SheetContent{"One", {{"ab", "#1"}, {"", "#1"}, {"cb", "#1"}}},
                                     SheetContent{"Two", {{"ab", "#1"}, {"", "#1"}, {"xy", "#1"}}}},
                /*activeSheet=*/1);
  EXPECT_EQ(Run({"filter", "--column", "A", "--criterion", "contains", "--value", "b", "--scope",
                 "active", path}),
            kExitSuccess);
  {
    OpenedWorkbook book(path.toStdString());
    EXPECT_EQ(book.HiddenRows("One", 3), Rows{});
    EXPECT_EQ(book.HiddenRows("Two", 3), (Rows{2, 3}));
  }
  EXPECT_EQ(Run({"filter", "--column", "1", "--criterion", "blank", path}), kExitSuccess);
  OpenedWorkbook book(path.toStdString());
  EXPECT_EQ(book.HiddenRows("One", 3), (Rows{1, 3}));
  EXPECT_EQ(book.HiddenRows("Two", 3), (Rows{1, 2, 3}));  // hidden before: stays hidden
}

TEST_F(BatchCommandTest, SameFileListedTwiceIsProcessedTwiceInTurn) {
  const QString a = Workbook("a.xlsx");
  EXPECT_EQ(Run(FilterKeep({"--jobs", "2", a, dir.path() + "/./a.xlsx", a})), kExitSuccess);
  EXPECT_EQ(out.count("ok "), 3);
  EXPECT_EQ(Hidden(a), (Rows{1, 3}));
}

TEST_F(BatchCommandTest, TwoJobsGiveTheSameFilesByteForByteAndTheSameOutput) {
  QDir(dir.path()).mkpath("one");
  QDir(dir.path()).mkpath("two");
  QStringList one, two;
  for (int i = 0; i < 7; ++i) {
    SheetContent content{"Sheet1"};
    for (int r = 0; r < 60; ++r)
      content.rows.push_back({std::to_string((r * 37 + i) % 23), "#" + std::to_string(r), r % 3 ? "x" : ""});
    const QString name = QStringLiteral("/f%1.xlsx").arg(i);
    WriteWorkbook((dir.path() + "/one" + name).toStdString(), {content, SheetContent{"Second", content.rows}});
    QFile::copy(dir.path() + "/one" + name, dir.path() + "/two" + name);
    one << dir.path() + "/one" + name;
    two << dir.path() + "/two" + name;
  }
  one << dir.path() + "/one/missing.xlsx";
  two << dir.path() + "/two/missing.xlsx";
  ASSERT_EQ(Run(QStringList{"sort", "--column", "A", "--jobs", "1"} + one), kExitFailure);
  const QString outOne = out, errOne = err;
  out.clear();
  err.clear();
  ASSERT_EQ(Run(QStringList{"sort", "--column", "A", "--jobs", "2"} + two), kExitFailure);
  for (int i = 0; i < 7; ++i) {
    const QByteArray sorted = FileBytes(one[i]);
    EXPECT_FALSE(sorted.isEmpty());
    EXPECT_EQ(sorted, FileBytes(two[i])) << i;
  }
  QString outTwo = out;
  EXPECT_EQ(outTwo.replace("/two/", "/one/"), outOne);
  QString errTwo = err;
  EXPECT_EQ(errTwo.replace("/two/", "/one/").count("at line"), errOne.count("at line"));
}

// The bar is drawn with escape codes, so only on a terminal that has them.
// --jobs divides --max-memory between the files processed at a time: a
// workbook that fits the whole budget does not fit half of it.
TEST_F(BatchCommandTest, JobsShareTheMemoryBudget) {
  const QString a = Workbook("a.xlsx"), b = Workbook("b.xlsx");
  uint64_t need = 0;
  for (const host::WorkbookFormat& format : host::WorkbookFormats())
    if (std::find(format.extensions.begin(), format.extensions.end(), ".xlsx") != format.extensions.end())
      need = format.memoryNeed(a.toStdString()).bytes;
  ASSERT_GT(need, 0u);
  const QString budget = QString::number(need * 3 / 2);
  struct Case {
    int jobs;
    int status;
    bool fits;
  } cases[] = {{1, kExitSuccess, true}, {2, kExitFailure, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.jobs);
    Workbook("a.xlsx");
    Workbook("b.xlsx");
    out.clear();
    err.clear();
    EXPECT_EQ(Run(FilterKeep({"--jobs", QString::number(c.jobs), "--max-memory", budget, a, b})), c.status);
    EXPECT_EQ((out + err).contains("shared by 2 jobs"), !c.fits) << (out + err).toStdString();
    host::SetMemoryBudget(0, "");  // the command's budget stays in this process: gone for the reading back
    EXPECT_EQ(Hidden(a), c.fits ? (Rows{1, 3}) : Rows{});
  }
}

TEST_F(BatchCommandTest, ProgressBarOnlyOnATerminalWithEscapeCodes) {
  const QString a = Workbook("a.xlsx"), b = Workbook("b.xlsx");
  struct Case {
    bool terminal, dumb, bar;
  } cases[] = {{false, false, false}, {true, true, false}, {false, true, false}, {true, false, true}};
  for (const Case& c : cases) {
    io.errIsTerminal = c.terminal;
    io.dumbTerminal = c.dumb;
    err.clear();
    EXPECT_EQ(Run(FilterKeep({"--jobs", "2", a, b})), kExitSuccess);
    EXPECT_EQ(err.contains("\x1b"), c.bar) << c.terminal << c.dumb;
    EXPECT_EQ(err.contains("] 2/2 "), c.bar) << err.toStdString();
    if (c.bar) {
      EXPECT_TRUE(err.endsWith("\r\x1b[K"));  // the bar is gone at the end
    }
  }
}

TEST(OrderedRun, SameFileNeverTwiceAtOnceAndResultsInListOrder) {
  QTemporaryDir dir;
  const QString x = dir.filePath("x.xlsx"), y = dir.filePath("y.xlsx");
  // The same file also under another spelling.
  const QStringList files{x, y, x, dir.path() + "/./x.xlsx", y, x};
  std::mutex mutex;
  std::map<QString, int> running;
  std::vector<int> order;
  std::atomic<int> overlaps = 0, maxAtOnce = 0, atOnce = 0;
  RunInListOrder(
      files, 4,
      [&](int index, const QString& path, RunState&) {
        const QString key = SameFileKey(path);
        {
          std::lock_guard lock(mutex);
          if (running[key]++ > 0) ++overlaps;
          order.push_back(index);
        }
        maxAtOnce = std::max(maxAtOnce.load(), ++atOnce);
        std::this_thread::sleep_for(std::chrono::milliseconds(index == 1 ? 60 : 15));
        --atOnce;
        std::lock_guard lock(mutex);
        --running[key];
        FileResult r;
        r.index = index;
        r.path = path;
        return r;
      },
      [&](const FileResult& r) {
        static int expected = 1;
        EXPECT_EQ(r.index, expected++);
      });
  EXPECT_EQ(overlaps, 0);
  EXPECT_GE(maxAtOnce, 2);  // y ran beside x
  // Entries of x started in list order.
  std::vector<int> xs;
  for (int i : order)
    if (i != 2 && i != 5) xs.push_back(i);
  EXPECT_EQ(xs, (std::vector{1, 3, 4, 6}));
}

TEST(Executable, RunsWithoutADisplay) {
  const QString binary = QStringLiteral(TABULORY_BATCH_COMMAND);
  ASSERT_TRUE(QFile::exists(binary)) << binary.toStdString();
  QTemporaryDir dir;
  const QString a = dir.filePath("a.xlsx");
  WriteColumn(a.toStdString(), {"drop", "keep"});

  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
  auto run = [&](const QStringList& args, QByteArray* out, QByteArray* err) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(binary, args);
    EXPECT_TRUE(p.waitForFinished(60000));
    *out = p.readAllStandardOutput();
    *err = p.readAllStandardError();
    return p.exitCode();
  };
  QByteArray out, err;
  EXPECT_EQ(run({"--version"}, &out, &err), 0);
  EXPECT_TRUE(out.startsWith("tabulory-batch "));
  EXPECT_EQ(run({"sort"}, &out, &err), 2);
  EXPECT_EQ(err, "tabulory-batch: --column is required (see --help)\n");
  EXPECT_EQ(run({"filter", "--column", "A", "--criterion", "equals", "--value", "keep", "--yes", a},
                &out, &err),
            0);
  EXPECT_EQ(out, "ok " + a.toUtf8() + "\nDone.\n");
  OpenedWorkbook book(a.toStdString());
  EXPECT_EQ(book.HiddenRows("Sheet1", 2), (Rows{1}));
}
