#include "host/core/NumberFormat.h"

#include <algorithm>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace host {

namespace {

// ---------------------------------------------------------------------------
// Decimal digits of a double, rounded the way a spreadsheet rounds: the value
// is first taken to 15 significant digits, then rounded half away from zero on
// those decimal digits (so 2.675 shows as 2.68 under "0.00").

struct Decimal {
    std::string digits;  // significant digits, no leading or trailing zeros; empty = 0
    int point = 0;       // value = 0.digits x 10^point
};

Decimal ToDecimal(double a) {  // a >= 0 and finite
    Decimal d;
    if (a == 0) return d;
    char buf[40];
    auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, 14);
    // buf holds "d.ddddddddddddde[+-]xx"
    const char* p = buf;
    d.digits.reserve(15);
    d.digits.push_back(*p++);
    if (*p == '.') ++p;
    while (p < res.ptr && *p != 'e') d.digits.push_back(*p++);
    int exp10 = 0;
    if (p < res.ptr) {
        ++p;
        std::from_chars(*p == '+' ? p + 1 : p, res.ptr, exp10);
    }
    d.point = exp10 + 1;
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
    return d;
}

// Rounds to `decimals` digits after the point, half away from zero.
void RoundTo(Decimal& d, int decimals) {
    if (d.digits.empty()) return;
    const int keep = d.point + decimals;
    if (keep >= static_cast<int>(d.digits.size())) return;
    if (keep < 0) {
        d.digits.clear();
        d.point = 0;
        return;
    }
    const bool up = d.digits[keep] >= '5';
    d.digits.resize(keep);
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[i] == '9') {
            d.digits[i] = '0';
            --i;
        }
        if (i < 0) {
            d.digits.insert(d.digits.begin(), '1');
            ++d.point;
        } else {
            ++d.digits[i];
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
    if (d.digits.empty()) d.point = 0;
}

// Digits before the point ("" when the value is below 1).
std::string IntDigits(const Decimal& d) {
    if (d.digits.empty() || d.point <= 0) return {};
    std::string s = d.digits.substr(0, std::min<size_t>(d.point, d.digits.size()));
    s.append(d.point - s.size(), '0');
    return s;
}

// Exactly `count` digits after the point (the value must already be rounded).
std::string FracDigits(const Decimal& d, int count) {
    std::string s(count, '0');
    for (int i = 0; i < count; ++i) {
        const int idx = d.point + i;
        if (idx >= 0 && idx < static_cast<int>(d.digits.size())) s[i] = d.digits[idx];
    }
    return s;
}

// ---------------------------------------------------------------------------
// General: what a standard-width column (11 characters, sign not counted)
// shows for a number without a format.

constexpr int kGeneralWidth = 11;

std::string GeneralScientific(Decimal d) {
    int exp = d.point - 1;
    d.point = 1;
    const int decimals = (exp >= 100 || exp <= -100) ? 4 : 5;
    RoundTo(d, decimals);
    if (d.point > 1) {  // 9.999999 rounded up to 10
        ++exp;
        d.point = 1;
    }
    std::string out = IntDigits(d);
    if (d.digits.size() > 1) {
        out.push_back('.');
        out.append(d.digits, 1, std::string::npos);
    }
    out.push_back('E');
    out.push_back(exp < 0 ? '-' : '+');
    const int ae = exp < 0 ? -exp : exp;
    if (ae < 10) out.push_back('0');
    out += std::to_string(ae);
    return out;
}

std::string GeneralAbs(double a) {  // a >= 0
    if (a == 0) return "0";
    Decimal d = ToDecimal(a);
    const int exp = d.point - 1;
    if (exp >= kGeneralWidth || exp <= -5) return GeneralScientific(d);
    const int intLen = d.point > 0 ? d.point : 1;
    const int decimals = kGeneralWidth - intLen - 1;
    Decimal r = d;
    RoundTo(r, decimals < 0 ? 0 : decimals);
    if (r.point > kGeneralWidth) return GeneralScientific(d);
    std::string out = IntDigits(r);
    if (out.empty()) out = "0";
    if (r.digits.size() > static_cast<size_t>(r.point > 0 ? r.point : 0)) {
        std::string frac = FracDigits(r, decimals);
        while (!frac.empty() && frac.back() == '0') frac.pop_back();
        if (!frac.empty()) {
            out.push_back('.');
            out += frac;
        }
    }
    return out;
}

std::string General(double v) {
    if (std::isnan(v) || std::isinf(v)) return "#NUM!";
    if (v < 0) return "-" + GeneralAbs(-v);
    return GeneralAbs(v);
}

// ---------------------------------------------------------------------------
// Parsed format codes.

enum class Tok : std::uint8_t {
    Literal,
    Digit,      // 0 # ? placeholder; ch holds which
    Point,
    Comma,      // resolved to grouping, scaling or a literal after parsing
    Percent,
    Exp,        // E+ E- e+ e-; text holds "E+" etc.
    Slash,
    FixedDenom, // digits after a fraction slash; count holds the denominator
    Text,       // @
    General,
    Year,
    Month,
    Minute,
    Day,
    Hour,
    Second,
    SubSecond,  // .0 .00 .000 after seconds; count = digits
    AmPm,       // text holds the code as written ("AM/PM", "a/p")
    ElapsedH,
    ElapsedM,
    ElapsedS,
};

