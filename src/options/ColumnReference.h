#pragma once
// Columns as letters ("A" to "IV") and as 1-based numbers (1 to 256).

#include <QString>

namespace tabulory {

class Messages;

// The most columns the program handles (letters up to "IV").
inline constexpr int ColumnLimit = 256;

// The letters of column `number`. Above ColumnLimit it shows "Number is higher
// than number of columns." and gives an empty text. 0 and negative multiples
// of 26 give "Z", other numbers below 1 an empty text.
QString ColumnLettersFromNumber(int number, Messages& messages);

// The same for a whole number held in a double (a rounded number typed into
// the column box may lie outside the int range).
QString ColumnLettersFromWholeNumber(double number, Messages& messages);

// The number of column `letters`: each character counts its code minus 64, so
// "A" is 1 and "IV" 256. The characters are not checked; "" gives 0.
int ColumnNumberFromLetters(const QString& letters);

}  // namespace tabulory
