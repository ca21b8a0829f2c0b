// What the command does with names as the system keeps them: bytes that are
// not UTF-8 lead to their file, entries that are no regular file fail at once
// with their reason, and a list that is a binary file is a usage error.
#include "app/shell/RawFileName.h"
#include "batch/WorkbookFixtures.h"
#include "CommandProcess.h"

#include <QTemporaryDir>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tabulory;
using namespace tabulory::testing;

TEST(RawFileName, EveryByteStringComesBackAsItWas) {
  const std::vector<QByteArray> names{
      "plain.xlsx", "caf\xC3\xA9.xlsx", "caf\xE9.xlsx", "\xFF\xFE", "\xC3", "\xED\xA0\x80",  // a surrogate's form
      "\xF0\x9F\x93\x8A\xE9", "\xC0\xAF", "\xF4\x90\x80\x80", "a\x80" "b",
  };
  for (const QByteArray& bytes : names) {
    const QString name = FileNameFromBytes(bytes);
    EXPECT_EQ(FileNameBytes(name), bytes) << bytes.toHex().toStdString();
    EXPECT_EQ(HoldsRawBytes(name), !QUtf8StringView(bytes).isValidUtf8()) << bytes.toHex().toStdString();
    if (QUtf8StringView(bytes).isValidUtf8()) {
      EXPECT_EQ(name, QString::fromUtf8(bytes));
    }
  }
}

TEST(Executable, NamesAreTakenAsTheirBytesAndEveryEntryGetsItsRealReason) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  const std::string latin = folder + "/caf\xE9.xlsx";  // a Latin-1 name, no UTF-8
  const std::string pipe = folder + "/pipe.xlsx", gone = folder + "/gon\xE9.xlsx";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const std::string list = folder + "/list.txt";
  std::ofstream(list, std::ios::binary) << latin << '\n';
  const std::string workbookAsList = folder + "/book.xlsx";
  WriteColumn(workbookAsList, {"x"});
  const std::vector<std::string> filter{"filter", "--column", "A", "--criterion", "equals", "--value", "keep", "--yes"};
  const auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> args = filter;
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int status;
    std::string out;        // standard output, exactly
    std::string errHolds;   // a part of standard error
  } cases[] = {
      {with({latin}), "", 0, "ok " + latin + "\nDone.\n", ""},
      {with({"--files-from", list}), "", 0, "ok " + latin + "\nDone.\n", ""},
      {with({"--files-from", "-", "--null"}), latin + '\0', 0, "ok " + latin + "\nDone.\n", ""},
      {with({gone}), "", 1, "failed " + gone + ": Cannot open \"" + gone + "\": it does not exist.\nDone.\n", ""},
      {with({pipe, "/dev/null", latin}), "", 1,
       "failed " + pipe + ": Cannot open \"" + pipe +
           "\": it is not a regular file (a pipe, device or socket), so it holds no workbook.\n"
           "failed /dev/null: Cannot open \"/dev/null\": it is not a regular file (a pipe, device or socket), so "
           "it holds no workbook.\nok " + latin + "\nDone.\n",
       ""},
      {with({"--files-from", workbookAsList}), "", 2, "",
       "cannot read --files-from '" + workbookAsList + "': it is a binary file"},
      {with({"--files-from", "-"}), std::string("a.xlsx\0b.xlsx\n", 14), 2, "",
       "cannot read --files-from -: standard input is binary data"},
  };
  for (const Case& c : cases) {
    WriteColumn(latin, {"drop", "keep"});
    const Finished run = RunCommand(c.args, c.input, folder);
    const std::string shown = c.args.back();
    EXPECT_EQ(run.status, c.status) << shown << "\n" << run.err;
    EXPECT_EQ(run.out, c.out) << shown;
    EXPECT_NE(run.err.find(c.errHolds), std::string::npos) << shown << "\n" << run.err;
    if (c.status == 0) {
      EXPECT_EQ(OpenedWorkbook(latin).HiddenRows("Sheet1", 2), (std::vector<int>{1})) << shown;
    }
  }
  ::unlink(latin.c_str());  // the temporary folder's removal cannot reach a name that is not UTF-8
}
