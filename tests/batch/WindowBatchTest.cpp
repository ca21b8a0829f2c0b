// The start button end to end: the window offscreen with scripted messages,
// real workbooks on disk and real host instances.
#include "app/Form1.h"
#include "app/shell/MousePointer.h"
#include "app/ReportListModel.h"
#include "app/shell/RawFileName.h"
#include "filelist/FileDialogs.h"
#include "filelist/FileListModel.h"
#include "batch/HostRunning.h"
#include "batch/WorkbookFixtures.h"
#include "host/core/HostWindow.h"
#include "host/ui/QtHostWindow.h"
#include "support/DialogDriver.h"
#include "support/HostFactories.h"
#include "support/ScriptedMessages.h"
#include "support/TempSettings.h"
#include "support/WidgetApp.h"
#include "support/WindowRun.h"

#include <QComboBox>
#include <QDropEvent>
#include <QMimeData>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QKeyEvent>
#include <QProgressBar>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <atomic>
#include <chrono>
#include <deque>
#include <filesystem>
#include <set>
#include <cstdlib>
#include <thread>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace tabulory;
using namespace tabulory::testing;
using Rows = std::vector<int>;

namespace {

// The procedure whose error reports the batch tests read.
const QString kStartButton = QStringLiteral("PushButton2_Click");

// Runs on the run's worker thread. Remembers what the window showed each
// time a host instance was started, and does what a test asks on the
// window's thread at the start of a chosen file, while that file waits.
class WatchingHostFactory : public HostFactory {
 public:
  std::shared_ptr<host::Application> Create() override {
    const int call = ++calls;
    if (form) {
      QMetaObject::invokeMethod(form, [&] {
        captions << form->PushButton2()->text();
        pointers.push_back(form->Pointer());
        cursors.push_back(form->cursor().shape());
        progress.push_back(form->RunProgress()->isHidden() ? -1 : form->RunProgress()->value());
        if (const auto action = during.find(call); action != during.end()) action->second();
      }, Qt::BlockingQueuedConnection);
    }
    if (slow) slow();
    return std::make_shared<host::Application>();
  }
  Form1* form = nullptr;
  std::map<int, std::function<void()>> during;  // by file number, on the window's thread
  std::function<void()> slow;                   // on the worker, while the file waits
  QStringList captions;
  std::vector<MousePointer> pointers;
  std::vector<Qt::CursorShape> cursors;
  std::vector<int> progress;  // files done as the bar shows them; -1 when hidden
  std::atomic<int> calls = 0;
};

// Acts on each reference dialog the host shows, in turn: a block to highlight
// on the active tab and confirm, or cancel when none is given.
class DialogSequence {
 public:
  struct Block { int firstRow, firstColumn, lastRow, lastColumn; };
  explicit DialogSequence(std::deque<std::optional<Block>> actions) : actions_(std::move(actions)) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start();
  }
  int Handled() const { return handled_; }

 private:
  void Tick() {
    host::ui::CellBlockDialog* dialog = ShownCellBlockDialog();
    if (!dialog || dialog == last_.data()) return;
    last_ = dialog;
    ++handled_;
    const std::optional<Block> block = actions_.empty() ? std::nullopt : actions_.front();
    if (!actions_.empty()) actions_.pop_front();
    auto* window = qobject_cast<host::ui::HostMainWindow*>(dialog->window());
    if (block && window) {
      HighlightBlock(*window->View(), window->View()->Tabs()->currentIndex(), block->firstRow,
                     block->firstColumn, block->lastRow, block->lastColumn);
      PressOk(*dialog);
    } else {
      PressCancel(*dialog);
    }
  }
  std::deque<std::optional<Block>> actions_;
  QPointer<host::ui::CellBlockDialog> last_;
  QTimer timer_;
  int handled_ = 0;
};

class WindowBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    ASSERT_TRUE(dir.isValid());
    form = std::make_unique<Form1>(messages, settings.store(), hosts, dir.filePath("program"));
    form->hooks().endProgram = [] {};
    form->hooks().askStopIfHostRunning = [](Messages&) { return false; };
    form->Form_Load();
    messages.shown.clear();
    hosts.calls = 0;
    hosts.form = form.get();
  }
  void TearDown() override { host::SetHostWindowFactory({}); }

  QString Workbook(const QString& name) {
    const QString path = dir.filePath(name);
    WriteColumn(path.toStdString(), {"drop", "keep", "drop", "keep"});
    QFile f(path);
    f.open(QIODevice::ReadWrite);
    f.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime);
    return path;
  }
  static bool Saved(const QString& path) {
    return QFileInfo(path).lastModified() > QDateTime::currentDateTime().addSecs(-3600);
  }
  static Rows Hidden(const QString& path) {
    OpenedWorkbook book(path.toStdString());
    return book.HiddenRows("Sheet1", 4);
  }
  void Add(const QStringList& paths) {
    for (const QString& p : paths) form->ListView1Model()->AddEntry(p);
  }
  // Filter column A "equals" keep.
  void ChooseFilterKeep() {
    form->Option1()->setChecked(true);
    form->Text2()->setText("A");
    form->Combo2()->setCurrentIndex(0);
    form->Text1()->setText("keep");
  }

  QTemporaryDir dir;
  TempSettings settings;
  ScriptedMessages messages;
  WatchingHostFactory hosts;
  std::unique_ptr<Form1> form;
};

}  // namespace

TEST_F(WindowBatchTest, SortColumnListStartsOnItsFirstEntry) {
  EXPECT_EQ(form->SortColumn(), 1);
  form->ListView2()->setCurrentIndex(form->ListView2Model()->index(27, 0));
  EXPECT_EQ(form->SortColumn(), 28);  // AB
  form->ListView2()->setCurrentIndex(form->ListView2Model()->index(255, 0));
  EXPECT_EQ(form->SortColumn(), 256);  // IV
}

TEST_F(WindowBatchTest, EmptyListSaysSo) {
  form->SetPointer(MousePointer::Custom);
  ASSERT_TRUE(RunFromStartButton(*form));
  EXPECT_EQ(messages.Texts(), QStringList{"No files added."});
  EXPECT_EQ(hosts.calls.load(), 0);
  EXPECT_EQ(form->Pointer(), MousePointer::Custom);
}

TEST_F(WindowBatchTest, DecliningTheQuestionTouchesNothing) {
  // A process table with a spreadsheet program of this user in it.
  QTemporaryDir proc;
  const std::filesystem::path pid = std::filesystem::path(proc.path().toStdString()) / "4242";
  std::filesystem::create_directories(pid);
  std::ofstream(pid / "status") << "Name:\tgnumeric\nState:\tS (sleeping)\nUid:\t" << getuid()
                                << '\t' << getuid() << '\t' << getuid() << '\t' << getuid() << '\n';
  std::ofstream(pid / "comm") << "gnumeric\n";
  std::ofstream(pid / "cmdline", std::ios::binary) << "gnumeric" << '\0';
  const ProcessTable table{proc.path().toStdString(), getuid(), 0};
  form->hooks().askStopIfHostRunning = [&](Messages& m) { return AskStopIfHostRunning(m, table); };

  const QString a = Workbook("a.xlsx");
  const QByteArray before = FileBytes(a);
  Add({a});
  messages.answers = {MessageAnswer::No};
  ASSERT_TRUE(RunFromStartButton(*form));
  EXPECT_EQ(messages.Texts(), QStringList{HostRunningQuestion()});
  EXPECT_EQ(hosts.calls.load(), 0);
  EXPECT_EQ(FileBytes(a), before);
  EXPECT_EQ(form->Pointer(), MousePointer::Default);
}

