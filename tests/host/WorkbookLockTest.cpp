// Workbooks in use by other programs, and the lock file the host keeps while
// it holds one. The lock lines are byte for byte what LibreOffice 7.4 wrote
// beside a workbook it opened (a full name with its escapes, and an empty one).

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <ctime>
#include <filesystem>
#include <regex>

#include "Fixtures.h"
#include "host/core/Application.h"
#include "host/core/CellRef.h"
#include "host/core/HostError.h"
#include "host/core/Range.h"
#include "host/core/Workbook.h"
#include "host/core/WorkbookLock.h"
#include "host/core/Worksheet.h"

using fixtures::TempDir;

namespace {

std::string HostName() {
  char name[256] = {};
  gethostname(name, sizeof name - 1);
  return name;
}

// A process id that no process has any more.
pid_t EndedProcess() {
  pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

// An owner file as the reference desktop program writes it: the name's
// length and the name in 8 bits, padded to 54 bytes, then a 16-bit length
// and the name in UTF-16, padded to 165 bytes.
std::string OwnerFile(const std::string& name) {
  std::string bytes(1, static_cast<char>(name.size()));
  bytes += name;
  bytes.resize(54, ' ');
  bytes += static_cast<char>(name.size());
  bytes += '\0';
  for (char c : name) {
    bytes += c;
    bytes += '\0';
  }
  bytes.resize(165, '\0');
  return bytes;
}

// The message text of opening the workbook, or "" when it opens.
std::string OpenFailure(const std::string& path) {
  host::Application app;
  try {
    app.Workbooks().Open(path);
  } catch (const host::HostError& e) {
    return e.what();
  }
  return "";
}

struct InUseCase {
  const char* what;
  const char* lockName;  // ".~lock.book.xlsx#" or "~$book.xlsx"
  std::string content;
  std::string expected;  // after "PATH is open in another program ("
};

TEST(WorkbookLock, AWorkbookInUseFailsAndStaysUntouched) {
  const std::string other = std::to_string(getppid());  // a live process, not this one
  const std::vector<InUseCase> cases = {
      {"LibreOffice on another computer", ".~lock.book.xlsx#",
       "Ann\\;Jo Smith\\, Jr\\\\x,ann,desk7,08.12.2026 15:01,file:///home/ann/.config/libreoffice/4;",
       "LibreOffice, by Ann;Jo Smith, Jr\\x on desk7 since 08.12.2026 15:01)."},
      {"LibreOffice without a full name", ".~lock.book.xlsx#",
       ",root,desk7,08.12.2026 14:59,file:///tmp/lolock/profile;",
       "LibreOffice, by root on desk7 since 08.12.2026 14:59)."},
      {"an unreadable lock", ".~lock.book.xlsx#", "\x01\x02 not a lock",
       "LibreOffice, in use by an unknown user)."},
      {"an empty lock", ".~lock.book.xlsx#", "", "LibreOffice, in use by an unknown user)."},
      {"this program in another process", ".~lock.book.xlsx#",
       "Bo,bo," + HostName() + ",08.12.2026 15:30,tabulory-pid:" + other + ";",
       "Tabulory, by Bo on " + HostName() + " since 08.12.2026 15:30)."},
      {"an owner file", "~$book.xlsx", OwnerFile("Ann Smith"), "Microsoft Excel, by Ann Smith since "},
      {"an unreadable owner file", "~$book.xlsx", std::string(1, '\0'),
       "Microsoft Excel, in use by an unknown user)."},
  };
  for (const InUseCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = fixtures::WriteKeyColumn(dir, "book.xlsx", {"b", "a"});
    const std::string before = fixtures::ReadFile(path);
    fixtures::WriteFile(dir.File(c.lockName), c.content);
    const std::string failure = OpenFailure(path);
    const std::string start = "\"" + path + "\" is open in another program (";
    ASSERT_EQ(failure.substr(0, start.size()), start) << failure;
    EXPECT_EQ(failure.substr(start.size(), c.expected.size()), c.expected) << failure;
    EXPECT_EQ(fixtures::ReadFile(path), before);
    EXPECT_EQ(fixtures::ReadFile(dir.File(c.lockName)), c.content);  // the other's lock stays
  }
}

TEST(WorkbookLock, OwnerFileTimeIsItsModificationTime) {
  TempDir dir;
  const std::string path = fixtures::WriteKeyColumn(dir, "book.xlsx", {"a"});
  fixtures::WriteFile(dir.File("~$book.xlsx"), OwnerFile("Ann Smith"));
  std::tm when{};
  when.tm_year = 2026 - 1900;
  when.tm_mon = 2;
  when.tm_mday = 4;
  when.tm_hour = 9;
  when.tm_min = 7;
  when.tm_isdst = -1;
  const utimbuf times{std::mktime(&when), std::mktime(&when)};
  ASSERT_EQ(utime(dir.File("~$book.xlsx").c_str(), &times), 0);
  EXPECT_EQ(OpenFailure(path),
            "\"" + path + "\" is open in another program (Microsoft Excel, by Ann Smith since 04.03.2026 09:07).");
}

TEST(WorkbookLock, StaleLocksOfThisComputerDoNotCount) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      // LibreOffice ended (here: it crashed on exit) and left its lock; no
      // LibreOffice of this user runs with that profile.
      {"LibreOffice gone", ",root," + HostName() + ",08.12.2026 14:59,file:///tmp/no-such-profile-" +
                               std::to_string(getpid()) + ";"},
      {"this program gone", ",bo," + HostName() + ",08.12.2026 15:30,tabulory-pid:" +
                                std::to_string(EndedProcess()) + ";"},
      // Its process id was given again after a restart (here to process 1).
      {"its process id reused", ",bo," + HostName() + ",08.12.2026 15:30,tabulory-pid:1:"
                                "00000000-0000-0000-0000-000000000000:12;"},
  };
  for (const auto& [what, content] : cases) {
    SCOPED_TRACE(what);
    TempDir dir;
    const std::string path = fixtures::WriteKeyColumn(dir, "book.xlsx", {"b", "a"});
    fixtures::WriteFile(host::LibreOfficeLockPath(path), content);
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    EXPECT_NE(fixtures::ReadFile(host::LibreOfficeLockPath(path)), content);  // ours replaced it
    book.Worksheets()[0]->UsedRange().Sort(host::Cells(1, 1));
    book.Save();
    app.Quit();
    EXPECT_FALSE(std::filesystem::exists(host::LibreOfficeLockPath(path)));
  }
}

