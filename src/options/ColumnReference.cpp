#include "options/ColumnReference.h"

#include "app/shell/Messages.h"
#include "options/Numbers.h"

#include <cmath>

namespace tabulory {

namespace {
const QString kAlphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");

// Letter k (1-based) of the alphabet, or nothing outside 1..26.
QString Letter(double k) {
  if (k < 1 || k > 26) return {};
  return kAlphabet.mid(static_cast<int>(k) - 1, 1);
}
}  // namespace

QString ColumnLettersFromWholeNumber(double number, Messages& messages) {
  if (number > ColumnLimit) {
    messages.Show(QStringLiteral("Number is higher than number of columns."));
    return {};
  }
  // Bijective base 26, worked in double precision: the quotient's whole part
  // gives the first letter, its fraction the second.
  const double q = number / 26.0;
  double whole = std::trunc(q);
  double rest = RoundHalfEven((q - whole) * 26.0);
  if (rest == 0) {
    rest = 26;
    whole -= 1;
  }
  return Letter(whole) + Letter(rest);
}

QString ColumnLettersFromNumber(int number, Messages& messages) {
  return ColumnLettersFromWholeNumber(number, messages);
}

int ColumnNumberFromLetters(const QString& letters) {
  int number = 0;
  for (const QChar ch : letters) number = number * 26 + (static_cast<int>(ch.unicode()) - 64);
  return number;
}

}  // namespace tabulory
