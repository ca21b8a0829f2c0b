#pragma once
// OpenDocument formulas (table:formula "of:=SUM([.A1:.B3]);[$'Sheet 2'.C2]")
// written in the A1 grammar that the host's object model shows and the
// calculation engine reads ("SUM(A1:B3),'Sheet 2'!C2"), so that the core
// knows one formula grammar only. One pass over the text, no recursion: the
// bracketed references become A1 references, ";" separates arguments, "!"
// intersects, inline arrays' "|" separates rows, and functions lose the
// "COM.MICROSOFT." prefix spreadsheet programs give the reference program's
// functions. Pure functions.

#include <optional>
#include <string>
#include <string_view>

namespace host::odf {

// The formula in A1 syntax without "=" ("A1*2" for "of:=[.A1]*2"); one in
// the "msoxl:" namespace is A1 already. nullopt for what has no A1 form here:
// another document's cells, a function whose meaning differs between the
// grammars, an unknown namespace, malformed text.
std::optional<std::string> OpenFormulaToA1(std::string_view formula);

}  // namespace host::odf