TEST(WorkbookLock, ALockOfLibreOfficeRunningHereWithThatProfileCounts) {
  TempDir dir;
  const std::string path = fixtures::WriteKeyColumn(dir, "book.xlsx", {"a"});
  const std::string profile = "file://" + dir.File("profile");
  // A stand-in process with LibreOffice's process name and profile option.
  const std::string program = dir.File("soffice.bin");
  fixtures::WriteFile(program, "#!/bin/sh\nsleep 60\n");
  ASSERT_EQ(chmod(program.c_str(), 0755), 0);
  const pid_t office = fork();
  if (office == 0) {
    const std::string option = "-env:UserInstallation=" + profile;
    execl(program.c_str(), program.c_str(), option.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const std::string login = getpwuid(getuid())->pw_name;
  fixtures::WriteFile(host::LibreOfficeLockPath(path), "," + login + "," + HostName() + ",08.12.2026 15:01," + profile + ";");
  const std::string comm = "/proc/" + std::to_string(office) + "/comm";
  for (int i = 0; i < 250 && fixtures::ReadFile(comm) != "soffice.bin\n"; ++i) usleep(20000);
  const std::string failure = OpenFailure(path);
  kill(office, SIGKILL);
  waitpid(office, nullptr, 0);
  EXPECT_EQ(failure, "\"" + path + "\" is open in another program (LibreOffice, by " + login + " on " + HostName() +
                         " since 08.12.2026 15:01).");
  EXPECT_EQ(OpenFailure(path), "");  // and no longer once it has ended
}

TEST(WorkbookLock, HeldWorkbookHasALockInLibreOfficesFormatUntilQuit) {
  TempDir dir;
  const std::string path = fixtures::WriteKeyColumn(dir, "book.xlsx", {"b", "a"});
  const std::string lock = dir.File(".~lock.book.xlsx#");
  EXPECT_EQ(host::LibreOfficeLockPath(path), lock);
  host::Application app;
  app.Workbooks().Open(path);
  const std::string line = fixtures::ReadFile(lock);
  // full name, login, host, DD.MM.YYYY HH:MM, profile field; no line end.
  const std::regex format("([^,]|\\\\,)*,[^,]+," + HostName() +
                          ",[0-3][0-9]\\.[01][0-9]\\.20[0-9][0-9] [0-2][0-9]:[0-5][0-9],tabulory-pid:" +
                          std::to_string(getpid()) + ":[0-9a-f-]{36}:[0-9]+;");
  EXPECT_TRUE(std::regex_match(line, format)) << line;
  app.Quit();
  EXPECT_FALSE(std::filesystem::exists(lock));
}

TEST(WorkbookLock, NoLockIsLeftWhenOpeningFails) {
  TempDir dir;
  const std::string path = dir.File("broken.xlsx");
  fixtures::WriteFile(path, "PK\x03\x04 not really a zip");
  EXPECT_NE(OpenFailure(path), "");
  EXPECT_FALSE(std::filesystem::exists(host::LibreOfficeLockPath(path)));
}

TEST(WorkbookLock, AnotherProcessesAdvisoryLockCounts) {
  TempDir dir;
  const std::string path = fixtures::WriteKeyColumn(dir, "book.xlsx", {"a"});
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    int fd = open(path.c_str(), O_RDWR);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const char ok = fd >= 0 && fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
    if (write(ready[1], &ok, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  char ok = 0;
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, 'y');
  const std::string failure = OpenFailure(path);
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
  EXPECT_NE(failure.find("is open in another program ("), std::string::npos) << failure;
  EXPECT_NE(failure.find(", process " + std::to_string(holder) + " on this computer)."), std::string::npos)
      << failure;
  EXPECT_EQ(OpenFailure(path), "");  // the lock went with its process
}

TEST(WorkbookLock, ReadingOnlyWritesNoLockButHonoursOthers) {
  TempDir dir;
  const std::string path = fixtures::WriteKeyColumn(dir, "book.xlsx", {"b", "a"});
  {
    host::Application app;
    app.SetWorkbookAccess(host::Application::Access::ReadOnly);
    host::Workbook& book = app.Workbooks().Open(path);
    EXPECT_FALSE(std::filesystem::exists(host::LibreOfficeLockPath(path)));
    EXPECT_THROW(book.Save(), host::HostError);
    app.Quit();
  }
  fixtures::WriteFile(host::OwnerFilePath(path), OwnerFile("Ann"));
  host::Application app;
  app.SetWorkbookAccess(host::Application::Access::ReadOnly);
  EXPECT_THROW(app.Workbooks().Open(path), host::HostError);
}

}  // namespace
