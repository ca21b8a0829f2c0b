#include "host/core/DateSection.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/core/DateSerial.h"
#include "host/core/GeneralNumber.h"

namespace host::numfmt {


constexpr const char* kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
constexpr const char* kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

void AppendPadded(std::string& out, long long v, int width) {
    std::string s = std::to_string(v);
    if (static_cast<int>(s.size()) < width) out.append(width - s.size(), '0');
    out += s;
}

std::string RenderDate(const Section& sec, double value, bool date1904) {
    const double maxSerial = date1904 ? 2957003.0 : 2958465.0;
    if (!(value >= 0) || value >= maxSerial + 1) return NoFitText();  // a date or time the calendar cannot hold
    long long unitScale = 1;
    for (int i = 0; i < sec.subSecond; ++i) unitScale *= 10;
    const long long perDay = 86400LL * unitScale;
    const long long total = static_cast<long long>(std::floor(value * static_cast<double>(perDay) + 0.5));
    const long long days = total / perDay;
    if (static_cast<double>(days) > maxSerial) return NoFitText();  // a date or time the calendar cannot hold
    const long long inDay = total % perDay;
    const long long secOfDay = inDay / unitScale;
    const long long subUnits = inDay % unitScale;
    const int hour = static_cast<int>(secOfDay / 3600);
    const int minute = static_cast<int>(secOfDay / 60 % 60);
    const int second = static_cast<int>(secOfDay % 60);
    const long long totalSeconds = total / unitScale;
    const CalendarDay dp = DayOfSerial(days, date1904);

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

}  // namespace host::numfmt
