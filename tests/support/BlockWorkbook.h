#pragma once
// A small workbook for the host window and block-selection tests, written with
// libxlsxwriter: sheets "Sheet1", "Sheet2" and "My sheet" with a header row
// and data below, row 5 of Sheet1 hidden, and one far cell on Sheet1.

#include <xlsxwriter.h>

#include <stdexcept>
#include <string>

namespace tabulory::testing {

struct BlockWorkbookOptions {
  int activeSheet = 0;        // 0-based tab that is active when the file opens
  bool farCell = false;       // Sheet1!A1000000 = "far", row 999998 hidden
};

// Writes the workbook to path; throws when libxlsxwriter fails.
inline void WriteBlockWorkbook(const std::string& path, BlockWorkbookOptions options = {}) {
  lxw_workbook* wb = workbook_new(path.c_str());
  if (!wb) throw std::runtime_error("cannot create " + path);
  const char* names[] = {"Sheet1", "Sheet2", "My sheet"};
  lxw_worksheet* sheets[3];
  for (int s = 0; s < 3; ++s) {
    sheets[s] = workbook_add_worksheet(wb, names[s]);
    worksheet_write_string(sheets[s], 0, 0, "Item", nullptr);
    worksheet_write_string(sheets[s], 0, 1, "Count", nullptr);
    worksheet_write_string(sheets[s], 0, 2, "Note", nullptr);
    for (int r = 1; r <= 11; ++r) {
      const std::string item = std::string(1, static_cast<char>('a' + s)) + std::to_string(r);
      worksheet_write_string(sheets[s], r, 0, item.c_str(), nullptr);
      worksheet_write_number(sheets[s], r, 1, 100 * (s + 1) + r, nullptr);
      worksheet_write_string(sheets[s], r, 2, (r % 2) ? "odd" : "even", nullptr);
    }
  }
  worksheet_write_boolean(sheets[0], 12, 1, 1, nullptr);
  lxw_row_col_options hidden = {};
  hidden.hidden = 1;
  worksheet_set_row_opt(sheets[0], 4, LXW_DEF_ROW_HEIGHT, nullptr, &hidden);
  if (options.farCell) {
    worksheet_write_string(sheets[0], 999999, 0, "far", nullptr);
    worksheet_set_row_opt(sheets[0], 999997, LXW_DEF_ROW_HEIGHT, nullptr, &hidden);
  }
  worksheet_activate(sheets[options.activeSheet]);
  if (workbook_close(wb) != LXW_NO_ERROR) throw std::runtime_error("cannot write " + path);
}

}  // namespace tabulory::testing
