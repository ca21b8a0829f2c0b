#pragma once
// What the .xls fuzz target does with one input, shared with the tests that
// replay its corpus. An input with the compound file signature is taken as a
// whole .xls: its streams are read, the workbook stream decoded and the file
// written anew and read back. Any other input is taken as a workbook stream
// alone, so that mutations reach the records without passing the container.
// Faults must surface as HostError (caught here); anything else escapes.

#include <cstdlib>
#include <string>
#include <string_view>

#include "host/HostError.h"
#include "host/biff/CompoundFile.h"
#include "host/biff/CompoundFileWriter.h"
#include "host/FileFormat.h"
#include "host/biff/SheetRecords.h"
#include "host/biff/WorkbookGlobals.h"

namespace xlsfuzz {

inline void ReadWorkbookStream(std::string_view stream) {
  using namespace host::biff;
  try {
    WorkbookGlobals globals = ReadGlobals(stream, "Workbook", "fuzz.xls");
    for (const SheetInfo& sheet : globals.sheets) {
      try {
        ReadSheet(stream, sheet.position, globals.sharedStrings, "Workbook", "fuzz.xls");
      } catch (const host::HostError&) {
      }
    }
  } catch (const host::HostError&) {
  }
  try {
    ReadSheet(stream, 0, {}, "Workbook", "fuzz.xls");
  } catch (const host::HostError&) {
  }
}

inline void ExerciseXls(std::string_view bytes) {
  using namespace host::biff;
  (void)host::RecogniseFormat(bytes);
  if (!CompoundFile::HasSignature(bytes)) {
    ReadWorkbookStream(bytes);
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
