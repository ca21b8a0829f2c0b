// The probe for a running spreadsheet program over a process table built in a
// temporary folder, the question it leads to, and one probe of the real table.
#include "batch/HostRunning.h"
#include "support/ScriptedMessages.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <filesystem>
#include <optional>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

using namespace tabulory;
using tabulory::testing::ScriptedMessages;
namespace fs = std::filesystem;

namespace {

constexpr uid_t kMe = 1234;
constexpr uid_t kSomeoneElse = 4321;

struct FakeProcess {
  std::string exe{};               // target of the exe link; empty: no link
  std::vector<std::string> args{}; // the command line
  std::string comm{};              // the short name; empty: taken from exe
  uid_t user = kMe;
  char state = 'S';
};

class FakeProcessTable {
 public:
  FakeProcessTable() {
    // What every real table has besides processes.
    fs::create_directories(Root() / "sys");
    fs::create_directory_symlink("1", Root() / "self");
    Add(1, {.exe = "/usr/lib/systemd/systemd", .args = {"/sbin/init"}, .user = 0});
  }

  void Add(int pid, const FakeProcess& p) {
    const fs::path dir = Root() / std::to_string(pid);
    fs::create_directories(dir);
    std::ofstream(dir / "status") << "Name:\t" << Comm(p) << "\nUmask:\t0022\nState:\t" << p.state
                                  << " (sleeping)\nTgid:\t" << pid << "\nUid:\t" << p.user << '\t'
                                  << p.user << '\t' << p.user << '\t' << p.user << "\nGid:\t100\n";
    std::ofstream(dir / "comm") << Comm(p) << '\n';
    std::ofstream cmdline(dir / "cmdline", std::ios::binary);
    for (const auto& a : p.args) cmdline << a << '\0';
    if (!p.exe.empty()) fs::create_symlink(p.exe, dir / "exe");
  }

  // No process of this table is the test itself.
  ProcessTable Table() const { return {Root(), kMe, 0}; }
  fs::path Root() const { return fs::path(dir_.path().toStdString()); }

 private:
  static std::string Comm(const FakeProcess& p) {
    if (!p.comm.empty()) return p.comm;
    return fs::path(p.exe.empty() ? (p.args.empty() ? "" : p.args[0]) : p.exe)
        .filename()
        .string()
        .substr(0, 15);
  }
  QTemporaryDir dir_;
};

const FakeProcess kCalc{.exe = "/usr/lib/libreoffice/program/soffice.bin",
                        .args = {"/usr/lib/libreoffice/program/soffice.bin", "--calc"}};

}  // namespace

TEST(HostRunning, NoSpreadsheetProgramMeansNotRunning) {
  FakeProcessTable procs;
  procs.Add(200, {.exe = "/usr/bin/bash", .args = {"-bash"}});
  procs.Add(201, {.exe = "/usr/bin/python3.11", .args = {"python3", "sheet.py"}});
  EXPECT_FALSE(IsHostRunning(procs.Table()));
}

TEST(HostRunning, UsersOfficeSuiteCounts) {
  FakeProcessTable procs;
  procs.Add(300, {.exe = "/usr/bin/bash", .args = {"bash"}});
  procs.Add(4711, kCalc);
  EXPECT_TRUE(IsHostRunning(procs.Table()));
}

TEST(HostRunning, EachKnownProgramCountsByItsExecutableName) {
  for (const std::string& name : KnownSpreadsheetPrograms()) {
    FakeProcessTable procs;
    procs.Add(500, {.exe = "/opt/office/bin/" + name, .args = {"/opt/office/bin/" + name}});
    EXPECT_TRUE(IsHostRunning(procs.Table())) << name;
  }
}

// What was found is named: the program users know, its process id; another
// Tabulory window counts where asked for, this very process never.
TEST(HostRunning, WhatRunsIsNamed) {
  const FakeProcess window{.exe = "/usr/lib/tabulory/tabulory", .args = {"tabulory"}};
  struct Case {
    FakeProcess process;
    pid_t self;
    bool tabuloryWindows;
    std::optional<QString> phrase;
  } cases[] = {
      {kCalc, 0, false, "a LibreOffice process (process id 900)"},
      {kCalc, 900, true, std::nullopt},
      {window, 0, true, "another Tabulory instance (process id 900)"},
      {window, 0, false, std::nullopt},
      {window, 900, true, std::nullopt},
      {{.exe = "/usr/bin/tabulory-batch", .args = {"tabulory-batch"}}, 0, true, std::nullopt},
  };
  for (const Case& c : cases) {
    FakeProcessTable procs;
    procs.Add(900, c.process);
    ProcessTable table = procs.Table();
    table.self = c.self;
    table.tabuloryWindows = c.tabuloryWindows;
    const std::optional<RunningProgram> found = FindRunningHost(table);
    ASSERT_EQ(found.has_value(), c.phrase.has_value()) << c.process.exe;
    if (found) {
      EXPECT_EQ(RunningProgramPhrase(*found), *c.phrase);
    }
  }
}

TEST(HostRunning, ProgramOfAnotherUserDoesNotCount) {
  FakeProcessTable procs;
  FakeProcess calc = kCalc;
  calc.user = kSomeoneElse;
  procs.Add(600, calc);
  EXPECT_FALSE(IsHostRunning(procs.Table()));
}