enum class Role : std::uint8_t { None, Int, Dec, ExpDigit, Num, Den };

struct Token {
    Tok kind = Tok::Literal;
    char ch = 0;
    Role role = Role::None;
    int count = 0;
    std::string text;
};

enum class CondOp : std::uint8_t { None, Lt, Le, Gt, Ge, Eq, Ne };

struct Section {
    std::vector<Token> tokens;
    CondOp op = CondOp::None;
    double operand = 0;
    bool isDate = false;
    bool hasText = false;
    // number layout
    int intPlaces = 0;
    int decPlaces = 0;
    int expPlaces = 0;  // '0' placeholders of the exponent (its minimum width)
    int denPlaces = 0;
    int fixedDen = 0;
    int percent = 0;
    int scale = 0;  // trailing commas: divide by 1000 each
    bool grouping = false;
    bool hasPoint = false;
    bool hasExp = false;
    bool fraction = false;
    bool intHasHash = false;
    // date layout
    int subSecond = 0;
    bool hasAmPm = false;
};

struct Format {
    std::vector<Section> sections;
    int numeric = 0;       // sections used for numbers
    int textSection = -1;  // section used for text, or -1
    bool general = false;  // the whole code is General
};

bool IEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool IsDateKind(Tok k) {
    switch (k) {
        case Tok::Year: case Tok::Month: case Tok::Minute: case Tok::Day: case Tok::Hour:
        case Tok::Second: case Tok::SubSecond: case Tok::AmPm: case Tok::ElapsedH:
        case Tok::ElapsedM: case Tok::ElapsedS:
            return true;
        default:
            return false;
    }
}

void AddLiteral(std::vector<Token>& toks, std::string_view s) {
    if (s.empty()) return;
    if (!toks.empty() && toks.back().kind == Tok::Literal) {
        toks.back().text.append(s);
        return;
    }
    Token t;
    t.kind = Tok::Literal;
    t.text = std::string(s);
    toks.push_back(std::move(t));
}

void AddToken(std::vector<Token>& toks, Tok kind, int count = 0, char ch = 0) {
    Token t;
    t.kind = kind;
    t.count = count;
    t.ch = ch;
    toks.push_back(std::move(t));
}

// The token a lone decimal point, comma, percent sign or "@" stands for.
std::optional<Tok> PunctuationToken(char c) {
    switch (c) {
        case '.': return Tok::Point;
        case ',': return Tok::Comma;
        case '%': return Tok::Percent;
        case '@': return Tok::Text;
        default: return std::nullopt;
    }
}

// A bracketed part: condition, elapsed time, locale/currency or colour.
void ParseBracket(std::string_view in, Section& sec) {
    if (in.empty()) return;
    if (in[0] == '$') {
        // [$€-407]: the text before '-' is a currency symbol shown as is.
        const size_t dash = in.find('-');
        AddLiteral(sec.tokens, in.substr(1, dash == std::string_view::npos ? std::string_view::npos : dash - 1));
        return;
    }
    if (in[0] == '<' || in[0] == '>' || in[0] == '=') {
        size_t i = 1;
        if (in[0] == '<' && in.size() > 1 && in[1] == '=') { sec.op = CondOp::Le; i = 2; }
        else if (in[0] == '<' && in.size() > 1 && in[1] == '>') { sec.op = CondOp::Ne; i = 2; }
        else if (in[0] == '>' && in.size() > 1 && in[1] == '=') { sec.op = CondOp::Ge; i = 2; }
        else if (in[0] == '<') sec.op = CondOp::Lt;
        else if (in[0] == '>') sec.op = CondOp::Gt;
        else sec.op = CondOp::Eq;
        std::string num(in.substr(i));
        char* end = nullptr;
        sec.operand = std::strtod(num.c_str(), &end);
        return;
    }
    const char c = Lower(in[0]);
    if (c == 'h' || c == 'm' || c == 's') {
        for (char x : in)
            if (Lower(x) != c) return;  // e.g. [Magenta]: a colour
        AddToken(sec.tokens, c == 'h' ? Tok::ElapsedH : c == 'm' ? Tok::ElapsedM : Tok::ElapsedS,
                 static_cast<int>(in.size()));
    }
    // colours ([Red], [Color10]) and anything else are not shown
}

