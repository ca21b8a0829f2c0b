// Day serials of the two date systems and the ISO text formats write dates
// in: one rule for every format, and what the number formats show of it.
#include <gtest/gtest.h>

#include "host/core/DateSerial.h"
#include "host/core/NumberFormat.h"

TEST(DateSerial, IsoTextToSerialsInBothSystemsShowsTheSameDayAndBack) {
  struct Case {
    const char* text;
    bool date1904;
    bool ok;
    double serial;
    const char* written;  // the serial's ISO text as writers get it back ("" when it has none)
  } cases[] = {
      {"1900-01-01", false, true, 1, "1900-01-01"},
      {"1900-02-28", false, true, 59, "1900-02-28"},
      {"1900-03-01", false, true, 61, "1900-03-01"},
      {"2024-02-29T18:00:00", false, true, 45351.75, "2024-02-29T18:00:00"},
      {"2024-02-29 06:00", false, true, 45351.25, "2024-02-29T06:00:00"},
      {"2024-03-05T12:00:00Z", false, true, 45356.5, "2024-03-05T12:00:00"},
      {"2024-03-05T12:00:00.5+02:00", false, true, 45356.5 + 0.5 / 86400, "2024-03-05T12:00:00.500"},
      {"12:00", false, true, 0.5, ""},  // no day: not written back as a date
      {"1904-01-02", true, true, 1, "1904-01-02"},
      {"2023-02-29", false, false, 0, ""},
      {"2024-13-01", false, false, 0, ""},
      {"2024-01-01T25:00", false, false, 0, ""},
      {"2024-01-01x", false, false, 0, ""},
      {"yesterday", false, false, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    double serial = -1;
    EXPECT_EQ(host::IsoDateToSerial(c.text, c.date1904, serial), c.ok);
    if (!c.ok) continue;
    EXPECT_DOUBLE_EQ(serial, c.serial);
    // The number formats show the day the text names, before March 1900 too.
    const std::string day = std::string(c.text).substr(0, 10);
    if (day[4] == '-') {
      EXPECT_EQ(host::FormatNumber(serial, "yyyy-mm-dd", c.date1904), day);
    }
    std::string written;
    EXPECT_EQ(host::IsoTextOfSerial(serial, c.date1904, written), *c.written != '\0');
    if (*c.written) {
      EXPECT_EQ(written, c.written);
    }
  }
}
