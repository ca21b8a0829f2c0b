// The folder walk and the adding of a folder list's files.
#include "FileListFixtures.h"
#include "filelist/FileListModel.h"
#include "filelist/FolderWalk.h"
#include "support/ScriptedMessages.h"

#include <QFile>
#include <gtest/gtest.h>
#include <cstring>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tabulory;
using namespace tabulory::testing;

namespace {

// The walk of one chosen folder, as paths relative to the tree's root.
QStringList Walk(const TempTree& t, const QString& start, ScriptedMessages& messages,
                 const EventPump& pump = [] {}) {
  QStringList folders{t.Path(start) + "/"};
  GetSubDirectories2016(folders, true, messages, pump);
  QStringList relative;
  for (const QString& f : folders) relative << f.mid(t.Root().size() + 1);
  return relative;
}

QStringList Relative(const TempTree& t, const QStringList& paths) {
  QStringList relative;
  for (const QString& p : paths) relative << p.mid(t.Root().size() + 1);
  return relative;
}

// The walk as seen by an ordinary user. Root may read any folder, so when the
// tests run as root the walk runs in a child process that has given up root
// rights (user and group "nobody"); it sends the folders it found and the
// number of messages back through a pipe. Empty when that is not possible.
std::optional<std::pair<QStringList, int>> WalkAsOrdinaryUser(const TempTree& t,
                                                               const QString& start) {
  if (!RunningAsRoot()) {
    ScriptedMessages messages;
    QStringList walked = Walk(t, start, messages);
    return std::make_pair(walked, static_cast<int>(messages.shown.size()));
  }
  ::chmod(QFile::encodeName(t.Root()).constData(), 0755);  // let the other user in
  int fds[2];
  if (::pipe(fds) != 0) return std::nullopt;
  const pid_t child = ::fork();
  if (child < 0) return std::nullopt;
  if (child == 0) {
    ::close(fds[0]);
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    ScriptedMessages messages;
    const QStringList walked = Walk(t, start, messages);
    const QByteArray out = (walked.join('\n') + "\n#" + QString::number(messages.shown.size())).toUtf8();
    const bool written = ::write(fds[1], out.constData(), out.size()) == out.size();
    ::_exit(written ? 0 : 4);
  }
  ::close(fds[1]);
  QByteArray out;
  char buffer[4096];
  for (ssize_t got; (got = ::read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, got);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  const QString text = QString::fromUtf8(out);
  const qsizetype mark = text.lastIndexOf("\n#");
  QStringList walked = text.left(mark).split('\n', Qt::SkipEmptyParts);
  return std::make_pair(walked, text.mid(mark + 2).toInt());
}

}  // namespace

TEST(FolderWalk, ListsFoldersBreadthFirstGroupedByParent) {
  TempTree t;
  for (const char* f : {"R/A/A1/X", "R/A/A2", "R/B/B1"}) t.Folder(f);
  ScriptedMessages messages;
  EXPECT_EQ(Walk(t, "R", messages),
            QStringList({"R/", "R/A/", "R/B/", "R/A/A1/", "R/A/A2/", "R/B/B1/", "R/A/A1/X/"}));
  EXPECT_TRUE(messages.shown.empty());
}

TEST(FolderWalk, WithoutRecursionOnlyDirectSubFolders) {
  TempTree t;
  t.Folder("R/A/A1");
  t.Folder("R/B");
  ScriptedMessages messages;
  QStringList folders{t.Path("R") + "/"};
  GetSubDirectories2016(folders, false, messages, [] {});
  EXPECT_EQ(Relative(t, folders), QStringList({"R/", "R/A/", "R/B/"}));
}

TEST(FolderWalk, SkipsOddNamesButWalksNamesInOtherScripts) {
  TempTree t;
  t.Folder("R/Отчёты/Σχέδια");
  t.Folder("R/報告");
  t.Folder(QString("R/tab") + QChar(9) + "name");
  t.Folder(QString("R/c1") + QChar(0x85) + "x");
  t.Folder("R/what?");
  ASSERT_EQ(::mkdir((QFile::encodeName(t.Path("R")) + "/bad\xff").constData(), 0755), 0);
  ScriptedMessages messages;
  EXPECT_EQ(Walk(t, "R", messages),
            QStringList({"R/", "R/Отчёты/", "R/報告/", "R/Отчёты/Σχέδια/"}));
}

TEST(FolderWalk, SameFolderTwiceIsWalkedTwice) {
  TempTree t;
  t.Folder("R/A");
  ScriptedMessages messages;
  QStringList folders{t.Path("R") + "/", t.Path("R") + "/"};
  GetSubDirectories2016(folders, true, messages, [] {});
  EXPECT_EQ(Relative(t, folders), QStringList({"R/", "R/", "R/A/", "R/A/"}));
}

TEST(FolderWalk, PermissionDeniedFolderIsLeftOutWithItsSubtree) {
  TempTree t;
  t.Folder("R/A/A1");
  t.Folder("R/B/B1");
  t.File("R/A/a.xlsx");
  t.File("R/B/b.xlsx");
  ::chmod(QFile::encodeName(t.Path("R/A")).constData(), 0);
  const auto result = WalkAsOrdinaryUser(t, "R");
  ::chmod(QFile::encodeName(t.Path("R/A")).constData(), 0755);
  if (!result) GTEST_SKIP() << "cannot run the walk without root rights here";
  EXPECT_EQ(result->first, QStringList({"R/", "R/B/", "R/B/B1/"}));
  EXPECT_EQ(result->second, 0);  // no message
}

TEST(FolderWalk, UnlistableChosenFolderLeavesNothing) {
  TempTree t;
  t.File("R/a.xlsx");
  t.Folder("R/S");
  ::chmod(QFile::encodeName(t.Path("R")).constData(), 0);
  const auto result = WalkAsOrdinaryUser(t, "R");
  ::chmod(QFile::encodeName(t.Path("R")).constData(), 0755);
  if (!result) GTEST_SKIP() << "cannot run the walk without root rights here";
  EXPECT_TRUE(result->first.isEmpty());
  EXPECT_EQ(result->second, 0);
}

TEST(FolderWalk, FolderThatVanishesBeforeItsListingIsLeftOutSilently) {
  TempTree t;
  t.Folder("R/A/A1");
  t.Folder("R/B/B1");
  t.File("R/A/a.xlsx");
  t.File("R/B/b.xlsx");
  // Pending events are processed before R's listing (1), before each of its
  // sub-folders (2, 3) and then before A's listing (4): the folder goes there,
  // after it was found to be a folder but before its sub-folders are read.
  int calls = 0;
  ScriptedMessages messages;
  const QStringList walked = Walk(t, "R", messages, [&] {
    if (++calls == 4) QDir(t.Path("R/A")).removeRecursively();
  });
  EXPECT_EQ(walked, QStringList({"R/", "R/B/", "R/B/B1/"}));
  EXPECT_TRUE(messages.shown.empty());
}

TEST(FolderWalk, OtherListingFailuresAreReportedWithTheWalksOwnLocation) {
  TempTree t;
  t.Folder("R/A");
  // No descriptor left: the folder is a folder, but it cannot be opened.
  const int lowest = ::dup(0);
  ASSERT_GE(lowest, 0);
  ::close(lowest);
  rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(lowest);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
  ScriptedMessages messages;
  QStringList folders{t.Path("R") + "/"};
  GetSubDirectories2016(folders, true, messages, [] {});
  ::setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(Relative(t, folders), QStringList({"R/"}));  // kept: only quiet failures remove
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].caption, "Application Error");
  EXPECT_TRUE(messages.shown[0].text.contains(
      "\r\nin OrvennTitle2021/08/31.AddFolder.GetSubDirectories2016 at line 118\r\r"))
      << messages.shown[0].text.toStdString();
}

