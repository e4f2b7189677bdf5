// The date value of the transaction records: a day count with the time of day
// as its fraction. Day 0 is 30 December 1899; 0 itself is the zero date, which
// the records use for "no date". Days before day 0 are negative, and the
// fraction of a negative value still counts forward from midnight: -363.5 is
// 1 January 1899 at noon.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace vorla {

struct DateValue {
    double value = 0;

    constexpr bool is_zero() const { return value == 0; }
    friend constexpr bool operator==(const DateValue&, const DateValue&) = default;
};

// The calendar parts of a date value (proleptic Gregorian calendar).
struct DateParts {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    friend constexpr bool operator==(const DateParts&, const DateParts&) = default;
};

bool is_leap_year(int year);
// Days of the month, 0 for a month outside 1..12.
int days_in_month(int year, int month);
// Year 1..9999, month 1..12, day within the month.
bool is_valid_date(int year, int month, int day);
// Hour 0..23, minute and second 0..59, millisecond 0..999.
bool is_valid_time(int hour, int minute, int second, int millisecond = 0);

// nullopt when the parts are not a valid date (and time).
std::optional<DateValue> try_encode_date(int year, int month, int day);
std::optional<DateValue> try_encode_date_time(int year, int month, int day, int hour, int minute,
                                              int second, int millisecond = 0);
// As above; invalid parts throw std::invalid_argument.
DateValue encode_date(int year, int month, int day);
DateValue encode_date_time(int year, int month, int day, int hour, int minute, int second,
                           int millisecond = 0);

// True when the value is finite and lies between 1 January 0001 and the last
// millisecond of 31 December 9999.
bool is_in_range(DateValue v);
// The parts of a value in range, rounded to the millisecond. A value out of
// range gives all-zero parts.
DateParts decode_date_time(DateValue v);
// Whole days of the value (the day count truncated toward zero, after rounding
// to the millisecond), and the milliseconds since midnight.
long long day_count(DateValue v);
int millisecond_of_day(DateValue v);

DateValue from_local_time(const platform::LocalTime& t);

// The library's short date format, used where dates are shown as short dates
// (the invoice reports). A pattern of d, dd, m, mm, yy, yyyy and "/" (the date
// separator); other characters stand for themselves. It starts as "yyyy/m/d"
// with "/" as separator, the setting of a Chinese-locale workstation; reading a
// date field of a transaction document switches it to "yyyy-mm-dd" with "-"
// for the rest of the process's life. Process-wide, like the configuration.
struct ShortDateFormat {
    std::string pattern;
    char separator = '/';
};
ShortDateFormat short_date_format();
void set_short_date_format(std::string_view pattern, char separator);
std::string format_short_date(DateValue v);

}  // namespace vorla
