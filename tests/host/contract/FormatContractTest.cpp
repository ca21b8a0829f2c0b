// Rules that hold for every format the host opens, checked on one small
// workbook of each: .xlsx (libxlsxwriter), .xls (LibreOffice's own export of
// that workbook), .ods (written as office programs write packages), .xlsb
// (records written by hand) and CSV.
#include <gtest/gtest.h>
#include <grp.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <functional>

#include "formats/biff/XlsFixtures.h"
#include "host/core/Application.h"
#include "host/core/HeldFiles.h"
#include "host/core/HostError.h"
#include "host/core/CellRef.h"
#include "host/core/Range.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"
#include "host/core/Workbooks.h"
#include "formats/odf/OdsFixtures.h"
#include "formats/xlsb/XlsbFixtures.h"

namespace {

using fixtures::TempDir;

struct Format {
  const char* name;
  // Writes the workbook (keys "b", "a", "c" in A1:A3 of its first sheet) as
  // file in dir and returns its path; empty when its writer is missing.
  std::function<std::string(const TempDir& dir, const std::string& file)> write;
  const char* extension;
  // The same keys with C<r>:D<r> merged in every row and text only in C
  // ("b-m", "a-m", "c-m"), as office programs write merged cells across;
  // empty for a format without merged cells.
  std::function<std::string(const TempDir& dir, const std::string& file)> writeMerged;
};

std::string KeysXlsx(const TempDir& dir, const std::string& file) {
  return fixtures::WriteKeyColumn(dir, file, {"b", "a", "c"});
}

void PrintTo(const Format& format, std::ostream* out) { *out << format.name; }

const char* const kKeys[] = {"b", "a", "c"};

// The merged workbook as the reference program writes it: the covered cells
// D<r> not written at all.
std::string MergedXlsx(const TempDir& dir, const std::string& file) {
  auto inlineText = [](const std::string& ref, const std::string& text) {
    return "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
  };
  std::string rows, merges;
  for (int r = 1; r <= 3; ++r) {
    const std::string n = std::to_string(r), key = kKeys[r - 1];
    rows += "<row r=\"" + n + "\">" + inlineText("A" + n, key) + inlineText("C" + n, key + "-m") + "</row>";
    merges += "<mergeCell ref=\"C" + n + ":D" + n + "\"/>";
  }
  auto parts = fixtures::MinimalWorkbook("");
  for (auto& [name, bytes] : parts)
    if (name == "xl/worksheets/sheet1.xml") bytes = fixtures::SheetXml(rows, "<mergeCells count=\"3\">" + merges + "</mergeCells>");
  fixtures::WriteZip(dir.File(file), parts);
  return dir.File(file);
}

// What LibreOffice writes of the workbook make gives, as .xls.
std::string AsXls(const TempDir& dir, const std::string& file, const std::string& bytes) {
  if (bytes.empty()) return {};
  fixtures::WriteFile(dir.File(file), bytes);
  return dir.File(file);
}

std::string OdsTable(bool merged) {
  using odsfixtures::Text;
  std::string rows;
  for (const char* key : kKeys)
    rows += "<table:table-row>" + Text(key) +
            (merged ? "<table:table-cell/>" + Text(std::string(key) + "-m", "table:number-columns-spanned=\"2\"") +
                          "<table:covered-table-cell/>"
                    : std::string()) +
            "</table:table-row>";
  return odsfixtures::Content("<table:table table:name=\"Keys\">" + rows + "</table:table>");
}

const Format kFormats[] = {
    {"xlsx", KeysXlsx, ".xlsx", MergedXlsx},
    {"xls",
     [](const TempDir& dir, const std::string& file) {
       static const std::string bytes =
           xlsfixtures::ConvertedCached([](const TempDir& d) { return KeysXlsx(d, "keys.xlsx"); }, "xls");
       return AsXls(dir, file, bytes);
     },
     ".xls",
     [](const TempDir& dir, const std::string& file) {
       static const std::string bytes =
           xlsfixtures::ConvertedCached([](const TempDir& d) { return MergedXlsx(d, "merged.xlsx"); }, "xls");
       return AsXls(dir, file, bytes);
     }},
    {"ods", [](const TempDir& dir, const std::string& file) { return odsfixtures::WriteOds(dir, file, OdsTable(false)); },
     ".ods", [](const TempDir& dir, const std::string& file) { return odsfixtures::WriteOds(dir, file, OdsTable(true)); }},
    {"xlsb", [](const TempDir& dir, const std::string& file) { return xlsbfixtures::Keys(dir, file); }, ".xlsb",
     [](const TempDir& dir, const std::string& file) { return xlsbfixtures::Keys(dir, file, true); }},
    {"csv",
     [](const TempDir& dir, const std::string& file) {
       fixtures::WriteFile(dir.File(file), "b\na\nc\n");
       return dir.File(file);
     },
     ".csv", nullptr},
};

// The names in a folder.
std::vector<std::string> Names(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) names.push_back(entry.path().filename());
  return names;
}

