#include "host/core/NumberSection.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/core/DecimalDigits.h"
#include "host/core/GeneralNumber.h"

namespace host::numfmt {

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

}  // namespace host::numfmt
