// Typing of CSV fields as a spreadsheet program types them on opening.
#include <gtest/gtest.h>

#include "host/formats/csv/CsvValue.h"

using host::csv::CsvKind;
using host::csv::TypeField;

TEST(CsvValue, TypesFieldsAsASpreadsheetDoes) {
  struct Case {
    const char* text;
    CsvKind kind;
    double number;
  } cases[] = {
      {"", CsvKind::Empty, 0},
      {"007", CsvKind::Number, 7},
      {" -12.5e2 ", CsvKind::Number, -1250},
      {"+.5", CsvKind::Number, 0.5},
      {"1,234,567.25", CsvKind::Number, 1234567.25},
      {"1,23", CsvKind::Text, 0},
      {"1234,567", CsvKind::Text, 0},
      {",123", CsvKind::Text, 0},
      {"(42)", CsvKind::Number, -42},
      {"12.5%", CsvKind::Number, 0.125},
      {"%", CsvKind::Text, 0},
      {"1900-01-01", CsvKind::Number, 1},
      {"1900-03-01", CsvKind::Number, 61},
      {"2024-02-29", CsvKind::Number, 45351},
      {"2024-02-29 12:00", CsvKind::Number, 45351.5},
      {"2024-02-29T06:00:00.5", CsvKind::Number, 45351.25 + 0.5 / 86400},
      {"2023-02-29", CsvKind::Text, 0},
      {"1899-12-31", CsvKind::Text, 0},
      {"2024-13-01", CsvKind::Text, 0},
      {"true", CsvKind::Boolean, 1},
      {"FALSE", CsvKind::Boolean, 0},
      {"#N/A", CsvKind::Error, 0},
      {"#div/0!", CsvKind::Error, 0},
      {"-", CsvKind::Text, 0},
      {"1e", CsvKind::Text, 0},
      {"12abc", CsvKind::Text, 0},
      {"   ", CsvKind::Text, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto v = TypeField(c.text);
    EXPECT_EQ(v.kind, c.kind);
    EXPECT_DOUBLE_EQ(v.number, c.number);
  }
}

// Numbers and dates in the user's locale, as a spreadsheet program opening
// the file there types them; ISO dates and plain numbers everywhere.
TEST(CsvValue, TypesNumbersAndDatesInTheUsersLocale) {
  const auto german = host::LocaleConventions::Of("de_DE.UTF-8", "de_DE.UTF-8");
  const auto us = host::LocaleConventions::Of("en_US.UTF-8", "en_US.UTF-8");
  const auto c = host::LocaleConventions::Of("C", "POSIX");
  struct Case {
    const host::LocaleConventions* locale;
    const char* text;
    CsvKind kind;
    double number;
  } cases[] = {
      {&german, "0,5", CsvKind::Number, 0.5},
      {&german, "-3,25", CsvKind::Number, -3.25},
      {&german, "1.234,5", CsvKind::Number, 1234.5},
      {&german, "1.5", CsvKind::Text, 0},
      {&german, "20 \xE2\x82\xAC", CsvKind::Number, 20},
      {&german, "-1.234,50 \xE2\x82\xAC", CsvKind::Number, -1234.5},
      {&german, "12,5 %", CsvKind::Number, 0.125},
      {&german, "1.9.2023", CsvKind::Number, 45170},
      {&german, "01.10.23", CsvKind::Number, 45200},
      {&german, "9/1/2023", CsvKind::Text, 0},
      {&german, "2023-09-01", CsvKind::Number, 45170},
      {&german, "42", CsvKind::Number, 42},
      {&us, "9/1/2023", CsvKind::Number, 45170},
      {&us, "10/1/2023 12:00", CsvKind::Number, 45200.5},
      {&us, "13/1/2023", CsvKind::Text, 0},
      {&us, "1.9.2023", CsvKind::Text, 0},
      {&us, "$20", CsvKind::Number, 20},
      {&us, "-$1,234.50", CsvKind::Number, -1234.5},
      {&us, "($5)", CsvKind::Number, -5},
      {&us, "0,5", CsvKind::Text, 0},
      {&c, "9/1/2023", CsvKind::Text, 0},
      {&c, "\xC2\xA3" "7.5", CsvKind::Number, 7.5},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.text);
    auto v = TypeField(k.text, *k.locale);
    EXPECT_EQ(v.kind, k.kind);
    EXPECT_DOUBLE_EQ(v.number, k.number);
  }
}
