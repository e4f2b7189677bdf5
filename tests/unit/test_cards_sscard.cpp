// The social security card reader against a card driver and an authentication
// service of the test's own: the plain read, the HSM path, the out-of-region
// check, the PIN and the card text parser.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cards/json_text.h"
#include "cards/readers.h"
#include "cards/ss_card.h"
#include "common/text.h"

namespace vorla::cards {
namespace {

// The card driver of the tests: statuses and texts per function, and the calls.
struct FakeDriver {
    int read_status = 0;
    std::string read_text;
    int step1_status = 0;
    std::string step1_text;
    int step2_status = 0;
    std::string step2_text;
    int verify_status = 0;
    std::string verify_text;
    std::vector<std::string> calls;  // function name, for step 2 with its argument
};
FakeDriver g_driver;

void put(char* out, const std::string& text) { std::memcpy(out, text.c_str(), text.size() + 1); }

const CardDriverApi kFakeApi{
    [](int mode, char* out) {
        g_driver.calls.push_back("iReadCardBas " + std::to_string(mode));
        put(out, g_driver.read_text);
        return g_driver.read_status;
    },
    [](int mode, char* out) {
        g_driver.calls.push_back("iReadCardBas_HSM_Step1 " + std::to_string(mode));
        put(out, g_driver.step1_text);
        return g_driver.step1_status;
    },
    [](char* auth, char* out) {
        g_driver.calls.push_back(std::string("iReadCardBas_HSM_Step2 ") + auth);
        put(out, g_driver.step2_text);
        return g_driver.step2_status;
    },
    [](int mode, char* out) {
        g_driver.calls.push_back("iVerifyPIN " + std::to_string(mode));
        put(out, g_driver.verify_text);
        return g_driver.verify_status;
    },
    [](int mode, char* out) {
        g_driver.calls.push_back("iChangePIN " + std::to_string(mode));
        put(out, "PIN-CHANGE-TEXT");
        return 7;
    },
};

// A local card of a woman born 1 January 1990, and one of another region.
const std::string kLocalCard = "640100|640102199001011223|C1|K1|" + gbk("张三") + "|A|V|20180101|20280101|T|D|";
const std::string kRemoteCard = "650100|650102198512120011|C2|K2|" + gbk("李四") + "|A2|V2|20190101|20290101|T2|D2|";

class SsCard : public ::testing::Test {
protected:
    void SetUp() override {
        g_driver = FakeDriver{};
        posts_.clear();
        answers_.clear();
        context_.driver = &kFakeApi;
        context_.auth_address = "http://auth.example/biz";
        context_.form_post = [this](std::string_view url, std::string_view body) {
            posts_.emplace_back(std::string(url), std::string(body));
            if (answers_.empty()) return http::Result{false, gbk("调用接口错误:no answer")};
            http::Result r = answers_.front();
            answers_.erase(answers_.begin());
            return r;
        };
    }
    void answer(std::string json_gbk) { answers_.push_back({true, std::move(json_gbk)}); }
    bool called(const std::string& prefix) const {
        for (const auto& c : g_driver.calls)
            if (c.rfind(prefix, 0) == 0) return true;
        return false;
    }
    // The head object of a recorded request body.
    json::Value head_of(size_t post) const {
        const auto body = parse_gbk_json(posts_.at(post).second);
        EXPECT_TRUE(body.has_value()) << posts_.at(post).second;
        const json::Value* head = body->member("params")->member("bizData")->member("head");
        EXPECT_NE(head, nullptr);
        return *head;
    }