TEST(FolderWalk, LinkedFoldersAreWalkedButLinksBackUpAreNot) {
  TempTree t;
  t.Folder("R/A");
  t.Folder("Other/O1");
  ::symlink("..", QFile::encodeName(t.Path("R/A/up")).constData());
  ::symlink(".", QFile::encodeName(t.Path("R/A/self")).constData());
  ::symlink(QFile::encodeName(t.Path("Other")).constData(),
            QFile::encodeName(t.Path("R/other")).constData());
  ::symlink("nowhere", QFile::encodeName(t.Path("R/broken")).constData());
  ScriptedMessages messages;
  EXPECT_EQ(Walk(t, "R", messages), QStringList({"R/", "R/A/", "R/other/", "R/other/O1/"}));
}

TEST(FolderWalk, PathsOfTheLengthLimitAreNotWalkedButTheirFilesAreListed) {
  TempTree t;
  // Build a chain of folders until the path passes the limit.
  QString rel = "R";
  while (t.Path(rel).size() + 1 < kPathLimit) rel += "/" + QString(40, 'd');
  t.Folder(rel + "/below");
  t.File(rel + "/deep.xlsx");
  ScriptedMessages messages;
  const QStringList walked = Walk(t, "R", messages);
  EXPECT_TRUE(walked.contains(rel + "/"));
  EXPECT_FALSE(walked.contains(rel + "/below/"));
  FileListModel list;
  QStringList folders;
  for (const QString& f : walked) folders << t.Root() + "/" + f;
  AddFolderTreeFiles(list, folders, "*.*");
  EXPECT_EQ(list.Texts(), QStringList({t.Path(rel + "/deep.xlsx")}));
  EXPECT_GE(list.EntryText(1).size(), kPathLimit);
}

