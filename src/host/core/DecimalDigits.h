#pragma once
// The decimal digits of a double as number formats show them, rounded the
// way a spreadsheet rounds: first to 15 significant digits, then half away
// from zero on those digits (so 2.675 shows as 2.68 under "0.00").

#include <string>

namespace host::numfmt {

struct Decimal {
    std::string digits;  // significant digits, no leading or trailing zeros; empty = 0
    int point = 0;       // value = 0.digits x 10^point
};

// The digits of a >= 0 (finite).
Decimal ToDecimal(double a);
// Rounds to `decimals` digits after the point, half away from zero.
void RoundTo(Decimal& d, int decimals);
// Digits before the point ("" when the value is below 1).
std::string IntDigits(const Decimal& d);
// Exactly `count` digits after the point (the value must already be rounded).
std::string FracDigits(const Decimal& d, int count);

}  // namespace host::numfmt
