// The options panel's logic: the column box check and the settings it writes
// and reads.
#include "app/shell/ErrorReport.h"
#include "options/OptionsPanel.h"
#include "options/OptionsSource.h"
#include "support/ScriptedMessages.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

using namespace tabulory;
using tabulory::testing::ScriptedMessages;
using tabulory::testing::TempSettings;

namespace {
ColumnCheck Check(const QString& text, ScriptedMessages& messages) {
  return CheckColumnEntry(text, messages);
}
}  // namespace

TEST(ColumnBox, LettersAreCapitalised) {
  ScriptedMessages messages;
  for (const auto& [typed, shown] : std::initializer_list<std::pair<QString, QString>>{
           {"b", "B"}, {"B", "B"}, {"iv", "IV"}, {"Aa", "AA"}, {"iu", "IU"}}) {
    const ColumnCheck c = Check(typed, messages);
    EXPECT_EQ(c.text, shown);
    EXPECT_TRUE(c.replaced);
    EXPECT_FALSE(c.refocus);
  }
  EXPECT_TRUE(messages.shown.empty());
}

TEST(ColumnBox, NumbersBecomeLetters) {
  ScriptedMessages messages;
  EXPECT_EQ(Check("28", messages).text, "AB");
  EXPECT_EQ(Check(" 1 ", messages).text, "A");
  EXPECT_EQ(Check("256", messages).text, "IV");
  EXPECT_EQ(Check("27.5", messages).text, "AB");  // halves to even: 28
  EXPECT_EQ(Check("28.5", messages).text, "AB");  // 28
  EXPECT_EQ(Check("2.6", messages).text, "C");
  EXPECT_EQ(Check("0", messages).text, "Z");
  EXPECT_EQ(Check("-5", messages).text, "");
  EXPECT_TRUE(messages.shown.empty());
}

TEST(ColumnBox, NumberAboveLimitEmptiesTheBoxAfterItsMessage) {
  ScriptedMessages messages;
  for (const char* typed : {"300", "256.6", "1e300"}) {
    messages.shown.clear();
    const ColumnCheck c = Check(QString::fromLatin1(typed), messages);
    EXPECT_EQ(c.text, "") << typed;
    EXPECT_TRUE(c.replaced);
    EXPECT_FALSE(c.refocus);
    ASSERT_EQ(messages.Texts(), QStringList{"Number is higher than number of columns."}) << typed;
  }
}

TEST(ColumnBox, InvalidEntryKeepsTextAndAsksForFocus) {
  ScriptedMessages messages;
  messages.SetShortTitle("Tabulory Short");
  for (const char* typed : {"IW", "iw", "", "A1", "ZZ", "A B", "Ä"}) {
    messages.shown.clear();
    const ColumnCheck c = Check(QString::fromUtf8(typed), messages);
    EXPECT_EQ(c.text, QString::fromUtf8(typed));
    EXPECT_FALSE(c.replaced);
    EXPECT_TRUE(c.refocus);
    ASSERT_EQ(messages.shown.size(), 1u) << typed;
    EXPECT_EQ(messages.shown[0].text, "Invalid column entry.");
    EXPECT_EQ(messages.shown[0].caption, "Tabulory Short");
    EXPECT_EQ(messages.shown[0].buttons, MessageButtons::Ok);
  }
}

TEST(OptionsPanel, EveryChoiceIsWrittenAtOnce) {
  TempSettings settings;
  OptionsPanel panel(settings.store());
  panel.OperationChosen(Operation::Sort);
  EXPECT_EQ(settings.Reopen()->Read("Option"), "2");
  panel.OperationChosen(Operation::Filter);
  EXPECT_EQ(settings.Reopen()->Read("Option"), "1");
  panel.ScopeChosen(Scope::ActiveSheet);
  EXPECT_EQ(settings.Reopen()->Read("Type"), "2");
  panel.ScopeChosen(Scope::BlockOfCells);
  EXPECT_EQ(settings.Reopen()->Read("Type"), "3");
  panel.ScopeChosen(Scope::EntireWorkbook);
  EXPECT_EQ(settings.Reopen()->Read("Type"), "1");
  panel.CriterionChosen(3);
  EXPECT_EQ(settings.Reopen()->Read("NewCombo2"), "3");
  panel.ColumnTextChanged("x1 y");
  EXPECT_EQ(settings.Reopen()->Read("Column"), "x1 y");
  panel.ValueTextChanged("");
  EXPECT_EQ(settings.Reopen()->Read("Value", "unset"), "");
}

