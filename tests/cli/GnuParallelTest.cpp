// The command's per-file output and exit status suit GNU parallel: 40
// workbooks run by parallel with two job slots end up byte for byte as the
// same workbooks run by one command.
#include "batch/WorkbookFixtures.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tabulory::testing;

namespace {

constexpr int kWorkbooks = 40;

TEST(GnuParallel, TwoJobSlotsGiveTheSameBytesAsOneRun) {
  const QString parallel = QStandardPaths::findExecutable("parallel");
  if (parallel.isEmpty()) GTEST_SKIP() << "GNU parallel (Debian package parallel) is not installed: skipped";
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkpath("one") && QDir(dir.path()).mkpath("two") && QDir(dir.path()).mkpath("home"));
  QStringList one, two;
  for (int i = 0; i < kWorkbooks; ++i) {
    SheetContent content{"Sheet1"};
    for (int r = 0; r < 30; ++r) content.rows.push_back({std::to_string((r * 17 + i * 5) % 29), "#" + std::to_string(r)});
    const QString name = QStringLiteral("/w%1.xlsx").arg(i, 2, 10, QLatin1Char('0'));
    WriteWorkbook((dir.path() + "/one" + name).toStdString(), {content, SheetContent{"Other", content.rows}});
    ASSERT_TRUE(QFile::copy(dir.path() + "/one" + name, dir.path() + "/two" + name));
    one << dir.path() + "/one" + name;
    two << dir.path() + "/two" + name;
  }
  const QByteArray unsorted = FileBytes(one[0]);

  const QString command = QStringLiteral(TABULORY_BATCH_COMMAND);
  QProcess single;
  single.start(command, QStringList{"sort", "--column", "A", "--yes", "--jobs", "1"} + one);
  ASSERT_TRUE(single.waitForFinished(300000));
  ASSERT_EQ(single.exitCode(), 0) << single.readAllStandardError().toStdString();

  // parallel keeps its own files under HOME: a temporary one here.
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("HOME", dir.path() + "/home");
  QProcess jobs;
  jobs.setProcessEnvironment(env);
  jobs.start(parallel, QStringList{"--will-cite", "--jobs", "2", "--keep-order", command, "sort", "--column", "A",
                                   "--yes", "{}", ":::"} + two);
  ASSERT_TRUE(jobs.waitForFinished(300000));
  ASSERT_EQ(jobs.exitCode(), 0) << jobs.readAllStandardError().toStdString();
  QString expected;
  for (const QString& path : two) expected += "ok " + path + "\nDone.\n";
  EXPECT_EQ(QString::fromUtf8(jobs.readAllStandardOutput()), expected);

  EXPECT_NE(FileBytes(one[0]), unsorted);
  for (int i = 0; i < kWorkbooks; ++i) EXPECT_EQ(FileBytes(one[i]), FileBytes(two[i])) << one[i].toStdString();
}

}  // namespace
