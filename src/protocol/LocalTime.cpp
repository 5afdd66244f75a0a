#include "protocol/LocalTime.h"

#include <cstdio>

namespace velto {

namespace {

constexpr const char* kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr const char* kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};

// Out-of-range fields (a hand-made tm) must not index past the tables.
const char* DayName(const std::tm& t) { return (t.tm_wday >= 0 && t.tm_wday < 7) ? kDays[t.tm_wday] : "???"; }
const char* MonthName(const std::tm& t) { return (t.tm_mon >= 0 && t.tm_mon < 12) ? kMonths[t.tm_mon] : "???"; }

}  // namespace

std::tm CurrentLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return t;
}

std::string FormatClockTime(const std::tm& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
    return buf;
}

std::string FormatBannerTime(const std::tm& t) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d %s, %s %02d, %d", t.tm_hour, t.tm_min, t.tm_sec, DayName(t),
                  MonthName(t), t.tm_mday, t.tm_year + 1900);
    return buf;
}

std::string FormatMailDate(const std::tm& t) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%.3s, %02d %.3s %02d %02d:%02d:%02d %s", DayName(t), t.tm_mday, MonthName(t),
                  ((t.tm_year % 100) + 100) % 100, t.tm_hour, t.tm_min, t.tm_sec, t.tm_zone ? t.tm_zone : "");
    return buf;
}

}  // namespace velto
