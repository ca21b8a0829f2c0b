// tabulory-batch on shared folders and long lists: backups, dry runs, file
// lists, and workbooks that another program has open.
#include "batch/WorkbookFixtures.h"
#include "cli/BatchCommand.h"
#include "cli/BatchCommandFixture.h"
#include "CommandProcess.h"
#include "host/core/WorkbookLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace tabulory;
using namespace tabulory::cli;
using namespace tabulory::testing;

namespace {

// Every entry of a folder with its bytes and modification time.
QMap<QString, QPair<QByteArray, qint64>> Listing(const QString& folder) {
  QMap<QString, QPair<QByteArray, qint64>> entries;
  for (const QFileInfo& info :
       QDir(folder).entryInfoList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
    entries[info.fileName()] = {FileBytes(info.filePath()), info.lastModified().toMSecsSinceEpoch()};
  return entries;
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

}  // namespace

TEST_F(BatchCommandTest, BackupKeepsTheOriginalAsFilePlusSuffix) {
  for (const auto& [option, suffix] : {std::pair{"--backup", "~"}, std::pair{"--backup=.orig", ".orig"}}) {
    SCOPED_TRACE(option);
    const QString a = Workbook("a.xlsx");
    WriteBytes(a + suffix, "an older backup");
    const QByteArray original = FileBytes(a);
    const qint64 originalTime = QFileInfo(a).lastModified().toMSecsSinceEpoch();
    out.clear();
    EXPECT_EQ(Run(FilterKeep({option, a})), kExitSuccess);
    EXPECT_EQ(out, "ok " + a + "\nDone.\n");
    EXPECT_EQ(FileBytes(a + suffix), original);
    EXPECT_EQ(QFileInfo(a + suffix).lastModified().toMSecsSinceEpoch(), originalTime);
    EXPECT_EQ(Hidden(a), (Rows{1, 3}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);  // no temporaries left
    QFile::remove(a + suffix);
  }
}

// --backup=numbered keeps every backup; each backup is the user's file as
// the original was: owner, group, mode and extended attributes.
TEST_F(BatchCommandTest, NumberedBackupsKeepEveryOriginalWithItsOwnerAndAttributes) {
  const QString a = Workbook("a.xlsx");
  const std::string native = QFile::encodeName(a).toStdString();
  ASSERT_EQ(::setxattr(native.c_str(), "user.origin", "ledger", 6, 0), 0);
  ASSERT_EQ(::chmod(native.c_str(), 0640), 0);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(native.c_str(), 65534, 65534), 0);
  }
  const QByteArray first = FileBytes(a);
  WriteBytes(a + ".~7~", "an older numbered backup");
  EXPECT_EQ(Run(FilterKeep({"--backup=numbered", a})), kExitSuccess);
  EXPECT_EQ(Run({"sort", "--column", "A", "--backup=numbered", a}), kExitSuccess);
  EXPECT_EQ(FileBytes(a + ".~8~"), first);
  EXPECT_TRUE(QFile::exists(a + ".~9~"));
  EXPECT_EQ(FileBytes(a + ".~7~"), QByteArray("an older numbered backup"));
  struct stat original {}, backup {};
  ASSERT_EQ(::stat(native.c_str(), &original), 0);
  ASSERT_EQ(::stat((native + ".~8~").c_str(), &backup), 0);
  EXPECT_EQ(backup.st_uid, original.st_uid);
  EXPECT_EQ(backup.st_gid, original.st_gid);
  EXPECT_EQ(backup.st_mode & 07777, 0640u);
  char value[16] = {};
  EXPECT_EQ(::getxattr((native + ".~8~").c_str(), "user.origin", value, sizeof value), 6);
  EXPECT_STREQ(value, "ledger");
}

TEST_F(BatchCommandTest, ABackupThatCannotBeMadeLeavesTheFileUntouched) {
  const QString a = Workbook("a.xlsx");
  QDir(dir.path()).mkpath("a.xlsx~/in the way");
  const QByteArray original = FileBytes(a);
  EXPECT_EQ(Run(FilterKeep({"--backup", a})), kExitFailure);
  EXPECT_TRUE(out.startsWith("failed " + a + ": Cannot keep a backup of \"" + a + "\" as \"" + a + "~\": "))
      << out.toStdString();
  EXPECT_EQ(FileBytes(a), original);
}

TEST_F(BatchCommandTest, DryRunReportsEachSheetAndWritesNothing) {
  const QString s = dir.filePath("s.xlsx");
  WriteWorkbook(s.toStdString(), {SheetContent{"Sheet1", {{"c"}, {"a"}, {"b"}, {"d"}}},
                                  SheetContent{"Second", {{"1"}, {"2"}}}});
  const QString f = Workbook("f.xlsx");
  const auto before = Listing(dir.path());
  EXPECT_EQ(Run({"sort", "--column", "A", "--dry-run", "--backup", s}), kExitSuccess);
  EXPECT_EQ(out, s + ": sheet \"Sheet1\": 3 rows would move\n" + s + ": sheet \"Second\": 0 rows would move\nok " +
                     s + "\nDone.\n");
  out.clear();
  EXPECT_EQ(Run(FilterKeep({"--dry-run", f})), kExitSuccess);
  EXPECT_EQ(out, f + ": sheet \"Sheet1\": 2 rows would be hidden\nok " + f + "\nDone.\n");
  EXPECT_EQ(err, "");
  EXPECT_EQ(Listing(dir.path()), before);  // no change, lock file or backup
}

TEST_F(BatchCommandTest, FilesFromAListFileOrStandardInput) {
  const QString a = Workbook("a.xlsx"), b = Workbook("b b.xlsx"), c = Workbook("c.xlsx");
  const QString list = dir.filePath("list.txt");
  WriteBytes(list, (b + "\r\n\n" + c + "\n").toUtf8());
  EXPECT_EQ(Run(FilterKeep({"--files-from", list, a})), kExitSuccess);
  EXPECT_EQ(out, "ok " + a + "\nok " + b + "\nok " + c + "\nDone.\n");

  out.clear();
  io.readInput = [&] { return (c + QChar(0) + a + QChar(0)).toUtf8(); };
  EXPECT_EQ(Run(FilterKeep({"--files-from", "-", "--null"})), kExitSuccess);
  EXPECT_EQ(out, "ok " + c + "\nok " + a + "\nDone.\n");

  out.clear();
  io.readInput = [] { return QByteArray(); };
  EXPECT_EQ(Run(FilterKeep({"--files-from=-"})), kExitSuccess);  // find found nothing
  EXPECT_EQ(out, "Done.\n");
}

TEST_F(BatchCommandTest, AnUnreadableListIsAUsageErrorBeforeAnyWorkbook) {
  const QString a = Workbook("a.xlsx");
  const QByteArray original = FileBytes(a);
  const std::vector<std::pair<QStringList, QString>> cases = {
      {{"--files-from", dir.filePath("missing.txt"), a},
       "cannot read --files-from '" + dir.filePath("missing.txt") + "': no such file"},
      {{"--files-from", dir.path(), a}, "cannot read --files-from '" + dir.path() + "': it is a folder"},
      {{"--null", a}, "--null applies to --files-from only"},
  };
  for (const auto& [args, reason] : cases) {
    out.clear();
    err.clear();
    EXPECT_EQ(Run(FilterKeep(args)), kExitUsage);
    EXPECT_EQ(err, "tabulory-batch: " + reason + " (see --help)\n");
    EXPECT_EQ(out, "");
  }
  EXPECT_EQ(FileBytes(a), original);
}

TEST_F(BatchCommandTest, AWorkbookOpenInLibreOfficeFailsAndTheRestGoesOn) {
  const QString a = Workbook("a.xlsx"), b = Workbook("b.xlsx");
  const QByteArray original = FileBytes(a);
  WriteBytes(QString::fromStdString(host::LibreOfficeLockPath(a.toStdString())),
             "Ann Smith,ann,desk7,08.12.2026 15:01,file:///home/ann/.config/libreoffice/4;");
  EXPECT_EQ(Run(FilterKeep({a, b})), kExitFailure);
  EXPECT_EQ(out, "failed " + a + ": \"" + a +
                     "\" is open in another program (LibreOffice, by Ann Smith on desk7 since 08.12.2026 15:01).\n"
                     "ok " + b + "\nDone.\n");
  EXPECT_EQ(FileBytes(a), original);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(host::LibreOfficeLockPath(b.toStdString()))));
}

