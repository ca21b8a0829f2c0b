// What OOXML parts store in their own ways: _xHHHH_ escapes in strings and
// ISO dates in cells.

#include <gtest/gtest.h>

#include "host/formats/ooxml/OoxmlEscapes.h"
#include "host/formats/ooxml/SheetData.h"

namespace {

TEST(OoxmlValues, EscapesBecomeCharacters) {
  EXPECT_EQ(host::ooxml::DecodeOoxmlEscapes("a_x000D__x000A_b_x005F_x"), "a\r\nb_x");
  EXPECT_EQ(host::ooxml::DecodeOoxmlEscapes("_xZZZZ_"), "_xZZZZ_");
}

TEST(OoxmlValues, IsoDatesBecomeSerials) {
  double serial = 0;
  ASSERT_TRUE(host::ooxml::SheetData::IsoDateToSerial("1900-01-01", false, serial));
  EXPECT_EQ(serial, 1);
  ASSERT_TRUE(host::ooxml::SheetData::IsoDateToSerial("1900-03-01T00:00:00", false, serial));
  EXPECT_EQ(serial, 61);  // after the 29 February 1900 the 1900 system counts
  ASSERT_TRUE(host::ooxml::SheetData::IsoDateToSerial("2024-03-05T12:00:00Z", false, serial));
  EXPECT_DOUBLE_EQ(serial, 45356.5);
  ASSERT_TRUE(host::ooxml::SheetData::IsoDateToSerial("1904-01-02", true, serial));
  EXPECT_EQ(serial, 1);
  EXPECT_FALSE(host::ooxml::SheetData::IsoDateToSerial("2024-13-01", false, serial));
  EXPECT_FALSE(host::ooxml::SheetData::IsoDateToSerial("yesterday", false, serial));
}

}  // namespace
