#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/datetime.h"

namespace vorla {
namespace {

TEST(DateTime, DayCountsOfKnownDates) {
    struct Case {
        int y, m, d;
        double days;
    } cases[] = {
        {1899, 12, 30, 0},   {1899, 12, 31, 1},     {1900, 1, 1, 2},      {1899, 1, 1, -363},
        {1, 1, 1, -693593},  {9999, 12, 31, 2958465}, {2000, 2, 29, 36585}, {2019, 5, 6, 43591},
        {2024, 1, 31, 45322}, {1990, 1, 1, 32874},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.y << "-" << c.m << "-" << c.d);
        EXPECT_EQ(encode_date(c.y, c.m, c.d).value, c.days);
        EXPECT_EQ(decode_date_time(DateValue{c.days}), (DateParts{c.y, c.m, c.d, 0, 0, 0, 0}));
    }
}

TEST(DateTime, EveryDayDecodesToTheDateThatEncodesIt) {
    int mismatches = 0;
    for (long long day = -693593; day <= 2958465; ++day) {
        const DateParts p = decode_date_time(DateValue{static_cast<double>(day)});
        std::optional<DateValue> back = try_encode_date(p.year, p.month, p.day);
        if (!back || back->value != static_cast<double>(day)) ++mismatches;
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(DateTime, TimeOfDayIsTheFraction) {
    const DateValue v = encode_date_time(2019, 5, 6, 14, 30, 5, 120);
    EXPECT_DOUBLE_EQ(v.value, 43591 + (14 * 3600 + 30 * 60 + 5.12) / 86400);
    EXPECT_EQ(decode_date_time(v), (DateParts{2019, 5, 6, 14, 30, 5, 120}));
    EXPECT_EQ(day_count(v), 43591);
    EXPECT_EQ(millisecond_of_day(v), 52205120);
}

TEST(DateTime, BeforeDayZeroTheFractionStillCountsFromMidnight) {
    const DateValue noon = encode_date_time(1899, 1, 1, 12, 0, 0);
    EXPECT_EQ(noon.value, -363.5);
    EXPECT_EQ(decode_date_time(noon), (DateParts{1899, 1, 1, 12, 0, 0, 0}));
    const DateValue morning = encode_date_time(1899, 12, 29, 6, 0, 0);
    EXPECT_EQ(morning.value, -1.25);
    EXPECT_EQ(decode_date_time(morning), (DateParts{1899, 12, 29, 6, 0, 0, 0}));
}

TEST(DateTime, DecodeRoundsToTheMillisecond) {
    const double almost = 43591 + (14 * 3600 + 30 * 60 + 5.9996) / 86400;
    EXPECT_EQ(decode_date_time(DateValue{almost}), (DateParts{2019, 5, 6, 14, 30, 6, 0}));
    const double before_midnight = 43591 + (86400 - 0.0001) / 86400;
    EXPECT_EQ(decode_date_time(DateValue{before_midnight}), (DateParts{2019, 5, 7, 0, 0, 0, 0}));
}

TEST(DateTime, ValidityChecks) {
    EXPECT_TRUE(is_valid_date(2000, 2, 29));
    EXPECT_TRUE(is_valid_date(2020, 2, 29));
    EXPECT_FALSE(is_valid_date(1900, 2, 29));
    EXPECT_FALSE(is_valid_date(2019, 2, 29));
    EXPECT_FALSE(is_valid_date(2019, 4, 31));
    EXPECT_FALSE(is_valid_date(2019, 0, 1));
    EXPECT_FALSE(is_valid_date(2019, 13, 1));
    EXPECT_FALSE(is_valid_date(2019, 1, 0));
    EXPECT_FALSE(is_valid_date(0, 1, 1));
    EXPECT_FALSE(is_valid_date(10000, 1, 1));
    EXPECT_TRUE(is_valid_time(23, 59, 59, 999));
    EXPECT_TRUE(is_valid_time(0, 0, 0, 0));
    EXPECT_FALSE(is_valid_time(24, 0, 0, 0));
    EXPECT_FALSE(is_valid_time(12, 60, 0, 0));
    EXPECT_FALSE(is_valid_time(12, 0, 60, 0));
    EXPECT_FALSE(is_valid_time(12, 0, 0, 1000));
    EXPECT_FALSE(try_encode_date_time(2019, 5, 6, 24, 0, 0).has_value());
    EXPECT_THROW(encode_date(2019, 2, 29), std::invalid_argument);
}

TEST(DateTime, RangeOfValues) {
    EXPECT_TRUE(is_in_range(encode_date_time(9999, 12, 31, 23, 59, 59, 999)));
    EXPECT_TRUE(is_in_range(encode_date(1, 1, 1)));
    EXPECT_FALSE(is_in_range(DateValue{2958466}));
    EXPECT_FALSE(is_in_range(DateValue{-693594}));
    EXPECT_FALSE(is_in_range(DateValue{std::numeric_limits<double>::quiet_NaN()}));
    EXPECT_FALSE(is_in_range(DateValue{std::numeric_limits<double>::infinity()}));
    EXPECT_EQ(decode_date_time(DateValue{1e12}), DateParts{});
}

TEST(DateTime, FromLocalTime) {
    platform::LocalTime t;
    t.year = 2024, t.month = 1, t.day = 31, t.hour = 8, t.minute = 5, t.second = 9, t.millisecond = 7;
    EXPECT_EQ(from_local_time(t), encode_date_time(2024, 1, 31, 8, 5, 9, 7));
}

TEST(DateTime, ShortDateFormat) {
    const ShortDateFormat saved = short_date_format();
    const DateValue v = encode_date(2024, 1, 5);
    set_short_date_format("yyyy/m/d", '/');
    EXPECT_EQ(format_short_date(v), "2024/1/5");
    set_short_date_format("yyyy/mm/dd", '-');
    EXPECT_EQ(format_short_date(v), "2024-01-05");
    set_short_date_format("dd.MM.yy", '/');
    EXPECT_EQ(format_short_date(v), "05.01.24");
    set_short_date_format(saved.pattern, saved.separator);
}

}  // namespace
}  // namespace vorla
