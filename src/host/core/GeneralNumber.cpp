#include "host/core/GeneralNumber.h"

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

namespace host::numfmt {

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

}  // namespace host::numfmt
