#pragma once
// A number shown under a number section of a format code: integer and
// decimal placeholders, grouping, percent and scaling, scientific notation
// and fractions.

#include <string>

#include "host/core/FormatCode.h"

namespace host::numfmt {

// The text of value under sec; showMinus when the section shows the sign.
std::string RenderNumberSection(const Section& sec, double value, bool showMinus);

}  // namespace host::numfmt