TEST(Executable, ReadsANulSeparatedListFromStandardInput) {
  QTemporaryDir dir;
  const QString a = dir.filePath("a.xlsx"), b = dir.filePath("b\nb.xlsx");
  WriteColumn(a.toStdString(), {"b", "a"});
  WriteColumn(b.toStdString(), {"b", "a"});
  QProcess p;
  p.start(QStringLiteral(TABULORY_BATCH_COMMAND),
          {"sort", "--column", "A", "--yes", "--files-from", "-", "--null"});
  ASSERT_TRUE(p.waitForStarted());
  p.write((a + QChar(0) + b + QChar(0)).toUtf8());
  p.closeWriteChannel();
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()), "ok " + a + "\nok " + b + "\nDone.\n");
}

TEST(Executable, AWorkbookHeldByAnotherTabuloryProcessFails) {
  QTemporaryDir dir;
  const QString a = dir.filePath("a.xlsx");
  WriteColumn(a.toStdString(), {"b", "a"});
  const QByteArray original = FileBytes(a);
  OpenedWorkbook held(a.toStdString());  // this process holds it for change
  QProcess p;
  p.start(QStringLiteral(TABULORY_BATCH_COMMAND), {"sort", "--column", "A", "--yes", a});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitCode(), 1);
  const QString out = QString::fromUtf8(p.readAllStandardOutput());
  EXPECT_TRUE(out.startsWith("failed " + a + ": \"" + a + "\" is open in another program (Tabulory, by "))
      << out.toStdString();
  EXPECT_EQ(FileBytes(a), original);
}

