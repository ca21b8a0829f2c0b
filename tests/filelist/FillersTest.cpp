// The list itself and the ways of filling and emptying it: the open dialog,
// the folder scan, drops and the "Clear List" button.
#include "FileListFixtures.h"
#include "app/shell/ErrorReport.h"
#include "filelist/AddFiles.h"
#include "filelist/DragDrop.h"
#include "filelist/FileListModel.h"
#include "filelist/FolderScan.h"
#include "filelist/ListEditing.h"
#include "support/ScriptedMessages.h"
#include "support/TempSettings.h"

#include <QMimeData>
#include <QUrl>
#include <gtest/gtest.h>

using namespace tabulory;
using namespace tabulory::testing;

namespace {
QString Returned(const QStringList& parts) { return parts.join(QChar(u'\0')); }
}  // namespace

TEST(FileListModel, ContainsIsExactAndFollowsEveryChange) {
  FileListModel list;
  list.AddEntry("/data/Book.xlsx");
  list.AddEntry("/data/Book.xlsx");
  EXPECT_TRUE(list.ListContains("/data/Book.xlsx"));
  EXPECT_FALSE(list.ListContains("/data/book.xlsx"));  // case matters
  EXPECT_FALSE(list.ListContains("/data/Book.xlsx "));
  list.RemoveEntry(1);
  EXPECT_TRUE(list.ListContains("/data/Book.xlsx"));  // the duplicate is still there
  list.SetEntryText(1, "/other.xlsx");
  EXPECT_FALSE(list.ListContains("/data/Book.xlsx"));
  EXPECT_TRUE(list.ListContains("/other.xlsx"));
  list.Clear();
  EXPECT_FALSE(list.ListContains("/other.xlsx"));
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.headerData(0, Qt::Horizontal).toString(), "Excel File(s)");
}

TEST(FileListModel, BatchAnnouncesRowsOnceAndCountsThemAtOnce) {
  FileListModel list;
  list.AddEntry("first");
  std::vector<std::pair<int, int>> inserted;
  QObject::connect(&list, &QAbstractItemModel::rowsInserted,
                   [&](const QModelIndex&, int first, int last) { inserted.emplace_back(first, last); });
  {
    FileListModel::AppendBatch outer(list);
    {
      FileListModel::AppendBatch inner(list);
      for (int i = 0; i < 1000; ++i) list.AddEntry(QString::number(i));
    }
    EXPECT_EQ(list.Count(), 1001);
    EXPECT_TRUE(list.ListContains("999"));
    EXPECT_EQ(list.rowCount(), 1);  // views hear of them when the batch closes
    EXPECT_TRUE(inserted.empty());
  }
  ASSERT_EQ(inserted.size(), 1u);
  EXPECT_EQ(inserted[0], std::make_pair(1, 1000));
  EXPECT_EQ(list.rowCount(), 1001);
  EXPECT_EQ(list.EntryText(1001), "999");
}

TEST(ListEditing, RemovalAndClearingDoNothingUnderTheBusyPointer) {
  FileListModel list;
  for (const char* t : {"a", "b", "c"}) list.AddEntry(t);
  TestPointer pointer;
  ScriptedMessages messages;
  pointer.pointer = MousePointer::Hourglass;
  EXPECT_FALSE(RemoveSelected(list, 2, pointer));
  PushButton7_Click(list, pointer, messages);
  EXPECT_EQ(list.Texts(), QStringList({"a", "b", "c"}));
  pointer.pointer = MousePointer::Custom;
  EXPECT_TRUE(RemoveSelected(list, 2, pointer));
  EXPECT_EQ(list.Texts(), QStringList({"a", "c"}));
  EXPECT_FALSE(RemoveSelected(list, 0, pointer));  // nothing selected
  EXPECT_FALSE(RemoveSelected(list, 3, pointer));
  pointer.pointer = MousePointer::Default;
  PushButton7_Click(list, pointer, messages);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_FALSE(RemoveSelected(list, 1, pointer));  // empty list
  EXPECT_TRUE(messages.shown.empty());
}

