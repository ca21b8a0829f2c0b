#pragma once
// The user's processing choices as one record: what a batch run does to each
// workbook.

#include <QString>
#include <QStringList>

namespace tabulory {

enum class Operation { Filter, Sort };
enum class Scope { EntireWorkbook, ActiveSheet, BlockOfCells };

// Filter criteria, by their index in the criterion list.
enum Criterion : int { kEquals = 0, kContains = 1, kIsNotBlank = 2, kIsBlank = 3 };

// The criterion list's entries, in index order: "equals", "contains",
// "is not blank", "is blank".
const QStringList& CriterionTexts();

struct ProcessingOptions {
  Operation operation = Operation::Filter;
  Scope scope = Scope::EntireWorkbook;
  int sortColumn = 1;                    // 1 to 256; 0 when no column is chosen
  QString filterColumn = QStringLiteral("A");  // letters, as typed
  int criterion = kEquals;               // 0 to 3; -1 when none is chosen
  QString value;                         // any text, possibly empty

  bool operator==(const ProcessingOptions&) const = default;
};

}  // namespace tabulory
