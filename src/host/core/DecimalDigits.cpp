#include "host/core/DecimalDigits.h"

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

}  // namespace host::numfmt
