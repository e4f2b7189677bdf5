// The audit request of a settlement and the monitoring interceptor's switch.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/json.h"
#include "common/text.h"
#include "entry/config.h"
#include "interceptor/audit.h"
#include "messages/serializer.h"
#include "platform/platform.h"
#include "support.h"

namespace vorla {
namespace {

using interceptor::AuditMoment;
using interceptor::FeeDetailRow;

// The worked example: a registration of 张三 with two stored fee details, and
// the F1 of 李四 that settles it.
TD1InHead registration() {
    TD1InHead r;
    r.RYXM = gbk("张三");
    r.SFZH = "000000198503120011";
    r.KSDM = 12;
    r.YLLB = "21";
    r.RYRQ = encode_date(2024, 1, 20);
    r.SBKH = "A0000001";
    r.YSDM = "D001";
    r.RYZDBM = "I10";
    r.RYZDMC = gbk("高血压");
    r.BZBM = "M01,M02";
    return r;
}

TF1InHead settlement() {
    TF1InHead f;
    f.YYLSH = "ZY0001";
    f.YBLSH = "YB0001";
    f.CZYXM = gbk("李四");
    return f;
}

FeeDetailRow row(const std::string& code, const std::string& xmbj, const std::string& price,
                 const std::string& quantity, const std::string& amount) {
    FeeDetailRow r;
    r.YBXMDM = code;
    r.XMBJ = xmbj;
    r.FYDJ = price;
    r.FYSL = quantity;
    r.FYJE = amount;
    return r;
}

const AuditMoment kMoment{"20240131093015123456", "20240131093015", "192.168.10.7"};

TEST(AuditRequest, WorkedExampleByteForByte) {
    const std::string text = interceptor::audit_request_text(
        "H0001", settlement(), registration(), {row("X1", "1", "12.5", "2", "25"), row("X2", "0", "3", "1", "3")},
        kMoment);
    const std::string expected = gbk(
        R"({"auth_token":"QZV","public_type":"audit","org_code":"H0001","content":{)"
        R"("sex":"男","birth_date":"19850312000000","patient_name":"张三","insurance_type":"66",)"
        R"("tran_serial_no":"YB000120240131093015123456","operate_ip":"192.168.10.7","operate_mac":"aa-bb-cc-dd-ee",)"
        R"("operate_machine_code":"","operate_person_code":"李四","operate_person_name":"李四",)"
        R"("operate_time":"20240131093015","visit_no":"ZY0001","medical_dept_code":"12","medical_dept_name":"无",)"
        R"("visit_type":"2","medicine_type":"21","in_hosp_date":"20240120","card_no":"A0000001",)"
        R"("diagnoses":[{"diagnose_no":"1","diagnose_code":"M01","diagnose_desc":"M01"},)"
        R"({"diagnose_no":"2","diagnose_code":"M02","diagnose_desc":"M02"},)"
        R"({"diagnose_no":"3","diagnose_code":"I10","diagnose_desc":"高血压"}],)"
        R"("doctor_advice_no":"YB0001","doctor_code":"D001","doctor_name":"D001",)"
        R"("advice_details":[)"
        R"({"project_code":"X1","hospital_code":"X1","project_name":"无","price":"12.5","medical_number":"2",)"
        R"("amount":"25","item_tag":"2","take_frequence":"1/日","deliver_way":"","single_dose_number":"1",)"
        R"("use_day":"1","dose_unit":"个"},)"
        R"({"project_code":"X2","hospital_code":"X2","project_name":"无","price":"3","medical_number":"1",)"
        R"("amount":"3","item_tag":"1","take_frequence":"1/日","deliver_way":"","single_dose_number":"1",)"
        R"("use_day":"1","dose_unit":"个"}]}})");
    EXPECT_EQ(text, expected);

    // Valid JSON with 4 members and a content object of 23.
    const auto parsed = json::parse_lenient(platform::gbk_to_utf8(text));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->members.size(), 4u);
    ASSERT_NE(parsed->member("content"), nullptr);
    EXPECT_EQ(parsed->member("content")->members.size(), 23u);
}

TEST(AuditRequest, IdentityNumberRule) {
    struct Case {
        std::string sfzh;
        const char* sex;
        const char* birth;
    } cases[] = {
        {"000000198503120011", "男", "19850312000000"},
        {"000000198503120041", "女", "19850312000000"},  // character 17 is 4
        {"00000019850312009X", "男", "19850312000000"},  // character 18 plays no part
        {"00000020000229008", "女", "20000229000000"},   // 17 characters are enough
        {"000000850312001", "男", "19970101000000"},     // 15 characters
        {"0000001985031200", "男", "19970101000000"},    // 16 characters
        {"", "男", "19970101000000"},
        {"000000198513120041", "男", "19970101000000"},  // month 13: the date read is discarded too
        {"000000190002290041", "男", "19970101000000"},  // 1900 has no 29 February
        {"0000001985-3120041", "男", "19970101000000"},  // a part that is no number
        {"0000001985031200X1", "男", "19970101000000"},  // character 17 is no digit
        {"000000000003120041", "男", "19970101000000"},  // year 0
    };
    for (const Case& c : cases) {
        const auto facts = interceptor::identity_facts(c.sfzh);
        EXPECT_EQ(facts.sex, gbk(c.sex)) << c.sfzh;
        EXPECT_EQ(facts.birth_date, c.birth) << c.sfzh;
    }
}

TEST(AuditRequest, DiagnosesOrderNumberingAndFallback) {
    struct Case {
        const char* what;
        std::string bzbm, cyzdbm, cyzdmc, ryzdbm, ryzdmc;
        std::vector<std::pair<std::string, std::string>> expected;
    } cases[] = {
        {"codes, discharge, admission", "M01,M02", "C1", "出院", "I10", "高血压",
         {{"M01", "M01"}, {"M02", "M02"}, {"C1", "出院"}, {"I10", "高血压"}}},
        {"empty code between commas", "A,,B", "", "", "", "", {{"A", "A"}, {"", ""}, {"B", "B"}}},
        {"a final comma adds nothing", "A,", "", "", "", "", {{"A", "A"}}},
        {"a lone comma is one empty line", ",", "", "", "", "", {{"", ""}}},
        {"line ends split too", "A\r\nB\rC\nD", "", "", "", "", {{"A", "A"}, {"B", "B"}, {"C", "C"}, {"D", "D"}}},
        {"discharge name may be empty", "", "C1", "", "", "", {{"C1", ""}}},
        {"a name without its code is left out", "", "", "出院", "", "入院", {{"无", "无"}}},
        {"nothing at all", "", "", "", "", "", {{"无", "无"}}},
    };
    for (const Case& c : cases) {
        TD1InHead r;
        r.BZBM = c.bzbm;
        r.RYZDBM = c.ryzdbm;
        r.RYZDMC = gbk(c.ryzdmc);
        TF1InHead f;
        f.CYZDBM = c.cyzdbm;
        f.CYZDMC = gbk(c.cyzdmc);
        std::vector<std::pair<std::string, std::string>> got;
        for (const auto& d : interceptor::diagnoses_of(r, f)) got.emplace_back(d.code, d.desc);
        std::vector<std::pair<std::string, std::string>> expected;
        for (const auto& [code, desc] : c.expected) expected.emplace_back(gbk(code), gbk(desc));
        EXPECT_EQ(got, expected) << c.what;
    }
    // Numbered across the whole array, in the text.
    TD1InHead r;
    r.BZBM = "A,,B";
    const std::string text = interceptor::audit_request_text("H", TF1InHead{}, r, {}, kMoment);
    EXPECT_NE(text.find(R"("diagnoses":[{"diagnose_no":"1","diagnose_code":"A","diagnose_desc":"A"},)"
                        R"({"diagnose_no":"2","diagnose_code":"","diagnose_desc":""},)"
                        R"({"diagnose_no":"3","diagnose_code":"B","diagnose_desc":"B"}])"),
              std::string::npos)
        << text;
    const std::string none = interceptor::audit_request_text("H", TF1InHead{}, TD1InHead{}, {}, kMoment);
    EXPECT_NE(none.find(gbk(R"("diagnoses":[{"diagnose_no":"1","diagnose_code":"无","diagnose_desc":"无"}])")),
              std::string::npos)
        << none;
    EXPECT_NE(none.find(R"("advice_details":[]})"), std::string::npos) << none;
}

TEST(AuditRequest, EmptyOperatorAndOtherFixedValues) {
    TF1InHead f = settlement();
    f.CZYXM.clear();
    const std::string text = interceptor::audit_request_text("H0001|x", f, registration(), {}, kMoment);
    EXPECT_NE(text.find(gbk(R"("operate_person_code":"无","operate_person_name":"",)")), std::string::npos) << text;
    EXPECT_NE(text.find(R"("org_code":"H0001|x")"), std::string::npos) << "hid as received";
}

TEST(AuditRequest, StringsAreEscaped) {
    TD1InHead r = registration();
    r.RYXM = "Zhang \"San\"";
    r.SBKH = "C:\\card";
    r.YSDM = std::string("tab\there\x01\x1f") + '\0' + "end";
    r.YLLB = gbk("淺") + "/";  // 淺's trail byte is a backslash: kept whole, slash unescaped
    TF1InHead f = settlement();
    f.YYLSH = "a\r\nb";
    const std::string text = interceptor::audit_request_text("H", f, r, {}, kMoment);
    EXPECT_NE(text.find(R"("patient_name":"Zhang \"San\"")"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("card_no":"C:\\card")"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("doctor_code":"tab\u0009here\u0001\u001f\u0000end")"), std::string::npos) << text;
    EXPECT_NE(text.find("\"medicine_type\":\"" + gbk("淺") + "/\""), std::string::npos) << text;
    EXPECT_NE(text.find(R"("visit_no":"a\u000d\u000ab")"), std::string::npos) << text;
    for (char c : text) EXPECT_GE(static_cast<unsigned char>(c), 0x20u) << "no raw control character";

    // And it reads back to the same values.
    const auto parsed = json::parse_lenient(platform::gbk_to_utf8(text));
    ASSERT_TRUE(parsed);
    const json::Value& content = *parsed->member("content");
    EXPECT_EQ(content.member("patient_name")->text, "Zhang \"San\"");
    EXPECT_EQ(content.member("doctor_code")->text, r.YSDM);
    EXPECT_EQ(platform::utf8_to_gbk(content.member("medicine_type")->text), r.YLLB);
}

class Interceptor : public ::testing::Test {
protected:
    void SetUp() override {
        release_configuration();
        // Nothing listens here: a request sent would fail, never hang.
        config().monitor_address = "http://127.0.0.1:9/his/realcheck/audit";
    }
    void TearDown() override { release_configuration(); }
    testing::SystemDir dir;
    std::string db() const { return dir / "ybjkInterceptor.db"; }

    static std::string d1_request() {
        TD1InBean b;
        b.MSG.HEAD.MZZYBZ = "0";
        b.MSG.HEAD.RYXM = "X";
        return write_bean(b);
    }
    static std::string accepted(const std::string& biztype, const std::string& yblsh) {
        return R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><APP>)" + biztype +
               "</APP><ErrCode>0</ErrCode></HEAD><MSG><HEAD><YBLSH>" + yblsh + "</YBLSH></HEAD></MSG></DATA>";
    }
    static std::string f1_request(const std::string& yblsh) {
        TF1InBean b;
        b.MSG.HEAD.YBLSH = yblsh;
        return write_bean(b);
    }
};

TEST_F(Interceptor, SwitchedOffItTouchesNothing) {
    config().monitoring = false;
    std::string error;
    EXPECT_EQ(interceptor::monitoring_interceptor("H", "D1", "1.1.1.1", d1_request(), accepted("D1", "YB1"), error), 1);
    EXPECT_EQ(interceptor::monitoring_interceptor("H", "E1", "1.1.1.1", "garbage", accepted("E1", "YB1"), error), 1);
    EXPECT_EQ(interceptor::monitoring_interceptor("H", "F1", "1.1.1.1", f1_request("YB1"), "", error), 1);
    EXPECT_EQ(error, "");
    EXPECT_FALSE(std::filesystem::exists(db()));
}

TEST_F(Interceptor, SwitchedOnItRecordsAndReportsFailures) {
    config().monitoring = true;
    std::string error;
    EXPECT_EQ(interceptor::monitoring_interceptor("H", "D1", "1.1.1.1", d1_request(), accepted("D1", "YB1"), error), 1);
    EXPECT_TRUE(std::filesystem::exists(db()));
    EXPECT_EQ(interceptor::monitoring_interceptor("H", "D1", "1.1.1.1", d1_request(), accepted("D1", "YB1"), error),
              -1);
    EXPECT_NE(error.find("UNIQUE constraint failed"), std::string::npos) << error;
    error.clear();
    EXPECT_EQ(interceptor::monitoring_interceptor("H", "C0", "1.1.1.1", "x", "y", error), 1) << "not watched";
    EXPECT_EQ(error, "");
}

TEST_F(Interceptor, NoRegistrationNoAuditRequest) {
    config().monitoring = true;
    std::string error;
    // Without any store, the lookup fails: an error for the dispatcher.
    EXPECT_THROW(interceptor::audit("H", f1_request("YB1")), std::exception);
    ASSERT_EQ(interceptor::monitoring_interceptor("H", "D1", "1.1.1.1", d1_request(), accepted("D1", "YB1"), error), 1);
    // Stored registration of another serial: nothing is sent.
    EXPECT_FALSE(interceptor::audit("H", f1_request("YB2")));
    EXPECT_EQ(interceptor::monitoring_interceptor("H", "F1", "1.1.1.1", f1_request("YB2"), "", error), 1);
}

}  // namespace
}  // namespace vorla