Section ParseSection(std::string_view s) {
    Section sec;
    auto& toks = sec.tokens;
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        const char c = s[i];
        if (const std::optional<Tok> single = PunctuationToken(c)) {
            AddToken(toks, *single);
            ++i;
            continue;
        }
        switch (c) {
            case '"': {
                const size_t end = s.find('"', i + 1);
                const size_t stop = end == std::string_view::npos ? n : end;
                AddLiteral(toks, s.substr(i + 1, stop - i - 1));
                i = stop == n ? n : stop + 1;
                continue;
            }
            case '\\':
                if (i + 1 < n) {
                    size_t len = 1;  // keep a UTF-8 sequence whole
                    while (i + 1 + len < n && (static_cast<unsigned char>(s[i + 1 + len]) & 0xC0) == 0x80) ++len;
                    AddLiteral(toks, s.substr(i + 1, len));
                    i += 1 + len;
                } else {
                    ++i;
                }
                continue;
            case '_':
                AddLiteral(toks, " ");
                i += 2;
                while (i < n && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
                continue;
            case '*':
                // A fill repeats its character to the column width; without a
                // width it shows nothing.
                i += 2;
                while (i < n && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
                continue;
            case '[': {
                const size_t end = s.find(']', i + 1);
                const size_t stop = end == std::string_view::npos ? n : end;
                ParseBracket(s.substr(i + 1, stop - i - 1), sec);
                i = stop == n ? n : stop + 1;
                continue;
            }
            case '0': case '#': case '?':
                AddToken(toks, Tok::Digit, 0, c);
                ++i;
                continue;
            case '/': {
                size_t j = i + 1;
                if (j < n && s[j] >= '1' && s[j] <= '9') {
                    int den = 0;
                    while (j < n && s[j] >= '0' && s[j] <= '9' && den < 100000000) den = den * 10 + (s[j++] - '0');
                    AddToken(toks, Tok::Slash);
                    AddToken(toks, Tok::FixedDenom, den);
                    i = j;
                } else {
                    AddToken(toks, Tok::Slash);
                    ++i;
                }
                continue;
            }
            default:
                break;
        }
        if ((c == 'E' || c == 'e') && i + 1 < n && (s[i + 1] == '+' || s[i + 1] == '-')) {
            Token t;
            t.kind = Tok::Exp;
            t.text = std::string(s.substr(i, 2));
            toks.push_back(std::move(t));
            i += 2;
            continue;
        }
        if ((c == 'G' || c == 'g') && i + 7 <= n && IEquals(s.substr(i, 7), "general")) {
            AddToken(toks, Tok::General);
            i += 7;
            continue;
        }
        if ((c == 'A' || c == 'a') && i + 5 <= n && IEquals(s.substr(i, 5), "am/pm")) {
            Token t;
            t.kind = Tok::AmPm;
            t.text = std::string(s.substr(i, 5));
            toks.push_back(std::move(t));
            i += 5;
            continue;
        }
        if ((c == 'A' || c == 'a') && i + 3 <= n && IEquals(s.substr(i, 3), "a/p")) {
            Token t;
            t.kind = Tok::AmPm;
            t.text = std::string(s.substr(i, 3));
            toks.push_back(std::move(t));
            i += 3;
            continue;
        }
        const char lc = Lower(c);
        if (lc == 'y' || lc == 'm' || lc == 'd' || lc == 'h' || lc == 's') {
            size_t j = i;
            while (j < n && Lower(s[j]) == lc) ++j;
            const int count = static_cast<int>(j - i);
            const Tok kind = lc == 'y' ? Tok::Year : lc == 'm' ? Tok::Month : lc == 'd' ? Tok::Day
                           : lc == 'h' ? Tok::Hour : Tok::Second;
            AddToken(toks, kind, count);
            i = j;
            continue;
        }
        // anything else is shown as written (keep UTF-8 sequences whole)
        size_t len = 1;
        while (i + len < n && (static_cast<unsigned char>(s[i + len]) & 0xC0) == 0x80) ++len;
        AddLiteral(toks, s.substr(i, len));
        i += len;
    }
    return sec;
}

// Dates: minutes versus months, fractional seconds, AM/PM; the remaining
// placeholders of a date section are shown as written.
void AnalyseDate(Section& sec) {
    auto& t = sec.tokens;
    std::vector<Token> out;
    out.reserve(t.size());
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind == Tok::Point && i + 1 < t.size() && t[i + 1].kind == Tok::Digit && t[i + 1].ch == '0') {
            int count = 0;
            size_t j = i + 1;
            while (j < t.size() && t[j].kind == Tok::Digit && t[j].ch == '0') { ++count; ++j; }
            Token s;
            s.kind = Tok::SubSecond;
            s.count = count > 3 ? 3 : count;
            sec.subSecond = std::max(sec.subSecond, s.count);
            out.push_back(std::move(s));
            i = j - 1;
            continue;
        }
        Token tok = t[i];
        switch (tok.kind) {
            case Tok::Digit: tok.kind = Tok::Literal; tok.text = std::string(1, tok.ch); break;
            case Tok::Point: tok.kind = Tok::Literal; tok.text = "."; break;
            case Tok::Comma: tok.kind = Tok::Literal; tok.text = ","; break;
            case Tok::Slash: tok.kind = Tok::Literal; tok.text = "/"; break;
            case Tok::FixedDenom: tok.kind = Tok::Literal; tok.text = std::to_string(tok.count); break;
            case Tok::Exp: tok.kind = Tok::Literal; break;
            case Tok::Percent: tok.kind = Tok::Literal; tok.text = "%"; break;
            case Tok::General: tok.kind = Tok::Literal; tok.text = "General"; break;
            default: break;
        }
        if (tok.kind == Tok::Literal && !out.empty() && out.back().kind == Tok::Literal) {
            out.back().text += tok.text;
            continue;
        }
        out.push_back(std::move(tok));
    }
    t.swap(out);
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind == Tok::AmPm) sec.hasAmPm = true;
        if (t[i].kind != Tok::Month || t[i].count > 2) continue;
        bool minute = false;
        for (size_t j = i; j-- > 0;) {
            if (!IsDateKind(t[j].kind)) continue;
            minute = t[j].kind == Tok::Hour || t[j].kind == Tok::ElapsedH;
            break;
        }
        if (!minute) {
            for (size_t j = i + 1; j < t.size(); ++j) {
                if (!IsDateKind(t[j].kind)) continue;
                minute = t[j].kind == Tok::Second || t[j].kind == Tok::ElapsedS;
                break;
            }
        }
        if (minute) t[i].kind = Tok::Minute;
    }
}

