#pragma once
// Shared helpers of the host tests: temporary folders, workbooks written by
// libxlsxwriter, hand-made packages for faulty input, and zip comparison.

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace host {
class Worksheet;
}

namespace fixtures {

// A temporary folder, removed with everything in it when destroyed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The uncompressed entries of a zip file, by name.
std::map<std::string, std::string> ReadZip(const std::string& path);
// The compressed bytes of each entry as stored, by name.
std::map<std::string, std::string> ReadZipRaw(const std::string& path);
// Writes a zip holding the entries (deflated) in the given order.
void WriteZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries);

// Writes a zip as streaming writers do: each entry deflated with its
// checksum and sizes in a data descriptor after the data (general-purpose
// bit 3), Zip64 placeholders and an extended-time extra field in the local
// header, the time field in the central directory, and an archive comment.
// Names may repeat.
void WriteStreamedZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries,
                      const std::string& archiveComment);

// The parts of a minimal workbook with one sheet ("Sheet1") holding
// sheetData content; sharedStrings and styles are added when not empty.
std::vector<std::pair<std::string, std::string>> MinimalWorkbook(const std::string& sheetData,
                                                                 const std::string& sharedStrings = "",
                                                                 const std::string& styles = "");
// Adds a worksheet named name holding sheetData after the sheets of a
// MinimalWorkbook's parts.
void AddWorksheet(std::vector<std::pair<std::string, std::string>>& parts, const std::string& name,
                  const std::string& sheetData);
// Adds the workbook's part xl/<name> holding xml to a MinimalWorkbook's
// parts, with its content type and the workbook's relationship of type
// (the last word of the relationship type, "calcChain").
void AddWorkbookPart(std::vector<std::pair<std::string, std::string>>& parts, const std::string& name,
                     const std::string& contentType, const std::string& type, const std::string& xml);
// A worksheet part whose sheetData holds the given rows.
std::string SheetXml(const std::string& sheetData, const std::string& afterSheetData = "");

// The bytes of a file, and writing them.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);

// A small PNG image (for drawings).
std::string TinyPng();

// Workbook fixtures written by libxlsxwriter.
// "Data": A1:D6 mixed values (numbers with formats, dates, text, booleans,
// formulas), "Second": a few numbers, and a chart sheet "Chart" in between.
std::string WriteMixedWorkbook(const TempDir& dir, const std::string& name = "mixed.xlsx");
// One sheet whose column A holds the given keys (numbers when they parse as
// numbers, else text; "" leaves the cell empty) in rows 1.., and column B
// the row number they started in.
std::string WriteKeyColumn(const TempDir& dir, const std::string& name, const std::vector<std::string>& keys);

// The texts of a column's cells in rows first..last.
std::vector<std::string> ColumnTexts(host::Worksheet& sheet, int column, int first, int last);

// True when soffice runs here.
bool HaveSoffice();
// Converts a workbook to CSV of its first sheet with soffice and returns the
// lines; empty when the conversion failed.
std::vector<std::string> SofficeCsv(const std::string& workbook, const TempDir& work);
// Every sheet of a workbook as LibreOffice shows it, by sheet name: each row
// its cells' shown texts. Read with every formula recalculated on load
// (recalculate) or with the results the file stores (LibreOffice's own
// default); empty when the conversion failed.
std::map<std::string, std::vector<std::vector<std::string>>> SofficeShownSheets(const std::string& workbook,
                                                                                const TempDir& work, bool recalculate);

}  // namespace fixtures
