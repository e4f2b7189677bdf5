// Arithmetic on local times for the journals and logs.
#pragma once

#include "platform/platform.h"

namespace vorla::journal {

inline constexpr long long kMillisecondsPerDay = 86400000LL;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
constexpr long long days_of(int year, int month, int day) {
    const long long y = static_cast<long long>(year) - (month <= 2 ? 1 : 0);
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long m = month;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// Milliseconds from 1970-01-01 00:00:00.000 to the local time t.
constexpr long long milliseconds_of(const platform::LocalTime& t) {
    return days_of(t.year, t.month, t.day) * kMillisecondsPerDay +
           ((t.hour * 60LL + t.minute) * 60LL + t.second) * 1000LL + t.millisecond;
}

}  // namespace vorla::journal
