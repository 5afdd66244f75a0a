#pragma once
// Time stamps for the log and the Date header. Day and month names are always
// English: the log reads the same in every locale, and mail headers require it.
#include <ctime>
#include <functional>
#include <string>

namespace velto {

// Gives the current local time; replaceable so that tests see fixed stamps.
using LocalClock = std::function<std::tm()>;
std::tm CurrentLocalTime();

// "14:05:09"
std::string FormatClockTime(const std::tm& t);
// "14:05:09 Monday, December 07, 1998"
std::string FormatBannerTime(const std::tm& t);
// "Mon, 07 Dec 98 14:05:09 EST" (the zone is the tm's own zone name)
std::string FormatMailDate(const std::tm& t);

}  // namespace velto
