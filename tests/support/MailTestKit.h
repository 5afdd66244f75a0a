#pragma once
// Shared pieces of the mail client tests: a fixed clock and short time limits.
#include <chrono>
#include <ctime>

#include "net/PosixTransport.h"

namespace velto::test {

// Monday, December 07, 1998 14:05:09, zone "EST".
inline std::tm FixedLocalTime() {
    std::tm t{};
    t.tm_year = 98;
    t.tm_mon = 11;
    t.tm_mday = 7;
    t.tm_wday = 1;
    t.tm_hour = 14;
    t.tm_min = 5;
    t.tm_sec = 9;
    t.tm_zone = "EST";
    return t;
}

// For conversations that should go through: generous, yet no test can hang.
inline TransportTimeLimits TestTimeLimits() {
    return {std::chrono::milliseconds(10'000), std::chrono::milliseconds(10'000), std::chrono::milliseconds(10'000)};
}
// For servers that go silent: the limit fires quickly.
inline TransportTimeLimits ShortTimeLimits() {
    return {std::chrono::milliseconds(2'000), std::chrono::milliseconds(1'000), std::chrono::milliseconds(2'000)};
}

}  // namespace velto::test
