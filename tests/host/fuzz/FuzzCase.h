#pragma once
// One fuzz case, shared by the fuzz target and the regression test: the input
// made into a workbook file, and the host's whole open-read-change-save path
// run over it.

#include <string>
#include <string_view>

namespace fuzzcase {

// Writes the input to path: an input starting with "PK" as it is, any other
// as the XML of a workbook's parts separated by lines "----" (the sheet, the
// shared strings, the styles and the workbook part; missing ones get plain
// defaults), packed into a workbook. False when the file cannot be written.
bool WriteWorkbook(const std::string& path, std::string_view input);

// Opens the workbook, reads every cell's text and formula, hides rows, sorts
// each sheet, saves and opens it again. Whatever the host throws passes on,
// except the HostErrors of the sort and of a chart or dialog sheet made active.
void Exercise(const std::string& path);

// Exercise(path) as a fuzz target runs it: a HostError is an expected end;
// anything else, and a HostDefect (what the host caught without having
// foreseen it), aborts with a line naming target and the fault.
void ExerciseOrAbort(const std::string& path, const char* target);

}  // namespace fuzzcase
