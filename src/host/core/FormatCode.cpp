#include "host/core/FormatCode.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace host::numfmt {

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

}  // namespace host::numfmt