TEST(OptionsPanel, StartUpReadsWithDefaults) {
  TempSettings settings;
  OptionsPanel panel(settings.store());
  EXPECT_TRUE(panel.StoredOperationIsFilter());
  EXPECT_TRUE(panel.StoredScopeIs(Scope::EntireWorkbook));
  EXPECT_FALSE(panel.StoredScopeIs(Scope::ActiveSheet));
  EXPECT_EQ(panel.StoredCriterionIndex(), 0);
  EXPECT_EQ(panel.StoredColumn(), "A");
  EXPECT_EQ(panel.StoredValue(), "");
}

TEST(OptionsPanel, StoredOperationAndScopeUseTheLeadingNumber) {
  TempSettings settings;
  OptionsPanel panel(settings.store());
  for (const char* sortText : {"2", "0", "abc", "", "12", "-1", "1.5"}) {
    settings.store().Write("Option", sortText);
    EXPECT_FALSE(panel.StoredOperationIsFilter()) << sortText;
  }
  for (const char* filterText : {"1", "1abc", " 1", "1.0"}) {
    settings.store().Write("Option", filterText);
    EXPECT_TRUE(panel.StoredOperationIsFilter()) << filterText;
  }
  settings.store().Write("Type", "4");
  for (Scope s : {Scope::EntireWorkbook, Scope::ActiveSheet, Scope::BlockOfCells})
    EXPECT_FALSE(panel.StoredScopeIs(s));
  settings.store().Write("Type", "3x");
  EXPECT_TRUE(panel.StoredScopeIs(Scope::BlockOfCells));
}

TEST(OptionsPanel, StoredCriterionIsRoundedOrRefused) {
  TempSettings settings;
  OptionsPanel panel(settings.store());
  const std::pair<const char*, int> good[] = {{"0", 0}, {"3", 3}, {" 2 ", 2}, {"1.5", 2},
                                              {"2.5", 2}, {"0.4", 0}, {"-0.4", 0}};
  for (const auto& [text, index] : good) {
    settings.store().Write("NewCombo2", text);
    EXPECT_EQ(panel.StoredCriterionIndex(), index) << text;
  }
  for (const char* bad : {"x", "", "1x", "4", "-1", "3.5", "99999999999"}) {
    settings.store().Write("NewCombo2", bad);
    EXPECT_THROW(panel.StoredCriterionIndex(), ProcedureError) << bad;
  }
  settings.store().Write("NewCombo2", "x");
  try {
    panel.StoredCriterionIndex();
  } catch (const ProcedureError& e) {
    EXPECT_NE(std::string(e.what()).find("\"x\""), std::string::npos) << e.what();
  }
}

TEST(OptionsSource, ReadGathersEveryChoice) {
  ProcessingOptions o;
  o.operation = Operation::Sort;
  o.scope = Scope::ActiveSheet;
  o.sortColumn = 3;
  o.filterColumn = "C";
  o.criterion = kContains;
  o.value = "x";
  const FixedOptions source(o);
  EXPECT_EQ(source.Read(), o);
  EXPECT_EQ(VisibilityFor(Operation::Sort).sortColumnList, true);
  EXPECT_EQ(VisibilityFor(Operation::Sort).filterFrame, false);
  EXPECT_EQ(VisibilityFor(Operation::Filter).filterFrame, true);
  EXPECT_EQ(VisibilityFor(Operation::Filter).sortColumnList, false);
}
