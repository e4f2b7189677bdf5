// Capital amounts, amount texts and the character-wise GBK helpers of the invoice.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/text.h"
#include "invoice/amounts.h"
#include "invoice/capital.h"
#include "common/text.h"

namespace vorla::invoice {
namespace {

struct CapitalCase {
    double x;
    const char* expected;  // UTF-8
};

TEST(CapitalAmount, WholeTable) {
    const CapitalCase cases[] = {
        {0, "零元整"},
        {0.004, "零元整"},
        {0.005, "零元整"},
        {-0.005, "零元整"},
        {0.01, "零元零壹分"},
        {0.05, "零元零伍分"},
        {0.5, "零元伍角整"},
        {1, "壹元整"},
        {1.05, "壹元零伍分"},
        {1.5, "壹元伍角整"},
        {10.5, "壹拾元伍角整"},
        {101, "壹佰零壹元整"},
        {1000.01, "壹仟元零壹分"},
        {6000.5, "陆仟元伍角整"},
        {100010, "壹拾万零壹拾元整"},
        {100000000, "壹亿万元整"},
        {123456789.12, "壹亿贰仟叁佰肆拾伍万陆仟柒佰捌拾玖元壹角贰分"},
        {9999999999.99, "玖拾玖亿玖仟玖佰玖拾玖万玖仟玖佰玖拾玖元玖角玖分"},
        {-1.5, "负壹元伍角整"},
        {-0.5, "负元零伍角整"},
    };
    for (const auto& c : cases) EXPECT_EQ(capital_amount(c.x), gbk(c.expected)) << "x = " << c.x;
}

TEST(CapitalAmount, FurtherAmounts) {
    const CapitalCase cases[] = {
        {12.34, "壹拾贰元叁角肆分"},
        {1.005, "壹元零壹分"},  // rounded on the decimal form, half away from zero
        {20, "贰拾元整"},
        {10000, "壹万元整"},
        {-1200.5, "负壹仟贰佰元零伍角整"},  // negatives skip the last rewriting
        {0.015, "零元零贰分"},
    };
    for (const auto& c : cases) EXPECT_EQ(capital_amount(c.x), gbk(c.expected)) << "x = " << c.x;
    // Beyond the twelve units the amount is given in figures.
    EXPECT_EQ(capital_amount(10000000000.0), "10000000000.00");
    EXPECT_EQ(capital_amount(-9999999999.995), "-10000000000.00");
    EXPECT_EQ(capital_amount(std::numeric_limits<double>::quiet_NaN()), "");
    EXPECT_EQ(capital_amount(std::numeric_limits<double>::infinity()), "");
}

TEST(CapitalAmount, MarksAreFoundOnWholeCharactersOnly) {
    // Every character of every result is a two-byte GBK character: the byte
    // length is twice the character count.
    for (double x : {0.01, 101.0, 100010.0, 123456789.12, -0.5}) {
        const std::string r = capital_amount(x);
        EXPECT_EQ(r.size(), 2 * gbk_char_count(r)) << x;
    }
}

TEST(AmountText, Fixed2RoundsHalfAwayFromZero) {
    const std::pair<double, const char*> cases[] = {
        {0, "0.00"},        {12.5, "12.50"},     {1.005, "1.01"},  {2.675, "2.68"},   {-2.675, "-2.68"},
        {-0.004, "0.00"},   {0.995, "1.00"},     {99.999, "100.00"}, {1200.5, "1200.50"}, {1e15, "1000000000000000.00"},
        {0.0000001, "0.00"}, {123456789.125, "123456789.13"},
    };
    for (const auto& [v, text] : cases) EXPECT_EQ(fixed2(v), text) << v;
    EXPECT_EQ(fixed2(std::numeric_limits<double>::infinity()), "");
    EXPECT_EQ(total_text(0), "0");
    EXPECT_EQ(total_text(12.5), "12.50");
}

TEST(AmountText, GeneralFormAndReading) {
    EXPECT_EQ(general_text(1234.5), "1234.5");
    EXPECT_EQ(general_text(100), "100");
    EXPECT_EQ(general_text(0), "0");
    EXPECT_EQ(general_text(-3.25), "-3.25");
    EXPECT_EQ(number_from_text(" 12.50 "), 12.5);
    EXPECT_EQ(number_from_text("-3"), -3);
    EXPECT_EQ(number_from_text("1e3"), 1000);
    EXPECT_EQ(number_from_text("12abc"), 0);
    EXPECT_EQ(number_from_text(""), 0);
    EXPECT_EQ(number_from_text("1e999"), 0);
}

TEST(GbkChars, CutAndSearchByCharacters) {
    // "癪" is 0xB0 0x5E in GBK: its trail byte is "^".
    const std::string hat_trail = gbk("癪");
    ASSERT_EQ(hat_trail.size(), 2u);
    ASSERT_EQ(hat_trail[1], '^');
    EXPECT_EQ(code_part(hat_trail + "^" + gbk("名")), hat_trail);
    EXPECT_EQ(name_part(hat_trail + "^" + gbk("名")), gbk("名"));
    EXPECT_EQ(code_part(hat_trail), "") << "no ^ character, only a trail byte";
    EXPECT_EQ(name_part(hat_trail), hat_trail);
    EXPECT_EQ(code_part("310^" + gbk("职工基本医疗保险")), "310");
    EXPECT_EQ(name_part("310^" + gbk("职工基本医疗保险")), gbk("职工基本医疗保险"));
    EXPECT_EQ(name_part(""), "");
    EXPECT_EQ(code_part("a^b^c"), "a");
    EXPECT_EQ(name_part("a^b^c"), "b^c");

    const std::string mixed = gbk("张三") + "12" + gbk("丰");
    EXPECT_EQ(gbk_char_count(mixed), 5u);
    EXPECT_EQ(first_chars(mixed, 3), gbk("张三") + "1");
    EXPECT_EQ(last_chars(mixed, 2), "2" + gbk("丰"));
    EXPECT_EQ(first_chars(mixed, 10), mixed);
    EXPECT_EQ(last_chars("abc", 0), "");

    // A match straddling two characters is not a match: "癪" holds the bytes
    // 0xB0 0x5E, and a search for "^" must not find the trail byte.
    EXPECT_EQ(gbk_find(hat_trail, "^"), std::string::npos);
    const std::string prefix = gbk("卡鉴权系统错误:");
    EXPECT_EQ(remove_all(prefix + gbk("无此人") + prefix, prefix), gbk("无此人"));
    EXPECT_EQ(remove_all("x/Tembro/y/TEMBRO", "/tembro", true), "x/y");
}

}  // namespace
}  // namespace vorla::invoice
