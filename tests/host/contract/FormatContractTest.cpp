// Rules that hold for every format the host opens, checked on one small
// workbook of each: .xlsx (libxlsxwriter), .xls (LibreOffice's own export of
// that workbook), .ods (written as office programs write packages) and CSV.
#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "biff/XlsFixtures.h"
#include "host/Application.h"
#include "host/HostError.h"
#include "host/Workbooks.h"
#include "odf/OdsFixtures.h"

namespace {

using fixtures::TempDir;

struct Format {
  const char* name;
  // Writes the workbook (keys "b", "a", "c" in A1:A3 of its first sheet) as
  // file in dir and returns its path; empty when its writer is missing.
  std::function<std::string(const TempDir& dir, const std::string& file)> write;
  const char* extension;
};

std::string KeysXlsx(const TempDir& dir, const std::string& file) {
  return fixtures::WriteKeyColumn(dir, file, {"b", "a", "c"});
}

const Format kFormats[] = {
    {"xlsx", KeysXlsx, ".xlsx"},
    {"xls",
     [](const TempDir& dir, const std::string& file) {
       static const std::string bytes =
           xlsfixtures::ConvertedCached([](const TempDir& d) { return KeysXlsx(d, "keys.xlsx"); }, "xls");
       if (bytes.empty()) return std::string();
       fixtures::WriteFile(dir.File(file), bytes);
       return dir.File(file);
     },
     ".xls"},
    {"ods",
     [](const TempDir& dir, const std::string& file) {
       using odsfixtures::Text;
       return odsfixtures::WriteOds(dir, file,
                                    odsfixtures::Content("<table:table table:name=\"Keys\"><table:table-row>" + Text("b") +
                                                         "</table:table-row><table:table-row>" + Text("a") +
                                                         "</table:table-row><table:table-row>" + Text("c") +
                                                         "</table:table-row></table:table>"));
     },
     ".ods"},
    {"csv",
     [](const TempDir& dir, const std::string& file) {
       fixtures::WriteFile(dir.File(file), "b\na\nc\n");
       return dir.File(file);
     },
     ".csv"},
};

class FormatContract : public ::testing::TestWithParam<Format> {
 protected:
  // The fixture in a fresh folder; empty when its writer is not installed.
  std::string Workbook(const TempDir& dir) { return GetParam().write(dir, std::string("book") + GetParam().extension); }
  static std::vector<std::string> Names(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) names.push_back(entry.path().filename());
    return names;
  }
};

// Opening a file for change: the answer, or the error's words.
std::string OpenForChange(const std::string& path) {
  try {
    host::Application app;
    app.Workbooks().Open(path);
    app.Quit();
    return "opened";
  } catch (const host::HostError& error) {
    return error.what();
  }
}

}  // namespace

// A file the running user may not write is refused when it is opened for
// change, before anything of it is read, and stays as it was with nothing
// left beside it; also when the folder is writable, so a rename could replace it.
TEST_P(FormatContract, AFileTheUserMayNotWriteIsRefusedUntouched) {
  TempDir dir;
  const std::string path = Workbook(dir);
  if (path.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  const std::string bytes = fixtures::ReadFile(path);
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  const std::string answer = OpenForChange(path);
  EXPECT_NE(answer.find("\"" + path + "\" is read-only"), std::string::npos) << answer;
  EXPECT_EQ(fixtures::ReadFile(path), bytes);
  EXPECT_EQ(Names(dir), std::vector<std::string>{std::filesystem::path(path).filename()});

  // Another user's file (0644) in a folder everyone may write, for a user
  // without privileges.
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the check as another user";
  ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
      ::_exit(2);
    ::_exit(OpenForChange(path).find("is read-only") != std::string::npos ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(fixtures::ReadFile(path), bytes);
  EXPECT_EQ(Names(dir), std::vector<std::string>{std::filesystem::path(path).filename()});
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, FormatContract, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.name); });