TEST(HostRunning, NamesThatOnlyResembleOneDoNotCount) {
  FakeProcessTable procs;
  procs.Add(700, {.exe = "/usr/bin/soffice.bin.old", .args = {"soffice.bin.old"}});
  procs.Add(701, {.exe = "/usr/bin/gnumeric-helper", .args = {"gnumeric-helper"}});
  procs.Add(702, {.exe = "/usr/bin/Gnumeric", .args = {"Gnumeric"}});
  procs.Add(703, {.exe = "/usr/bin/setsid", .args = {"setsid", "et"}});
  procs.Add(704, {.exe = "/usr/bin/vim", .args = {"vim", "/home/me/soffice.bin"}});
  procs.Add(705, {.exe = "/opt/et/bin/sheet-tool", .args = {"/opt/et/bin/sheet-tool"}});
  EXPECT_FALSE(IsHostRunning(procs.Table()));
}

TEST(HostRunning, NameIsFoundWithoutTheExecutableLink) {
  // The link cannot always be read (another user's process, a restricted
  // table); the command line and the short name still tell.
  {
    FakeProcessTable procs;
    procs.Add(800, {.args = {"/usr/bin/gnumeric", "book.xlsx"}});
    EXPECT_TRUE(IsHostRunning(procs.Table()));
  }
  {
    FakeProcessTable procs;
    procs.Add(801, {.comm = "soffice.bin"});
    EXPECT_TRUE(IsHostRunning(procs.Table()));
  }
  {
    // A program whose binary was replaced by an update while it runs.
    FakeProcessTable procs;
    procs.Add(802, {.exe = "/usr/bin/gnumeric (deleted)", .args = {}, .comm = "gnumeric-1.12"});
    EXPECT_TRUE(IsHostRunning(procs.Table()));
  }
}

TEST(HostRunning, HeadlessConverterAndEndedProcessDoNotCount) {
  FakeProcessTable procs;
  FakeProcess headless = kCalc;
  headless.args = {"/usr/lib/libreoffice/program/soffice.bin", "--headless", "--convert-to", "csv",
                   "book.xlsx"};
  procs.Add(900, headless);
  FakeProcess zombie = kCalc;
  zombie.state = 'Z';
  procs.Add(901, zombie);
  EXPECT_FALSE(IsHostRunning(procs.Table()));
}

TEST(HostRunning, FaultyTablesCountAsNotRunning) {
  {
    ProcessTable missing{"/nonexistent/proc/table", kMe};
    EXPECT_FALSE(IsHostRunning(missing));
  }
  {
    FakeProcessTable procs;
    const fs::path dir = procs.Root() / "1000";
    fs::create_directories(dir);
    std::ofstream(dir / "status") << "Name:\tsoffice.bin\nUid:\tgarbage\n";
    std::ofstream(dir / "comm") << "soffice.bin\n";
    fs::create_directories(procs.Root() / "1001");  // vanished while being read
    EXPECT_FALSE(IsHostRunning(procs.Table()));
  }
  {
    // Process folders are numbers only.
    FakeProcessTable procs;
    const fs::path dir = procs.Root() / "x1002";
    fs::create_directories(dir);
    std::ofstream(dir / "status") << "Uid:\t" << kMe << "\n";
    std::ofstream(dir / "comm") << "soffice.bin\n";
    EXPECT_FALSE(IsHostRunning(procs.Table()));
  }
  {
    // A table that is a file, not a folder.
    QTemporaryDir dir;
    const QString file = dir.filePath("proc");
    QFile(file).open(QIODevice::WriteOnly);
    EXPECT_FALSE(IsHostRunning({file.toStdString(), kMe}));
  }
}

TEST(HostRunning, RealProcessTableSeesAProgramOfThisUser) {
  // A copy of sleep named like a spreadsheet program, run by this user.
  QTemporaryDir dir;
  const QString fake = dir.filePath("gnumeric");
  ASSERT_TRUE(QFile::copy("/bin/sleep", fake));
  QFile(fake).setPermissions(QFile::ReadOwner | QFile::ExeOwner);
  QProcess program;
  program.start(fake, {"30"});
  if (!program.waitForStarted()) GTEST_SKIP() << "programs cannot run from " << dir.path().toStdString();
  EXPECT_TRUE(IsHostRunning(ProcessTable{}));
  EXPECT_FALSE(IsHostRunning({"/proc", ProcessTable::CurrentUser() + 77777}));
  program.kill();
  program.waitForFinished();
}

TEST(AskStopIfHostRunning, AsksOnlyWhenAProgramRuns) {
  FakeProcessTable procs;
  ScriptedMessages messages;
  EXPECT_FALSE(AskStopIfHostRunning(messages, procs.Table()));
  EXPECT_TRUE(messages.shown.empty());
}

TEST(AskStopIfHostRunning, QuestionTextAndAnswers) {
  FakeProcessTable procs;
  procs.Add(4711, kCalc);
  ScriptedMessages messages;
  messages.SetShortTitle("Tabulory Batch");
  messages.answers = {MessageAnswer::Yes, MessageAnswer::No};
  EXPECT_FALSE(AskStopIfHostRunning(messages, procs.Table()));  // Yes: go on
  EXPECT_TRUE(AskStopIfHostRunning(messages, procs.Table()));   // No: stop
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[0].text,
            "Excel may be open. It is recommended that you close Excel first.\r"
            "Use Ctrl+Alt+Del > Task Manager > EXCEL.EXE if necessary.\r\n\r\n"
            "Would you like to proceed anyway?");
  EXPECT_EQ(messages.shown[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(messages.shown[0].caption, "Tabulory Batch");  // no caption of its own
}
