// Column letters and numbers, both ways, and the limit of 256 columns.
#include "options/ColumnReference.h"
#include "options/Numbers.h"
#include "support/ScriptedMessages.h"

#include <gtest/gtest.h>

using namespace tabulory;
using tabulory::testing::ScriptedMessages;

TEST(ColumnReference, NamedValues) {
  ScriptedMessages messages;
  const std::pair<int, const char*> cases[] = {{1, "A"},   {2, "B"},    {25, "Y"},  {26, "Z"},
                                               {27, "AA"}, {28, "AB"},  {52, "AZ"}, {53, "BA"},
                                               {78, "BZ"}, {79, "CA"},  {234, "HZ"}, {235, "IA"},
                                               {255, "IU"}, {256, "IV"}};
  for (const auto& [number, letters] : cases) {
    EXPECT_EQ(ColumnLettersFromNumber(number, messages), QString::fromLatin1(letters)) << number;
    EXPECT_EQ(ColumnNumberFromLetters(QString::fromLatin1(letters)), number) << letters;
  }
  EXPECT_TRUE(messages.shown.empty());
}

TEST(ColumnReference, EveryColumnRoundTripsAndLettersAreDistinct) {
  ScriptedMessages messages;
  QStringList seen;
  for (int n = 1; n <= ColumnLimit; ++n) {
    const QString letters = ColumnLettersFromNumber(n, messages);
    ASSERT_FALSE(letters.isEmpty()) << n;
    ASSERT_LE(letters.size(), 2) << n;
    EXPECT_EQ(ColumnNumberFromLetters(letters), n) << letters.toStdString();
    EXPECT_FALSE(seen.contains(letters)) << letters.toStdString();
    seen << letters;
  }
  EXPECT_TRUE(messages.shown.empty());
}

TEST(ColumnReference, AboveTheLimitShowsMessageEachTimeAndGivesEmpty) {
  ScriptedMessages messages;
  EXPECT_EQ(ColumnLettersFromNumber(257, messages), "");
  EXPECT_EQ(ColumnLettersFromNumber(100000, messages), "");
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[0].text, "Number is higher than number of columns.");
  EXPECT_EQ(messages.shown[0].buttons, MessageButtons::Ok);
  EXPECT_EQ(messages.shown[0].caption, messages.ShortTitle());  // no title of its own
}

TEST(ColumnReference, NumbersBelowOne) {
  ScriptedMessages messages;
  EXPECT_EQ(ColumnLettersFromNumber(0, messages), "Z");
  EXPECT_EQ(ColumnLettersFromNumber(-26, messages), "Z");
  EXPECT_EQ(ColumnLettersFromNumber(-52, messages), "Z");
  EXPECT_EQ(ColumnLettersFromNumber(-1, messages), "");
  EXPECT_EQ(ColumnLettersFromNumber(-27, messages), "");
  EXPECT_TRUE(messages.shown.empty());
}

TEST(ColumnReference, LettersAreCountedUnchecked) {
  EXPECT_EQ(ColumnNumberFromLetters(""), 0);
  EXPECT_EQ(ColumnNumberFromLetters("ZZ"), 702);
  EXPECT_EQ(ColumnNumberFromLetters("a"), 33);  // callers pass capitals
}

TEST(Numbers, WhichTextsAreNumbers) {
  EXPECT_EQ(ParseNumber("28"), 28.0);
  EXPECT_EQ(ParseNumber(" -3 "), -3.0);
  EXPECT_EQ(ParseNumber("+2.5"), 2.5);
  EXPECT_EQ(ParseNumber(".5"), 0.5);
  EXPECT_EQ(ParseNumber("5."), 5.0);
  EXPECT_EQ(ParseNumber("1e2"), 100.0);
  for (const char* text : {"", " ", "b", "A1", "1A", "1,5", "--1", "inf", "nan", "0x10", "1e", "."})
    EXPECT_FALSE(ParseNumber(QString::fromLatin1(text))) << text;
  EXPECT_FALSE(ParseNumber("1e999"));  // not a finite number
}

TEST(Numbers, HalvesRoundToEven) {
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(1.5), 2);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(27.5), 28);
  EXPECT_EQ(RoundHalfEven(28.5), 28);
  EXPECT_EQ(RoundHalfEven(2.4999), 2);
  EXPECT_EQ(RoundHalfEven(2.5001), 3);
  EXPECT_EQ(RoundHalfEven(-0.5), 0);
  EXPECT_EQ(RoundHalfEven(-1.5), -2);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
}
