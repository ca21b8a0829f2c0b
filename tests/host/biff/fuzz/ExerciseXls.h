#pragma once
// What the .xls fuzz target does with one input, shared with the tests that
// replay its corpus. An input with the compound file signature is taken as a
// whole .xls: its streams are read, the workbook stream decoded and the file
// written anew and read back. Any other input is taken as a workbook stream
// alone, so that mutations reach the records without passing the container,
// and as a formula's expression. Each formula cell's expression is shifted,
// expanded and turned into text.
// Faults must surface as HostError (caught here); anything else escapes.

#include <cstdlib>
#include <string>
#include <string_view>

#include "host/HostError.h"
#include "host/biff/CompoundFile.h"
#include "host/biff/CompoundFileWriter.h"
#include "host/FileFormat.h"
#include "host/biff/FormulaTokens.h"
#include "host/biff/LittleEndian.h"
#include "host/biff/SheetRecords.h"
#include "host/biff/WorkbookGlobals.h"

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
  for (const CellRecord& cell : sheet.cells) {
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

inline void ExerciseXls(std::string_view bytes) {
  using namespace host::biff;
  (void)host::RecogniseFormat(bytes);
  if (!CompoundFile::HasSignature(bytes)) {
    ReadWorkbookStream(bytes);
    // The input as an expression of a record's size, the rest as its values.
    std::string_view rgce = bytes.substr(0, 8224);
    ExerciseFormula(rgce, bytes.substr(rgce.size()), rgce.size() % 65536, rgce.size() % 256);
    return;
  }
  try {
    CompoundFile file{std::string(bytes), "fuzz.xls"};
    int workbook = file.Find("Workbook");
    std::string stream = workbook >= 0 ? file.ReadStream(workbook) : std::string();
    ReadWorkbookStream(stream);
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
