// The sample record and the loading of the samples.
#include "FileListFixtures.h"
#include "app/shell/ErrorReport.h"
#include "app/shell/ProgramFolder.h"
#include "filelist/FileListModel.h"
#include "filelist/SampleFiles.h"
#include "support/ScriptedMessages.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

using namespace tabulory;
using namespace tabulory::testing;

namespace {

class SampleFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramFolder(program.Root());
    sales = program.File("Samples/Sales.xlsx");
    contacts = program.File("Samples/Contacts.xlsx");
    stock = program.File("Samples/Stock.xlsx");
  }
  void TearDown() override { SetProgramFolder(QString()); }
  void Load() { PushButton3_Click(list, settings.store(), messages, opener); }

  TempTree program;
  QString sales, contacts, stock;
  FileListModel list;
  TempSettings settings;
  ScriptedMessages messages;
  RecordingOpener opener;
};

}  // namespace

TEST(SnapshotScramble, RoundTripsAndIsNotPlainText) {
  for (const QString& plain : {QString(), QString("/opt/tabulory/Samples/a.xlsx|/opt/b.xlsx"),
                               QString("/домой/Ж.xlsx|/x/報告.xlsx")}) {
    const QString stored = ScrambleSnapshot(plain);
    EXPECT_FALSE(stored.isEmpty());  // an empty record is still a record
    if (!plain.isEmpty()) {
      EXPECT_FALSE(stored.contains("xlsx"));
    }
    EXPECT_EQ(UnscrambleSnapshot(stored), plain);
  }
  EXPECT_NE(ScrambleSnapshot("aaaa").mid(2, 4), ScrambleSnapshot("bbbb").mid(2, 4));
}

TEST(SnapshotScramble, DamagedTextsDoNotUnscramble) {
  const QString good = ScrambleSnapshot("/opt/Samples/a.xlsx");
  EXPECT_FALSE(UnscrambleSnapshot("/opt/Samples/a.xlsx").has_value());  // plain text
  EXPECT_FALSE(UnscrambleSnapshot(good.left(good.size() - 4)).has_value());
  QString flipped = good;
  flipped[5] = flipped[5] == u'A' ? u'B' : u'A';
  EXPECT_FALSE(UnscrambleSnapshot(flipped).has_value());
  EXPECT_FALSE(UnscrambleSnapshot("T1!!!").has_value());
  EXPECT_FALSE(UnscrambleSnapshot("T1").has_value());
}

TEST_F(SampleFilesTest, RecordHoldsTheFullPathsOfTheFilesNowInTheFolder) {
  program.Folder("Samples/Sub");  // folders are not samples
  RecordSampleFiles(settings.store());
  const QString stored = settings.store().Read("Snapshot");
  EXPECT_FALSE(stored.contains("Sales"));
  EXPECT_EQ(UnscrambleSnapshot(stored), QStringList({contacts, sales, stock}).join('|'));
}

TEST_F(SampleFilesTest, LoadingTwiceAddsEachOnceAndAlwaysAsks) {
  RecordSampleFiles(settings.store());
  list.AddEntry("/mine.xlsx");
  messages.answers = {MessageAnswer::No, MessageAnswer::Yes};
  Load();
  Load();
  EXPECT_EQ(list.Texts(), QStringList({"/mine.xlsx", contacts, sales, stock}));
  ASSERT_EQ(messages.shown.size(), 2u);
  for (const ShownMessage& m : messages.shown) {
    EXPECT_EQ(m.text, "Would you like this software to open the folder where these sample files "
                      "are stored (so that you can view them before working with them)?");
    EXPECT_EQ(m.buttons, MessageButtons::YesNo);
    EXPECT_EQ(m.icon, MessageIcon::None);
    EXPECT_EQ(m.caption, messages.ShortTitle());
  }
  // No the first time, Yes the second.
  EXPECT_EQ(opener.opened, QStringList({program.Path("Samples/")}));
}

TEST_F(SampleFilesTest, DeletedSampleSkippedAndLaterCopiedFileNotLoaded) {
  RecordSampleFiles(settings.store());
  QFile::remove(contacts);
  program.File("Samples/Copied later.xlsx");
  Load();
  EXPECT_EQ(list.Texts(), QStringList({sales, stock}));
  EXPECT_EQ(messages.shown.size(), 1u);  // the question only
}

TEST_F(SampleFilesTest, MovedProgramFolderFindsNothingButStillAsks) {
  RecordSampleFiles(settings.store());
  TempTree moved;
  QDir().rename(program.Path("Samples"), moved.Path("Samples"));
  SetProgramFolder(moved.Root());
  Load();
  EXPECT_EQ(list.Count(), 0);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(opener.opened, QStringList({moved.Path("Samples/")}));  // the new place
}

TEST_F(SampleFilesTest, EmptyFolderAndMissingRecordAddNothingButAsk) {
  TempTree empty;
  SetProgramFolder(empty.Root());
  RecordSampleFiles(settings.store());
  EXPECT_FALSE(settings.store().Read("Snapshot").isEmpty());
  EXPECT_EQ(UnscrambleSnapshot(settings.store().Read("Snapshot")), "");
  Load();
  TempSettings none;
  PushButton3_Click(list, none.store(), messages, opener);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(messages.shown.size(), 2u);
}

TEST_F(SampleFilesTest, RecordThatDoesNotUnscrambleIsReportedAndListKept) {
  settings.store().Write("Snapshot", "not a record");
  list.AddEntry("/mine.xlsx");
  Load();
  EXPECT_EQ(list.Texts(), QStringList({"/mine.xlsx"}));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].caption, "Application Error");
  EXPECT_TRUE(messages.shown[0].text.contains(
      "\r\nin Tabulorix2021/08/31.Form1.PushButton3_Click at line 100\r\r"));
  EXPECT_TRUE(opener.opened.isEmpty());
}

TEST_F(SampleFilesTest, StartUpRecordsOnlyWhenNoneIsStored) {
  GuardedProcedure load(messages, "in Tabulorix2021/08/31.Form1.Form_Load ");
  EnsureSampleRecord(load, settings.store());
  const QString first = settings.store().Read("Snapshot");
  EXPECT_EQ(UnscrambleSnapshot(first), QStringList({contacts, sales, stock}).join('|'));
  program.File("Samples/New.xlsx");
  EnsureSampleRecord(load, settings.store());  // a later start keeps the record
  EXPECT_EQ(settings.store().Read("Snapshot"), first);
  EXPECT_TRUE(messages.shown.empty());
}

TEST(ShippedSamples, BuildTreeHoldsThreeToFiveWorkbooksThatAreRecorded) {
  const QString program = QStringLiteral(TABULORY_PROGRAM_BUILD_DIR);
  SetProgramFolder(program);
  TempSettings settings;
  RecordSampleFiles(settings.store());
  SetProgramFolder(QString());
  const auto plain = UnscrambleSnapshot(settings.store().Read("Snapshot"));
  ASSERT_TRUE(plain.has_value());
  const QStringList paths = plain->split('|');
  EXPECT_GE(paths.size(), 3);
  EXPECT_LE(paths.size(), 5);
  for (const QString& path : paths) {
    EXPECT_TRUE(path.startsWith(program + "/Samples/")) << path.toStdString();
    EXPECT_TRUE(path.endsWith(".xlsx")) << path.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(2), "PK");  // a zip package
    EXPECT_GT(file.size(), 1000);
  }
}
