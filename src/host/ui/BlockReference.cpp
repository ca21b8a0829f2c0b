#include "host/ui/BlockReference.h"

#include <QRegularExpression>

namespace host::ui {

QString ColumnLetters(int column) {
  QString letters;
  while (column > 0) {
    const int digit = (column - 1) % 26;
    letters.prepend(QChar('A' + digit));
    column = (column - 1) / 26;
  }
  return letters;
}

QString SheetQualifier(const QString& sheetName) {
  // A plain word stays bare unless it could be read as a cell ("AB12") or a
  // row/column reference ("R1C1").
  static const QRegularExpression plainWord(QStringLiteral("^[A-Za-z_][A-Za-z0-9_.]*$"));
  static const QRegularExpression cellLike(
      QStringLiteral("^([A-Za-z]{1,3}[0-9]+|[Rr][0-9]*[Cc][0-9]*|[Rr]|[Cc])$"));
  if (plainWord.match(sheetName).hasMatch() && !cellLike.match(sheetName).hasMatch())
    return sheetName;
  QString quoted = sheetName;
  quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
  return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString BlockReference(const QString& sheetName, int firstRow, int firstColumn, int lastRow,
                       int lastColumn) {
  auto cell = [](int row, int column) {
    return QLatin1Char('$') + ColumnLetters(column) + QLatin1Char('$') + QString::number(row);
  };
  QString reference = cell(firstRow, firstColumn);
  if (firstRow != lastRow || firstColumn != lastColumn)
    reference += QLatin1Char(':') + cell(lastRow, lastColumn);
  if (sheetName.isEmpty()) return reference;
  return SheetQualifier(sheetName) + QLatin1Char('!') + reference;
}

}  // namespace host::ui
