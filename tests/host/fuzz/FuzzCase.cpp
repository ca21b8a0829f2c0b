#include "FuzzCase.h"

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "host/core/Application.h"
#include "host/core/HostError.h"
#include "host/core/Workbook.h"
#include "host/core/SheetStore.h"
#include "host/core/Worksheet.h"
#include "host/core/calc/Evaluator.h"
#include "host/core/calc/WorkbookCells.h"

namespace fuzzcase {

namespace {

const char* const kPartNames[] = {"xl/worksheets/sheet1.xml", "xl/sharedStrings.xml", "xl/styles.xml",
                                  "xl/workbook.xml"};

// Packs the parts held in text (separated by "\n----\n") into a workbook.
bool WritePartsWorkbook(const std::string& path, std::string_view text) {
  std::string parts[4] = {
      "<worksheet><sheetData/></worksheet>",
      "<sst/>",
      "<styleSheet><cellXfs><xf/></cellXfs></styleSheet>",
      "<workbook xmlns:r=\"r\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>",
  };
  for (int i = 0; i < 4 && !text.empty(); ++i) {
    size_t cut = text.find("\n----\n");
    parts[i] = std::string(text.substr(0, cut));
    text = cut == std::string_view::npos ? std::string_view() : text.substr(cut + 6);
  }
  const std::string fixed[][2] = {
      {"[Content_Types].xml",
       "<Types><Override PartName=\"/xl/workbook.xml\" "
       "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/></Types>"},
      {"_rels/.rels", "<Relationships><Relationship Id=\"rId1\" Type=\"x/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
      {"xl/_rels/workbook.xml.rels",
       "<Relationships><Relationship Id=\"rId1\" Type=\"x/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
       "<Relationship Id=\"rId2\" Type=\"x/sharedStrings\" Target=\"sharedStrings.xml\"/>"
       "<Relationship Id=\"rId3\" Type=\"x/styles\" Target=\"styles.xml\"/></Relationships>"},
  };
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) return false;
  auto add = [&](const std::string& name, const std::string& data) {
    zip_source_t* source = zip_source_buffer(archive, data.data(), data.size(), 0);
    zip_int64_t index = zip_file_add(archive, name.c_str(), source, 0);
    if (index >= 0) zip_set_file_compression(archive, index, ZIP_CM_STORE, 0);
  };
  for (const auto& part : fixed) add(part[0], part[1]);
  for (int i = 0; i < 4; ++i) add(kPartNames[i], parts[i]);
  return zip_close(archive) == 0;
}

// Every formula of the first rows computed by the engine: what it cannot
// compute it reports; anything else it throws is a defect.
void EvaluateAll(host::Workbook& book) {
  host::calc::WorkbookCells cells(book);
  host::calc::Evaluator engine(cells);
  const std::vector<host::Worksheet*> sheets = book.Worksheets();
  for (size_t s = 0; s < sheets.size(); ++s) {
    const int lastRow = std::min(sheets[s]->MaxRow(), 400), lastColumn = std::min(sheets[s]->MaxColumn(), 40);
    for (int r = 1; r <= lastRow; ++r)
      for (int c = 1; c <= lastColumn; ++c)
        if (!sheets[s]->Store().Formula(r, c).empty()) (void)engine.Cell(static_cast<int>(s), r, c);
  }
}

void ReadAll(host::Workbook& book) {
  EvaluateAll(book);
  for (host::Worksheet* sheet : book.Worksheets()) {
    host::Range used = sheet->UsedRange();
    int lastRow = std::min(used.Rows()(used.Rows().Count()).Row(), 400);
    int lastColumn = std::min(used.Columns()(used.Columns().Count()).Column(), 40);
    for (int r = 1; r <= lastRow; ++r) {
      (void)sheet->Rows(r).Hidden();
      for (int c = 1; c <= lastColumn; ++c) {
        host::Cell cell = sheet->Cells(r, c);
        (void)cell.Text();
        (void)cell.Formula();
      }
    }
  }
  try {
    (void)book.ActiveSheet();
  } catch (const host::HostError&) {
  }
}

}  // namespace

bool WriteWorkbook(const std::string& path, std::string_view input) {
  if (input.size() >= 2 && input[0] == 'P' && input[1] == 'K') {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool written = std::fwrite(input.data(), 1, input.size(), file) == input.size();
    return std::fclose(file) == 0 && written;
  }
  return WritePartsWorkbook(path, input);
}

void Exercise(const std::string& path) {
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  ReadAll(book);
  for (host::Worksheet* sheet : book.Worksheets()) {
    host::Range used = sheet->UsedRange();
    sheet->Rows(used.Row()).SetHidden(true);
    sheet->Rows(used.Rows()(used.Rows().Count()).Row() + 1).SetHidden(true);
    try {
      used.Sort(host::Cells(1, used.Column()));
    } catch (const host::HostError&) {
    }
  }
  book.Save();
  app.Quit();
  host::Application again;
  ReadAll(again.Workbooks().Open(path));
}

void ExerciseOrAbort(const std::string& path, const char* target) {
  auto crash = [target](const char* kind, const char* what) {
    std::fprintf(stderr, "%s: %s: %s\n", target, kind, what);
    std::abort();
  };
  try {
    Exercise(path);
  } catch (const host::HostDefect& defect) {
    crash("a fault the host did not foresee", defect.what());
  } catch (const host::HostError&) {
  } catch (const std::exception& other) {
    crash("an exception that is not a HostError", other.what());
  } catch (...) {
    crash("an exception that is not a HostError", "(of no standard type)");
  }
}

}  // namespace fuzzcase
