#pragma once
// An .xls workbook (BIFF8 in a compound file) as the host's workbook store:
// the globals, every worksheet and the other streams of the compound file
// read at open, and the save that writes only the changed sheets'
// substreams anew, keeping every other record and every other stream of
// the compound file byte for byte.


#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/core/MemoryBudget.h"
#include "host/core/FileReplacement.h"
#include "host/core/WorkbookStore.h"
#include "host/io/CompoundFile.h"
#include "host/io/StreamPieces.h"
#include "host/formats/biff/XlsSheet.h"

namespace host::biff {

using namespace host::io;  // the container and the byte helpers the records sit in

class XlsWorkbook : public WorkbookStore {
 public:
  // Reads the workbook at path. Throws HostError, the file untouched, when it
  // is no BIFF8 workbook, is protected with a password, or is damaged.
  explicit XlsWorkbook(const std::string& path);
  // The workbook whose "Workbook" stream is stream, said to be at path
  // (for the fuzz target and tests: Save reads the other streams from path).
  static std::unique_ptr<XlsWorkbook> FromStream(std::string stream, const std::string& path);

  const std::string& Path() const override { return book_->path; }
  const std::vector<SheetEntry>& Sheets() const override { return entries_; }
  SheetStore* Sheet(size_t index) override;
  size_t ActiveTab() const override;
  bool Date1904() const override { return book_->globals.date1904; }
  bool HasDefinedNames() const override { return !book_->globals.definedNames.empty(); }
  // The NAME records with their formulas as A1 text.
  std::optional<std::vector<DefinedName>> DefinedNames() const override;
  // Sets RECALCID's engine build to 0, older than any, so that the next
  // program to open the workbook recalculates every formula.
  void RequestFullRecalculation() override { recalculate_ = true; }
  void Save() override;

  // The size of the workbook stream as read.
  size_t StreamSize() const { return book_->stream.size(); }
  // The workbook stream as it would be saved now.
  std::string NewWorkbookStream(const std::vector<const XlsSheet*>& changed) const;
  // The same as pieces: what did not change viewed in the stream as read.
  void NewWorkbookStream(const std::vector<const XlsSheet*>& changed, StreamPieces& out) const;

 private:
  XlsWorkbook() = default;
  void ReadSheets();

  std::shared_ptr<XlsBook> book_;
  // The compound file as read, holding its other streams (not the workbook
  // stream, which book_ holds); null for a workbook made from a stream alone.
  std::unique_ptr<CompoundFile> container_;
  int workbookEntry_ = -1;
  std::map<size_t, size_t> substreamEnds_;  // where each worksheet read begins -> where it ends
  std::vector<SheetEntry> entries_;
  std::vector<std::unique_ptr<XlsSheet>> sheets_;  // worksheets (nullptr for other sheets)
  bool recalculate_ = false;
  FileIdentity opened_;  // the file as it was read (or last saved): a save checks it is still that file
};

// Opens the .xls workbook at path (see XlsWorkbook).
std::unique_ptr<WorkbookStore> OpenXls(const std::string& path);
// What opening, sorting and saving the .xls file at path takes: its streams
// are read whole and written anew, about three times the file's size.
MemoryNeed XlsMemoryNeed(const std::string& path);

}  // namespace host::biff