class FormatContract : public ::testing::TestWithParam<Format> {
 protected:
  // The fixture in a fresh folder; empty when its writer is not installed.
  std::string Workbook(const TempDir& dir) { return GetParam().write(dir, std::string("book") + GetParam().extension); }
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

// What answer() gives when run in a child process as the unprivileged user
// nobody, in group if given (the text goes back through a pipe); "" when
// that cannot be done.
// What answer gives, run in a forked child once prepare has set the child
// up ("" when it could not).
std::string InChild(const std::function<bool()>& prepare, const std::function<std::string()>& answer) {
  int pipe[2];
  if (::pipe(pipe) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe[0]);
    if (!prepare()) ::_exit(2);
    const std::string text = answer();
    ::_exit(::write(pipe[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1);
  }
  ::close(pipe[1]);
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  ::close(pipe[0]);
  if (child > 0) ::waitpid(child, nullptr, 0);
  return text;
}

// What answer gives, run as the user nobody (with group as its one
// supplementary group, if given).
std::string AsNobody(const std::function<std::string()>& answer, gid_t group = 0) {
  return InChild(
      [group] {
        const gid_t groups[] = {group};
        return ::setgroups(group ? 1 : 0, groups) == 0 && ::setresgid(65534, 65534, 65534) == 0 &&
               ::setresuid(65534, 65534, 65534) == 0;
      },
      answer);
}

// The extended attributes of a file, by name.
std::map<std::string, std::string> Attributes(const std::string& path) {
  std::map<std::string, std::string> out;
  char names[4096];
  const ssize_t size = ::listxattr(path.c_str(), names, sizeof names);
  for (ssize_t at = 0; at < size; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
    char value[4096];
    const ssize_t length = ::getxattr(path.c_str(), names + at, value, sizeof value);
    if (length >= 0) out[names + at] = std::string(value, static_cast<size_t>(length));
  }
  return out;
}

// A POSIX access ACL as the kernel stores it: owner rw, user nobody r, group
// r, mask r (so the mode's group bits read r), others none.
std::string AccessAcl() {
  auto entry = [](uint16_t tag, uint16_t perm, uint32_t id) {
    std::string e(8, '\0');
    std::memcpy(&e[0], &tag, 2);
    std::memcpy(&e[2], &perm, 2);
    std::memcpy(&e[4], &id, 4);
    return e;
  };
  const uint32_t version = 2;
  return std::string(reinterpret_cast<const char*>(&version), 4) + entry(0x01, 6, ~0u) + entry(0x02, 4, 65534) +
         entry(0x04, 4, ~0u) + entry(0x10, 4, ~0u) + entry(0x20, 0, ~0u);
}

// Sorts the file's first sheet and saves it; the error's words, or "".
std::string SortAndSave(const std::string& path) {
  try {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    book.Worksheets()[0]->UsedRange().Sort(host::Cells(1, 1));
    book.Save();
    app.Quit();
    return {};
  } catch (const host::HostError& error) {
    return error.what();
  }
}

// What the first sheet's column A shows in rows 1 to 3, as opened afresh.
std::vector<std::string> FirstColumn(const std::string& path) {
  host::Application app;
  std::vector<std::string> texts = fixtures::ColumnTexts(*app.Workbooks().Open(path).Worksheets()[0], 1, 1, 3);
  app.Quit();
  return texts;
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
  EXPECT_NE(AsNobody([&] { return OpenForChange(path); }).find("\"" + path + "\" is read-only"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(fixtures::ReadFile(path), bytes);
  EXPECT_EQ(Names(dir), std::vector<std::string>{std::filesystem::path(path).filename()});
}

// A key column outside the range is refused in the same words everywhere,
// and nothing changes.
TEST_P(FormatContract, AKeyOutsideTheRangeIsRefused) {
  TempDir dir;
  const std::string path = Workbook(dir);
  if (path.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  const std::string bytes = fixtures::ReadFile(path);
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  try {
    book.Worksheets()[0]->GetRange("A1:A3").Sort(host::Cells(1, 3));
    ADD_FAILURE() << "sorted";
  } catch (const host::HostError& error) {
    EXPECT_NE(std::string(error.what()).find("Cannot sort $A$1:$A$3 on sheet \""), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find("\": the sort key column C lies outside the range."), std::string::npos)
        << error.what();
  }
  book.Save();
  app.Quit();
  EXPECT_TRUE(fixtures::ReadFile(path) == bytes);
}

// What a sort and a filter report is counted once, by the worksheet: rows
// whose cells went elsewhere, and rows hidden now that showed at open (a row
// hidden and shown again is no change). Hidden rows survive the save; a CSV
// file cannot keep them and refuses, unchanged.
TEST_P(FormatContract, MovedAndHiddenRowsAreCountedOnceAndHiddenRowsAreSaved) {
  TempDir dir;
  const std::string path = Workbook(dir);
  if (path.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  const bool csv = std::string(GetParam().name) == "csv";
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& sheet = *book.Worksheets()[0];
    sheet.UsedRange().Sort(host::Cells(1, 1));  // b a c -> a b c: rows 1 and 2 swap
    EXPECT_EQ(sheet.RowsMoved(), 2);
    if (csv) {
      EXPECT_THROW(sheet.Rows(2).SetHidden(true), host::HostError);
    } else {
      sheet.Rows(2).SetHidden(true);
      sheet.Rows(2).SetHidden(true);
      sheet.Rows(3).SetHidden(true);
      sheet.Rows(3).SetHidden(false);
    }
    EXPECT_EQ(sheet.RowsHiddenSinceOpen(), csv ? 0 : 1);
    if (std::string(GetParam().name) == "xls") {  // past the 65,536 rows an .xls sheet holds
      EXPECT_THROW(sheet.Rows(65537).SetHidden(true), host::HostError);
      EXPECT_NO_THROW(sheet.Rows(65537).SetHidden(false));
    }
    book.Save();
    app.Quit();
  }
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
  EXPECT_EQ(fixtures::ColumnTexts(sheet, 1, 1, 3), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(sheet.RowHidden(2), !csv);
  EXPECT_FALSE(sheet.RowHidden(3));
  EXPECT_EQ(sheet.RowsHiddenSinceOpen(), 0);
}

// Sorts in a row each start from the order the one before left: the rows'
// cells are their own after every move, and the save writes the last order.
TEST_P(FormatContract, SortsInARowComposeAndTheLastOrderIsSaved) {
  TempDir dir;
  const std::string path = Workbook(dir);
  if (path.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& sheet = *book.Worksheets()[0];
    sheet.UsedRange().Sort(host::Cells(1, 1));  // b a c -> a b c
    sheet.UsedRange().Sort(host::Cells(1, 1), 2);  // descending: c b a
    EXPECT_EQ(fixtures::ColumnTexts(sheet, 1, 1, 3), (std::vector<std::string>{"c", "b", "a"}));
    book.Save();
    app.Quit();
  }
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
  EXPECT_EQ(fixtures::ColumnTexts(sheet, 1, 1, 3), (std::vector<std::string>{"c", "b", "a"}));
}

// A save makes no file beside the workbook but its lock and its one
// temporary (the files a signal handler knows to remove): no library makes
// a second temporary of its own under another name.
TEST_P(FormatContract, ASaveMakesNoFileButItsLockAndItsTemporary) {
  TempDir dir;
  const std::string path = Workbook(dir);
  if (path.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, dir.Path().c_str(), IN_CREATE | IN_MOVED_TO), 0);
  ASSERT_EQ(SortAndSave(path), "");
  std::vector<std::string> made;
  alignas(inotify_event) char buffer[64 * 1024];
  for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;)
    for (char* at = buffer; at < buffer + n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(at);
      if ((event->mask & IN_CREATE) && event->len > 0) made.emplace_back(event->name);
      at += sizeof(inotify_event) + event->len;
    }
  ::close(watch);
  const std::string name = std::filesystem::path(path).filename();
  size_t locks = 0, temporaries = 0;
  for (const std::string& file : made) {
    if (file == ".~lock." + name + "#") ++locks;
    else if (file.rfind(".tabulory~", 0) == 0) ++temporaries;
    else ADD_FAILURE() << "made " << file;
  }
  EXPECT_EQ(locks, 1u) << ::testing::PrintToString(made);
  EXPECT_EQ(temporaries, 1u) << ::testing::PrintToString(made);
  EXPECT_EQ(Names(dir), std::vector<std::string>{name});
}

// The disk fills while the new file is written (here: a file size limit
// half the workbook's size): the save fails in plain words, the file keeps
// its bytes and nothing is left beside it.
TEST_P(FormatContract, ASaveThatRunsOutOfDiskLeavesTheFileAsItWas) {
  TempDir dir;
  const std::string path = Workbook(dir);
  if (path.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  const std::string bytes = fixtures::ReadFile(path);
  const std::string answer = InChild([] { return true; }, [&] {
    try {
      host::Application app;
      host::Workbook& book = app.Workbooks().Open(path);
      book.Worksheets()[0]->UsedRange().Sort(host::Cells(1, 1));
      host::RemoveHeldFilesOnSignals();  // a write past the limit fails instead of ending the process
      const rlimit limit{bytes.size() / 2, bytes.size() / 2};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return std::string("no limit");
      book.Save();
      app.Quit();
      return std::string("saved");
    } catch (const host::HostError& error) {
      return std::string(error.what());
    }
  });
  EXPECT_EQ(answer.rfind("Cannot save \"" + path + "\": ", 0), 0u) << answer;
  EXPECT_NE(answer.find("the file would grow past the largest file this user may write"), std::string::npos) << answer;
  EXPECT_NE(answer.find("the file was not changed."), std::string::npos) << answer;
  for (const char* library : {"zip", "std::", "errno", "deflate"}) EXPECT_EQ(answer.find(library), std::string::npos) << answer;
  EXPECT_TRUE(fixtures::ReadFile(path) == bytes);
  EXPECT_EQ(Names(dir), std::vector<std::string>{std::filesystem::path(path).filename()});
}

// A sort that moves no row writes nothing: the file keeps its bytes and its
// modification time (here: the second sort of a file already sorted).
TEST_P(FormatContract, ASortThatMovesNothingLeavesTheFileAsItWas) {
  TempDir dir;
  const std::string path = Workbook(dir);
  if (path.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  ASSERT_EQ(SortAndSave(path), "");
  const std::string sorted = fixtures::ReadFile(path);
  struct stat before {}, after {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  ASSERT_EQ(SortAndSave(path), "");
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_TRUE(fixtures::ReadFile(path) == sorted);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

// Another program saved the file while it was open here: the save is
// refused, and what the other program wrote stays.
TEST_P(FormatContract, AFileChangedOnDiskSinceItWasOpenedIsNotOverwritten) {
  TempDir dir;
  const std::string path = Workbook(dir);
  if (path.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  book.Worksheets()[0]->UsedRange().Sort(host::Cells(1, 1));
  const std::string theirs = fixtures::ReadFile(path) + std::string(16, '\0');
  fixtures::WriteFile(path, theirs);
  try {
    book.Save();
    ADD_FAILURE() << "saved over the other program's file";
  } catch (const host::HostError& error) {
    EXPECT_NE(std::string(error.what()).find("the file changed on disk since it was opened"), std::string::npos)
        << error.what();
  }
  app.Quit();
  EXPECT_TRUE(fixtures::ReadFile(path) == theirs);
  EXPECT_EQ(Names(dir), std::vector<std::string>{std::filesystem::path(path).filename()});
}


// A saved file stays the file the user had: its extended attributes and its
// ACL exactly (no permission widened), its other hard links, and its owner
// when the user saving it may write it but not give a new file its owner.
TEST_P(FormatContract, ASavedFileKeepsItsIdentity) {
  TempDir dir;
  const std::string path = Workbook(dir);
  if (path.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  const std::string acl = AccessAcl();
  ASSERT_EQ(::setxattr(path.c_str(), "user.origin", "ledger", 6, 0), 0);
  if (::setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0)
    GTEST_SKIP() << "the file system keeps no ACLs";
  const std::string link = dir.File("second-name");
  ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);
  const auto attributes = Attributes(path);
  struct stat before {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  EXPECT_EQ(SortAndSave(path), "");
  struct stat after {};
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_EQ(Attributes(path), attributes);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(after.st_ino, before.st_ino);  // the hard link sees the new content
  EXPECT_TRUE(fixtures::ReadFile(link) == fixtures::ReadFile(path));
  EXPECT_EQ(SortAndSave(path), "");        // sorted already: nothing written

  // A member of the file's group saves a colleague's file: it stays theirs.
  if (::geteuid() != 0) return;
  ASSERT_EQ(::unlink(link.c_str()), 0);
  TempDir shared;
  const std::string theirs = GetParam().write(shared, std::string("theirs") + GetParam().extension);
  ASSERT_EQ(::chown(theirs.c_str(), 0, 100), 0);
  ASSERT_EQ(::chmod(theirs.c_str(), 0664), 0);
  ASSERT_EQ(::chown(shared.Path().c_str(), 0, 100), 0);
  ASSERT_EQ(::chmod(shared.Path().c_str(), 02775), 0);
  const std::string answer = AsNobody([&] { return SortAndSave(theirs); }, 100);
  EXPECT_EQ(answer, "");
  struct stat saved {};
  ASSERT_EQ(::stat(theirs.c_str(), &saved), 0);
  EXPECT_EQ(saved.st_uid, 0u);
  EXPECT_EQ(saved.st_gid, 100u);
  EXPECT_EQ(saved.st_mode & 07777, 0664u);
  EXPECT_EQ(Names(shared), std::vector<std::string>{std::filesystem::path(theirs).filename()});
  EXPECT_EQ(FirstColumn(theirs), (std::vector<std::string>{"a", "b", "c"}));
}

// A save into the file itself that was stopped half way is finished by the
// next open for change, from the complete content kept beside it.
TEST_P(FormatContract, AnInterruptedSaveIntoTheFileIsFinishedAtTheNextOpen) {
  TempDir dir;
  const std::string path = Workbook(dir);
  if (path.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  const std::string whole = fixtures::ReadFile(path);
  fixtures::WriteFile(dir.File(".~tabulory-inplace." + std::filesystem::path(path).filename().string() + "#"), whole);
  fixtures::WriteFile(path, whole.substr(0, whole.size() / 3));  // half written
  EXPECT_EQ(SortAndSave(path), "");
  EXPECT_EQ(Names(dir), std::vector<std::string>{std::filesystem::path(path).filename()});
  EXPECT_EQ(FirstColumn(path), (std::vector<std::string>{"a", "b", "c"}));
}

// Ended by a signal during its save, a child leaves the file old or new and
// whole, and nothing beside it once the next open has finished what was
// under way: for a plain file (replaced) stopped while its temporary is
// written, and for a file with a second hard link (written into itself)
// stopped while its temporary is written or once its new content is kept
// beside it. The parent sends the signal the moment that file appears.
TEST_P(FormatContract, ASaveEndedByASignalLeavesTheFileOldOrNew) {
  const struct {
    bool linked;
    const char* signalAt;  // the name the signal waits for
    uint32_t event;
    bool mayBeOld;  // whether the file may still hold its old content
  } cases[] = {
      {false, ".tabulory~", IN_CREATE, true},
      {true, ".tabulory~", IN_CREATE, true},
      {true, ".~tabulory-inplace.", IN_MOVED_TO, false},
  };
  for (const auto& c : cases) {
    for (const int signal : {SIGTERM, SIGINT}) {
      SCOPED_TRACE(std::string(c.linked ? "linked, at " : "plain, at ") + c.signalAt + ", " + ::strsignal(signal));
      TempDir dir;
      const std::string path = Workbook(dir);
      if (path.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
      const std::string link = dir.File("other/again") + GetParam().extension;
      if (c.linked) {
        std::filesystem::create_directory(dir.File("other"));
        std::filesystem::create_hard_link(path, link);
      }
      const int watch = ::inotify_init1(IN_CLOEXEC);
      ASSERT_GE(watch, 0);
      ASSERT_GE(::inotify_add_watch(watch, dir.Path().c_str(), IN_CREATE | IN_MOVED_TO), 0);
      const pid_t child = ::fork();
      if (child == 0) {
        try {
          host::Application app;
          host::Workbook& book = app.Workbooks().Open(path);
          book.Worksheets()[0]->UsedRange().Sort(host::Cells(1, 1));
          host::RemoveHeldFilesOnSignals();
          book.Save();
          app.Quit();
        } catch (...) {
          ::_exit(3);
        }
        ::_exit(0);
      }
      ASSERT_GT(child, 0);
      alignas(inotify_event) char buffer[4096];
      int status = 0;
      bool sent = false, ended = false;
      while (!sent && !ended) {
        pollfd ready{watch, POLLIN, 0};
        if (::poll(&ready, 1, 20) == 0) {
          ended = ::waitpid(child, &status, WNOHANG) == child;
          continue;
        }
        const ssize_t n = ::read(watch, buffer, sizeof buffer);
        if (n <= 0) break;
        for (char* at = buffer; at < buffer + n && !sent; at += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(at)->len) {
          const auto* event = reinterpret_cast<const inotify_event*>(at);
          if ((event->mask & c.event) && event->len > 0 && std::string(event->name).rfind(c.signalAt, 0) == 0)
            sent = ::kill(child, signal) == 0;
        }
      }
      ::close(watch);
      if (!ended) {
        ASSERT_EQ(::waitpid(child, &status, 0), child);
      }
      EXPECT_TRUE(sent);
      // (A save quicker than the signal ends as it would have.)
      EXPECT_TRUE((WIFSIGNALED(status) && WTERMSIG(status) == signal) || (WIFEXITED(status) && WEXITSTATUS(status) == 0))
          << status;
      // The next open for change finishes a write into the file itself.
      const std::vector<std::string> order = FirstColumn(path);
      if (!c.mayBeOld || order != std::vector<std::string>{"b", "a", "c"}) {
        EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c"}));
      }
      std::vector<std::string> expected{std::filesystem::path(path).filename()}, names = Names(dir);
      if (c.linked) expected.push_back("other");
      std::sort(names.begin(), names.end());
      EXPECT_EQ(names, expected);
      if (c.linked) {
        EXPECT_EQ(FirstColumn(link), order);
      }
    }
  }
}

// A merged area that reaches past the last cell with content belongs to the
// used range: a sheet merged across C:D in every row sorts whole, the merged
// cells staying where they are with the text of their row.
TEST_P(FormatContract, MergedAreasPastTheLastCellBelongToTheUsedRange) {
  if (!GetParam().writeMerged) GTEST_SKIP() << "the format has no merged cells";
  TempDir dir;
  const std::string path = GetParam().writeMerged(dir, std::string("merged") + GetParam().extension);
  if (path.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& sheet = *book.Worksheets()[0];
    host::Range used = sheet.UsedRange();
    EXPECT_EQ(used.Address(), "$A$1:$D$3");
    used.Sort(host::Cells(1, 1));
    book.Save();
    app.Quit();
  }
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
  EXPECT_EQ(fixtures::ColumnTexts(sheet, 1, 1, 3), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(fixtures::ColumnTexts(sheet, 3, 1, 3), (std::vector<std::string>{"a-m", "b-m", "c-m"}));
  app.Quit();
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, FormatContract, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.name); });

// The content decides, whatever the name: an .xlsx named .xls, .ods, .csv or
// .tsv opens, sorts and saves as an .xlsx.
TEST(FormatByContent, AWorkbookOpensWhateverItsName) {
  for (const char* name : {"book.xls", "book.ods", "book.csv", "book.tsv", "book"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    const std::string path = KeysXlsx(dir, name);
    {
      host::Application app;
      host::Workbook& book = app.Workbooks().Open(path);
      book.Worksheets()[0]->UsedRange().Sort(host::Cells(1, 1));
      book.Save();
      app.Quit();
    }
    EXPECT_EQ(fixtures::ReadFile(path).substr(0, 2), "PK");
    host::Application app;
    EXPECT_EQ(fixtures::ColumnTexts(*app.Workbooks().Open(path).Worksheets()[0], 1, 1, 3),
              (std::vector<std::string>{"a", "b", "c"}));
    app.Quit();
  }
}

// Each file that cannot be a workbook gets its own plain reason, naming the
// formats the host opens where the format is the reason; none is changed
// and nothing is left beside it.
TEST(FormatByContent, EachRefusalSaysWhatIsWrong) {
  struct Case {
    const char* name;
    std::function<void(const std::string& path)> make;
    const char* reason;
  } cases[] = {
      {"empty.ods", [](const std::string& p) { fixtures::WriteFile(p, ""); }, "it is empty (0 bytes)"},
      {"folder.ods", [](const std::string& p) { std::filesystem::create_directory(p); }, "it is a folder"},
      {"pipe.csv", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); }, "it is not a regular file"},
      {"cut.ods",
       [](const std::string& p) {
         TempDir other;
         const std::string whole = fixtures::ReadFile(odsfixtures::WriteOds(other, "w.ods", OdsTable(false)));
         fixtures::WriteFile(p, whole.substr(0, whole.size() / 2));
       },
       "it is a zip package that is truncated or damaged"},
      {"nul.csv", [](const std::string& p) { fixtures::WriteFile(p, std::string("a,b\n1,\0\n", 8)); },
       "it is a binary file in no format this host opens (it opens .xlsx, .xlsm, .xltx, .xltm, .xls, .xlsb, .ods, .csv and .tsv "
       "files)"},
      {"gone.xls", [](const std::string&) {}, "it does not exist"},
      {"locked.xlsb", [](const std::string& p) { fixtures::WriteFile(p, xlsbfixtures::EncryptedPackageFile()); },
       "it is protected with a password; remove the password in a spreadsheet program first"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File(c.name);
    c.make(path);
    const auto before = Names(dir);
    const std::string answer = OpenForChange(path);
    EXPECT_NE(answer.find("Cannot open \"" + path + "\": " + c.reason), std::string::npos) << answer;
    EXPECT_EQ(Names(dir), before);
  }
  // A file the user may not read, for a user without privileges.
  if (::geteuid() != 0) return;
  TempDir dir;
  const std::string path = KeysXlsx(dir, "secret.xls");
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
  EXPECT_NE(AsNobody([&] { return OpenForChange(path); }).find("permission to read it was denied"), std::string::npos);
}