    SsCardContext context_;
    std::vector<std::pair<std::string, std::string>> posts_;
    std::vector<http::Result> answers_;
};

TEST_F(SsCard, LocalCardWithoutPin) {
    g_driver.read_text = kLocalCard;
    TCardOut r;
    ReadSsCard(context_, false, r);
    EXPECT_EQ(r.ResultCode, 1);
    EXPECT_EQ(r.ErrorText, "");
    EXPECT_EQ(r.RegionCode, "640100");
    EXPECT_EQ(r.IdNumber, "640102199001011223");
    EXPECT_EQ(r.CardNo, "C1");
    EXPECT_EQ(r.CardId, "K1|V|640100|A|");
    EXPECT_EQ(r.PersonName, gbk("张三"));
    EXPECT_EQ(r.ResetInfo, "A");
    EXPECT_EQ(r.SpecVersion, "V");
    EXPECT_EQ(r.IssueDate, "20180101");
    EXPECT_EQ(r.ValidUntil, "20280101");
    EXPECT_EQ(r.TerminalNo, "T");
    EXPECT_EQ(r.DeviceNo, "D");
    EXPECT_EQ(r.BirthDate, "19900101");
    EXPECT_EQ(r.Sex, "2");
    EXPECT_EQ(g_driver.calls, std::vector<std::string>{"iReadCardBas 1"}) << "no PIN check, no HSM";
    EXPECT_TRUE(posts_.empty());
}

TEST_F(SsCard, LocalCardWithPin) {
    g_driver.read_text = kLocalCard;
    TCardOut ok;
    ReadSsCard(context_, true, ok);
    EXPECT_EQ(ok.ResultCode, 1);
    EXPECT_TRUE(called("iVerifyPIN 1"));

    g_driver.verify_status = -3;
    g_driver.verify_text = gbk("密码错误");
    TCardOut r;
    ReadSsCard(context_, true, r);
    EXPECT_EQ(r.ResultCode, -1);
    EXPECT_EQ(r.ErrorText, gbk("密码错误"));
    EXPECT_EQ(r.IdNumber, "640102199001011223") << "the card's fields stay filled";
    EXPECT_EQ(r.CardId, "K1|V|640100|A|");
    EXPECT_TRUE(posts_.empty());
}

TEST_F(SsCard, CardOfAnotherRegionIsCheckedNotPinVerified) {
    g_driver.read_text = kRemoteCard;
    answer(gbk(R"({"result_code":"100","result_data":{"head":{"cgbz":"1","tsxx":"异地卡可用"}}})"));
    TCardOut r;
    ReadSsCard(context_, true, r);
    EXPECT_EQ(r.ResultCode, 1);
    EXPECT_EQ(r.ErrorText, gbk("异地卡可用"));
    EXPECT_FALSE(called("iVerifyPIN")) << "cards of another region are never PIN-checked";
    ASSERT_EQ(posts_.size(), 1u);
    EXPECT_EQ(posts_[0].first, "http://auth.example/biz");
    EXPECT_EQ(posts_[0].second,
              gbk(R"({"methodName":"yd_1904","params":{"bizCode":"1904","bizData":{"head":{"sfzh":"650102198512120011",)"
                  R"("gr_ic":"C2","sbkid":"K2","gr_xm":"李四"}}}})"));

    answer(gbk(R"({"result_code":100,"result_data":{"head":{"cgbz":"0","tsxx":"异地卡未备案"}}})"));
    TCardOut refused;
    ReadSsCard(context_, false, refused);
    EXPECT_EQ(refused.ResultCode, -1);
    EXPECT_EQ(refused.ErrorText, gbk("异地卡未备案"));
}

TEST_F(SsCard, AuthenticationServiceFailures) {
    g_driver.read_text = kRemoteCard;
    struct Case {
        std::optional<std::string> answer;  // nullopt: the POST fails
        std::string error_text;
    };
    const Case cases[] = {
        {std::nullopt, gbk("调用接口错误:no answer")},
        {gbk(R"({"result_code":"101","result_data":"证件号码不存在"})"), gbk("证件号码不存在")},
        {gbk(R"({"result_code":"500","result_data":{"msg":"x"}})"), R"({"msg":"x"})"},
    };
    for (const Case& c : cases) {
        if (c.answer) answer(*c.answer);
        TCardOut r;
        ReadSsCard(context_, false, r);
        EXPECT_EQ(r.ResultCode, -1);
        EXPECT_EQ(r.ErrorText, c.error_text);
    }
}

TEST_F(SsCard, UnreadableAuthenticationAnswerLeavesTheCardUnread) {
    g_driver.read_text = kRemoteCard;
    for (const char* bad : {R"({"result_code":"100","result_data":{}})", "<html>busy</html>"}) {
        answer(bad);
        TCardOut r;
        EXPECT_THROW(ReadSsCard(context_, false, r), CardReadError) << bad;
        EXPECT_EQ(r.ResultCode, -1) << "an unchecked card of another region does not count as read";
    }
}

TEST_F(SsCard, HsmPathFetchesAuthenticationDataBetweenTheSteps) {
    for (int status : kHsmStatuses) {
        SetUp();
        g_driver.read_status = status;
        g_driver.step1_text = "S0|KF|SF|SB|NG|NX|WG|WX|";
        g_driver.step2_text = kLocalCard;
        answer(R"({"result_code":"100","result_data":{"head":{"nbrzjbsj":"NB","wbrzjbsj":"WB"}}})");
        TCardOut r;
        ReadSsCard(context_, false, r);
        EXPECT_EQ(r.ResultCode, 1) << status;
        EXPECT_EQ(r.CardId, "K1|V|640100|A|") << "the final card text replaces the authentication data";
        EXPECT_EQ(g_driver.calls, (std::vector<std::string>{"iReadCardBas 1", "iReadCardBas_HSM_Step1 1",
                                                            "iReadCardBas_HSM_Step2 NB|WB|"}));
        ASSERT_EQ(posts_.size(), 1u);
        const json::Value head = head_of(0);
        const std::pair<const char*, const char*> expected[] = {{"kfwxx", "KF"},   {"sfbs", "SF"},
                                                                {"sbkid", "SB"},   {"nbrzgcyz", "NG"},
                                                                {"nbrzjbsxdysxx", "NX"}, {"wbrzgcyz", "WG"},
                                                                {"wbrzjbsxdysxx", "WX"}};
        EXPECT_EQ(head.members.size(), 7u);
        for (const auto& [key, value] : expected) EXPECT_EQ(text_of(head.member(key)), value) << key;
        EXPECT_EQ(posts_[0].second.rfind(R"({"methodName":"yd_1903","params":{"bizCode":"1903","bizData":{"head":{)", 0),
                  0u);
    }
}

TEST_F(SsCard, HsmPathOfACardOfAnotherRegionEndsWithTheRegionCheck) {
    g_driver.read_status = -2202;
    g_driver.step1_text = "S0|KF|SF|SB|NG|NX|WG|WX|";
    g_driver.step2_text = kRemoteCard;
    answer(R"({"result_code":"100","result_data":{"head":{"nbrzjbsj":"NB","wbrzjbsj":"WB"}}})");
    answer(R"({"result_code":"100","result_data":"{\"head\":{\"cgbz\":\"1\",\"tsxx\":\"OK\"}}"})");
    TCardOut r;
    ReadSsCard(context_, true, r);
    EXPECT_EQ(r.ResultCode, 1);
    EXPECT_EQ(r.ErrorText, "OK") << "result_data given as a text holding the object";
    ASSERT_EQ(posts_.size(), 2u);
    EXPECT_NE(posts_[1].second.find("yd_1904"), std::string::npos);
    EXPECT_FALSE(called("iVerifyPIN"));
}

TEST_F(SsCard, HsmPathFailures) {
    {
        g_driver.read_status = -2201;
        g_driver.step1_status = -5;
        g_driver.step1_text = gbk("安全模块故障");
        TCardOut r;
        ReadSsCard(context_, false, r);
        EXPECT_EQ(r.ResultCode, -1);
        EXPECT_EQ(r.ErrorText, gbk("安全模块故障"));
        EXPECT_TRUE(posts_.empty());
    }
    {
        SetUp();
        g_driver.read_status = -24;
        g_driver.step1_text = "S0|KF|SF|SB|NG|NX|WG|WX|";
        answer(gbk(R"({"result_code":"100","result_data":{"head":{"nbrzjbsj":"-1","wbrzjbsj":"卡片未注册"}}})"));
        TCardOut r;
        ReadSsCard(context_, false, r);
        EXPECT_EQ(r.ResultCode, -1);
        EXPECT_EQ(r.ErrorText, gbk("卡片未注册"));
        EXPECT_FALSE(called("iReadCardBas_HSM_Step2"));
    }
    {
        SetUp();
        g_driver.read_status = -27272;
        g_driver.step1_text = "S0|KF|SF|SB|NG|NX|WG|WX|";
        g_driver.step2_status = -9;
        g_driver.step2_text = "STEP2 FAILED";
        answer(R"({"result_code":"100","result_data":{"head":{"nbrzjbsj":"NB","wbrzjbsj":"WB"}}})");
        TCardOut r;
        ReadSsCard(context_, false, r);
        EXPECT_EQ(r.ResultCode, -1);
        EXPECT_EQ(r.ErrorText, "STEP2 FAILED");
    }
    {
        SetUp();
        g_driver.read_status = -2203;
        g_driver.step1_text = "S0|KF|SF|SB|NG|NX|WG|";  // seven items
        TCardOut r;
        EXPECT_THROW(ReadSsCard(context_, false, r), CardReadError);
        EXPECT_TRUE(posts_.empty());
    }
}

TEST_F(SsCard, OtherDriverStatusesFail) {
    for (int status : {-1, 1, -2200, -25}) {
        SetUp();
        g_driver.read_status = status;
        TCardOut r;
        ReadSsCard(context_, true, r);
        EXPECT_EQ(r.ResultCode, -1);
        EXPECT_EQ(r.ErrorText, gbk("读卡异常:") + std::to_string(status));
        EXPECT_EQ(g_driver.calls.size(), 1u);
        EXPECT_TRUE(posts_.empty());
    }
}

TEST_F(SsCard, TooFewItemsRaiseAfterMarkingTheRecordRead) {
    g_driver.read_text = "640100|640102199001011223|C1|K1|M|A|V|20180101|";
    TCardOut r;
    EXPECT_THROW(ReadSsCard(context_, true, r), CardReadError);
    EXPECT_EQ(r.ResultCode, 1);
    EXPECT_EQ(r.IssueDate, "20180101") << "the fields taken before the missing item stay";
    EXPECT_EQ(r.ValidUntil, "");
    EXPECT_EQ(r.BirthDate, "");
    EXPECT_EQ(r.Sex, "");
    EXPECT_FALSE(called("iVerifyPIN"));
}

TEST_F(SsCard, MissingDriverAndFunctions) {
    context_.driver = nullptr;
    context_.driver_error = gbk("libSSCardDriver.so不存在");
    TCardOut r;
    ReadSsCard(context_, false, r);
    EXPECT_EQ(r.ResultCode, -1);
    EXPECT_EQ(r.ErrorText, gbk("libSSCardDriver.so不存在"));
    EXPECT_EQ(ChangePin(context_).text, gbk("libSSCardDriver.so不存在"));

    CardDriverApi partial = kFakeApi;
    partial.iVerifyPIN = nullptr;
    context_.driver = &partial;
    g_driver.read_text = kLocalCard;
    TCardOut p;
    ReadSsCard(context_, true, p);
    EXPECT_EQ(p.ResultCode, -1);
    EXPECT_EQ(p.ErrorText, gbk("函数iVerifyPIN不存在"));
}

TEST_F(SsCard, ChangePinReturnsTheDriversText) {
    const PinResult r = ChangePin(context_);
    EXPECT_EQ(r.status, 7);
    EXPECT_EQ(r.text, "PIN-CHANGE-TEXT");
}

// Values that hold a quote, a backslash or a double-byte character whose trail
// byte is 0x5C stay inside their JSON strings.
TEST_F(SsCard, RequestValuesAreEscaped) {
    TCardOut r;
    r.IdNumber = "65\"}},\"x\":{\"";
    r.CardNo = "C\\1";
    r.CardId = "K9|V|R|A|";
    r.PersonName = gbk("嘰王") + "\n";
    ASSERT_EQ(static_cast<unsigned char>(gbk("嘰")[1]), 0x5C);
    const std::string body = remote_card_request(r);
    const auto parsed = parse_gbk_json(body);
    ASSERT_TRUE(parsed.has_value()) << body;
    const json::Value* head = parsed->member("params")->member("bizData")->member("head");
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->members.size(), 4u);
    EXPECT_EQ(text_of(head->member("sfzh")), r.IdNumber);
    EXPECT_EQ(text_of(head->member("gr_ic")), r.CardNo);
    EXPECT_EQ(text_of(head->member("sbkid")), "K9");
    EXPECT_EQ(text_of(head->member("gr_xm")), r.PersonName);
    EXPECT_NE(body.find(gbk("嘰王")), std::string::npos) << "the double-byte character is kept whole";
}

TEST(CardText, SplitTable) {
    struct Case {
        const char* text;
        std::vector<std::string> items;
    };
    const Case cases[] = {
        {"a|b|", {"a", "b"}},
        {"a|b", {"a", "b"}},
        {"a||b|", {"a", "", "b"}},
        {"|", {""}},
        {"", {}},
        {"a\r\nb|c\nd|", {"a", "b", "c", "d"}},
    };
    for (const Case& c : cases) EXPECT_EQ(split_card_text(c.text), c.items) << c.text;
}

// GBK characters whose second byte is "|" (0x7C) or a line feed position: the
// split never falls inside a character.
TEST(CardText, SplitKeepsDoubleByteCharactersWhole) {
    const std::string names[] = {gbk("王珅"), gbk("東"), gbk("瑋"), gbk("億")};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        ASSERT_EQ(name.back(), '|') << "the fixture's last character ends in 0x7C";
        EXPECT_EQ(split_card_text("a|" + name + "|b|"), (std::vector<std::string>{"a", name, "b"}));
        EXPECT_EQ(split_card_text(name), (std::vector<std::string>{name}));
    }
}