TEST(AddFilesDialog, OneFileIsAddedUnchangedAndCancelAddsNothing) {
  FileListModel list;
  ScriptedFileDialogs dialogs;
  ScriptedMessages messages;
  dialogs.openAnswer = "";
  PushButton1_Click(list, dialogs, messages);
  EXPECT_EQ(list.Count(), 0);
  dialogs.openAnswer = "/data//typed name that does not exist.xlsx";
  PushButton1_Click(list, dialogs, messages);
  PushButton1_Click(list, dialogs, messages);  // again: listed twice
  EXPECT_EQ(list.Texts(), QStringList(2, "/data//typed name that does not exist.xlsx"));
  EXPECT_TRUE(messages.shown.empty());
  ASSERT_EQ(dialogs.requests.size(), 3u);
  const OpenFilesRequest& r = dialogs.requests.back();
  EXPECT_EQ(r.flags, 2621953);
  EXPECT_TRUE(r.flags & kOpenMultiSelect);
  EXPECT_EQ(r.title, "Add File(s) - Hold Ctrl to select multiple files");
  EXPECT_EQ(r.filter,
            "Workbooks (*.xl* *.ods *.csv *.tsv)|*.xl*;*.ods;*.csv;*.tsv|Excel Files (*.xl*)|*.xl*|"
            "OpenDocument and CSV Files|*.ods;*.csv;*.tsv|");
  EXPECT_TRUE(r.fileName.isEmpty());
}

TEST(AddFilesDialog, SeveralFilesAreJoinedToTheirFolderInDialogOrder) {
  FileListModel list;
  list.AddEntry("/kept.xlsx");
  ScriptedFileDialogs dialogs;
  ScriptedMessages messages;
  dialogs.openAnswer = Returned({"/data/q1", "b.xlsx", "a.xlsx", "c.xlsm"});
  PushButton1_Click(list, dialogs, messages);
  dialogs.openAnswer = Returned({"/", "root.xlsx", "other.xls"});  // the root: no doubled separator
  PushButton1_Click(list, dialogs, messages);
  EXPECT_EQ(list.Texts(), QStringList({"/kept.xlsx", "/data/q1/b.xlsx", "/data/q1/a.xlsx",
                                       "/data/q1/c.xlsm", "/root.xlsx", "/other.xls"}));
}

TEST(AddFilesDialog, AnswerOverTheBufferShowsTheTooManyMessageAndAddsNothing) {
  FileListModel list;
  list.AddEntry("/kept.xlsx");
  ScriptedFileDialogs dialogs;
  ScriptedMessages messages;
  QStringList parts{"/data/very/long/folder"};
  while (Returned(parts).size() <= kReturnedNameBuffer)
    parts << QString("workbook number %1 with a long name.xlsx").arg(parts.size());
  dialogs.openAnswer = Returned(parts);
  PushButton1_Click(list, dialogs, messages);
  EXPECT_EQ(list.Texts(), QStringList({"/kept.xlsx"}));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text,
            "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button.");
  EXPECT_EQ(messages.shown[0].caption, messages.ShortTitle());
  EXPECT_EQ(messages.shown[0].icon, MessageIcon::None);
  EXPECT_EQ(messages.shown[0].buttons, MessageButtons::Ok);
  // Just at the limit still fits.
  parts.removeLast();
  ASSERT_LE(Returned(parts).size(), kReturnedNameBuffer);
  dialogs.openAnswer = Returned(parts);
  PushButton1_Click(list, dialogs, messages);
  EXPECT_EQ(list.Count(), 1 + parts.size() - 1);
}

TEST(ReturnedText, PathsBecomeFolderAndNames) {
  EXPECT_EQ(ReturnedTextFromPaths({}), "");
  EXPECT_EQ(ReturnedTextFromPaths({"/a/b.xlsx"}), "/a/b.xlsx");
  EXPECT_EQ(ReturnedTextFromPaths({"/a/b.xlsx", "/a/c.xlsx"}), Returned({"/a", "b.xlsx", "c.xlsx"}));
  EXPECT_EQ(ReturnedTextFromPaths({"/b.xlsx", "/c.xlsx"}), Returned({"/", "b.xlsx", "c.xlsx"}));
  EXPECT_EQ(ReturnedTextFromPaths({"/a/x/b.xlsx", "/a/y/c.xlsx"}),
            Returned({"/a", "x/b.xlsx", "y/c.xlsx"}));
}

class FolderScanTest : public ::testing::Test {
 protected:
  void Scan() { PushButton5_Click(list, messages, settings.store(), pointer, dialogs, pump); }

  TempTree tree;
  FileListModel list;
  ScriptedMessages messages;
  TempSettings settings;
  TestPointer pointer;
  ScriptedFileDialogs dialogs;
  std::vector<MousePointer> pointerDuringPump;
  EventPump pump = [this] { pointerDuringPump.push_back(pointer.pointer); };
};

