#pragma once
// The reference program's conversions between value kinds, and its
// comparison: text read as a number ("1,000", "50%", "$3", a date), numbers
// written as text with 15 significant digits, booleans as TRUE/FALSE, and
// the order number < text < boolean with text compared without case.

#include <string>
#include <string_view>

#include "host/core/calc/CalcValue.h"

namespace host::calc {

// Thrown by the conversions (and by functions' argument helpers) when a
// value cannot serve: the formula's result is that error.
struct ErrorResult {
  CalcError error;
};

// The number a scalar stands for: blank 0, boolean 1/0, numeric text read;
// ErrorResult for an error or text that is no number.
double ToNumber(const Value& v, bool date1904);
// The text of a scalar: numbers in General form with 15 significant
// digits; ErrorResult for an error.
std::string ToText(const Value& v);
// The boolean of a scalar: numbers non-zero, "TRUE"/"FALSE" text; blank
// FALSE; ErrorResult otherwise.
bool ToBoolean(const Value& v);

// A number in the General form text takes it in: "0.333333333333333", "1E+20".
std::string NumberText(double n);
// Reads text as the reference program reads a typed number: optional
// blanks, sign, "$", thousands commas, decimals, exponent, "%", "(1)" as
// negative, and dates and times ("2024-05-01", "5/1/2024", "1 May 2024",
// "12:30", "12:30 PM"). False when the text is no number.
bool ParseNumberText(std::string_view text, bool date1904, double& out);

// The reference program's result of a - b or a + b made exact: a result
// that is only rounding noise of its operands (below their 15th digit) is 0.
double Add(double a, double b);
// -1, 0, 1 comparing two scalars (blank as 0, "" or FALSE against the other
// kind; number < text < boolean; text without case; numbers equal within
// the 15 digits a cell keeps). Errors are not compared here.
int Compare(const Value& a, const Value& b);
// Text compared without case (ASCII letters and the Latin-1 block folded).
int CompareText(std::string_view a, std::string_view b);
// The text in upper case (ASCII letters; UTF-8 Latin letters too).
std::string UpperText(std::string_view text);
std::string LowerText(std::string_view text);

// A finite result, or #NUM! for infinities and NaN.
Value NumberResult(double n);

}  // namespace host::calc
