// The insurance e-voucher (query and result text) and the electronic social
// security card code's resolution at the insurance center.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "cards/evoucher.h"
#include "cards/json_text.h"
#include "cards/readers.h"
#include "common/text.h"

namespace vorla::cards {
namespace {

TEST(EVoucherResult, Table) {
    const std::string today = today_yyyymmdd();
    struct Case {
        std::string data;
        int result;
        std::string error;
    };
    const Case cases[] = {
        {R"(0^^{"code":0,"message":"ok"})", 1, ""},
        {R"(0^^{"code":3,"message":"X"})", -3, "X[3]"},
        {R"(0^^{"code":-4,"message":"Y"})", -4, "Y[-4]"},
        {R"(0^^{"code":2000,"message":"timeout"})", -2000, gbk("医保电子凭证请求超时[2000]")},
        {R"(0^^{"code":"5","message":"as text"})", -5, "as text[5]"},
        {"5^^" + gbk("设备忙"), -5, gbk("设备忙[5]")},
        {"-8^^" + gbk("NationECCode.dll不存在"), -8, gbk("NationECCode.dll不存在[-8]")},
        {"-7^^" + gbk("函数NationEcTrans不存在"), -7, gbk("函数NationEcTrans不存在[-7]")},
        {"0 {no marks}", -1, gbk("返回报文格式错误[-9]")},
        {"", -1, gbk("返回报文格式错误[-9]")},
    };
    for (const Case& c : cases) {
        TCardOut r;
        r.ResultCode = -1;
        ParseEVoucherResult(c.data, r);
        EXPECT_EQ(r.ResultCode, c.result) << c.data;
        EXPECT_EQ(r.ErrorText, c.error) << c.data;
        if (c.error != gbk("返回报文格式错误[-9]")) {
            EXPECT_EQ(r.CardType, "5") << c.data;
            EXPECT_EQ(r.IssueDate, today);
            EXPECT_EQ(r.BirthDate, today);
            EXPECT_EQ(r.ValidUntil, today);
        } else {
            EXPECT_EQ(r.CardType, "") << c.data;
        }
        EXPECT_EQ(r.IdNumber, "") << "no data object";
    }
}

TEST(EVoucherResult, DataFillsTheRecord) {
    TCardOut r;
    r.CardNo = "old";
    r.SpecVersion = "old";
    r.TerminalNo = "old";
    ParseEVoucherResult(gbk(R"(0^^{"code":0,"data":{"idNo":"N","ecToken":"T","userName":"王五","gender":"F"}})"), r);
    EXPECT_EQ(r.ResultCode, 1);
    EXPECT_EQ(r.IdNumber, "N");
    EXPECT_EQ(r.CardId, "T");
    EXPECT_EQ(r.ResetInfo, "T");
    EXPECT_EQ(r.PersonName, gbk("王五"));
    EXPECT_EQ(r.Sex, "F") << "gender as delivered";
    EXPECT_EQ(r.CardNo + r.SpecVersion + r.TerminalNo + r.DeviceNo, "");
}

// An answer that cannot be read leaves the reader with an error and the record
// failed: the card transaction must not report it as a read voucher.
TEST(EVoucherResult, UnreadableTextsRaiseWithTheRecordFailed) {
    for (const char* data : {"abc^^{}", "0^^not json", R"(0^^{"message":"no code"})", R"(0^^{"code":"x"})"}) {
        TCardOut r;  // a fresh record: ResultCode 0 until the parse says otherwise
        EXPECT_THROW(ParseEVoucherResult(data, r), CardReadError) << data;
        EXPECT_EQ(r.ResultCode, -1) << data;
    }
}

// The component of the tests.
struct FakeComponent {
    std::string address, input;
    int calls = 0;
    bool raise = false;
};
FakeComponent g_component;

const char* fake_trans(const char* address, const char* input, char* out) {
    ++g_component.calls;
    g_component.address = address;
    g_component.input = input;
    if (g_component.raise) throw std::runtime_error("network down");
    std::strcpy(out, R"({"code":0})");
    return "0";
}

TEST(QueryEVoucher, CodesAndTexts) {
    Configuration settings;
    settings.evoucher_use_type = "01101";
    settings.evoucher_dept_id = "01";
    settings.evoucher_dept_name = gbk("结算处");
    settings.evoucher_operator_id = "0001";
    settings.evoucher_operator_name = gbk("收费员");
    const std::string input = evoucher_input_text(settings);
    EXPECT_EQ(input, gbk(R"({"data":{"businessType":"01101","officeId":"01","officeName":"结算处","operatorId":"0001",)"
                         R"("operatorName":"收费员","orgId":""},"orgId":"","transType":"ec.query"})"));

    std::vector<std::string> shown;
    EVoucherContext c;
    c.address = "http://10.2.3.4:8080/localcfc/api/hsecfc/localQrCodeQuery";
    c.input = input;
    c.network_failure = [&shown](std::string_view text) { shown.emplace_back(text); };

    EXPECT_EQ(QueryEVoucher(c), gbk("-8^^NationECCode.dll不存在"));
    c.component_loaded = true;
    EXPECT_EQ(QueryEVoucher(c), gbk("-7^^函数NationEcTrans不存在"));
    c.trans = &fake_trans;
    g_component = {};
    EXPECT_EQ(QueryEVoucher(c), R"(0^^{"code":0})");
    EXPECT_EQ(g_component.address, c.address);
    EXPECT_EQ(g_component.input, input);
    EXPECT_TRUE(shown.empty());

    g_component.raise = true;
    EXPECT_EQ(QueryEVoucher(c), gbk("-10^^医保电子凭证网络不通，请ping测10.2.3.4"));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], gbk("医保电子凭证网络不通，请ping测10.2.3.4"));
}

