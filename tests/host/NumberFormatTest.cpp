#include "host/core/NumberFormat.h"
#include "host/formats/BuiltinNumberFormats.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

struct Case {
    double value;
    const char* code;
    const char* expected;
};

void ExpectAll(const std::vector<Case>& cases, bool date1904 = false) {
    for (const auto& c : cases) {
        EXPECT_EQ(host::FormatNumber(c.value, c.code, date1904), c.expected)
            << "value " << c.value << " code [" << c.code << "]";
    }
}

std::string Builtin(int id) { return std::string(host::BuiltinFormatCode(id)); }

TEST(NumberFormatGeneral, StandardColumnWidth) {
    ExpectAll({
        {0, "", "0"},
        {1, "General", "1"},
        {-1, "general", "-1"},
        {0.1 + 0.2, "", "0.3"},
        {0.5, "", "0.5"},
        {1234567890123.0, "", "1.23457E+12"},
        {123456789012.0, "", "1.23457E+11"},
        {99999999999.0, "", "99999999999"},
        {12345678901.5, "", "12345678902"},
        {99999999999.6, "", "1E+11"},
        {123456.789012, "", "123456.789"},
        {3.14159265358979, "", "3.141592654"},
        {2.0 / 3.0, "", "0.666666667"},
        {0.0001, "", "0.0001"},
        {0.00001, "", "1E-05"},
        {0.00001234, "", "1.234E-05"},
        {-0.00001, "", "-1E-05"},
        {1e-10, "", "1E-10"},
        {-0.000123456789, "", "-0.000123457"},
        {1e15, "", "1E+15"},
        {1e100, "", "1E+100"},
        {1.23456789e-100, "", "1.2346E-100"},
        {-98765.4321, "", "-98765.4321"},
    });
}

TEST(NumberFormatBuiltin, CodesOfTheIds) {
    EXPECT_EQ(Builtin(0), "General");
    EXPECT_EQ(Builtin(3), "#,##0");
    EXPECT_EQ(Builtin(14), "m/d/yyyy");
    EXPECT_EQ(Builtin(13), "# ?\?/?\?");
    EXPECT_EQ(Builtin(49), "@");
    for (int id : {-1, 23, 24, 27, 36, 50, 81, 164}) EXPECT_TRUE(host::BuiltinFormatCode(id).empty()) << id;
    for (int id : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22,
                   37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49})
        EXPECT_FALSE(host::BuiltinFormatCode(id).empty()) << id;
}

