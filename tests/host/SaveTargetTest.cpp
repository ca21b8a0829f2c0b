// Where a save writes: through symbolic links, beside the real file, with a
// temporary whose name always fits, and what killed saves left behind.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "Fixtures.h"
#include "host/core/Application.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"

using fixtures::TempDir;
namespace fs = std::filesystem;

namespace {

std::string TwoRows() {
  return "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"2\"><c r=\"A2\"><v>2</v></c></row>";
}

void HideRowTwoAndSave(const std::string& path) {
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  book.Worksheets()[0]->Rows(2).SetHidden(true);
  book.Save();
}

bool RowTwoHidden(const std::string& path) {
  host::Application app;
  return app.Workbooks().Open(path).Worksheets()[0]->Rows(2).Hidden();
}

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

TEST(SaveTarget, ALinkStaysALinkAndItsTargetIsReplacedBesideItself) {
  TempDir dir;
  fs::create_directory(dir.File("real"));
  fs::create_directory(dir.File("links"));
  std::string target = dir.File("real/book.xlsx");
  fixtures::WriteZip(target, fixtures::MinimalWorkbook(TwoRows()));
  std::string link = dir.File("links/book.xlsx");
  fs::create_symlink("../real/book.xlsx", link);
  ASSERT_EQ(::chown(target.c_str(), 4321, 4322), 0);
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  // The link's folder takes no new files: the temporary goes beside the target.
  ::chmod(dir.File("links").c_str(), 0555);
  HideRowTwoAndSave(link);
  ::chmod(dir.File("links").c_str(), 0755);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::read_symlink(link), "../real/book.xlsx");
  EXPECT_TRUE(RowTwoHidden(target));
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  if (::geteuid() == 0) {
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
  }
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Names(dir.File("real")), std::set<std::string>{"book.xlsx"});
  EXPECT_EQ(Names(dir.File("links")), std::set<std::string>{"book.xlsx"});
}

TEST(SaveTarget, AWorkbookNamedWithTheLongestNameSaves) {
  TempDir dir;
  std::string name = std::string(250, 'n') + ".xlsx";  // 255 bytes, the most a name may have
  std::string path = dir.File(name);
  // libzip's own temporary would not fit beside such a name: written short, renamed.
  fixtures::WriteZip(dir.File("short.xlsx"), fixtures::MinimalWorkbook(TwoRows()));
  fs::rename(dir.File("short.xlsx"), path);
  HideRowTwoAndSave(path);
  EXPECT_TRUE(RowTwoHidden(path));
  EXPECT_EQ(Names(dir.Path()), std::set<std::string>{name});
}

TEST(SaveTarget, TemporariesOfDeadProcessesGoAndNothingElse) {
  TempDir dir;
  std::string path = dir.File("book.xlsx");
  fixtures::WriteZip(path, fixtures::MinimalWorkbook(TwoRows()));
  pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);  // a process id that no longer runs
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  const std::string mark = std::string(".tabulory~") + host + "~";
  const std::string dead = mark + std::to_string(child) + "~Ab3dE9";
  const std::set<std::string> kept = {
      "book.xlsx",
      mark + std::to_string(::getppid()) + "~Ab3dE9",       // its process still runs
      ".tabulory~elsewhere~" + std::to_string(child) + "~Ab3dE9",  // made on another host
      mark + std::to_string(child) + "~Ab3",                 // not our pattern
      mark + std::to_string(child) + "~Ab3dE9.xlsx",         // not our pattern
      mark + std::to_string(child) + "~Ab3dE9.x1",           // not libzip's either
      "notes.txt",
  };
  for (const std::string& name : kept)
    if (name != "book.xlsx") fixtures::WriteFile(dir.File(name), "x");
  fixtures::WriteFile(dir.File(dead), "left by a killed save");
  fixtures::WriteFile(dir.File(dead + ".q2W3e4"), "libzip's own temporary, left by the same save");
  fs::create_directory(dir.File(mark + std::to_string(child) + "~Zz9zZ9"));  // a folder, never removed
  HideRowTwoAndSave(path);
  std::set<std::string> expected = kept;
  expected.insert(mark + std::to_string(child) + "~Zz9zZ9");
  EXPECT_EQ(Names(dir.Path()), expected);
}

}  // namespace
