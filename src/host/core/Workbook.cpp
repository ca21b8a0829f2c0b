#include "host/core/Workbook.h"

#include <filesystem>

#include "host/core/Application.h"
#include "host/core/OpenableFile.h"
#include "host/core/FileReplacement.h"
#include "host/core/HostError.h"
#include "host/core/SaveTarget.h"
#include "host/core/WorkbookStore.h"
#include "host/core/WorkbookLock.h"
#include "host/core/Worksheet.h"
#include "host/core/calc/Recalculation.h"

namespace host {

namespace {

// The full path of a file named relative to the working folder.
std::string FullPath(const std::string& path) {
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(path, error);
  return error ? path : full.lexically_normal().string();
}

// The claim on a workbook opened for change; for reading only, just the
// check that no other program holds it. A file this process may not write
// is refused before anything of it is read, whatever its format: a save
// could only fail, or replace a file its owner protected.
std::unique_ptr<WorkbookLock> Claim(const std::string& path, Application::Access access) {
  CheckOpenable(path);  // no lock beside what cannot be a workbook
  if (access == Application::Access::ForChange) {
    CheckMayChange(path);
    auto lock = std::make_unique<WorkbookLock>(path);
    FinishInterruptedSave(path);  // under the lock, before anything is read
    return lock;
  }
  CheckNotInUse(path);
  return nullptr;
}

}  // namespace

Workbook::Workbook(Application& app, const std::string& path)
    : app_(&app),
      path_(FullPath(path)),
      lock_(Claim(path_, app.WorkbookAccess())),
      file_(OpenWorkbookStore(path_)) {
  const auto& sheets = file_->Sheets();
  worksheets_.resize(sheets.size());
  for (size_t i = 0; i < sheets.size(); ++i) {
    SheetStore* store = sheets[i].worksheet ? file_->Sheet(i) : nullptr;
    if (store) worksheets_[i] = std::make_unique<Worksheet>(*this, sheets[i].name, static_cast<int>(i + 1), *store);
  }
}

Workbook::~Workbook() = default;

std::vector<Worksheet*> Workbook::Worksheets() {
  std::vector<Worksheet*> out;
  for (auto& sheet : worksheets_)
    if (sheet) out.push_back(sheet.get());
  return out;
}

Worksheet& Workbook::ActiveSheet() {
  size_t tab = file_->ActiveTab();
  if (tab >= worksheets_.size()) throw HostError("\"" + path_ + "\" has no sheets.");
  if (!worksheets_[tab])
    throw HostError("The active sheet \"" + file_->Sheets()[tab].name + "\" of \"" + path_ +
                    "\" is not a worksheet (a chart or dialog sheet).");
  return *worksheets_[tab];
}

void Workbook::Save() {
  if (!lock_)  // opened for reading only
    throw HostError("Cannot save \"" + path_ + "\": it was opened for reading only.");
  // Formula results made true before they are written. The file asks to be
  // recalculated when opened only when some result is left untrue; a sort
  // whose every changed result was computed keeps the file's flags.
  const calc::RecalculationCount recalculated = calc::RecalculateChangedWorkbook(*this);
  formulasLeft_ = recalculated.leftToRecalculate;
  if (formulasLeft_ > 0 || recalculated.unlisted) file_->RequestFullRecalculation();
  file_->Save();
}

bool Workbook::RecalculatedWhenOpened() const { return file_->CanRequestRecalculation(); }

std::string Workbook::Name() const {
  size_t slash = path_.rfind('/');
  return slash == std::string::npos ? path_ : path_.substr(slash + 1);
}

bool Workbook::Date1904() const { return file_->Date1904(); }

int Workbook::SheetCount() const { return static_cast<int>(file_->Sheets().size()); }

Worksheet* Workbook::FindWorksheet(std::string_view name) {
  auto lower = [](std::string_view s) {
    std::string out(s);
    for (char& c : out)
      if (c >= 'A' && c <= 'Z') c += 32;
    return out;
  };
  for (auto& sheet : worksheets_)
    if (sheet && lower(sheet->Name()) == lower(name)) return sheet.get();
  return nullptr;
}

Range Workbook::ResolveRange(std::string_view reference, Worksheet& defaultSheet) {
  Worksheet* sheet = &defaultSheet;
  size_t bang = reference.rfind('!');
  if (bang != std::string_view::npos) {
    std::string_view name = reference.substr(0, bang);
    std::string unquoted;
    if (name.size() >= 2 && name.front() == '\'' && name.back() == '\'') {
      for (size_t i = 1; i + 1 < name.size(); ++i) {
        unquoted += name[i];
        if (name[i] == '\'' && i + 2 < name.size() && name[i + 1] == '\'') ++i;
      }
    } else {
      unquoted = std::string(name);
    }
    sheet = FindWorksheet(unquoted);
    if (!sheet) throw HostError("\"" + path_ + "\" has no worksheet \"" + unquoted + "\".");
    reference = reference.substr(bang + 1);
  }
  return sheet->GetRange(reference);
}

}  // namespace host