TEST_F(FolderScanTest, ProposesStoredExtensionAndStoresAnswerAndFolder) {
  tree.File("R/a.xlsx");
  tree.File("R/b.txt");
  tree.File("R/S/c.txt");
  messages.promptAnswers = {"txt"};
  dialogs.folderAnswer = tree.Path("R");
  Scan();
  ASSERT_EQ(messages.prompts.size(), 1u);
  EXPECT_EQ(messages.prompts[0].text,
            "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all "
            "doc files, etc.)");
  EXPECT_EQ(messages.prompts[0].caption, messages.ShortTitle());
  EXPECT_EQ(messages.proposals[0], "xl*");
  EXPECT_EQ(dialogs.folderPrompts, QStringList({"Please select folder:"}));
  EXPECT_EQ(dialogs.startFolders, QStringList({""}));
  EXPECT_EQ(settings.store().Read("Extension"), "txt");
  EXPECT_EQ(settings.store().Read("LastFolder"), tree.Path("R"));
  EXPECT_EQ(list.Texts(), QStringList({tree.Path("R/b.txt"), tree.Path("R/S/c.txt")}));
  // Hourglass during the walk, the arrow after it.
  ASSERT_FALSE(pointerDuringPump.empty());
  for (MousePointer p : pointerDuringPump) EXPECT_EQ(p, MousePointer::Hourglass);
  EXPECT_EQ(pointer.pointer, MousePointer::Default);
  EXPECT_TRUE(messages.shown.empty());

  // The next scan proposes what was stored and starts in the last folder.
  messages.promptAnswers = {""};
  Scan();
  EXPECT_EQ(messages.proposals[1], "txt");
  EXPECT_EQ(dialogs.folderPrompts.size(), 1);  // cancelled before the folder dialog
}

TEST_F(FolderScanTest, CancelledFolderDialogKeepsExtensionAndLastFolder) {
  settings.store().Write("LastFolder", "/somewhere/else");
  messages.promptAnswers = {"txt"};
  dialogs.folderAnswer = "";
  Scan();
  EXPECT_EQ(settings.store().Read("Extension"), "txt");
  EXPECT_EQ(settings.store().Read("LastFolder"), "/somewhere/else");
  EXPECT_EQ(dialogs.startFolders, QStringList({"/somewhere/else"}));
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(pointer.history.empty());  // the pointer was never touched
}

TEST_F(FolderScanTest, DefaultExtensionTakesWorkbooksButNotOwnerFiles) {
  tree.File("R/Sales.xlsx");
  tree.File("R/Old.XLS");
  tree.File("R/Macro.xlsm");
  tree.File("R/~$Sales.xlsx");
  tree.File("R/report.pdf");
  tree.File("R/2021/Q1.xlsx");
  dialogs.folderAnswer = tree.Path("R");
  Scan();  // the proposed "xl*" is accepted
  EXPECT_EQ(list.Texts(), QStringList({tree.Path("R/Macro.xlsm"), tree.Path("R/Old.XLS"),
                                       tree.Path("R/Sales.xlsx"), tree.Path("R/2021/Q1.xlsx")}));
}

TEST_F(FolderScanTest, StarTakesEveryFileAndADottedExtensionNone) {
  tree.File("R/README");
  tree.File("R/a.xlsx");
  dialogs.folderAnswer = tree.Path("R");
  messages.promptAnswers = {"*"};
  Scan();
  EXPECT_EQ(list.Count(), 2);
  messages.promptAnswers = {".xlsx"};
  Scan();
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(settings.store().Read("Extension"), ".xlsx");  // stored as typed
}

TEST_F(FolderScanTest, SameFolderTwiceListsEachFileTwice) {
  tree.File("R/a.xlsx");
  tree.File("R/S/b.xlsx");
  dialogs.folderAnswer = tree.Path("R");
  Scan();
  Scan();
  EXPECT_EQ(list.Texts(), QStringList({tree.Path("R/a.xlsx"), tree.Path("R/S/b.xlsx"),
                                       tree.Path("R/a.xlsx"), tree.Path("R/S/b.xlsx")}));
}

TEST_F(FolderScanTest, EmptyTreeAddsNothingAndEndsWithTheArrow) {
  tree.Folder("R/A/B");
  dialogs.folderAnswer = tree.Path("R");
  Scan();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(pointer.history,
            (std::vector<MousePointer>{MousePointer::Hourglass, MousePointer::Default}));
}