TEST_F(WindowBatchTest, ThreeFilesFilteredThroughTheWholeWorkbook) {
  const QStringList files{Workbook("a.xlsx"), Workbook("b.xlsx"), Workbook("c.xlsx")};
  Add(files);
  ChooseFilterKeep();
  form->Option3()->setChecked(true);
  QString captionAtDone;
  bool barAtDone = true;
  messages.onShow = [&](const QString& text) {
    if (text != "Done.") return;
    captionAtDone = form->PushButton2()->text();
    barAtDone = !form->RunProgress()->isHidden();
  };
  ASSERT_TRUE(RunFromStartButton(*form));

  EXPECT_EQ(hosts.calls.load(), 3);
  for (const QString& f : files) {
    EXPECT_TRUE(Saved(f));
    EXPECT_EQ(Hidden(f), (Rows{1, 3}));
  }
  EXPECT_EQ(messages.Texts(), QStringList{"Done."});
  // "Done." shows over a window already at rest.
  EXPECT_EQ(captionAtDone, "Start Sorting/Filtering");
  EXPECT_FALSE(barAtDone);
  // During the run: progress on the start button and its bar, the hourglass.
  EXPECT_EQ(hosts.captions, (QStringList{"Processing 1 of 3: a.xlsx", "Processing 2 of 3: b.xlsx",
                                         "Processing 3 of 3: c.xlsx"}));
  for (MousePointer p : hosts.pointers) EXPECT_EQ(p, MousePointer::Hourglass);
  for (Qt::CursorShape c : hosts.cursors) EXPECT_EQ(c, Qt::WaitCursor);
  EXPECT_EQ(hosts.progress, (std::vector{0, 1, 2}));
  EXPECT_TRUE(form->RunProgress()->isHidden());
  // After it: the caption and the arrow are back.
  EXPECT_EQ(form->PushButton2()->text(), "Start Sorting/Filtering");
  EXPECT_EQ(form->Pointer(), MousePointer::Default);
  EXPECT_EQ(form->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(WindowBatchTest, SortByTheChosenColumnOfTheList) {
  const QString path = dir.filePath("wide.xlsx");
  SheetContent wide{"Sheet1", {{"b"}, {"c"}, {"a"}}};
  const char* keys[] = {"#2", "#3", "#1"};
  for (int r = 0; r < 3; ++r) {
    wide.rows[r].resize(28);
    wide.rows[r][27] = keys[r];
  }
  WriteWorkbook(path.toStdString(), {wide});
  Add({path});
  form->Option2()->setChecked(true);
  form->Option4()->setChecked(true);
  form->ListView2()->setCurrentIndex(form->ListView2Model()->index(27, 0));  // AB
  ASSERT_TRUE(RunFromStartButton(*form));
  EXPECT_EQ(messages.Texts(), QStringList{"Done."});
  OpenedWorkbook book(path.toStdString());
  EXPECT_EQ(book.Column("Sheet1", 1, 1, 3), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(WindowBatchTest, BlockScopeCancelledOnTheFirstFile) {
  host::ui::InstallHostWindow();
  const QString a = Workbook("a.xlsx");
  const QString b = Workbook("b.xlsx");
  Add({a, b});
  ChooseFilterKeep();
  form->Option5()->setChecked(true);
  DialogSequence dialogs({std::nullopt, DialogSequence::Block{2, 1, 3, 1}});
  ASSERT_TRUE(RunFromStartButton(*form));
  EXPECT_EQ(dialogs.Handled(), 2);
  EXPECT_EQ(messages.Texts(),
            (QStringList{"You did not select a range. Please try again.", "Done."}));
  EXPECT_FALSE(Saved(a));  // saved with nothing changed: not written
  EXPECT_TRUE(Saved(b));
  EXPECT_EQ(Hidden(a), Rows{});
  EXPECT_EQ(form->ListView1Model()->Result(1), "skipped");
  EXPECT_EQ(Hidden(b), (Rows{3}));  // only rows 2 and 3 were examined
}

TEST_F(WindowBatchTest, BlockScopeCancelledOnTheLastFile) {
  host::ui::InstallHostWindow();
  const QString a = Workbook("a.xlsx");
  const QString b = Workbook("b.xlsx");
  Add({a, b});
  ChooseFilterKeep();
  form->Option5()->setChecked(true);
  DialogSequence dialogs({DialogSequence::Block{1, 1, 4, 1}, std::nullopt});
  ASSERT_TRUE(RunFromStartButton(*form));
  EXPECT_EQ(dialogs.Handled(), 2);
  EXPECT_EQ(messages.Texts(), QStringList{"You did not select a range. Please try again."});
  EXPECT_EQ(Hidden(a), (Rows{1, 3}));
  EXPECT_FALSE(Saved(b));  // saved with nothing changed: not written
  EXPECT_EQ(form->Pointer(), MousePointer::Default);
  EXPECT_EQ(form->PushButton2()->text(), "Start Sorting/Filtering");
}

TEST_F(WindowBatchTest, MissingFileIsReportedStepByStepAndTheNextOneProcessed) {
  const QString b = Workbook("b.xlsx");
  Add({dir.filePath("gone.xlsx"), b});
  ChooseFilterKeep();
  form->Option4()->setChecked(true);
  ASSERT_TRUE(RunFromStartButton(*form));
  EXPECT_EQ(messages.ReportedStatements(kStartButton), (std::vector{114, 118, 138, 168, 170}));
  for (const auto& m : messages.shown)
    if (m.caption == "Application Error") {
      EXPECT_EQ(m.icon, MessageIcon::Warning);
    }
  EXPECT_EQ(messages.PlainTexts(), QStringList{"Done."});
  EXPECT_EQ(Hidden(b), (Rows{1, 3}));
  // The list says which file failed, with its first reason.
  EXPECT_TRUE(form->ListView1Model()->Result(1).startsWith("failed: Cannot open \"")) << form->ListView1Model()->Result(1).toStdString();
  EXPECT_EQ(form->ListView1Model()->Result(2), "ok");
}

// A file saved with a formula the host could not compute says so in the
// list, in the command line's words.
TEST_F(WindowBatchTest, TheResultNamesTheFormulasLeftToRecalculate) {
  const QString path = dir.filePath("volatile.xlsx");
  lxw_workbook* wb = workbook_new(path.toUtf8().constData());
  lxw_worksheet* sheet = workbook_add_worksheet(wb, "Sheet1");
  const char* texts[] = {"drop", "keep", "drop", "keep"};
  for (int r = 0; r < 4; ++r) worksheet_write_string(sheet, r, 0, texts[r], nullptr);
  worksheet_write_formula(sheet, 0, 1, "=NOW()", nullptr);
  ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
  Add({path});
  ChooseFilterKeep();
  form->Option4()->setChecked(true);
  ASSERT_TRUE(RunFromStartButton(*form));
  EXPECT_EQ(Hidden(path), (Rows{1, 3}));
  EXPECT_EQ(form->ListView1Model()->Result(1), "ok (1 formula will be recalculated when opened)");
}

TEST_F(WindowBatchTest, SortWithNoColumnChosenIsReportedAndTheFileStillSaved) {
  const QString path = Workbook("a.xlsx");
  Add({path});
  form->Option2()->setChecked(true);
  form->Option3()->setChecked(true);
  form->ListView2()->selectionModel()->clearSelection();
  ASSERT_TRUE(RunFromStartButton(*form));
  EXPECT_EQ(messages.ReportedStatements(kStartButton), std::vector{130});
  EXPECT_TRUE(messages.shown.front().text.startsWith("No sort column is selected.\r\n"));
  EXPECT_EQ(messages.PlainTexts(), QStringList{"Done."});
  EXPECT_FALSE(Saved(path));  // the save step ran (nothing reported); nothing changed, so nothing was written
}

// The window while a run works.

TEST_F(WindowBatchTest, TheWindowsTimerKeepsFiringWhileAFileIsProcessed) {
  std::atomic<int> ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(5);
  // The first file waits until the window's thread has handled five ticks.
  std::atomic<bool> windowLive = false;
  hosts.slow = [&] {
    if (hosts.calls > 1) return;
    const int start = ticks;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (ticks < start + 5 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    windowLive = ticks >= start + 5;
  };
  const QString a = Workbook("a.xlsx");
  Add({a});
  ChooseFilterKeep();
  form->Option3()->setChecked(true);
  ASSERT_TRUE(RunFromStartButton(*form));
  EXPECT_TRUE(windowLive);
  EXPECT_EQ(messages.Texts(), QStringList{"Done."});
  EXPECT_EQ(Hidden(a), (Rows{1, 3}));
}

TEST_F(WindowBatchTest, EscapeAndYesStopAfterTheCurrentFile) {
  const QStringList files{Workbook("a.xlsx"), Workbook("b.xlsx"), Workbook("c.xlsx")};
  const QByteArray second = FileBytes(files[1]);
  const QByteArray third = FileBytes(files[2]);
  Add(files);
  ChooseFilterKeep();
  form->Option3()->setChecked(true);
  hosts.during[1] = [&] {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(form->ListView1(), &escape);
  };
  messages.answers = {MessageAnswer::Yes};
  ASSERT_TRUE(RunFromStartButton(*form));
  EXPECT_EQ(messages.Texts(), (QStringList{"Stop after the current file?",
                                           "Stopped after 1 of 3 files."}));
  EXPECT_EQ(messages.shown.front().buttons, MessageButtons::YesNo);
  EXPECT_EQ(hosts.calls.load(), 1);
  EXPECT_EQ(Hidden(files[0]), (Rows{1, 3}));  // the current file was finished
  EXPECT_EQ(FileBytes(files[1]), second);
  EXPECT_EQ(FileBytes(files[2]), third);
  EXPECT_EQ(form->ListView1Model()->Result(1), "ok");
  EXPECT_EQ(form->ListView1Model()->Result(3), "not processed (stopped)");
  EXPECT_EQ(form->Pointer(), MousePointer::Default);
  EXPECT_EQ(form->PushButton2()->text(), "Start Sorting/Filtering");
}

// The run keeps the choices it started with: choosing Filter while the first
// file is worked on changes nothing for this run's files.
TEST_F(WindowBatchTest, ChoicesChangedDuringARunApplyToTheNextRun) {
  const QStringList files{Workbook("a.xlsx"), Workbook("b.xlsx"), Workbook("c.xlsx")};
  Add(files);
  form->Option2()->setChecked(true);
  form->Option3()->setChecked(true);
  form->ListView2()->setCurrentIndex(form->ListView2Model()->index(0, 0));  // A
  hosts.during[1] = [&] {
    form->Option1()->setChecked(true);
    form->Text2()->setText("A");
    form->Text1()->setText("keep");
  };
  ASSERT_TRUE(RunFromStartButton(*form));
  EXPECT_EQ(messages.Texts(), QStringList{"Done."});
  for (const QString& file : files) {
    SCOPED_TRACE(file.toStdString());
    OpenedWorkbook book(file.toStdString());
    EXPECT_EQ(book.Column("Sheet1", 1, 1, 4), (std::vector<std::string>{"drop", "drop", "keep", "keep"}));
    EXPECT_EQ(book.HiddenRows("Sheet1", 4), Rows{});
  }
  EXPECT_TRUE(form->Option1()->isChecked());  // the new choice stays for the next run
}

TEST_F(WindowBatchTest, ASecondClickAsksToStopAndNoGoesOn) {
  const QStringList files{Workbook("a.xlsx"), Workbook("b.xlsx")};
  Add(files);
  ChooseFilterKeep();
  form->Option3()->setChecked(true);
  hosts.during[1] = [&] { form->PushButton2()->click(); };
  messages.answers = {MessageAnswer::No};
  ASSERT_TRUE(RunFromStartButton(*form));
  EXPECT_EQ(messages.Texts(), (QStringList{"Stop after the current file?", "Done."}));
  EXPECT_EQ(hosts.calls.load(), 2);  // no second run
  for (const QString& f : files) EXPECT_EQ(Hidden(f), (Rows{1, 3}));
}

// While the stop question is open the run finishes the current file and
// waits for the answer; No lets it go on.
TEST_F(WindowBatchTest, TheRunWaitsWhileTheStopQuestionIsOpen) {
  const QStringList files{Workbook("a.xlsx"), Workbook("b.xlsx"), Workbook("c.xlsx")};
  Add(files);
  ChooseFilterKeep();
  form->Option3()->setChecked(true);
  // The question opens once the first file is under way, not inside its start.
  hosts.during[1] = [&] { QTimer::singleShot(0, form.get(), [&] { form->PushButton2()->click(); }); };
  int startedWhileOpen = -1;
  messages.onShow = [&](const QString& text) {
    if (text != "Stop after the current file?") return;
    // The window keeps serving the run for a while, as an open box does.
    QEventLoop loop;
    QTimer::singleShot(700, &loop, &QEventLoop::quit);
    loop.exec();
    startedWhileOpen = hosts.calls.load();
  };
  messages.answers = {MessageAnswer::No};
  ASSERT_TRUE(RunFromStartButton(*form));
  EXPECT_EQ(startedWhileOpen, 1);  // no file began while the question was open
  EXPECT_EQ(hosts.calls.load(), 3);
  EXPECT_EQ(messages.Texts(), (QStringList{"Stop after the current file?", "Done."}));
}

TEST_F(WindowBatchTest, DuringARunRowsCanBeAddedButNotRemoved) {
  const QStringList files{Workbook("a.xlsx"), Workbook("b.xlsx")};
  Add(files);
  ChooseFilterKeep();
  form->Option3()->setChecked(true);
  hosts.during[1] = [&] {
    form->PushButton7()->click();  // Clear List
    form->ListView1()->setCurrentIndex(form->ListView1Model()->index(0, 0));
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(form->ListView1(), &del);
    form->ListView1Model()->AddEntry(dir.filePath("late.xlsx"));
  };
  ASSERT_TRUE(RunFromStartButton(*form));
  EXPECT_EQ(form->ListView1Model()->Count(), 3);
  EXPECT_EQ(hosts.calls.load(), 2);  // the file count was taken when the loop began
  EXPECT_EQ(messages.Texts(), QStringList{"Done."});
}

// Choices changed while the second file is worked on are kept for the next
// run, which uses them.
TEST_F(WindowBatchTest, OptionsChangedDuringARunApplyFromTheNextRun) {
  const QString a = Workbook("a.xlsx");
  const QString b = Workbook("b.xlsx");
  Add({a, b});
  ChooseFilterKeep();
  form->Option3()->setChecked(true);
  hosts.during[2] = [&] {
    form->Option2()->setChecked(true);  // Sort by column A
    form->ListView2()->setCurrentIndex(form->ListView2Model()->index(0, 0));
  };
  ASSERT_TRUE(RunFromStartButton(*form));
  EXPECT_EQ(Hidden(a), (Rows{1, 3}));
  EXPECT_EQ(Hidden(b), (Rows{1, 3}));  // this run filters every file
  Workbook("b.xlsx");                  // b afresh, without hidden rows
  ASSERT_TRUE(RunFromStartButton(*form));
  OpenedWorkbook book(b.toStdString());
  EXPECT_EQ(book.Column("Sheet1", 1, 1, 4),
            (std::vector<std::string>{"drop", "drop", "keep", "keep"}));
}

TEST_F(WindowBatchTest, ClosingTheWindowDuringARunEndsItWithTheFileUntouched) {
  int ended = 0;
  form->hooks().endProgram = [&] { ++ended; };
  const QStringList files{Workbook("a.xlsx"), Workbook("b.xlsx")};
  const QByteArray first = FileBytes(files[0]);
  const QByteArray second = FileBytes(files[1]);
  Add(files);
  ChooseFilterKeep();
  form->Option3()->setChecked(true);
  hosts.during[1] = [&] { form->close(); };
  ASSERT_TRUE(RunFromStartButton(*form));
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(messages.Texts(), QStringList{});
  EXPECT_EQ(hosts.calls.load(), 1);
  EXPECT_EQ(FileBytes(files[0]), first);
  EXPECT_EQ(FileBytes(files[1]), second);
  // Nothing but the two workbooks in their folder: no temporary left.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), (QStringList{"a.xlsx", "b.xlsx"}));
}

namespace {

// The open dialog as a platform dialog answers: the picked file as a URL.
class UrlAnsweringDialogs : public FileDialogs {
 public:
  explicit UrlAnsweringDialogs(QUrl picked) : picked_(std::move(picked)) {}
  QString OpenFiles(const OpenFilesRequest&) override { return ReturnedTextFromUrls({picked_}); }
  QString PickFolder(const QString&, const QString&) override { return {}; }

 private:
  QUrl picked_;
};

// The names in a folder, as bytes.
std::set<std::string> NamesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

}  // namespace

// A name that is not UTF-8 reaches the run by its bytes from every source:
// the file is processed and saved under its own name, and nothing else is
// left beside it.
TEST_F(WindowBatchTest, NamesThatAreNotUtf8AreProcessedByTheirBytes) {
  const std::string folder = dir.filePath("names").toStdString();
  std::filesystem::create_directory(folder);
  const std::string name = "caf\xE9 \xFF.xlsx";  // Latin-1 and a byte no text holds
  const std::string raw = folder + "/" + name;
  const QUrl url = QUrl::fromEncoded("file://" + QByteArray::fromStdString(raw).toPercentEncoding("/"));
  enum class Source { Drop, Dialog, CommandLine };
  UrlAnsweringDialogs dialogs(url);
  form->SetFileDialogs(&dialogs);
  for (const Source source : {Source::Drop, Source::Dialog, Source::CommandLine}) {
    SCOPED_TRACE(static_cast<int>(source));
    WriteColumn(raw, {"drop", "keep", "drop", "keep"});
    messages.shown.clear();
    form->ListView1Model()->Clear();
    ChooseFilterKeep();
    form->Option4()->setChecked(true);
    if (source == Source::Drop) {
      QMimeData files;
      files.setData(QStringLiteral("text/uri-list"), url.toEncoded() + "\r\n");
      form->show();  // a hidden list takes no drop
      const QPoint at(10, 10);
      QDragEnterEvent enter(at, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(form->ListView1()->viewport(), &enter);
      EXPECT_TRUE(enter.isAccepted());
      QDropEvent drop(at, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(form->ListView1()->viewport(), &drop);
    } else if (source == Source::Dialog) {
      form->PushButton1()->click();
    }
    if (source == Source::CommandLine) {
      const std::string command = std::string("timeout 60 '") + TABULORY_BATCH_COMMAND +
                                  "' filter --column A --criterion equals --value keep --yes '" + raw +
                                  "' > /dev/null 2>&1";
      EXPECT_EQ(std::system(command.c_str()), 0);
    } else {
      ASSERT_EQ(form->ListView1Model()->Count(), 1);
      EXPECT_EQ(FileNameBytes(form->ListView1Model()->EntryText(1)).toStdString(), raw);
      ASSERT_TRUE(RunFromStartButton(*form));
      EXPECT_EQ(messages.Texts(), QStringList{"Done."});
      EXPECT_EQ(form->ListView1Model()->Result(1), "ok");
    }
    EXPECT_EQ(OpenedWorkbook(raw).HiddenRows("Sheet1", 4), (Rows{1, 3}));
    EXPECT_EQ(NamesIn(folder), std::set<std::string>{name});
  }
  std::filesystem::remove(raw);  // the temporary folder's removal cannot reach such a name
}
