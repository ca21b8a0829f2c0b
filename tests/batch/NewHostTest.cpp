// A new host instance per file: invisible, the workbook open in it, a new one
// on every call, failures passed on with the host's description.
#include "app/EmbeddedHostFactory.h"
#include "batch/HostFactory.h"
#include "batch/HostRunning.h"
#include "batch/NewHost.h"
#include "host/core/Application.h"
#include "host/core/HostError.h"
#include "host/core/Workbook.h"
#include "host/core/Workbooks.h"
#include "support/BlockWorkbook.h"
#include "support/DialogDriver.h"
#include "support/HostFactories.h"
#include "support/ScriptedMessages.h"
#include "support/WidgetApp.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace tabulory;
using tabulory::testing::ScriptedMessages;
using tabulory::testing::WriteBlockWorkbook;

namespace {

// Makes real instances and keeps an eye on each without keeping it alive.
class RecordingFactory : public HostFactory {
 public:
  std::shared_ptr<host::Application> Create() override {
    for (const auto& earlier : made)
      if (auto app = earlier.lock(); app && !app->HasQuit()) ++overlaps;
    auto app = std::make_shared<host::Application>();
    made.push_back(app);
    return app;
  }
  std::vector<std::weak_ptr<host::Application>> made;
  int overlaps = 0;  // creations while an earlier instance was still running
};

class NewHostTest : public ::testing::Test {
 protected:
  QString Workbook(const char* name) {
    const QString path = dir_.filePath(name);
    WriteBlockWorkbook(path.toStdString());
    return path;
  }
  QTemporaryDir dir_;
};

QByteArray Fingerprint(const QString& path) {
  QFile f(path);
  f.open(QIODevice::ReadOnly);
  return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) +
         QFileInfo(path).lastModified().toString(Qt::ISODateWithMs).toUtf8();
}

}  // namespace

TEST_F(NewHostTest, OpensTheWorkbookInAnInvisibleInstance) {
  const QString path = Workbook("one.xlsx");
  RecordingFactory factory;
  auto app = OpenWorkbookInNewHost(path, factory);
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(factory.made.size(), 1u);
  EXPECT_EQ(factory.made[0].lock(), app);
  EXPECT_FALSE(app->Visible());
  ASSERT_EQ(app->Workbooks().Count(), 1);
  EXPECT_EQ(app->Workbooks()(app->Workbooks().Count()).FullName(), path.toStdString());
  app->Quit();
}

TEST_F(NewHostTest, EveryCallGetsAnInstanceOfItsOwnEvenWhileAnotherRuns) {
  const QString a = Workbook("a.xlsx"), b = Workbook("b.xlsx");
  RecordingFactory factory;
  auto first = OpenWorkbookInNewHost(a, factory);
  auto second = OpenWorkbookInNewHost(b, factory);
  EXPECT_NE(first.get(), second.get());
  EXPECT_EQ(first->Workbooks().Count(), 1);  // b did not go into the running one
  EXPECT_EQ(second->Workbooks().Count(), 1);
  EXPECT_EQ(second->Workbooks()(1).FullName(), b.toStdString());
  first->Quit();
  second->Quit();
}

TEST_F(NewHostTest, TwoFilesOfARunUseTwoInstancesOneAfterTheOther) {
  const QStringList files = {Workbook("a.xlsx"), Workbook("b.xlsx")};
  RecordingFactory factory;
  for (const QString& path : files) {
    auto app = OpenWorkbookInNewHost(path, factory);
    host::Workbook& wb = app->Workbooks()(app->Workbooks().Count());
    EXPECT_EQ(wb.FullName(), path.toStdString());
    wb.Save();
    app->Quit();
  }
  EXPECT_EQ(factory.made.size(), 2u);
  EXPECT_EQ(factory.overlaps, 0);
  EXPECT_TRUE(factory.made[0].expired());
  EXPECT_TRUE(factory.made[1].expired());

  // Leaving an instance running while the next file opens is what the count sees.
  auto running = OpenWorkbookInNewHost(files[0], factory);
  auto next = OpenWorkbookInNewHost(files[1], factory);
  EXPECT_EQ(factory.overlaps, 1);
}