TEST(CardText, ParseCardRecordTextOfAHolderWhoseNameEndsIn7C) {
    TCardOut r;
    const std::string name = gbk("王珅");
    ParseCardRecordText("640100|640102199001011223|C1|K77|" + name + "|A1|V2|20180101|20280101|T|D|", r);
    EXPECT_EQ(r.PersonName, name);
    EXPECT_EQ(r.CardId, "K77|V2|640100|A1|");
    EXPECT_EQ(r.ResetInfo, "A1");
    EXPECT_EQ(r.SpecVersion, "V2");
    EXPECT_EQ(r.IssueDate, "20180101");
    EXPECT_EQ(r.DeviceNo, "D");
}

TEST_F(SsCard, Yd1904CarriesTheFirstItemOfACardIdWith7CTrailBytes) {
    TCardOut r;
    r.IdNumber = "650102198512120011";
    r.CardNo = "C2";
    r.CardId = gbk("東瑋") + "|V|R|A|";
    r.PersonName = gbk("王珅");
    const auto parsed = parse_gbk_json(remote_card_request(r));
    ASSERT_TRUE(parsed.has_value());
    const json::Value* head = parsed->member("params")->member("bizData")->member("head");
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(text_of(head->member("sbkid")), gbk("東瑋"));
    EXPECT_EQ(text_of(head->member("gr_xm")), gbk("王珅"));
}