bool IsDigitTok(const Token& t) { return t.kind == Tok::Digit; }

// Numbers: roles of the placeholders, grouping and scaling commas, percent.
void AnalyseNumber(Section& sec) {
    auto& t = sec.tokens;
    // Only the first point is the decimal point; later ones are literals.
    int pointIdx = -1;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != Tok::Point) continue;
        if (pointIdx < 0) pointIdx = static_cast<int>(i);
        else { t[i].kind = Tok::Literal; t[i].text = "."; }
    }
    int expIdx = -1;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != Tok::Exp) continue;
        if (expIdx < 0) expIdx = static_cast<int>(i);
        else t[i].kind = Tok::Literal;
    }
    // Commas: between placeholders of the integer part they group thousands;
    // right after a placeholder (and not before another) each scales by 1000.
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != Tok::Comma) continue;
        size_t b = i;
        while (b + 1 < t.size() && t[b + 1].kind == Tok::Comma) ++b;
        const bool prevDigit = i > 0 && IsDigitTok(t[i - 1]);
        const bool nextDigit = b + 1 < t.size() && IsDigitTok(t[b + 1]);
        const bool inInt = (pointIdx < 0 || static_cast<int>(i) < pointIdx) && (expIdx < 0 || static_cast<int>(i) < expIdx);
        for (size_t k = i; k <= b; ++k) {
            t[k].kind = Tok::Literal;
            if (prevDigit && nextDigit && inInt) {
                sec.grouping = true;
                t[k].text.clear();
            } else if (prevDigit && !nextDigit) {
                ++sec.scale;
                t[k].text.clear();
            } else {
                t[k].text = ",";
            }
        }
        i = b;
    }
    for (const auto& tok : t)
        if (tok.kind == Tok::Percent) ++sec.percent;
    // A fraction: placeholders, a slash, then placeholders or a fixed denominator.
    int slashIdx = -1;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != Tok::Slash) continue;
        const bool before = i > 0 && IsDigitTok(t[i - 1]);
        const bool after = i + 1 < t.size() && (IsDigitTok(t[i + 1]) || t[i + 1].kind == Tok::FixedDenom);
        if (slashIdx < 0 && before && after && pointIdx < 0 && expIdx < 0) {
            slashIdx = static_cast<int>(i);
        } else {
            t[i].kind = Tok::Literal;
            t[i].text = "/";
            if (i + 1 < t.size() && t[i + 1].kind == Tok::FixedDenom) {
                t[i + 1].kind = Tok::Literal;
                t[i + 1].text = std::to_string(t[i + 1].count);
            }
        }
    }
    if (slashIdx >= 0) {
        sec.fraction = true;
        int numStart = slashIdx;
        while (numStart > 0 && IsDigitTok(t[numStart - 1])) --numStart;
        for (int i = 0; i < static_cast<int>(t.size()); ++i) {
            if (!IsDigitTok(t[i])) continue;
            if (i < numStart) { t[i].role = Role::Int; ++sec.intPlaces; }
            else if (i < slashIdx) t[i].role = Role::Num;
            else { t[i].role = Role::Den; ++sec.denPlaces; }
        }
        if (slashIdx + 1 < static_cast<int>(t.size()) && t[slashIdx + 1].kind == Tok::FixedDenom)
            sec.fixedDen = t[slashIdx + 1].count;
    } else {
        sec.hasPoint = pointIdx >= 0 && (expIdx < 0 || pointIdx < expIdx);
        if (pointIdx >= 0 && !sec.hasPoint) { t[pointIdx].kind = Tok::Literal; t[pointIdx].text = "."; }
        sec.hasExp = expIdx >= 0;
        for (int i = 0; i < static_cast<int>(t.size()); ++i) {
            if (!IsDigitTok(t[i])) continue;
            if (sec.hasExp && i > expIdx) {
                t[i].role = Role::ExpDigit;
                if (t[i].ch == '0') ++sec.expPlaces;
            } else if (sec.hasPoint && i > pointIdx) {
                t[i].role = Role::Dec;
                ++sec.decPlaces;
            } else {
                t[i].role = Role::Int;
                ++sec.intPlaces;
                if (t[i].ch == '#') sec.intHasHash = true;
            }
        }
        if (sec.hasExp && sec.expPlaces == 0) {
            for (auto& tok : t)
                if (tok.role == Role::ExpDigit) { sec.expPlaces = 1; break; }
        }
    }
}

bool SectionIsDate(const Section& sec) {
    for (const auto& t : sec.tokens)
        if (IsDateKind(t.kind)) return true;
    return false;
}

