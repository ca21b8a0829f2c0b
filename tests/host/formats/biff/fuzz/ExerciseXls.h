#pragma once
// What the .xls fuzz target does with one input, shared with the tests that
// replay its corpus. An input with the compound file signature is taken as a
// whole .xls: its streams are read, the workbook stream decoded and the file
// written anew and read back. Any other input is taken as a workbook stream
// alone, so that mutations reach the records without passing the container,
// and as a formula's expression. Each formula cell's expression is shifted,
// expanded and turned into text. The workbook stream also goes through the
// workbook store: read, hidden, sorted, written and read back.
// Faults must surface as HostError (caught here); anything else escapes.

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>
#include <string>
#include <string_view>

#include "host/core/RowSort.h"
#include "host/core/HostError.h"
#include "host/io/CompoundFile.h"
#include "host/io/CompoundFileWriter.h"
#include "host/formats/FileFormat.h"
#include "host/formats/biff/FormulaTokens.h"
#include "host/io/LittleEndian.h"
#include "host/formats/biff/SheetRecords.h"
#include "host/formats/biff/WorkbookGlobals.h"
#include "host/formats/biff/XlsWorkbook.h"
#include "host/core/SortPlan.h"

namespace xlsfuzz {

// An expression (and the bytes after it, as its array values) through the
// formula functions; a shift must keep its size, a shift by nothing its bytes.
inline void ExerciseFormula(std::string_view rgce, std::string_view extra, int row, int column) {
  using namespace host::biff;
  try {
    std::string down = ShiftFormulaRows(rgce, 7);
    std::string up = ShiftFormulaRows(rgce, -row - 1);
    if (down.size() != rgce.size() || up.size() != rgce.size() || ShiftFormulaRows(rgce, 0) != rgce) std::abort();
    if (ExpandSharedFormula(rgce, row, column).size() != rgce.size()) std::abort();
    FormulaContext context;
    context.sheetName = [](int xti) { return xti % 2 ? "Sheet " + std::to_string(xti) : std::string(); };
    context.definedName = [](uint32_t index) { return index % 2 ? "_xlfn.F" + std::to_string(index) : std::string(); };
    context.extra = extra;
    (void)FormulaText(rgce, row, column, context);
    (void)FormulaText(down, row + 7, column);
  } catch (const host::HostError&) {
  }
}

inline void ExerciseFormulas(std::string_view stream, const host::biff::SheetRecords& sheet) {
  using namespace host::biff;
  for (const CellRef& ref : sheet.cells) {
    const CellRecord cell = DecodeCell(stream, ref);
    (void)CellText(stream, cell, {});
    if (cell.kind != CellKind::Formula) continue;
    size_t expressionEnd = size_t{cell.formulaOffset} + cell.formulaLength;
    size_t recordEnd = cell.recordOffset + 4 + size_t{U16(stream, cell.recordOffset + 2)};
    ExerciseFormula(SheetRecords::Formula(cell, stream), stream.substr(expressionEnd, recordEnd - expressionEnd),
                    cell.row, cell.column);
  }
}

inline void ReadWorkbookStream(std::string_view stream) {
  using namespace host::biff;
  try {
    WorkbookGlobals globals = ReadGlobals(stream, "Workbook", "fuzz.xls");
    for (const SheetInfo& sheet : globals.sheets) {
      try {
        ExerciseFormulas(stream, ReadSheet(stream, sheet.position, globals.sharedStrings, "Workbook", "fuzz.xls"));
      } catch (const host::HostError&) {
      }
    }
  } catch (const host::HostError&) {
  }
  try {
    ExerciseFormulas(stream, ReadSheet(stream, 0, {}, "Workbook", "fuzz.xls"));
  } catch (const host::HostError&) {
  }
}

inline bool SameValue(const host::StoredValue& a, const host::StoredValue& b) {
  bool sameNumber = a.number == b.number || (std::isnan(a.number) && std::isnan(b.number));
  return a.kind == b.kind && sameNumber && a.text == b.text && a.uncalculated == b.uncalculated;
}

// A fresh formula result of each kind in turn (number, text, text longer
// than one record holds, boolean, error, empty text), for the save path.
inline host::StoredValue FreshResult(int k) {
  host::StoredValue value;
  switch (k % 6) {
    case 0: value.kind = host::CellKind::Number; value.number = k * 1.5; break;
    case 1: value.kind = host::CellKind::Text; value.text = "t" + std::to_string(k); break;
    case 2:
      value.kind = host::CellKind::Text;
      for (int i = 0; i < 5000; ++i) value.text += k % 4 ? "x\u20AC" : "xy";  // UTF-16 or a byte a character
      break;
    case 3: value.kind = host::CellKind::Boolean; value.number = 1; break;
    case 4: value.kind = host::CellKind::Error; value.text = "#DIV/0!"; break;
    default: value.kind = host::CellKind::Text; break;
  }
  return value;
}

// The workbook stream through the store: every worksheet read, rows hidden,
// its used area sorted, fresh results given to its first formulas, the
// stream written anew; what was written must read back as the sheets stood.
inline void ExerciseStore(std::string_view stream) {
  using namespace host::biff;
  std::unique_ptr<XlsWorkbook> book;
  try {
    book = XlsWorkbook::FromStream(std::string(stream), "fuzz.xls");
  } catch (const host::HostError&) {
    return;
  }
  std::vector<const XlsSheet*> sheets;
  for (size_t i = 0; i < book->Sheets().size(); ++i) {
    auto* sheet = static_cast<XlsSheet*>(book->Sheet(i));
    if (!sheet) continue;
    host::CellArea used;
    const bool any = sheet->UsedArea(used);
    for (int row = used.firstRow; any && row <= std::min(used.lastRow, used.firstRow + 40); ++row) {
      for (int column = used.firstColumn; column <= std::min(used.lastColumn, used.firstColumn + 12); ++column) {
        (void)sheet->Value(row, column);
        (void)sheet->FormatCode(row, column);
        try {
          (void)sheet->Formula(row, column);
        } catch (const host::HostError&) {
        }
      }
    }
    try {
      sheet->SetRowHidden(2, true);
      sheet->SetRowHidden(any ? used.lastRow + 33 : 40, true);
      if (any) {
        for (bool descending : {false, true}) {
          try {
            host::SortRows(*sheet, used, descending ? used.lastColumn : used.firstColumn, descending);
          } catch (const host::SortRefused&) {
          }
        }
      }
    } catch (const host::HostError&) {
    }
    int k = 0;
    for (const auto& [row, column] : sheet->FormulaCells()) {
      if (k >= 24) break;
      (void)sheet->SetFormulaResult(row, column, FreshResult(k++));
    }
    (void)sheet->SortProtected();
    (void)sheet->RowFormattingProtected();
    sheets.push_back(sheet);
  }
  std::string written;
  try {
    written = book->NewWorkbookStream(sheets);
  } catch (const host::HostError&) {
    return;
  }
  std::unique_ptr<XlsWorkbook> again;
  try {
    again = XlsWorkbook::FromStream(written, "again.xls");
  } catch (const host::HostError&) {
    std::abort();  // the store wrote what it cannot read
  }
  for (const XlsSheet* sheet : sheets) {
    auto* reread = again->Sheet(sheet->Index());
    if (!reread) std::abort();
    host::CellArea used, usedAgain;
    bool any = sheet->UsedArea(used);
    if (any != reread->UsedArea(usedAgain)) std::abort();
    for (int row = used.firstRow; any && row <= std::min(used.lastRow + 40, used.firstRow + 80); ++row) {
      if (sheet->RowHidden(row) != reread->RowHidden(row)) std::abort();
      for (int column = used.firstColumn; column <= std::min(used.lastColumn, used.firstColumn + 12); ++column)
        if (!SameValue(sheet->Value(row, column), reread->Value(row, column))) std::abort();
    }
  }
}

inline void ExerciseXls(std::string_view bytes) {
  using namespace host::biff;
  (void)host::RecogniseFormat(bytes);
  if (!CompoundFile::HasSignature(bytes)) {
    ReadWorkbookStream(bytes);
    ExerciseStore(bytes);
    // The input as an expression of a record's size, the rest as its values.
    std::string_view rgce = bytes.substr(0, 8224);
    ExerciseFormula(rgce, bytes.substr(rgce.size()), rgce.size() % 65536, rgce.size() % 256);
    return;
  }
  try {
    CompoundFile file{std::string(bytes), "fuzz.xls"};
    int workbook = file.Find("Workbook");
    // A storage of that name is no workbook stream.
    if (workbook >= 0 && file.Entries()[workbook].type != EntryType::Stream) workbook = -1;
    std::string stream = workbook >= 0 ? file.ReadStream(workbook) : std::string();
    // Where the stream's runs say its bytes stand in the file, they are its bytes.
    if (workbook >= 0) {
      std::string joined;
      for (const auto& [at, size] : file.StreamRuns(workbook)) joined.append(bytes.substr(at, size));
      if (!joined.empty() && joined != stream) std::abort();
    }
    ReadWorkbookStream(stream);
    ExerciseStore(stream);
    std::string written = WriteCompoundFile(file, workbook >= 0 ? std::map<int, std::string>{{workbook, stream + "x"}}
                                                                : std::map<int, std::string>{});
    // What was written must read back: the new stream and every other one.
    CompoundFile again(written, "again.xls");
    if (workbook >= 0 && again.ReadStream(workbook) != stream + "x") std::abort();
    for (size_t i = 0; i < file.Entries().size(); ++i)
      if (static_cast<int>(i) != workbook && again.ReadStream(static_cast<int>(i)) != file.ReadStream(static_cast<int>(i)))
        std::abort();
  } catch (const host::HostError&) {
  }
}

}  // namespace xlsfuzz
