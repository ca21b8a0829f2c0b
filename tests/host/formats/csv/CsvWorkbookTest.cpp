// CSV files through the host's object model: opened by content and name,
// shown as written, sorted with the host's order, never hidden.
#include <gtest/gtest.h>

#include "Fixtures.h"
#include "host/core/Application.h"
#include "host/core/HostError.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"

using fixtures::TempDir;

namespace {

struct Opened {
  host::Application app;
  host::Workbook* book = nullptr;
  host::Worksheet* sheet = nullptr;
  explicit Opened(const std::string& path) {
    book = &app.Workbooks().Open(path);
    sheet = &book->ActiveSheet();
  }
};

TEST(CsvWorkbook, OpensAsOneSheetShowingFieldsAsWritten) {
  TempDir dir;
  const std::string path = dir.File("Orders 2024.csv");
  fixtures::WriteFile(path, "id;amount\n007;1,5\n\"x;y\";TRUE\n");
  Opened csv(path);
  EXPECT_EQ(csv.sheet->Name(), "Orders 2024");
  EXPECT_EQ(csv.sheet->UsedRange().Address(), "$A$1:$B$3");
  EXPECT_EQ(csv.sheet->Cells(2, 1).Text(), "007");
  EXPECT_EQ(csv.sheet->Cells(3, 1).Text(), "x;y");
  EXPECT_EQ(csv.sheet->Cells(3, 2).Kind(), host::CellKind::Boolean);
}

TEST(CsvWorkbook, SortsWholeRecordsInTheUsersOrderAndSavesTheirBytes) {
  TempDir dir;
  const std::string path = dir.File("names.csv");
  fixtures::WriteFile(path, "\"Zoe\",1\r\néclair,2\r\napple,3\r\nEclair,4");
  {
    Opened csv(path);
    csv.sheet->UsedRange().Sort(host::CellRef{1, 1});
    csv.book->Save();
  }
  EXPECT_EQ(fixtures::ReadFile(path), "apple,3\r\nEclair,4\r\néclair,2\r\n\"Zoe\",1");
}

TEST(CsvWorkbook, ABlockNarrowerThanItsRecordsMovesOnlyItsFields) {
  TempDir dir;
  const std::string path = dir.File("block.csv");
  fixtures::WriteFile(path, "k,b,c\n3,\"x,1\",keep1\n1,y,keep2\n2,,keep3\n");
  {
    Opened csv(path);
    csv.sheet->GetRange("A2:B4").Sort(host::CellRef{2, 1});
    csv.book->Save();
  }
  EXPECT_EQ(fixtures::ReadFile(path), "k,b,c\n1,y,keep1\n2,,keep2\n3,\"x,1\",keep3\n");
}

TEST(CsvWorkbook, RefusalsLeaveTheFileAsItWas) {
  TempDir dir;
  const std::string path = dir.File("semi.csv");
  const std::string bytes = "b;a\n1,5,x\n";
  fixtures::WriteFile(path, bytes);
  Opened csv(path);
  // No delimiter splits both records alike, so the first decides: the record
  // put first would make the file read with commas.
  EXPECT_THROW(csv.sheet->UsedRange().Sort(host::CellRef{1, 1}), host::HostError);
  try {
    csv.sheet->Rows(2).SetHidden(true);
    ADD_FAILURE() << "a CSV row was hidden";
  } catch (const host::HostError& error) {
    EXPECT_EQ(std::string(error.what()), "semi.csv is a CSV file, which cannot keep hidden rows; nothing was changed");
  }
  csv.book->Save();
  EXPECT_EQ(fixtures::ReadFile(path), bytes);
}

}  // namespace
