#pragma once
// The command run in-process on workbooks in a temporary folder, with its
// output, reports and question caught.
#include "batch/WorkbookFixtures.h"
#include "cli/BatchCommand.h"
#include "cli/HeadlessHostFactory.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tabulory::testing {

using Rows = std::vector<int>;

class BatchCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    io.out = [this](const QString& t) { out += t; };
    io.err = [this](const QString& t) { err += t; };
    io.runningHost = [this] { return running; };
    io.readLine = [this] {
      ++questionsRead;
      return answer;
    };
    io.hosts = &hosts;
  }

  QString Workbook(const QString& name) {
    const QString path = dir.filePath(name);
    WriteColumn(path.toStdString(), {"drop", "keep", "drop", "keep"});
    return path;
  }
  static Rows Hidden(const QString& path) {
    OpenedWorkbook book(path.toStdString());
    return book.HiddenRows("Sheet1", 4);
  }
  int Run(QStringList args) { return cli::RunBatchCommand(args, io); }
  static QStringList FilterKeep(const QStringList& files) {
    return QStringList{"filter", "--column", "A", "--criterion", "equals", "--value", "keep"} + files;
  }

  QTemporaryDir dir;
  cli::HeadlessHostFactory hosts;
  cli::CommandIO io;
  QString out, err;
  std::optional<RunningProgram> running;  // what the probe finds
  QString answer;
  int questionsRead = 0;
};

}  // namespace tabulory::testing
