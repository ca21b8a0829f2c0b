// Host instances: their life, their window hook, and independence across
// threads.

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "Fixtures.h"
#include "host/core/Application.h"
#include "host/core/HostError.h"
#include "host/core/HostWindow.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"

using fixtures::TempDir;

namespace {

TEST(Application, NameAndQuit) {
  TempDir dir;
  std::string path = fixtures::WriteMixedWorkbook(dir);
  std::string before = fixtures::ReadFile(path);
  host::Application app;
  EXPECT_EQ(app.Name(), "Tabulory Host");
  host::Workbook& book = app.Workbooks().Open(path);
  book.Worksheets()[0]->Rows(1).SetHidden(true);
  app.Quit();
  EXPECT_TRUE(app.HasQuit());
  EXPECT_THROW(app.Workbooks(), host::HostError);
  EXPECT_THROW(app.Quit(), host::HostError);
  EXPECT_THROW(app.SetVisible(true), host::HostError);
  // Quit closes without saving.
  EXPECT_EQ(fixtures::ReadFile(path), before);
}

TEST(Application, WorkbooksAreCountedInOpeningOrder) {
  TempDir dir;
  std::string a = fixtures::WriteKeyColumn(dir, "a.xlsx", {"1"});
  std::string b = fixtures::WriteKeyColumn(dir, "b.xlsx", {"2"});
  host::Application app;
  app.Workbooks().Open(a);
  app.Workbooks().Open(b);
  EXPECT_EQ(app.Workbooks().Count(), 2);
  EXPECT_EQ(app.Workbooks()(app.Workbooks().Count()).Name(), "b.xlsx");
  EXPECT_EQ(app.Workbooks()(2).FullName(), b);
  EXPECT_EQ(&app.Workbooks()(1).Parent(), &app);
  EXPECT_THROW(app.Workbooks()(3), host::HostError);
  EXPECT_THROW(app.Workbooks()(0), host::HostError);
}

class FakeWindow : public host::HostWindow {
 public:
  FakeWindow(host::Application& app, int* shows, int* closes) : app_(app), shows_(shows), closes_(closes) {}
  void Show() override { ++*shows_; }
  void Close() override { ++*closes_; }
  std::optional<host::Range> InputBox(std::string_view prompt, int type) override {
    EXPECT_EQ(prompt, "Highlight a block of cells with mouse");
    EXPECT_EQ(type, 8);
    if (app_.Workbooks().Count() == 0) return std::nullopt;  // "cancelled"
    host::Workbook& book = app_.Workbooks()(1);
    return book.ResolveRange("'Second'!A1:A2", book.ActiveSheet());
  }

 private:
  host::Application& app_;
  int* shows_;
  int* closes_;
};

TEST(Application, RelativePathsBecomeFullNames) {
  TempDir dir;
  std::string path = fixtures::WriteKeyColumn(dir, "rel.xlsx", {"1"});
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  host::Application app;
  host::Workbook& book = app.Workbooks().Open("./rel.xlsx");
  std::filesystem::current_path(previous);
  EXPECT_EQ(book.FullName(), std::filesystem::path(path).lexically_normal().string());
  book.Worksheets()[0]->Rows(1).SetHidden(true);
  book.Save();  // saves to the file it came from, whatever the working folder is now
  host::Application again;
  EXPECT_TRUE(again.Workbooks().Open(path).Worksheets()[0]->Rows(1).Hidden());
}

TEST(Application, WindowComesFromTheRegisteredFactory) {
  host::SetHostWindowFactory({});
  {
    host::Application app;
    try {
      app.SetVisible(true);
      FAIL() << "a window without a factory";
    } catch (const host::HostError& error) {
      EXPECT_STREQ(error.what(), "this host has no window");
    }
    EXPECT_FALSE(app.Visible());
    EXPECT_EQ(app.InputBox("Highlight a block of cells with mouse", 8), std::nullopt);
  }
  int shows = 0, closes = 0;
  host::SetHostWindowFactory([&](host::Application& app) { return std::make_unique<FakeWindow>(app, &shows, &closes); });
  TempDir dir;
  {
    host::Application app;
    EXPECT_EQ(app.InputBox("Highlight a block of cells with mouse", 8), std::nullopt);  // not shown yet
    app.SetVisible(true);
    EXPECT_TRUE(app.Visible());
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(app.InputBox("Highlight a block of cells with mouse", 8), std::nullopt);
    app.Workbooks().Open(fixtures::WriteMixedWorkbook(dir));
    std::optional<host::Range> block = app.InputBox("Highlight a block of cells with mouse", 8);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(block->Address(), "$A$1:$A$2");
    EXPECT_EQ(block->Worksheet().Name(), "Second");
    app.Quit();
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(app.Visible());
  }
  host::SetHostWindowFactory({});
}

TEST(Application, TwoInstancesOnTwoThreads) {
  TempDir dir;
  std::vector<std::string> keys;
  for (int i = 0; i < 3000; ++i) keys.push_back(std::to_string((i * 7919) % 3000));
  std::string a = fixtures::WriteKeyColumn(dir, "a.xlsx", keys);
  std::string b = fixtures::WriteKeyColumn(dir, "b.xlsx", keys);
  auto work = [](const std::string& path, int* failures) {
    try {
      for (int round = 0; round < 3; ++round) {
        host::Application app;
        host::Workbook& book = app.Workbooks().Open(path);
        host::Worksheet& sheet = *book.Worksheets()[0];
        sheet.UsedRange().Sort(host::Cells(1, 1));
        for (int r = 1; r <= 3000; r += 2) sheet.Rows(r).SetHidden(true);
        book.Save();
        app.Quit();
      }
      host::Application check;
      host::Worksheet& sheet = *check.Workbooks().Open(path).Worksheets()[0];
      for (int r = 1; r <= 3000; ++r)
        if (sheet.Cells(r, 1).Text() != std::to_string(r - 1) || sheet.Rows(r).Hidden() != (r % 2 == 1)) ++*failures;
    } catch (...) {
      ++*failures;
    }
  };
  int failuresA = 0, failuresB = 0;
  std::thread first(work, a, &failuresA);
  std::thread second(work, b, &failuresB);
  first.join();
  second.join();
  EXPECT_EQ(failuresA, 0);
  EXPECT_EQ(failuresB, 0);
}

}  // namespace
