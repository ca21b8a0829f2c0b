#pragma once
// One open workbook: its sheets, shared strings, styles and package, and the
// save back to its own file.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/core/Range.h"

namespace host {

class Application;
class Worksheet;
class WorkbookStore;
class WorkbookLock;

class Workbook {
 public:
  // Opens and checks the workbook at path (see Workbooks::Open). HostError
  // when another program has it open; an instance that opens for change
  // keeps a lock file beside it until the workbook closes.
  Workbook(Application& app, const std::string& path);
  ~Workbook();
  Workbook(const Workbook&) = delete;
  Workbook& operator=(const Workbook&) = delete;

  // The worksheets in workbook order (no chart or dialog sheets).
  std::vector<Worksheet*> Worksheets();
  // The sheet of the workbook view's active tab; HostError when that tab is a
  // chart or dialog sheet.
  Worksheet& ActiveSheet();
  // Writes the workbook back to its own file in its own format: changed parts
  // written anew, every other part copied as it was; the file is replaced
  // atomically, so a failing save leaves it unchanged. HostError in an
  // instance that opens workbooks for reading only.
  void Save();
  // The formulas the last save could not give a fresh result (left to the
  // recalculation the file asks for when opened).
  int FormulasLeftToRecalculate() const { return formulasLeft_; }
  // False when the file cannot ask for that recalculation: those formulas
  // keep their earlier results.
  bool RecalculatedWhenOpened() const;

  // The full path the workbook was opened from.
  const std::string& FullName() const { return path_; }
  // The file name without its folder.
  std::string Name() const;
  // True when the workbook uses the 1904 date system.
  bool Date1904() const;
  // The number of sheets of every kind.
  int SheetCount() const;
  // The worksheet with this name (case-insensitive), or nullptr.
  Worksheet* FindWorksheet(std::string_view name);
  // The range of a reference like "B2:D9" or "'Sheet 2'!$B$2:$D$9"; an
  // unqualified reference is taken on defaultSheet.
  Range ResolveRange(std::string_view reference, Worksheet& defaultSheet);

  Application& Parent() { return *app_; }

  // The workbook as its file format holds it (for the classes of the host).
  WorkbookStore& Store() { return *file_; }
  const WorkbookStore& Store() const { return *file_; }

 private:
  Application* app_;
  std::string path_;
  std::unique_ptr<WorkbookLock> lock_;  // made first, released last
  std::unique_ptr<WorkbookStore> file_;
  std::vector<std::unique_ptr<Worksheet>> worksheets_;
  int formulasLeft_ = 0;
};

}  // namespace host