TEST(FolderWalk, WalkProcessesPendingEvents) {
  TempTree t;
  t.Folder("R/A");
  t.Folder("R/B");
  int calls = 0;
  ScriptedMessages messages;
  Walk(t, "R", messages, [&] { ++calls; });
  // Before R's listing, for A and B, before A's and B's listings, and for A
  // and B copied up into the list.
  EXPECT_EQ(calls, 7);
}

TEST(AddFolderTreeFiles, SkipRulesAndOrder) {
  TempTree t;
  t.File("R/b.xlsx");
  t.File("R/a.xls");
  t.File("R/~$a.xlsx");              // owner file of an open workbook
  t.File("R/.hidden.xlsx");          // hidden + archive: 34
  t.File("R/.~lock.a.xlsx#");        // another program's lock file, also 34
  t.File("R/.readonly.xlsm");        // hidden, read-only: 35, listed
  ::chmod(QFile::encodeName(t.Path("R/.readonly.xlsm")).constData(), 0444);
  t.File("R/notes.txt");
  t.File("R/sub/c.XLSX");
  ::symlink("b.xlsx", QFile::encodeName(t.Path("R/link.xlsx")).constData());
  ::symlink("gone.xlsx", QFile::encodeName(t.Path("R/broken.xlsx")).constData());
  FileListModel list;
  AddFolderTreeFiles(list, {t.Path("R") + "/", t.Path("R/sub") + "/"}, "*.xl*");
  EXPECT_EQ(Relative(t, list.Texts()),
            QStringList({"R/.readonly.xlsm", "R/a.xls", "R/b.xlsx", "R/link.xlsx", "R/sub/c.XLSX"}));
  // Other workbook formats are scanned for by their own extension.
  t.File("R/q1.ods");
  t.File("R/sub/list.CSV");
  for (const auto& [pattern, expected] :
       {std::pair<QString, QStringList>{"*.ods", {"R/q1.ods"}}, {"*.csv", {"R/sub/list.CSV"}}}) {
    FileListModel other;
    AddFolderTreeFiles(other, {t.Path("R") + "/", t.Path("R/sub") + "/"}, pattern);
    EXPECT_EQ(Relative(t, other.Texts()), expected) << pattern.toStdString();
  }
}

TEST(AddFolderTreeFiles, AllPatternTakesNamesWithoutExtensionAndDoubledSeparatorsAreCleaned) {
  TempTree t;
  t.File("R/README");
  t.File("R/data.csv");
  FileListModel list;
  AddFolderTreeFiles(list, {t.Path("R") + "//"}, "*.*");  // a root-like entry ending in two
  EXPECT_EQ(Relative(t, list.Texts()), QStringList({"R/data.csv", "R/README"}));
}

TEST(AddFolderTreeFiles, KeepsRowsAlreadyListedAndAddsDuplicates) {
  TempTree t;
  const QString a = t.File("R/a.xlsx");
  FileListModel list;
  list.AddEntry("/earlier/row.xlsx");
  list.AddEntry(a);
  AddFolderTreeFiles(list, {t.Path("R") + "/"}, "*.xlsx");
  EXPECT_EQ(list.Texts(), QStringList({"/earlier/row.xlsx", a, a}));
}

// Pipes, sockets and devices (and links to them) hold no workbook and would
// block whoever opens them: the scan passes them over.
TEST(AddFolderTreeFiles, SkipsEveryEntryThatIsNoRegularFile) {
  TempTree t;
  t.File("R/book.xlsx");
  const auto native = [&](const char* name) { return QFile::encodeName(t.Path(name)); };
  ASSERT_EQ(::mkfifo(native("R/pipe.xlsx").constData(), 0600), 0);
  ::symlink("pipe.xlsx", native("R/to-pipe.xlsx").constData());
  ::symlink("/dev/null", native("R/device.xlsx").constData());
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray socketPath = native("R/socket.xlsx");
  const bool haveSocket = sock >= 0 && static_cast<size_t>(socketPath.size()) < sizeof address.sun_path &&
                          (std::memcpy(address.sun_path, socketPath.constData(), socketPath.size()),
                           ::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
  for (const QString& pattern : {QStringLiteral("*.xlsx"), QStringLiteral("*.*"), QStringLiteral("*")}) {
    FileListModel list;
    AddFolderTreeFiles(list, {t.Path("R") + "/"}, pattern);
    EXPECT_EQ(Relative(t, list.Texts()), QStringList({"R/book.xlsx"})) << pattern.toStdString();
  }
  if (sock >= 0) ::close(sock);
  if (!haveSocket) GTEST_SKIP() << "no socket could be made here; pipes and devices were checked";
}