TEST(CardText, HsmStep1ItemsKeepDoubleByteCharactersWhole) {
    const std::string v = gbk("億");
    const auto parsed = parse_gbk_json(hsm_auth_request("S|" + v + "|SF|SB|NG|NX|WG|WX|"));
    ASSERT_TRUE(parsed.has_value());
    const json::Value* head = parsed->member("params")->member("bizData")->member("head");
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(text_of(head->member("kfwxx")), v);
    EXPECT_EQ(text_of(head->member("sfbs")), "SF");
    EXPECT_EQ(text_of(head->member("wbrzjbsxdysxx")), "WX");
}

TEST(CardText, ParseCardRecordTextFillsEveryField) {
    TCardOut r;
    ParseCardRecordText("640100|110101199001011234|C|K|M|A|V|20180101|20280101|T|D|extra|", r);
    EXPECT_EQ(r.ResultCode, 1);
    EXPECT_EQ(r.CardId, "K|V|640100|A|");
    EXPECT_EQ(r.BirthDate, "19900101");
    EXPECT_EQ(r.Sex, "1");
    EXPECT_EQ(r.DeviceNo, "D");

    TCardOut undecodable;
    ParseCardRecordText("640100|12345|C|K|M|A|V|20180101|20280101|T|D|", undecodable);
    EXPECT_EQ(undecodable.BirthDate, "19970101");
    EXPECT_EQ(undecodable.Sex, "1");

    TCardOut empty_items;
    ParseCardRecordText("||||||||||||", empty_items);
    EXPECT_EQ(empty_items.ResultCode, 1);
    EXPECT_EQ(empty_items.CardId, "||||");
}

}  // namespace
}  // namespace vorla::cards
