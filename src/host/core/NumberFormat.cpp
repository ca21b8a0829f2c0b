#include "host/core/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "host/core/DateSection.h"
#include "host/core/FormatCode.h"
#include "host/core/GeneralNumber.h"
#include "host/core/NumberSection.h"

namespace host {

using namespace numfmt;

namespace {

bool Matches(CondOp op, double operand, double v) {
    switch (op) {
        case CondOp::Lt: return v < operand;
        case CondOp::Le: return v <= operand;
        case CondOp::Gt: return v > operand;
        case CondOp::Ge: return v >= operand;
        case CondOp::Eq: return v == operand;
        case CondOp::Ne: return v != operand;
        case CondOp::None: return true;
    }
    return true;
}

// True when the section shows the number (a digit placeholder or General),
// not only literals.
bool ShowsNumber(const Section& sec) {
    return std::any_of(sec.tokens.begin(), sec.tokens.end(),
                       [](const Token& t) { return t.kind == Tok::Digit || t.kind == Tok::General; });
}

std::string RenderSection(const Section& sec, double value, bool showMinus, bool date1904) {
    if (sec.isDate) return RenderDate(sec, value, date1904);
    return RenderNumberSection(sec, value, showMinus);
}

std::string RenderText(const Section& sec, std::string_view text) {
    std::string out;
    for (const auto& t : sec.tokens) {
        switch (t.kind) {
            case Tok::Text: case Tok::General: out.append(text); break;
            case Tok::Literal: out += t.text; break;
            case Tok::Digit: out.push_back(t.ch); break;
            case Tok::Point: out.push_back('.'); break;
            case Tok::Percent: out.push_back('%'); break;
            case Tok::Slash: out.push_back('/'); break;
            case Tok::FixedDenom: out += std::to_string(t.count); break;
            case Tok::Exp: out += t.text; break;
            default: break;
        }
    }
    return out;
}

}  // namespace

std::string FormatNumber(double value, std::string_view formatCode, bool date1904) {
    const Format& f = GetFormat(formatCode);
    if (f.general || f.numeric == 0) return General(value);
    if (std::isnan(value) || std::isinf(value)) return "#NUM!";
    const auto& s = f.sections;
    const int n = f.numeric;
    const bool conditional = s[0].op != CondOp::None || (n > 1 && s[1].op != CondOp::None);
    if (!conditional) {
        if (n == 1 || value > 0 || (value == 0 && n == 2)) return RenderSection(s[0], value, true, date1904);
        if (value < 0) return RenderSection(s[1], value, false, date1904);
        return RenderSection(s[2], value, false, date1904);
    }
    // With conditions: the first section whose condition holds. Without its
    // own condition the first section takes values >= 0; the second takes the
    // rest when there are two sections and values < 0 when there are three;
    // the third takes what is left. As without conditions, only the first
    // section shows a minus sign of its own, and only with the number: a
    // section of literals alone ([<0]"") shows them as written.
    const bool explicit1 = n >= 2 && s[1].op != CondOp::None;
    const CondOp op0 = s[0].op != CondOp::None ? s[0].op : CondOp::Ge;
    if (Matches(op0, s[0].operand, value)) return RenderSection(s[0], value, ShowsNumber(s[0]), date1904);
    if (n >= 2) {
        if (explicit1) {
            if (Matches(s[1].op, s[1].operand, value)) return RenderSection(s[1], value, false, date1904);
        } else if (n == 2) {
            return RenderSection(s[1], value, false, date1904);
        } else if (value < 0) {
            return RenderSection(s[1], value, false, date1904);
        }
    }
    if (n >= 3) return RenderSection(s[2], value, false, date1904);
    return NoFitText();  // no section takes the value
}

std::string FormatText(std::string_view text, std::string_view formatCode) {
    const Format& f = GetFormat(formatCode);
    if (f.general || f.textSection < 0) return std::string(text);
    return RenderText(f.sections[f.textSection], text);
}

bool IsDateFormat(std::string_view formatCode) {
    const Format& f = GetFormat(formatCode);
    return !f.general && !f.sections.empty() && f.sections[0].isDate;
}

}  // namespace host