TEST(NumberFormatBuiltin, ValuesUnderTheIds) {
    struct IdCase {
        double value;
        int id;
        const char* expected;
    };
    const std::vector<IdCase> cases = {
        {1234.5, 1, "1235"},
        {1234.567, 2, "1234.57"},
        {1234567.4, 3, "1,234,567"},
        {-1234.5, 4, "-1,234.50"},
        {1234, 5, "$1,234 "},
        {-1234, 5, "($1,234)"},
        {-1234, 6, "($1,234)"},
        {1234.5, 7, "$1,234.50 "},
        {-1234.5, 8, "($1,234.50)"},
        {0.125, 9, "13%"},
        {0.12345, 10, "12.35%"},
        {12345, 11, "1.23E+04"},
        {0.00012345, 11, "1.23E-04"},
        {0, 11, "0.00E+00"},
        {1.5, 12, "1 1/2"},
        {2.25, 12, "2 1/4"},
        {3.3333333333, 13, "3  1/3 "},
        {45000, 14, "3/15/2023"},
        {45000, 15, "15-Mar-23"},
        {45000, 16, "15-Mar"},
        {45000, 17, "Mar-23"},
        {0.75, 18, "6:00 PM"},
        {0.5 + 5.0 / 86400, 19, "12:00:05 PM"},
        {0.25, 20, "6:00"},
        {0.25, 21, "6:00:00"},
        {45000.75, 22, "3/15/2023 18:00"},
        {1234, 37, "1,234 "},
        {-1234, 37, "(1,234)"},
        {-1234, 38, "(1,234)"},
        {-1234.5, 39, "(1,234.50)"},
        {1234.5, 40, "1,234.50"},
        {1234, 41, " 1,234 "},
        {-1234, 42, " $(1,234)"},
        {1234.5, 44, " $1,234.50 "},
        {0, 44, " $-   "},
        {5.5 / 1440, 45, "05:30"},
        {1.5, 46, "36:00:00"},
        {65.4 / 86400, 47, "0105.4"},
        {12345, 48, "12.3E+3"},
        {0.001234, 48, "1.2E-3"},
        {12.5, 49, "12.5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(host::FormatNumber(c.value, host::BuiltinFormatCode(c.id), false), c.expected)
            << "value " << c.value << " id " << c.id;
}

TEST(NumberFormatCustom, PlaceholdersAndRounding) {
    ExpectAll({
        {2.675, "0.00", "2.68"},
        {1.005, "0.00", "1.01"},
        {2.5, "0", "3"},
        {-2.5, "0", "-3"},
        {999.5, "#,##0", "1,000"},
        {0.5, "#,##0.00", "0.50"},
        {0, "#,###", ""},
        {123456789, "000-00-0000", "123-45-6789"},
        {42, "00000", "00042"},
        {0.5, "#.##", ".5"},
        {5, "#.##", "5."},
        {1.2, "0.0#", "1.2"},
        {1.234, "0.0#", "1.23"},
        {1.5, "??.??", " 1.5 "},
        {12345.678, "#,##0.000", "12,345.678"},
        {1e20, "0", "100000000000000000000"},
    });
}

TEST(NumberFormatCustom, ScalingAndPercent) {
    ExpectAll({
        {1234567, "0.0,,", "1.2"},
        {1234567, "#,##0,", "1,235"},
        {1234567, "0.0,,\"M\"", "1.2M"},
        {1234, "0,", "1"},
        {0.5, "0%", "50%"},
        {0.1234, "0.0%", "12.3%"},
        {-0.5, "0%", "-50%"},
        {0.001, "0.0%%", "10.0%%"},
    });
}

TEST(NumberFormatCustom, SectionsAndConditions) {
    ExpectAll({
        {-5, "0;-0", "-5"},
        {-5, "0;0", "5"},
        {-3, "0.00;(0.00);\"zero\"", "(3.00)"},
        {0, "0.00;(0.00);\"zero\"", "zero"},
        {4, "0.00;(0.00);\"zero\"", "4.00"},
        {-5, "0;", ""},
        {0, "0;;\"z\"", "z"},
        {7, ";;;", ""},
        {150, "[>100]\"big\";[<=-5]\"neg\";\"mid\"", "big"},
        {-10, "[>100]\"big\";[<=-5]\"neg\";\"mid\"", "neg"},
        {50, "[>100]\"big\";[<=-5]\"neg\";\"mid\"", "mid"},
        {-1.5, "[Red]0.00", "-1.50"},
        {5, "[Color10]0", "5"},
        {-5, "[Blue]0;[Red]0", "5"},
        {50, "[>=100]0.0;0", "50"},
        {150, "[>=100]0.0;0", "150.0"},
        {-7, "[>=100]0.0;0", "7"},
        {-7, "[<0]\"minus \"0;0", "-minus 7"},
        // a condition's section of literals alone shows them without a minus
        {-5, "[<0]\"\"", ""},
        {-5, "[<0]\"\";0", ""},
        {-5, "[<0]\"neg\";0;\"zero\"", "neg"},
        {-5, "[<=-1]\"x\"", "x"},
        {5, "[<0]\"\";0", "5"},
    });
}

TEST(NumberFormatCustom, UnderscoreLeavesOneSpace) {
    // _x keeps the width of x: the text holds one space in its place, in
    // every kind of section, whatever x is; an escaped or quoted _ is itself.
    ExpectAll({
        {5, "0_x", "5 "},
        {5, "_x0", " 5"},
        {5, "0_W", "5 "},
        {5, "0_\xe2\x82\xac", "5 "},
        {-5, "0_);(0)", "(5)"},
        {5, "0__)", "5 )"},
        {5, "0\\_x", "5_x"},
        {5, "0\"_x\"", "5_x"},
        {1.5, "# ?/?_)", "1 1/2 "},
        {1.5, "0.0E+00_)", "1.5E+00 "},
        {45000.5, "m/d/yyyy_)", "3/15/2023 "},
        {1.5, "[h]:mm_)", "36:00 "},
        {5, Builtin(41).c_str(), " 5 "},
        {0, Builtin(41).c_str(), " - "},
    });
    EXPECT_EQ(host::FormatText("abc", Builtin(41)), " abc ");
}

TEST(NumberFormatCustom, LiteralsLocalesAndSpacing) {
    ExpectAll({
        {1234.5, "[$€-407] #,##0.00", "€ 1,234.50"},
        {2, "[$-409]0.0", "2.0"},
        {5, "[$USD-409] 0", "USD 5"},
        {5, "\"Total: \"0", "Total: 5"},
        {5, "0\" kg\"", "5 kg"},
        {5, "\\$0", "$5"},
        {5, "0_)", "5 "},
        {5, "*-0", "5"},
        {5, "0*x", "5"},
        {-5, "\"x\"", "-x"},
        {3, "0 \"units\";-0 \"units\"", "3 units"},
        {5, "(0)", "(5)"},
        {12.5, "General\" m\"", "12.5 m"},
    });
}

TEST(NumberFormatCustom, Scientific) {
    ExpectAll({
        {1234, "0.00E+00", "1.23E+03"},
        {1234, "0.00E-00", "1.23E03"},
        {0.00123, "0.00E-00", "1.23E-03"},
        {1234, "0.00e+00", "1.23e+03"},
        {0.000123, "0.00E+00", "1.23E-04"},
        {-1234, "0.00E+00", "-1.23E+03"},
        {9.96, "0.0E+0", "1.0E+1"},
        {1234567, "##0.0E+0", "1.2E+6"},
        {999999, "##0.0E+0", "1.0E+6"},
        {123456, "##0.0E+0", "123.5E+3"},
    });
}

TEST(NumberFormatCustom, Fractions) {
    ExpectAll({
        {0.625, "?/8", "5/8"},
        {1.3, "# ?/8", "1 2/8"},
        {1.5, "?/?", "3/2"},
        {-1.5, "# ?/?", "-1 1/2"},
        {0.3125, "# ?\?/?\?", "  5/16"},
        {3.14159, "# ?\?\?/?\?\?", "3  16/113"},
        {0.5, "0 ?/?", "0 1/2"},
        {2.75, "# ?/100", "2 75/100"},
        {3.14159265, "?/?\?\?", "355/113"},
        {3.14159265, "?/?\?\?\?", "355/113 "},
        {0.333, "# ?\?\?/?\?\?", " 332/997"},
        {1e20, "?/8", "800000000000000000000/8"},
    });
}

TEST(NumberFormatDate, CalendarAndNames) {
    ExpectAll({
        {45000, "yyyy-mm-dd", "2023-03-15"},
        {1, "d/m/yy", "1/1/00"},
        {1, "dddd", "Sunday"},
        {45000, "ddd", "Wed"},
        {45000, "mmmm", "March"},
        {45000, "mmmmm", "M"},
        {45000, "mm/dd", "03/15"},
        {45000, "m", "3"},
        {45000, "dddd, mmmm d, yyyy", "Wednesday, March 15, 2023"},
        {45000, "\"Date: \"d-mmm", "Date: 15-Mar"},
        {45000, "DD/MM/YYYY", "15/03/2023"},
        {59, "m/d/yyyy", "2/28/1900"},
        {60, "m/d/yyyy", "2/29/1900"},
        {61, "m/d/yyyy", "3/1/1900"},
        {0, "m/d/yyyy", "1/0/1900"},
        {36526, "yyyy-mm-dd", "2000-01-01"},
        {2958465, "m/d/yyyy", "12/31/9999"},
        {2958466, "m/d/yyyy", "###########"},
        {-1, "m/d/yyyy", "###########"},
        {-0.5, "h:mm", "###########"},
    });
}

TEST(NumberFormatDate, System1904) {
    ExpectAll({
        {0, "m/d/yyyy", "1/1/1904"},
        {1, "m/d/yyyy", "1/2/1904"},
        {43538, "m/d/yyyy", "3/15/2023"},
        {0, "ddd", "Fri"},
        {60, "m/d/yyyy", "3/1/1904"},
        {2957003, "yyyy-mm-dd", "9999-12-31"},
        {2957004, "yyyy-mm-dd", "###########"},
    },
              true);
}

TEST(NumberFormatDate, TimesAndElapsed) {
    ExpectAll({
        {0.5, "h:mm:ss", "12:00:00"},
        {0.25, "hh:mm", "06:00"},
        {0, "h:mm AM/PM", "12:00 AM"},
        {0.5, "h:mm AM/PM", "12:00 PM"},
        {0.75, "h:mm am/pm", "6:00 pm"},
        {0.75, "h A/P", "6 P"},
        {0.25, "h a/p", "6 a"},
        {1.0 / 1440, "mm:ss", "01:00"},
        {0.5 + 0.1234 / 86400, "hh:mm:ss.000", "12:00:00.123"},
        {0.5 + 1.256 / 86400, "ss.00", "01.26"},
        {1.0 / 24, "[mm]:ss", "60:00"},
        {1.0 / 1440, "[ss]", "60"},
        {2.25, "[h]:mm", "54:00"},
        {0.99999999, "h:mm:ss", "0:00:00"},
        {45000.999999999, "yyyy-mm-dd hh:mm:ss", "2023-03-16 00:00:00"},
        {0.5 + 59.6 / 86400, "h:mm", "12:01"},
        {45000.75, "m/d/yy h:mm", "3/15/23 18:00"},
        {0.5 + 61.0 / 86400, "h \"h\" m \"min\" s \"s\"", "12 h 1 min 1 s"},
    });
}

TEST(NumberFormatText, TextSection) {
    EXPECT_EQ(host::FormatText("abc", "@"), "abc");
    EXPECT_EQ(host::FormatText("abc", "\"Name: \"@"), "Name: abc");
    EXPECT_EQ(host::FormatText("abc", "0;0;0;\"<\"@\">\""), "<abc>");
    EXPECT_EQ(host::FormatText("abc", "0.00"), "abc");
    EXPECT_EQ(host::FormatText("abc", "General"), "abc");
    EXPECT_EQ(host::FormatText("abc", ";;;"), "");
    EXPECT_EQ(host::FormatText("abc", "0;0;0;\"n/a\""), "n/a");
    EXPECT_EQ(host::FormatText("abc", host::BuiltinFormatCode(44)), " abc ");
    EXPECT_EQ(host::FormatText("x", "@@"), "xx");
    EXPECT_EQ(host::FormatText("x", "0;0;0;General"), "x");
    EXPECT_EQ(host::FormatText("abc", "0.00;@"), "abc");
    EXPECT_EQ(host::FormatNumber(5, "0.00;\"t:\"@", false), "5.00");
    EXPECT_EQ(host::FormatText("q", "0.00;\"t:\"@"), "t:q");
}

TEST(NumberFormatDetect, DateCodes) {
    const std::vector<std::pair<const char*, bool>> cases = {
        {"m/d/yyyy", true},
        {"[h]:mm", true},
        {"mmm", true},
        {"[$-409]h:mm AM/PM", true},
        {"[Red]dd/mm", true},
        {"0.00", false},
        {"\"d\"0", false},
        {"\\d0", false},
        {"General", false},
        {"", false},
        {"[Red]0", false},
        {"0;d", false},
        {"@", false},
        {"0.00E+00", false},
        {"#,##0 ;(#,##0)", false},
    };
    for (const auto& [code, expected] : cases) EXPECT_EQ(host::IsDateFormat(code), expected) << code;
    for (int id = 0; id <= 49; ++id) {
        const bool date = (id >= 14 && id <= 22) || (id >= 45 && id <= 47);
        EXPECT_EQ(host::IsDateFormat(host::BuiltinFormatCode(id)), date) << "id " << id;
    }
}

TEST(NumberFormatCache, ManyCodesAndThreadsAgree) {
    // Interleaving codes and threads must not mix parsed forms up.
    const std::vector<Case> cases = {
        {1234.5, "#,##0.00", "1,234.50"}, {45000, "m/d/yyyy", "3/15/2023"}, {0.5, "0%", "50%"},
        {1.5, "# ?/?", "1 1/2"},           {-5, "0;0", "5"},                  {12345, "0.00E+00", "1.23E+04"},
    };
    auto run = [&cases](int rounds, int* failures) {
        for (int r = 0; r < rounds; ++r)
            for (const auto& c : cases)
                if (host::FormatNumber(c.value, c.code, false) != c.expected) ++*failures;
    };
    std::vector<int> failures(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) threads.emplace_back(run, 500, &failures[t]);
    for (auto& t : threads) t.join();
    for (int f : failures) EXPECT_EQ(f, 0);
    // More distinct codes than the cache keeps still format correctly.
    for (int i = 0; i < 5000; ++i) {
        const std::string code = "0\"" + std::to_string(i) + "\"";
        ASSERT_EQ(host::FormatNumber(7, code, false), "7" + std::to_string(i));
    }
    EXPECT_EQ(host::FormatNumber(1234.5, "#,##0.00", false), "1,234.50");
}

TEST(NumberFormatEdge, OddInputs) {
    EXPECT_EQ(host::FormatNumber(1.0 / 0.0, "0.00", false), "#NUM!");
    EXPECT_EQ(host::FormatNumber(1.0 / 0.0, "", false), "#NUM!");
    EXPECT_EQ(host::FormatNumber(5, "\"unterminated", false), "unterminated");
    EXPECT_EQ(host::FormatNumber(5, "0\\", false), "5");
    EXPECT_EQ(host::FormatNumber(5, "0_", false), "5 ");
    EXPECT_EQ(host::FormatNumber(5, "[>10]0;[<0]0", false), "###########");
}

}  // namespace