TEST(Executable, StoppedByASignalItLeavesNoLockFile) {
  QTemporaryDir dir;
  // Large enough that the command holds it for a while.
  const QString big = dir.filePath("big.xlsx");
  SheetContent content{"Sheet1"};
  for (int r = 0; r < 200000; ++r) content.rows.push_back({std::to_string((r * 7919) % 200003), "row"});
  WriteWorkbook(big.toStdString(), {content});
  const QString lock = QString::fromStdString(host::LibreOfficeLockPath(big.toStdString()));
  QProcess p;
  p.start(QStringLiteral(TABULORY_BATCH_COMMAND), {"sort", "--column", "A", "--yes", big});
  ASSERT_TRUE(p.waitForStarted());
  while (!QFile::exists(lock) && p.state() == QProcess::Running) QThread::usleep(500);
  ASSERT_TRUE(QFile::exists(lock)) << "the command ended before its lock file was seen";
  p.terminate();  // SIGTERM
  ASSERT_TRUE(p.waitForFinished(30000));
  EXPECT_EQ(p.exitStatus(), QProcess::CrashExit);
  EXPECT_FALSE(QFile::exists(lock));
}

// Run as a user without privileges (setpriv), the command refuses another
// user's CSV file in a folder everyone may write: it stays that file, with
// its owner and bytes, instead of being replaced by a rename.
TEST(Executable, AnotherUsersFileIsRefusedForAnUnprivilegedUser) {
  if (::geteuid() != 0 || QStandardPaths::findExecutable("setpriv").isEmpty())
    GTEST_SKIP() << "needs root and setpriv to run the command as another user";
  QTemporaryDir dir;
  ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777)));  // rwx for everyone
  const QString csv = dir.filePath("k.csv");
  WriteBytes(csv, "b\na\n");
  ASSERT_TRUE(QFile::setPermissions(csv, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                             QFileDevice::ReadOther));
  QProcess p;
  p.start(QStringLiteral("setpriv"), {"--reuid=65534", "--regid=65534", "--clear-groups", TABULORY_BATCH_COMMAND,
                                      "sort", "--column", "A", "--yes", csv});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitCode(), 1) << p.readAllStandardError().toStdString();
  EXPECT_TRUE(QString::fromUtf8(p.readAllStandardOutput()).startsWith("failed " + csv + ": \"" + csv + "\" is read-only"));
  EXPECT_EQ(FileBytes(csv), QByteArray("b\na\n"));
  EXPECT_EQ(QFileInfo(csv).ownerId(), 0u);
}

