#pragma once
// General: what a standard-width column (11 characters, sign not counted)
// shows for a number without a format.

#include <string>

namespace host::numfmt {

// The characters a standard column shows (the sign not counted).
constexpr int kGeneralWidth = 11;

// What a standard column shows for a value no format can show (a date
// outside the calendar, a value no section takes): a run of '#' as wide as
// a standard column's General.
inline std::string NoFitText() { return std::string(kGeneralWidth, '#'); }

// The General text of a number, and of its magnitude a >= 0 (no sign).
std::string General(double v);
std::string GeneralAbs(double a);

}  // namespace host::numfmt
