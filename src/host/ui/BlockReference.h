#pragma once
// How the host's window writes a block of cells as a reference.

#include <QString>

namespace host::ui {

// The letters of a 1-based column number: 1 -> "A", 28 -> "AB", 16384 -> "XFD".
QString ColumnLetters(int column);

// A sheet name as it stands before "!": bare when it is a plain word, else in
// single quotes with inner quotes doubled ("My sheet" -> "'My sheet'").
QString SheetQualifier(const QString& sheetName);

// The absolute reference of a block, "$B$2:$D$9" or "$B$5" for one cell,
// preceded by the sheet qualifier and "!" when sheetName is not empty.
QString BlockReference(const QString& sheetName, int firstRow, int firstColumn, int lastRow,
                       int lastColumn);

}  // namespace host::ui