bool SectionHasText(const Section& sec) {
    for (const auto& t : sec.tokens)
        if (t.kind == Tok::Text) return true;
    return false;
}

std::vector<std::string_view> SplitSections(std::string_view code) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    bool quote = false;
    bool bracket = false;
    for (size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (quote) { if (c == '"') quote = false; continue; }
        if (bracket) { if (c == ']') bracket = false; continue; }
        if (c == '"') quote = true;
        else if (c == '[') bracket = true;
        else if (c == '\\' || c == '_' || c == '*') ++i;
        else if (c == ';') {
            parts.push_back(code.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(code.substr(start));
    return parts;
}

std::unique_ptr<Format> ParseFormat(std::string_view code) {
    auto f = std::make_unique<Format>();
    if (code.empty() || IEquals(code, "general")) {
        f->general = true;
        return f;
    }
    for (std::string_view part : SplitSections(code)) {
        Section sec = ParseSection(part);
        sec.isDate = SectionIsDate(sec);
        sec.hasText = SectionHasText(sec);
        if (sec.isDate) AnalyseDate(sec);
        else AnalyseNumber(sec);
        f->sections.push_back(std::move(sec));
    }
    const int count = static_cast<int>(f->sections.size());
    if (count >= 4) {
        f->numeric = 3;
        f->textSection = 3;
    } else if (f->sections[count - 1].hasText) {
        // a last section holding "@" is for text only
        f->numeric = count - 1;
        f->textSection = count - 1;
    } else {
        f->numeric = count;
    }
    return f;
}

// Parsed codes, kept per thread so a call needs no lock.
struct CodeHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};

const Format& GetFormat(std::string_view code) {
    thread_local std::unordered_map<std::string, std::unique_ptr<Format>, CodeHash, std::equal_to<>> cache;
    thread_local const Format* lastFormat = nullptr;
    thread_local std::string lastCode;
    if (lastFormat && code == lastCode) return *lastFormat;
    auto it = cache.find(code);
    if (it == cache.end()) {
        if (cache.size() >= 4096) cache.clear();  // bound the memory of odd inputs
        it = cache.emplace(std::string(code), ParseFormat(code)).first;
    }
    lastCode.assign(code);
    lastFormat = it->second.get();
    return *lastFormat;
}

// ---------------------------------------------------------------------------
// Rendering numbers.

// Puts `digits` into the integer placeholders of `t` (roles `role`),
// right-aligned: the leftmost placeholder takes any extra digits; a placeholder
// without a digit shows '0' for 0, a space for ? and nothing for #.
struct IntFiller {
    std::string digits;
    int places = 0;    // integer placeholders
    int zeroPad = 0;   // digits shown at least (from the first '0' placeholder on)
    int spacePad = 0;  // width kept by '?' and '0' placeholders
    bool grouping = false;
    int seen = 0;

    void Emit(char ph, std::string& out) {
        if (grouping) {
            // the whole integer at the first placeholder, padded, with commas
            if (seen++ != 0) return;
            std::string s = digits;
            if (static_cast<int>(s.size()) < zeroPad) s.insert(0, zeroPad - s.size(), '0');
            const int sl = static_cast<int>(s.size());
            if (spacePad > sl) out.append(spacePad - sl, ' ');
            for (int i = 0; i < sl; ++i) {
                if (i > 0 && (sl - i) % 3 == 0) out.push_back(',');
                out.push_back(s[i]);
            }
            return;
        }
        const int rightIndex = places - 1 - seen;
        const int len = static_cast<int>(digits.size());
        if (seen == 0 && len > places) out.append(digits, 0, len - places);
        ++seen;
        const int idx = len - 1 - rightIndex;
        if (idx >= 0) out.push_back(digits[idx]);
        else if (ph == '0') out.push_back('0');
        else if (ph == '?') out.push_back(' ');
    }
};

void PreparePads(const Section& sec, Role role, IntFiller& f) {
    int index = 0;
    int firstZero = -1;
    int firstQ = -1;
    for (const auto& t : sec.tokens) {
        if (t.role != role) continue;
        if (t.ch == '0' && firstZero < 0) firstZero = index;
        if ((t.ch == '?' || t.ch == '0') && firstQ < 0) firstQ = index;
        ++index;
    }
    f.places = index;
    f.zeroPad = firstZero < 0 ? 0 : index - firstZero;
    f.spacePad = firstQ < 0 ? 0 : index - firstQ;
}

// The decimal digits shown: trailing zeros dropped under #, blanked under ?.
std::string DecimalText(const Section& sec, Role role, const std::string& digits) {
    std::string shown = digits;
    int idx = static_cast<int>(digits.size()) - 1;
    for (auto it = sec.tokens.rbegin(); it != sec.tokens.rend() && idx >= 0; ++it) {
        if (it->role != role) continue;
        if (digits[idx] != '0' || it->ch == '0') break;
        shown[idx] = it->ch == '?' ? ' ' : '\0';
        --idx;
    }
    std::string out;
    for (char c : shown)
        if (c) out.push_back(c);
    return out;
}

std::string RenderDecimal(const Section& sec, double a, bool negative) {
    Decimal d = ToDecimal(a);
    RoundTo(d, sec.decPlaces);
    IntFiller ints;
    ints.digits = IntDigits(d);
    ints.grouping = sec.grouping;
    PreparePads(sec, Role::Int, ints);
    const std::string frac = DecimalText(sec, Role::Dec, FracDigits(d, sec.decPlaces));
    size_t fracPos = 0;
    std::string out;
    if (negative) out.push_back('-');
    for (const auto& t : sec.tokens) {
        switch (t.kind) {
            case Tok::Literal: out += t.text; break;
            case Tok::Point: out.push_back('.'); break;
            case Tok::Percent: out.push_back('%'); break;
            case Tok::Digit:
                if (t.role == Role::Int) ints.Emit(t.ch, out);
                else if (t.role == Role::Dec && fracPos < frac.size()) {
                    // each decimal placeholder shows its digit, if one is left
                    out.push_back(frac[fracPos++]);
                }
                break;
            case Tok::General:
                if (sec.intPlaces == 0 && sec.decPlaces == 0) out += GeneralAbs(a);
                break;
            default: break;
        }
    }
    return out;
}

std::string RenderScientific(const Section& sec, double a, bool negative) {
    const int n = sec.intPlaces > 0 ? sec.intPlaces : 1;
    Decimal d = ToDecimal(a);
    int exp = 0;
    if (!d.digits.empty()) {
        const int e = d.point - 1;
        const bool engineering = sec.intPlaces > 1 && sec.intHasHash;
        const int step = engineering ? n : 1;
        auto place = [&](int firstExp) {
            if (engineering) {
                exp = (firstExp >= 0 ? firstExp / step : -((-firstExp + step - 1) / step)) * step;
            } else {
                exp = firstExp - (n - 1);
            }
        };
        place(e);
        Decimal r = d;
        r.point -= exp;
        RoundTo(r, sec.decPlaces);
        if (!r.digits.empty() && r.point - 1 + exp != e) {  // rounding carried to a new digit
            place(r.point - 1 + exp);
            r = d;
            r.point -= exp;
            RoundTo(r, sec.decPlaces);
        }
        d = r;
    }
    IntFiller ints;
    ints.digits = IntDigits(d);
    ints.grouping = sec.grouping;
    PreparePads(sec, Role::Int, ints);
    const std::string frac = DecimalText(sec, Role::Dec, FracDigits(d, sec.decPlaces));
    size_t fracPos = 0;
    std::string expDigits = std::to_string(exp < 0 ? -exp : exp);
    if (static_cast<int>(expDigits.size()) < sec.expPlaces) expDigits.insert(0, sec.expPlaces - expDigits.size(), '0');
    bool expDone = false;
    std::string out;
    if (negative) out.push_back('-');
    for (const auto& t : sec.tokens) {
        switch (t.kind) {
            case Tok::Literal: out += t.text; break;
            case Tok::Point: out.push_back('.'); break;
            case Tok::Percent: out.push_back('%'); break;
            case Tok::Exp:
                out.push_back(t.text[0]);
                if (exp < 0) out.push_back('-');
                else if (t.text[1] == '+') out.push_back('+');
                break;
            case Tok::Digit:
                if (t.role == Role::Int) ints.Emit(t.ch, out);
                else if (t.role == Role::Dec && fracPos < frac.size()) out.push_back(frac[fracPos++]);
                else if (t.role == Role::ExpDigit && !expDone) {
                    out += expDigits;
                    expDone = true;
                }
                break;
            default: break;
        }
    }
    return out;
}

// Rounds half away from zero to an integer.
double RoundHalfAway(double x) { return x < 0 ? -std::floor(-x + 0.5) : std::floor(x + 0.5); }

// The closest fraction to x >= 0 with a denominator up to maxDen: the last
// continued-fraction convergent within the bound or the largest admissible
// semiconvergent, whichever is nearer (the smaller denominator on a tie).
void BestFraction(double x, long long maxDen, long long& num, long long& den) {
    long long h0 = 0, h1 = 1, k0 = 1, k1 = 0;
    double r = x;
    for (int iter = 0; iter < 64; ++iter) {
        const double a = std::floor(r);
        if (a > 1e15) break;
        const auto ai = static_cast<long long>(a);
        const long long h2 = ai * h1 + h0;
        const long long k2 = ai * k1 + k0;
        if (k2 > maxDen) {
            const long long m = (maxDen - k0) / k1;
            const long long hs = m * h1 + h0;
            const long long ks = m * k1 + k0;
            if (m > 0) {
                const double errConv = std::fabs(x - static_cast<double>(h1) / static_cast<double>(k1));
                const double errSemi = std::fabs(x - static_cast<double>(hs) / static_cast<double>(ks));
                if (errSemi < errConv) {
                    num = hs;
                    den = ks;
                    return;
                }
            }
            break;
        }
        h0 = h1; h1 = h2;
        k0 = k1; k1 = k2;
        const double frac = r - a;
        if (frac < 1e-12) break;
        r = 1 / frac;
    }
    num = h1;
    den = k1;
}

std::string RenderFraction(const Section& sec, double a, bool negative) {
    long long maxDen = sec.fixedDen;
    if (maxDen == 0) {
        maxDen = 1;
        for (int i = 0; i < sec.denPlaces && maxDen < 1000000; ++i) maxDen *= 10;
        maxDen = maxDen > 1 ? maxDen - 1 : 1;
    }
    std::string wholeText;  // digits of the whole part ("" for none)
    std::string numText;
    long long num = 0;
    long long den = 1;
    if (a * static_cast<double>(maxDen) >= 1e15) {
        // Too large for a fraction part to show: the value rounded to a whole.
        Decimal d = ToDecimal(sec.intPlaces > 0 || sec.fixedDen == 0 ? a : a * static_cast<double>(maxDen));
        RoundTo(d, 0);
        if (sec.intPlaces > 0) wholeText = IntDigits(d);
        else numText = IntDigits(d);
        if (sec.fixedDen > 0) den = sec.fixedDen;
    } else {
        double whole = 0;
        double f = a;
        if (sec.intPlaces > 0) {
            whole = std::floor(a);
            f = a - whole;
        }
        if (sec.fixedDen > 0) {
            den = sec.fixedDen;
            num = static_cast<long long>(RoundHalfAway(f * static_cast<double>(den)));
        } else {
            BestFraction(f, maxDen, num, den);
        }
        if (sec.intPlaces > 0 && num >= den) {  // the fraction rounded up to a whole
            whole += static_cast<double>(num / den);
            num %= den;
        }
        if (whole > 0) wholeText = std::to_string(static_cast<long long>(whole));
        if (num > 0 || sec.intPlaces == 0) numText = std::to_string(num);
    }
    const bool blankFraction = numText.empty() && sec.intPlaces > 0;
    if (num == 0 && sec.fixedDen == 0) den = 1;

    IntFiller ints;
    ints.digits = wholeText;
    if (blankFraction && wholeText.empty()) ints.digits = "0";
    ints.grouping = sec.grouping;
    PreparePads(sec, Role::Int, ints);
    IntFiller nums;
    nums.digits = numText;
    PreparePads(sec, Role::Num, nums);
    const std::string denText = std::to_string(den);
    int denSeen = 0;

    std::string out;
    if (negative) out.push_back('-');
    for (const auto& t : sec.tokens) {
        switch (t.kind) {
            case Tok::Literal: out += t.text; break;
            case Tok::Percent: out.push_back('%'); break;
            case Tok::Slash: out.push_back(blankFraction ? ' ' : '/'); break;
            case Tok::FixedDenom:
                if (blankFraction) out.append(denText.size(), ' ');
                else out += denText;
                break;
            case Tok::Digit:
                if (t.role == Role::Int) {
                    ints.Emit(t.ch, out);
                } else if (t.role == Role::Num) {
                    if (blankFraction) { if (t.ch != '#') out.push_back(' '); }
                    else nums.Emit(t.ch, out);
                } else if (t.role == Role::Den) {
                    if (blankFraction) {
                        if (t.ch != '#') out.push_back(' ');
                    } else if (denSeen == 0) {
                        out += denText;
                        // unused places after the denominator keep their width
                        const int left = sec.denPlaces - static_cast<int>(denText.size());
                        if (left > 0) out.append(left, ' ');
                    }
                    ++denSeen;
                }
                break;
            default: break;
        }
    }
    return out;
}

std::string RenderNumberSection(const Section& sec, double value, bool showMinus) {
    double a = std::fabs(value);
    for (int i = 0; i < sec.percent; ++i) a *= 100;
    for (int i = 0; i < sec.scale; ++i) a /= 1000;
    const bool negative = showMinus && value < 0;
    if (sec.fraction) return RenderFraction(sec, a, negative);
    if (sec.hasExp) return RenderScientific(sec, a, negative);
    return RenderDecimal(sec, a, negative);
}

// ---------------------------------------------------------------------------
// Rendering dates and times.

// Shown instead of a date or time the calendar cannot hold (a negative serial
// or one after 9999-12-31): a run of '#' as wide as a standard column's General.
const std::string kDateOverflow(kGeneralWidth, '#');

constexpr const char* kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
constexpr const char* kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// Proleptic Gregorian date of a day count from 1970-01-01.
void CivilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

struct DateParts {
    int year = 1900, month = 1, day = 0, weekday = 0;  // weekday 0 = Sunday
};

DateParts DateOfSerial(long long days, bool date1904) {
    DateParts p;
    if (date1904) {
        // day 0 is 1904-01-01, a Friday; 1904-01-01 is 12418 days before 1970-01-01
        CivilFromDays(days - 24107, p.year, p.month, p.day);
        p.weekday = static_cast<int>((days + 5) % 7);
        return p;
    }
    // The 1900 system counts a 29 February 1900 (serial 60) that never was, and
    // serial 0 is "1/0/1900"; weekdays follow that count.
    p.weekday = static_cast<int>((days + 6) % 7);
    if (days == 0) { p.year = 1900; p.month = 1; p.day = 0; return p; }
    if (days == 60) { p.year = 1900; p.month = 2; p.day = 29; return p; }
    const long long fromEpoch = days < 60 ? days - 25568 : days - 25569;
    CivilFromDays(fromEpoch, p.year, p.month, p.day);
    return p;
}

void AppendPadded(std::string& out, long long v, int width) {
    std::string s = std::to_string(v);
    if (static_cast<int>(s.size()) < width) out.append(width - s.size(), '0');
    out += s;
}

std::string RenderDate(const Section& sec, double value, bool date1904) {
    const double maxSerial = date1904 ? 2957003.0 : 2958465.0;
    if (!(value >= 0) || value >= maxSerial + 1) return kDateOverflow;
    long long unitScale = 1;
    for (int i = 0; i < sec.subSecond; ++i) unitScale *= 10;
    const long long perDay = 86400LL * unitScale;
    const long long total = static_cast<long long>(std::floor(value * static_cast<double>(perDay) + 0.5));
    const long long days = total / perDay;
    if (static_cast<double>(days) > maxSerial) return kDateOverflow;
    const long long inDay = total % perDay;
    const long long secOfDay = inDay / unitScale;
    const long long subUnits = inDay % unitScale;
    const int hour = static_cast<int>(secOfDay / 3600);
    const int minute = static_cast<int>(secOfDay / 60 % 60);
    const int second = static_cast<int>(secOfDay % 60);
    const long long totalSeconds = total / unitScale;
    const DateParts dp = DateOfSerial(days, date1904);

    std::string out;
    for (const auto& t : sec.tokens) {
        switch (t.kind) {
            case Tok::Literal: out += t.text; break;
            case Tok::Year:
                if (t.count <= 2) AppendPadded(out, dp.year % 100, 2);
                else AppendPadded(out, dp.year, 4);
                break;
            case Tok::Month:
                if (t.count == 1) AppendPadded(out, dp.month, 1);
                else if (t.count == 2) AppendPadded(out, dp.month, 2);
                else if (t.count == 3) out.append(kMonths[dp.month - 1], 3);
                else if (t.count == 5) out.push_back(kMonths[dp.month - 1][0]);
                else out += kMonths[dp.month - 1];
                break;
            case Tok::Day:
                if (t.count <= 2) AppendPadded(out, dp.day, t.count);
                else if (t.count == 3) out.append(kDays[dp.weekday], 3);
                else out += kDays[dp.weekday];
                break;
            case Tok::Hour: {
                int h = hour;
                if (sec.hasAmPm) { h %= 12; if (h == 0) h = 12; }
                AppendPadded(out, h, t.count >= 2 ? 2 : 1);
                break;
            }
            case Tok::Minute: AppendPadded(out, minute, t.count >= 2 ? 2 : 1); break;
            case Tok::Second: AppendPadded(out, second, t.count >= 2 ? 2 : 1); break;
            case Tok::SubSecond: {
                out.push_back('.');
                long long v = subUnits;
                for (int i = t.count; i < sec.subSecond; ++i) v /= 10;
                AppendPadded(out, v, t.count);
                break;
            }
            case Tok::AmPm: {
                const bool pm = hour >= 12;
                if (t.text.size() == 5) {  // AM/PM: the case of each letter as written
                    out.push_back(pm ? t.text[3] : t.text[0]);
                    out.push_back(pm ? t.text[4] : t.text[1]);
                } else {
                    out.push_back(pm ? t.text[2] : t.text[0]);
                }
                break;
            }
            case Tok::ElapsedH: AppendPadded(out, totalSeconds / 3600, t.count); break;
            case Tok::ElapsedM: AppendPadded(out, totalSeconds / 60, t.count); break;
            case Tok::ElapsedS: AppendPadded(out, totalSeconds, t.count); break;
            default: break;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------

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

std::string_view BuiltinFormatCode(int numFmtId) {
    switch (numFmtId) {
        case 0: return "General";
        case 1: return "0";
        case 2: return "0.00";
        case 3: return "#,##0";
        case 4: return "#,##0.00";
        case 5: return "\"$\"#,##0_);\\(\"$\"#,##0\\)";
        case 6: return "\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)";
        case 7: return "\"$\"#,##0.00_);\\(\"$\"#,##0.00\\)";
        case 8: return "\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)";
        case 9: return "0%";
        case 10: return "0.00%";
        case 11: return "0.00E+00";
        case 12: return "# ?/?";
        case 13: return "# ?\?/?\?";
        case 14: return "m/d/yyyy";
        case 15: return "d-mmm-yy";
        case 16: return "d-mmm";
        case 17: return "mmm-yy";
        case 18: return "h:mm AM/PM";
        case 19: return "h:mm:ss AM/PM";
        case 20: return "h:mm";
        case 21: return "h:mm:ss";
        case 22: return "m/d/yyyy h:mm";
        case 37: return "#,##0 ;(#,##0)";
        case 38: return "#,##0 ;[Red](#,##0)";
        case 39: return "#,##0.00;(#,##0.00)";
        case 40: return "#,##0.00;[Red](#,##0.00)";
        case 41: return "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)";
        case 42: return "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)";
        case 43: return "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)";
        case 44: return "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)";
        case 45: return "mm:ss";
        case 46: return "[h]:mm:ss";
        case 47: return "mmss.0";
        case 48: return "##0.0E+0";
        case 49: return "@";
        default: return {};
    }
}

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
    return kDateOverflow;  // no section takes the value
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
