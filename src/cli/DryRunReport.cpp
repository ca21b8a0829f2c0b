#include "cli/DryRunReport.h"

#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"

namespace tabulory::cli {

QString DryRunLines(const QString& path, host::Workbook& workbook, Operation operation) {
  const bool sort = operation == Operation::Sort;
  QString lines;
  for (host::Worksheet* sheet : workbook.Worksheets()) {
    const int rows = sort ? sheet->RowsMoved() : sheet->RowsHiddenSinceOpen();
    const QString what = sort ? QStringLiteral("would move") : QStringLiteral("would be hidden");
    lines += QStringLiteral("%1: sheet \"%2\": %3 %4 %5\n")
                 .arg(path, QString::fromStdString(sheet->Name()))
                 .arg(rows)
                 .arg(rows == 1 ? QStringLiteral("row") : QStringLiteral("rows"), what);
  }
  return lines;
}

}  // namespace tabulory::cli
