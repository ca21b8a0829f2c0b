#pragma once
// Workbooks for the batch tests, written with libxlsxwriter in a temporary
// folder, and reading them back through a fresh host instance.

#include "host/core/Application.h"
#include "host/core/Cell.h"
#include "host/core/Workbook.h"
#include "host/core/Workbooks.h"
#include "host/core/Worksheet.h"

#include <xlsxwriter.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tabulory::testing {

// One worksheet: rows of cells placed from (firstRow, firstColumn), 1-based.
// An empty text writes no cell; a text starting with '#' writes the number
// after it; `numberFormat` applies to every number written.
struct SheetContent {
  std::string name;
  std::vector<std::vector<std::string>> rows{};
  int firstRow = 1;
  int firstColumn = 1;
  std::vector<int> hiddenRows{};  // 1-based
  std::string numberFormat{};
};

inline void WriteWorkbook(const std::string& path, const std::vector<SheetContent>& sheets,
                          int activeSheet = 0) {
  lxw_workbook* wb = workbook_new(path.c_str());
  if (!wb) throw std::runtime_error("cannot create " + path);
  int index = 0;
  for (const SheetContent& content : sheets) {
    lxw_worksheet* ws = workbook_add_worksheet(wb, content.name.c_str());
    lxw_format* format = nullptr;
    if (!content.numberFormat.empty()) {
      format = workbook_add_format(wb);
      format_set_num_format(format, content.numberFormat.c_str());
    }
    for (size_t r = 0; r < content.rows.size(); ++r) {
      for (size_t c = 0; c < content.rows[r].size(); ++c) {
        const std::string& text = content.rows[r][c];
        if (text.empty()) continue;
        const auto row = static_cast<lxw_row_t>(content.firstRow - 1 + r);
        const auto col = static_cast<lxw_col_t>(content.firstColumn - 1 + c);
        if (text[0] == '#')
          worksheet_write_number(ws, row, col, std::stod(text.substr(1)), format);
        else
          worksheet_write_string(ws, row, col, text.c_str(), nullptr);
      }
    }
    lxw_row_col_options hidden = {};
    hidden.hidden = 1;
    for (int row : content.hiddenRows)
      worksheet_set_row_opt(ws, static_cast<lxw_row_t>(row - 1), LXW_DEF_ROW_HEIGHT, nullptr, &hidden);
    if (index++ == activeSheet) worksheet_activate(ws);
  }
  if (workbook_close(wb) != LXW_NO_ERROR) throw std::runtime_error("cannot write " + path);
}

// A one-sheet workbook with column A holding `texts` from row 1.
inline void WriteColumn(const std::string& path, const std::vector<std::string>& texts,
                        const std::string& sheet = "Sheet1") {
  SheetContent content{sheet};
  for (const auto& t : texts) content.rows.push_back({t});
  WriteWorkbook(path, {content});
}

// A workbook opened in an instance of its own, for reading back.
class OpenedWorkbook {
 public:
  explicit OpenedWorkbook(const std::string& path)
      : app_(std::make_unique<host::Application>()), workbook_(&app_->Workbooks().Open(path)) {}
  ~OpenedWorkbook() {
    if (!app_->HasQuit()) app_->Quit();
  }
  host::Workbook& Workbook() { return *workbook_; }
  host::Worksheet& Sheet(const std::string& name) {
    host::Worksheet* sheet = workbook_->FindWorksheet(name);
    if (!sheet) throw std::runtime_error("no sheet " + name);
    return *sheet;
  }
  // Texts of one column, rows first..last.
  std::vector<std::string> Column(const std::string& sheet, int column, int first, int last) {
    std::vector<std::string> texts;
    for (int r = first; r <= last; ++r) texts.push_back(Sheet(sheet).Cells(r, column).Text());
    return texts;
  }
  // The hidden rows among 1..last.
  std::vector<int> HiddenRows(const std::string& sheet, int last) {
    std::vector<int> rows;
    for (int r = 1; r <= last; ++r)
      if (Sheet(sheet).RowHidden(r)) rows.push_back(r);
    return rows;
  }

 private:
  std::unique_ptr<host::Application> app_;
  host::Workbook* workbook_;
};

inline QByteArray FileBytes(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

}  // namespace tabulory::testing