// Standard output that cannot be written (a full disk, no descriptor at
// all, a pipe its reader closed: SIGPIPE is ignored) ends the run with status 1 and a
// word on standard error, leaving no lock file or temporary behind.
TEST(Executable, AnUnwritableStandardOutputEndsTheRun) {
  QTemporaryDir dir, work;
  const QString a = dir.filePath("a.xlsx"), b = dir.filePath("b.xlsx");
  for (const StandardOutput output :
       {StandardOutput::FullDisk, StandardOutput::Closed, StandardOutput::PipeClosedByItsReader}) {
    SCOPED_TRACE(static_cast<int>(output));
    WriteColumn(a.toStdString(), {"b", "a"});
    WriteColumn(b.toStdString(), {"b", "a"});
    const Finished run = RunCommand({"sort", "--column", "A", "--yes", a.toStdString(), b.toStdString()}, "",
                                    work.path().toStdString(), output);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("standard output cannot be written"), std::string::npos) << run.err;
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"a.xlsx", "b.xlsx"}));
  }
}

// Under a file size limit (ulimit -f) a save that would pass it fails for
// its file, which stays as it was, and the run goes on with the next.
TEST(Executable, AFileSizeLimitFailsOneSaveNotTheRun) {
  QTemporaryDir dir;
  const QString big = dir.filePath("big.csv"), small = dir.filePath("small.csv");
  QByteArray rows;
  for (int r = 0; r < 20000; ++r) rows += QByteArray::number(r * 7919 % 20011) + ",row\n";
  WriteBytes(big, rows);
  WriteBytes(small, "b\na\n");
  QProcess p;
  p.setChildProcessModifier([] {
    const rlimit limit{32 * 1024, 32 * 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  });
  p.start(QStringLiteral(TABULORY_BATCH_COMMAND), {"sort", "--column", "A", "--yes", big, small});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 1);
  const QString out = QString::fromUtf8(p.readAllStandardOutput());
  EXPECT_TRUE(out.contains("failed " + big + ": Cannot save")) << out.toStdString();
  EXPECT_TRUE(out.contains("ok " + small)) << out.toStdString();
  EXPECT_EQ(FileBytes(big), rows);
  EXPECT_EQ(FileBytes(small), QByteArray("a\nb\n"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"big.csv", "small.csv"}));
}

// Stopped by a signal while it writes a save's temporary, the command leaves
// neither the temporary nor its lock, and the file is the old one whole.
TEST(Executable, StoppedByASignalDuringASaveItLeavesNoTemporary) {
  QTemporaryDir dir;
  const QString big = dir.filePath("big.csv");
  {
    std::FILE* out = std::fopen(QFile::encodeName(big).constData(), "wb");
    ASSERT_NE(out, nullptr);
    for (long long r = 0; r < 1000000; ++r) std::fprintf(out, "%lld,row %lld\n", r * 7919 % 1000003, r);
    std::fclose(out);
  }
  const QByteArray original = FileBytes(big);
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    QProcess p;
    p.start(QStringLiteral(TABULORY_BATCH_COMMAND), {"sort", "--column", "A", "--yes", big});
    ASSERT_TRUE(p.waitForStarted());
    auto temporaries = [&] { return QDir(dir.path()).entryList({".tabulory~*"}, QDir::Files | QDir::Hidden); };
    // waitForFinished also lets QProcess notice the end (it answers false once ended).
    while (temporaries().isEmpty() && p.state() != QProcess::NotRunning) p.waitForFinished(1);
    if (p.state() == QProcess::NotRunning) GTEST_SKIP() << "the save ended before its temporary was seen";
    ::kill(static_cast<pid_t>(p.processId()), signal);
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_TRUE(temporaries().isEmpty()) << temporaries().join(' ').toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"big.csv"});
    const QByteArray now = FileBytes(big);
    EXPECT_TRUE(now == original || now.size() == original.size());  // old, or new and whole
    if (now != original) {
      std::FILE* out = std::fopen(QFile::encodeName(big).constData(), "wb");  // the old content again
      ASSERT_NE(out, nullptr);
      std::fwrite(original.constData(), 1, static_cast<size_t>(original.size()), out);
      std::fclose(out);
    }
  }
}