TEST(QueryEVoucher, SettingsWithQuotesKeepTheInputWellFormed) {
    Configuration settings;
    settings.evoucher_org_id = "H\"1\\";
    settings.evoucher_dept_name = gbk("门诊\"一\"");
    const auto parsed = parse_gbk_json(evoucher_input_text(settings));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(text_of(parsed->member("orgId")), "H\"1\\");
    EXPECT_EQ(text_of(parsed->member("data")->member("officeName")), gbk("门诊\"一\""));
    EXPECT_EQ(text_of(parsed->member("transType")), "ec.query");
}

TEST(ECardCode, QrcodeAddressAndRequest) {
    EXPECT_EQ(qrcode_address("http://10.1.1.1:7001/RemoteFacedeBean/RemoteFacedeBeanService?WSDL"),
              "http://10.1.1.1:7001/tembroweb/action/qrcode.do");
    EXPECT_EQ(qrcode_address("https://center:8443/remotefacedebean/REMOTEFACEDEBEANSERVICE?wsdl"),
              "https://center:8443/tembroweb/action/qrcode.do");
    EXPECT_EQ(qrcode_address("http://h/app/RemoteFacedeBean/RemoteFacedeBeanService?WSDL"),
              "http://h/app/tembroweb/action/qrcode.do");
    EXPECT_EQ(qrcode_request("QR123"), R"({"appid": "", "qrcode":"QR123"})");

    const std::string code = "A\"},\"appid\":\"evil";
    const auto parsed = parse_gbk_json(qrcode_request(code));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->members.size(), 2u);
    EXPECT_EQ(text_of(parsed->member("qrcode")), code) << "the quote stays inside the JSON string";
    EXPECT_EQ(text_of(parsed->member("appid")), "");
}

class ResolveCode : public ::testing::Test {
protected:
    void resolve(std::optional<std::string> answer) {
        record_ = {};
        record_.ResultCode = 1;
        record_.IdNumber = "QR-CODE";
        record_.CardType = "4";
        ResolveECardCode(record_, "http://c:1/RemoteFacedeBean/RemoteFacedeBeanService?WSDL",
                         [&](std::string_view url, std::string_view body) {
                             url_ = url;
                             body_ = body;
                             if (!answer) return http::Result{false, gbk("调用接口错误:timeout")};
                             return http::Result{true, *answer};
                         });
    }
    TCardOut record_;
    std::string url_, body_;
};

TEST_F(ResolveCode, ResultDataAsObjectOrAsText) {
    const std::string head = R"({"head":{"sbkid":"K","fkxzqh":"640100","sbkh":"C","sfzh":"N","ryxm":"赵六"}})";
    std::string quoted;  // the same object as a JSON string
    for (char c : head) quoted += c == '"' ? std::string("\\\"") : std::string(1, c);
    for (const std::string& answer : {R"({"result_code":"100","result_data":)" + head + "}",
                                      R"({"result_code":100,"result_data":")" + quoted + "\"}"}) {
        resolve(gbk(answer));
        EXPECT_EQ(url_, "http://c:1/tembroweb/action/qrcode.do");
        EXPECT_EQ(body_, R"({"appid": "", "qrcode":"QR-CODE"})");
        EXPECT_EQ(record_.ResultCode, 1) << answer;
        EXPECT_EQ(record_.CardId, "K");
        EXPECT_EQ(record_.RegionCode, "640100");
        EXPECT_EQ(record_.CardNo, "C");
        EXPECT_EQ(record_.IdNumber, "N");
        EXPECT_EQ(record_.PersonName, gbk("赵六"));
        EXPECT_EQ(record_.CardType, "4");
    }
}

TEST_F(ResolveCode, Failures) {
    resolve(std::nullopt);
    EXPECT_EQ(record_.ResultCode, -1);
    EXPECT_EQ(record_.ErrorText, gbk("调用接口错误:timeout"));

    resolve(gbk(R"({"result_code":"300","result_exception":{"message":"二维码已过期"}})"));
    EXPECT_EQ(record_.ResultCode, -1);
    EXPECT_EQ(record_.ErrorText, gbk("二维码已过期"));
    EXPECT_EQ(record_.IdNumber, "QR-CODE");
}

// An answer that cannot be read fails the read instead of passing the raw code
// on as an identity number.
TEST_F(ResolveCode, UnreadableAnswersFailTheRead) {
    for (const char* answer : {"<html/>", R"({"result_code":"100"})", R"({"result_code":"100","result_data":"x"})",
                               R"({"result_code":"100","result_data":{"body":{}}})", R"({"result_code":"300"})",
                               R"({"result_code":"101","result_exception":{"message":""}})"}) {
        resolve(std::string(answer));
        EXPECT_EQ(record_.ResultCode, -1) << answer;
        EXPECT_EQ(record_.ErrorText, gbk("电子社保卡解码返回报文错误")) << answer;
    }
}

}  // namespace
}  // namespace vorla::cards
