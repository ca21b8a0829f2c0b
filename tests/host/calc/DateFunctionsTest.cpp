// Date and time functions in both date systems.

#include <gtest/gtest.h>

#include "host/calc/MemorySource.h"

namespace host::calc::test {
namespace {

TEST(DateFunctions, Table) {
  MemorySource s = StandardSheets();
  RunCases(s, {
                  {"DATE(2024,1,1)", Num(45292)},
                  {"DATE(2024,14,1)", Num(45689)},
                  {"DATE(2024,3,0)", Num(45351)},
                  {"DATE(1900,2,29)", Num(60)},
                  {"DATE(1900,3,1)", Num(61)},
                  {"DATE(24,1,1)", Num(8767)},
                  {"DATE(10000,1,1)", Err(CalcError::Num)},
                  {"TIME(12,30,0)", Num(0.5208333333333334)},
                  {"TIME(25,0,0)", Num(1.0 / 24)},
                  {"YEAR(E3)", Num(2024)},
                  {"MONTH(45351)", Num(2)},
                  {"DAY(45351)", Num(29)},
                  {"DAY(60)", Num(29)},
                  {"YEAR(0)", Num(1900)},
                  {"DAY(0)", Num(0)},
                  {"YEAR(-1)", Err(CalcError::Num)},
                  {"HOUR(0.75)", Num(18)},
                  {"MINUTE(TIME(1,59,59.6))", Num(59)},
                  {"SECOND(\"12:30:15\")", Num(15)},
                  {"WEEKDAY(E3)", Num(2)},
                  {"WEEKDAY(E3,2)", Num(1)},
                  {"WEEKDAY(E3,3)", Num(0)},
                  {"WEEKDAY(E3,16)", Num(3)},
                  {"WEEKDAY(1)", Num(1)},
                  {"WEEKNUM(DATE(2024,1,6))", Num(1)},
                  {"WEEKNUM(DATE(2024,1,7))", Num(2)},
                  {"WEEKNUM(DATE(2024,1,7),2)", Num(1)},
                  {"WEEKNUM(DATE(2021,1,1),21)", Num(53)},
                  {"EDATE(DATE(2024,1,31),1)", Num(45351)},
                  {"EOMONTH(E3,1)", Num(45351)},
                  {"EOMONTH(E3,-1)", Num(45291)},
                  {"DATEDIF(DATE(2020,5,15),DATE(2024,5,14),\"Y\")", Num(3)},
                  {"DATEDIF(DATE(2020,5,15),DATE(2024,5,14),\"M\")", Num(47)},
                  {"DATEDIF(DATE(2020,5,15),DATE(2024,5,14),\"YM\")", Num(11)},
                  {"DATEDIF(DATE(2024,1,15),DATE(2024,3,10),\"MD\")", Num(24)},
                  {"DATEDIF(DATE(2024,1,1),DATE(2023,1,1),\"D\")", Err(CalcError::Num)},
                  {"DAYS(\"2024-03-01\",\"2024-02-01\")", Num(29)},
                  {"NETWORKDAYS(DATE(2024,1,1),DATE(2024,1,14))", Num(10)},
                  {"NETWORKDAYS(DATE(2024,1,1),DATE(2024,1,14),E3)", Num(9)},
                  {"WORKDAY(DATE(2024,1,5),1)", Num(45299)},
                  {"WORKDAY(DATE(2024,1,8),-1)", Num(45296)},
                  {"DATEVALUE(\"2024-01-01\")", Num(45292)},
                  {"DATEVALUE(\"1/15/2024\")", Num(45306)},
                  {"DATEVALUE(\"15 Jan 2024\")", Num(45306)},
                  {"DATEVALUE(\"x\")", Err(CalcError::Value)},
                  {"TIMEVALUE(\"6:00 PM\")", Num(0.75)},
              });
}

TEST(DateFunctions, The1904SystemCountsFrom1904) {
  MemorySource s = StandardSheets();
  s.SetDate1904(true);
  RunCases(s, {{"DATE(1904,1,1)", Num(0)}, {"DATE(2024,1,1)", Num(43830)}, {"YEAR(0)", Num(1904)}, {"WEEKDAY(0)", Num(6)}});
}

}  // namespace
}  // namespace host::calc::test
