// The shell's core: error report text and continuation, settings store, short title.
#include "app/shell/ErrorReport.h"
#include "app/shell/SettingsStore.h"
#include "app/shell/ShortTitle.h"
#include "host/core/HostError.h"
#include "support/ScriptedMessages.h"
#include "support/TempSettings.h"

#include <QFile>
#include <functional>
#include <gtest/gtest.h>
#include <regex>

using namespace tabulory;
using tabulory::testing::ScriptedMessages;
using tabulory::testing::TempSettings;

namespace {
const QString kLoad = QStringLiteral("in Tabulorix2021/08/31.Form1.Form_Load ");
}

TEST(ErrorReport, TextIsDescriptionLocationLineAndSupportRequest) {
  const QString text = ProcedureErrorText(kLoad, 168, QStringLiteral("Type mismatch"));
  EXPECT_EQ(text, QStringLiteral("Type mismatch\r\nin Tabulorix2021/08/31.Form1.Form_Load at line 168"
                                 "\r\rPlease email screenshot of this message to ") +
                      SupportAddress());
  EXPECT_TRUE(SupportAddress().contains('@'));
}

TEST(ErrorReport, FailingStatementIsReportedAndProcedureGoesOn) {
  ScriptedMessages messages;
  GuardedProcedure p(messages, kLoad);
  std::vector<int> ran;
  p.Do(100, [&] { throw ProcedureError(QStringLiteral("first")); });
  p.Do(102, [&] { ran.push_back(102); });
  p.Do(104, [&] { ran.push_back(104); throw std::runtime_error("second"); });
  p.Do(106, [&] { ran.push_back(106); });
  EXPECT_EQ(ran, (std::vector<int>{102, 104, 106}));
  ASSERT_EQ(messages.shown.size(), 2u);  // one report per failing statement
  EXPECT_TRUE(messages.shown[0].text.startsWith("first\r\n"));
  EXPECT_TRUE(messages.shown[0].text.contains("at line 100\r\r"));
  EXPECT_TRUE(messages.shown[1].text.contains("at line 104\r\r"));
  EXPECT_EQ(messages.shown[1].caption, "Application Error");
  EXPECT_EQ(messages.shown[1].icon, MessageIcon::Warning);
  EXPECT_EQ(messages.shown[1].buttons, MessageButtons::Ok);
  EXPECT_EQ(p.FailureCount(), 2);
}

// Only the program's own failures show their words; a library's never do.
TEST(ErrorReport, DescriptionShowsOnlyOurOwnWords) {
  const std::pair<std::function<void()>, QString> cases[] = {
      {[] { throw host::HostError("a.xlsx is locked."); }, "a.xlsx is locked."},
      {[] { throw ProcedureError(QStringLiteral("Bad path")); }, "Bad path"},
      {[] { throw std::regex_error(std::regex_constants::error_brack); }, "An unexpected internal failure occurred"},
      {[] { throw std::runtime_error("basic_string::_M_create"); }, "An unexpected internal failure occurred"},
      {[] { throw std::bad_alloc(); }, "Out of memory"},
  };
  for (const auto& [raise, expected] : cases) {
    try {
      raise();
    } catch (...) {
      EXPECT_EQ(CurrentExceptionDescription(), expected);
    }
  }
}

TEST(ErrorReport, FailingConditionalTestRunsThenBranch) {
  ScriptedMessages messages;
  GuardedProcedure p(messages, kLoad);
  EXPECT_TRUE(p.If(134, [&]() -> bool { throw ProcedureError(QStringLiteral("bad read")); }));
  EXPECT_FALSE(p.If(136, [] { return false; }));
  EXPECT_TRUE(p.If(138, [] { return true; }));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_TRUE(messages.shown[0].text.contains("at line 134"));
}

TEST(ErrorReport, ValueGivesFallbackOnFailure) {
  ScriptedMessages messages;
  GuardedProcedure p(messages, kLoad);
  EXPECT_EQ(p.Value<int>(110, [] { return 7; }, -1), 7);
  EXPECT_EQ(p.Value<int>(112, []() -> int { throw ProcedureError(QStringLiteral("x")); }, -1), -1);
  EXPECT_EQ(messages.shown.size(), 1u);
}

TEST(SettingsStore, ReadsDefaultsUntilWrittenAndKeepsTextsAcrossReopen) {
  TempSettings settings;
  EXPECT_EQ(settings.store().Read("Column", "A"), "A");
  EXPECT_EQ(settings.store().Read("Value"), "");
  settings.store().Write("Column", "b, c;d=e");
  settings.store().Write("Value", " leading and trailing ");
  settings.store().Write("Option", "2");
  auto again = settings.Reopen();
  EXPECT_EQ(again->Read("Column", "A"), "b, c;d=e");
  EXPECT_EQ(again->Read("Value"), " leading and trailing ");
  EXPECT_EQ(again->Read("Option", "1"), "2");
  // Keys live in the [Tabulory] section of the file.
  QFile file(settings.filePath());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.readAll().contains("[Tabulory]"));
}

TEST(SettingsStore, GarbageOrUnreadableFileGivesDefaults) {
  TempSettings settings;
  {
    QFile file(settings.filePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\x01\x02[[[not ini\n\xff\xfe=\n[Tabulory\nOption\n");
  }
  auto store = settings.Reopen();
  EXPECT_EQ(store->Read("Option", "1"), "1");
  EXPECT_EQ(store->Read("Column", "A"), "A");
  // A store whose folder cannot exist (its parent is a plain file).
  QFile blocker(settings.filePath() + ".blocker");
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  IniSettingsStore missing(blocker.fileName() + "/Carvenel.ini");
  EXPECT_EQ(missing.Read("Type", "1"), "1");
  missing.Write("Type", "2");  // cannot be written: no crash
}

TEST(SettingsStore, LeadingNumber) {
  EXPECT_EQ(LeadingNumber("2"), 2);
  EXPECT_EQ(LeadingNumber("3abc"), 3);
  EXPECT_EQ(LeadingNumber("abc"), 0);
  EXPECT_EQ(LeadingNumber(""), 0);
  EXPECT_EQ(LeadingNumber(" 1"), 1);
  EXPECT_EQ(LeadingNumber("-4"), -4);
  EXPECT_EQ(LeadingNumber("1.5"), 1.5);
}

TEST(ShortTitle, CutsLastWordAtLeastOnceThenWhileLongerThan40) {
  EXPECT_EQ(SetShortTitle("Tabulory"), "Tabulory");  // nothing to cut
  EXPECT_EQ(SetShortTitle("Tabulory Batch Sorter"), "Tabulory Batch");
  const QString longTitle = "Tabulory sorts and filters the rows of many workbooks at once";
  const QString cut = SetShortTitle(longTitle);
  EXPECT_LE(cut.size(), 40);
  EXPECT_EQ(cut, "Tabulory sorts and filters the rows of");
}