TEST_F(FolderScanTest, FailingStepIsReportedWithItsNumberAndTheScanGoesOn) {
  tree.File("R/a.xlsx");
  dialogs.folderAnswer = tree.Path("R");
  // A pointer that cannot be set: statement 110 fails, the rest still runs.
  class BrokenPointer : public TestPointer {
   public:
    void SetPointer(MousePointer p) override {
      if (p == MousePointer::Hourglass) throw ProcedureError(QString("Pointer unavailable"));
      TestPointer::SetPointer(p);
    }
  } broken;
  PushButton5_Click(list, messages, settings.store(), broken, dialogs, pump);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text.section("\r\n", 0, 0), "Pointer unavailable");
  EXPECT_TRUE(messages.shown[0].text.contains(
      "in Tabulorix2021/08/31.Form1.PushButton5_Click at line 110\r\r"));
  EXPECT_EQ(list.Texts(), QStringList({tree.Path("R/a.xlsx")}));
}

TEST(DragDrop, OnlyLocalFileListsAreAccepted) {
  QMimeData text;
  text.setText("/tmp/a.xlsx");
  EXPECT_FALSE(ListView1_OLEDragOver(text));
  QMimeData web;
  web.setUrls({QUrl("https://example.org/a.xlsx")});
  EXPECT_FALSE(ListView1_OLEDragOver(web));
  QMimeData empty;
  empty.setUrls({});
  EXPECT_FALSE(ListView1_OLEDragOver(empty));
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile("/tmp/a b.xlsx"), QUrl::fromLocalFile("/tmp/Ж.xlsx")});
  EXPECT_TRUE(ListView1_OLEDragOver(files));
  EXPECT_EQ(DroppedPaths(files), QStringList({"/tmp/a b.xlsx", "/tmp/Ж.xlsx"}));
}

TEST(DragDrop, FilesAndFoldersAreAddedInDropOrder) {
  TempTree t;
  const QString f1 = t.File("photo.png");
  const QString f2 = t.File("notes.txt");
  t.File("D/a.xlsx");
  t.File("D/README");
  t.File("D/.hidden");        // 34: left out
  t.File("D/~$a.xlsx");       // owner file: left out
  t.File("D/S/b.csv");
  t.File("E/e.xlsx");
  FileListModel list;
  ScriptedMessages messages;
  ListView1_OLEDragDrop(list, {f1, t.Path("D"), f2, t.Path("E") + "/", t.Path("gone.xlsx")},
                        messages, [] {});
  EXPECT_EQ(list.Texts(), QStringList({f1, t.Path("D/a.xlsx"), t.Path("D/README"),
                                       t.Path("D/S/b.csv"), f2, t.Path("E/e.xlsx"),
                                       t.Path("gone.xlsx")}));
  // Dropping again adds everything again.
  ListView1_OLEDragDrop(list, {t.Path("E")}, messages, [] {});
  EXPECT_EQ(list.Count(), 8);
  EXPECT_TRUE(messages.shown.empty());
}

TEST(DragDrop, EmptyFolderAndTwoFoldersEachOnce) {
  TempTree t;
  t.Folder("Empty");
  t.File("A/a.xlsx");
  t.File("B/b.xlsx");
  FileListModel list;
  ScriptedMessages messages;
  ListView1_OLEDragDrop(list, {t.Path("Empty")}, messages, [] {});
  EXPECT_EQ(list.Count(), 0);
  ListView1_OLEDragDrop(list, {t.Path("A"), t.Path("B")}, messages, [] {});
  EXPECT_EQ(list.Texts(), QStringList({t.Path("A/a.xlsx"), t.Path("B/b.xlsx")}));
}

TEST(DragDrop, PathThatCannotBeExaminedStopsTheDropAndKeepsEarlierRows) {
  TempTree t;
  const QString first = t.File("first.xlsx");
  const QString last = t.File("last.xlsx");
  const QString unreadable = t.Root() + "/" + QString(300, 'n') + ".xlsx";  // name too long
  FileListModel list;
  list.AddEntry("/already/listed.xlsx");
  ScriptedMessages messages;
  EXPECT_THROW(ListView1_OLEDragDrop(list, {first, unreadable, last}, messages, [] {}),
               ProcedureError);
  EXPECT_EQ(list.Texts(), QStringList({"/already/listed.xlsx", first}));
  EXPECT_EQ(list.rowCount(), 2);  // announced to views although the drop failed
}
