#pragma once
// The number rules of the options panel: which texts are numbers, and the
// rounding of a fractional number to a whole one.

#include <QString>
#include <optional>

namespace tabulory {

// The value of a text that is a plain decimal number: optional blanks around
// it, an optional sign, digits with an optional decimal point, an optional
// exponent ("28", " -3 ", "2.5", ".5", "1e2"). Anything else gives nothing.
std::optional<double> ParseNumber(const QString& text);

// Rounds to the nearest whole number; halves go to the even neighbour.
double RoundHalfEven(double value);

}  // namespace tabulory
