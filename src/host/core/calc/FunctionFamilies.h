#pragma once
// The tables of functions each family file defines; Functions.cpp joins
// them into the one table FindFunction searches.

#include <span>

#include "host/core/calc/Evaluator.h"

namespace host::calc {

std::span<const FunctionDef> MathFunctions();
std::span<const FunctionDef> StatisticsFunctions();
std::span<const FunctionDef> LookupFunctions();
std::span<const FunctionDef> TextFunctions();
std::span<const FunctionDef> DateFunctions();
std::span<const FunctionDef> LogicalFunctions();

// Round half away from zero at digits decimals (negative: left of the
// point), on the decimal value the number shows with 15 digits.
double RoundDecimal(double value, int digits);

}  // namespace host::calc