TEST_F(NewHostTest, FailuresPassToTheCallerWithTheHostsDescription) {
  RecordingFactory factory;
  const QString missing = dir_.filePath("missing.xlsx");
  try {
    OpenWorkbookInNewHost(missing, factory);
    FAIL() << "opening a missing file succeeded";
  } catch (const host::HostError& e) {
    EXPECT_NE(std::string(e.what()).find("missing.xlsx"), std::string::npos) << e.what();
  }
  ASSERT_EQ(factory.made.size(), 1u);
  EXPECT_TRUE(factory.made[0].expired());  // the instance made for the call was released

  const QString notAWorkbook = dir_.filePath("notes.xlsx");
  std::ofstream(notAWorkbook.toStdString()) << "just text";
  EXPECT_THROW(OpenWorkbookInNewHost(notAWorkbook, factory), host::HostError);
  EXPECT_EQ(Fingerprint(notAWorkbook).left(32),
            QCryptographicHash::hash("just text", QCryptographicHash::Sha256));
}

TEST_F(NewHostTest, NoInstanceIsAFailureWithADescription) {
  const QString path = Workbook("one.xlsx");
  tabulory::testing::FailingHostFactory none;  // gives no instance
  try {
    OpenWorkbookInNewHost(path, none);
    FAIL() << "a missing host went unnoticed";
  } catch (const host::HostError& e) {
    EXPECT_STREQ(e.what(), "The spreadsheet host could not be started.");
  }
  tabulory::testing::ThrowingHostFactory failing;
  try {
    OpenWorkbookInNewHost(path, failing);
    FAIL() << "a failing host went unnoticed";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "cannot start the host");  // the host's own words
  }
}

TEST_F(NewHostTest, DecliningTheQuestionTouchesNoFile) {
  // The start of a run: the question first, then the files, only if it goes on.
  const QStringList files = {Workbook("a.xlsx"), Workbook("b.xlsx")};
  const QByteArray before0 = Fingerprint(files[0]), before1 = Fingerprint(files[1]);
  QTemporaryDir proc;
  const std::filesystem::path calc = proc.filePath("4711").toStdString();
  std::filesystem::create_directories(calc);
  std::ofstream(calc / "status") << "Name:\tsoffice.bin\nState:\tS (sleeping)\nUid:\t1000\t1000\n";
  std::ofstream(calc / "comm") << "soffice.bin\n";
  const ProcessTable table{proc.path().toStdString(), 1000, 0};

  ScriptedMessages messages;
  messages.answers = {MessageAnswer::No};
  RecordingFactory factory;
  if (!AskStopIfHostRunning(messages, table)) {
    for (const QString& path : files) {
      auto app = OpenWorkbookInNewHost(path, factory);
      app->Workbooks()(1).Save();
      app->Quit();
    }
  }
  EXPECT_EQ(messages.shown.size(), 1u);
  EXPECT_TRUE(factory.made.empty());
  EXPECT_EQ(Fingerprint(files[0]), before0);
  EXPECT_EQ(Fingerprint(files[1]), before1);
}

TEST_F(NewHostTest, ProgramsHostShowsItsOwnWindowWhenMadeVisible) {
  tabulory::testing::EnsureApplication();
  host::SetHostWindowFactory({});
  EmbeddedHostFactory hosts;
  auto app = OpenWorkbookInNewHost(Workbook("shown.xlsx"), hosts);
  EXPECT_EQ(tabulory::testing::ShownHostWindow(), nullptr);
  app->SetVisible(true);
  host::ui::HostMainWindow* window = tabulory::testing::ShownHostWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->windowTitle().startsWith("shown.xlsx"));
  app->Quit();
  EXPECT_EQ(tabulory::testing::ShownHostWindow(), nullptr);
  host::SetHostWindowFactory({});
}
