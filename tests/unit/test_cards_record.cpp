// The card record's readers without hardware: the reader dispatch table, the
// typed inputs, identity number decoding, card dates and the card-read trace.
#include <gtest/gtest.h>

#include <filesystem>

#include "cards/card_transactions.h"
#include "cards/readers.h"
#include "common/text.h"
#include "entry/config.h"
#include "platform/fs.h"
#include "support.h"

namespace vorla::cards {
namespace {

TEST(DecodeIdNumber, Table) {
    struct Case {
        const char* id;
        int year, month, day;
        const char* sex;
    };
    const Case cases[] = {
        {"110101199001011234", 1990, 1, 1, "1"},   // character 17 is 3: odd
        {"11010119900101122X", 1990, 1, 1, "2"},   // character 17 is 2 and an X in position 18
        {"64010220000229004", 2000, 2, 29, "2"},   // 17 characters suffice; a leap day
        {"110101900101123", 1997, 1, 1, "1"},      // 15 characters
        {"110101199013011234", 1997, 1, 1, "1"},   // month 13
        {"110101199002301234", 1997, 1, 1, "1"},   // 30 February
        {"1101011990010112X4", 1997, 1, 1, "1"},   // character 17 not a digit
        {"11010119A0010112341", 1997, 1, 1, "1"},  // a letter in the year
        {"110101000001011234", 1997, 1, 1, "1"},   // year 0
        {"", 1997, 1, 1, "1"},
    };
    for (const Case& c : cases) {
        const DecodedId d = DecodeIdNumber(c.id);
        EXPECT_EQ(d.birthDate, encode_date(c.year, c.month, c.day)) << c.id;
        EXPECT_EQ(d.sex, c.sex) << c.id;
    }
}

TEST(ParseCardDate, ValidAndInvalidTexts) {
    EXPECT_EQ(ParseCardDate("20180101"), encode_date(2018, 1, 1));
    EXPECT_EQ(ParseCardDate("20240229"), encode_date(2024, 2, 29));
    EXPECT_EQ(ParseCardDate("2028010199"), encode_date(2028, 1, 1)) << "characters after the eighth are not read";
    for (const char* bad : {"", "2018", "201801", "20181301", "20230229", "2018-01-01", "abcdefgh", "00000101"})
        EXPECT_THROW(ParseCardDate(bad), CardDateError) << bad;
}

// What each reader that needs no hardware leaves in a fresh record.
TEST(ReadCard, ReaderTableWithoutHardware) {
    const std::string today = today_yyyymmdd();
    {
        TCardOut r;
        ReadCard(7, "110101199001011234", true, r);
        EXPECT_EQ(r.ResultCode, 1);
        EXPECT_EQ(r.CardType, "3");
        EXPECT_EQ(r.IdNumber, "110101199001011234");
        EXPECT_EQ(r.IssueDate, today);
        EXPECT_EQ(r.BirthDate, today);
        EXPECT_EQ(r.Sex, "") << "typed numbers are not decoded";
        EXPECT_EQ(r.CardId + r.CardNo + r.PersonName + r.RegionCode + r.ValidUntil + r.ErrorText, "");
    }
    {
        TCardOut r;
        ReadCard(5, "ECARD\"CODE", false, r);
        EXPECT_EQ(r.ResultCode, 1);
        EXPECT_EQ(r.CardType, "4");
        EXPECT_EQ(r.IdNumber, "ECARD\"CODE");
        EXPECT_EQ(r.IssueDate, today);
        EXPECT_EQ(r.BirthDate, today);
        EXPECT_EQ(r.RegionCode, "") << "filled later by the code's resolution";
    }
    {
        TCardOut r;
        ReadCard(7, "", false, r);
        EXPECT_EQ(r.ResultCode, 1) << "an empty text is accepted";
        EXPECT_EQ(r.IdNumber, "");
    }
    {
        TCardOut r;
        ReadCard(9, R"(0^^{"code":0,"data":{"idNo":"N","ecToken":"T","userName":"M","gender":"1"}})", false, r);
        EXPECT_EQ(r.ResultCode, 1);
        EXPECT_EQ(r.CardType, "5");
        EXPECT_EQ(r.IdNumber, "N");
        EXPECT_EQ(r.CardId, "T");
        EXPECT_EQ(r.ResetInfo, "T");
        EXPECT_EQ(r.PersonName, "M");
        EXPECT_EQ(r.Sex, "1");
        EXPECT_EQ(r.CardNo, "");
        EXPECT_EQ(r.IssueDate, today);
        EXPECT_EQ(r.BirthDate, today);
        EXPECT_EQ(r.ValidUntil, today);
    }
    for (int reader : {1, 2, 3, 4}) {
        TCardOut r;
        ReadCard(reader, "x", false, r);
        EXPECT_EQ(r.ResultCode, -1) << reader;
        EXPECT_EQ(r.ErrorText, gbk("读卡未实现")) << reader;
        EXPECT_EQ(r.CardType, "");
    }
    for (int reader : {0, 10, -1}) {
        TCardOut r;
        ReadCard(reader, "x", false, r);
        EXPECT_EQ(r.ResultCode, -1) << reader;
        EXPECT_EQ(r.ErrorText, "") << reader;
    }
}

class CardTrace : public ::testing::Test {
protected:
    void SetUp() override { config().card_debug = true; }
    void TearDown() override { config().card_debug = false; }
    std::string trace_text() const {
        std::string all;
        const std::string dir = platform::card_trace_directory();
        if (!std::filesystem::is_directory(dir)) return all;
        for (const auto& f : std::filesystem::directory_iterator(dir)) all += testing::read_file(f.path());
        return all;
    }
    testing::SystemDir system_;
};

TEST_F(CardTrace, ReadCardWritesTheInputAndTheRecord) {
    TCardOut r;
    ReadCard(2, "", true, r);
    const std::string text = trace_text();
    // Each line: date, blank, time, tab, message, CR LF.
    const std::string expected_messages[] = {
        "",
        gbk("输入参数:读卡类别\t2"),
        gbk("输入参数:密码验证\t需要输入密码"),
        gbk("读卡返回返回结果:\t-1"),
        gbk("读卡返回异常消息:\t读卡未实现"),
        gbk("读卡返回读卡类型:\t"),
        gbk("读卡返回社保卡ID:\t"),
        gbk("读卡返回社保卡号:\t"),
        gbk("读卡返回发卡日期:\t"),
        gbk("读卡返回身份证号:\t"),
        gbk("读卡返回人员姓名:\t"),
        gbk("读卡返回出生日期:\t"),
    };
    std::vector<std::string> messages;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        const std::string line = text.substr(at, end - at);
        const size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        messages.push_back(line.substr(tab + 1));
        at = end + 2;
    }
    ASSERT_EQ(messages.size(), std::size(expected_messages));
    for (size_t i = 0; i < messages.size(); ++i) EXPECT_EQ(messages[i], expected_messages[i]) << i;

    config().card_debug = false;
    const std::string before = trace_text();
    TCardOut quiet;
    ReadCard(7, "X", false, quiet);
    EXPECT_EQ(quiet.ResultCode, 1) << "the read is the same without the trace";
    EXPECT_EQ(trace_text(), before);
}

TEST_F(CardTrace, PinFlagAndRecordValues) {
    TCardOut r;
    ReadCard(7, "110101199001011234", false, r);
    const std::string text = trace_text();
    EXPECT_NE(text.find(gbk("输入参数:密码验证\t不需要输入密码") + "\r\n"), std::string::npos);
    EXPECT_NE(text.find(gbk("读卡返回返回结果:\t1") + "\r\n"), std::string::npos);
    EXPECT_NE(text.find(gbk("读卡返回身份证号:\t110101199001011234") + "\r\n"), std::string::npos);
    EXPECT_NE(text.find(gbk("读卡返回读卡类型:\t3") + "\r\n"), std::string::npos);
}

}  // namespace
}  // namespace vorla::cards
