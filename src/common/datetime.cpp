#include "common/datetime.h"

#include <cmath>
#include <cstdlib>
#include <mutex>
#include <stdexcept>

#include "common/text.h"

namespace vorla {
namespace {

constexpr long long kMsPerDay = 86400000;
// Day count of 30 December 1899 counted from 1 January 1970.
constexpr long long kEpochOffset = 25569;
constexpr long long kFirstDay = -693593;  // 1 January 0001
constexpr long long kLastDay = 2958465;   // 31 December 9999

// Days since 1 January 1970 of a proleptic Gregorian date.
long long days_from_civil(long long y, int m, int d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civil_from_days(long long z, int& year, int& month, int& day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

// The value in whole milliseconds, nullopt when it is not a date in range.
std::optional<long long> total_milliseconds(DateValue v) {
    if (!std::isfinite(v.value) || std::fabs(v.value) > 3.0e6) return std::nullopt;
    const long long ms = std::llround(v.value * static_cast<double>(kMsPerDay));
    const long long day = ms / kMsPerDay;
    if (day < kFirstDay || day > kLastDay) return std::nullopt;
    return ms;
}

std::mutex g_short_date_mutex;
ShortDateFormat g_short_date{"yyyy/m/d", '/'};

}  // namespace

bool is_leap_year(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int days_in_month(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}

bool is_valid_date(int year, int month, int day) {
    return year >= 1 && year <= 9999 && day >= 1 && day <= days_in_month(year, month);
}

bool is_valid_time(int hour, int minute, int second, int millisecond) {
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 &&
           millisecond >= 0 && millisecond < 1000;
}

std::optional<DateValue> try_encode_date(int year, int month, int day) {
    if (!is_valid_date(year, month, day)) return std::nullopt;
    return DateValue{static_cast<double>(days_from_civil(year, month, day) + kEpochOffset)};
}

std::optional<DateValue> try_encode_date_time(int year, int month, int day, int hour, int minute,
                                              int second, int millisecond) {
    std::optional<DateValue> date = try_encode_date(year, month, day);
    if (!date || !is_valid_time(hour, minute, second, millisecond)) return std::nullopt;
    const long long ms_of_day = ((hour * 60LL + minute) * 60 + second) * 1000 + millisecond;
    const double time = static_cast<double>(ms_of_day) / static_cast<double>(kMsPerDay);
    // Before day 0 the fraction still counts forward from midnight.
    return DateValue{date->value >= 0 ? date->value + time : date->value - time};
}

DateValue encode_date(int year, int month, int day) {
    if (auto v = try_encode_date(year, month, day)) return *v;
    throw std::invalid_argument("invalid date");
}

DateValue encode_date_time(int year, int month, int day, int hour, int minute, int second,
                           int millisecond) {
    if (auto v = try_encode_date_time(year, month, day, hour, minute, second, millisecond)) return *v;
    throw std::invalid_argument("invalid date and time");
}

bool is_in_range(DateValue v) { return total_milliseconds(v).has_value(); }

long long day_count(DateValue v) {
    auto ms = total_milliseconds(v);
    return ms ? *ms / kMsPerDay : 0;
}

int millisecond_of_day(DateValue v) {
    auto ms = total_milliseconds(v);
    return ms ? static_cast<int>(std::llabs(*ms % kMsPerDay)) : 0;
}

DateParts decode_date_time(DateValue v) {
    DateParts p;
    auto ms = total_milliseconds(v);
    if (!ms) return p;
    civil_from_days(*ms / kMsPerDay - kEpochOffset, p.year, p.month, p.day);
    long long rest = std::llabs(*ms % kMsPerDay);
    p.millisecond = static_cast<int>(rest % 1000);
    rest /= 1000;
    p.second = static_cast<int>(rest % 60);
    rest /= 60;
    p.minute = static_cast<int>(rest % 60);
    p.hour = static_cast<int>(rest / 60);
    return p;
}

DateValue from_local_time(const platform::LocalTime& t) {
    return try_encode_date_time(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond)
        .value_or(DateValue{});
}

ShortDateFormat short_date_format() {
    std::lock_guard lock(g_short_date_mutex);
    return g_short_date;
}

void set_short_date_format(std::string_view pattern, char separator) {
    std::lock_guard lock(g_short_date_mutex);
    g_short_date.pattern.assign(pattern);
    g_short_date.separator = separator;
}

std::string format_short_date(DateValue v) {
    const ShortDateFormat fmt = short_date_format();
    const DateParts p = decode_date_time(v);
    std::string out;
    const std::string& s = fmt.pattern;
    for (size_t i = 0; i < s.size();) {
        const char c = static_cast<char>(s[i] | 0x20);
        if (c == 'd' || c == 'm' || c == 'y') {
            size_t n = 1;
            while (i + n < s.size() && static_cast<char>(s[i + n] | 0x20) == c) ++n;
            if (c == 'y')
                out += n <= 2 ? pad(p.year % 100, 2) : pad(p.year, 4);
            else
                out += pad(c == 'd' ? p.day : p.month, n >= 2 ? 2 : 1);
            i += n;
        } else {
            out += s[i] == '/' ? fmt.separator : s[i];
            ++i;
        }
    }
    return out;
}

}  // namespace vorla
