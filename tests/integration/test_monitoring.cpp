// Real-time monitoring through the built library against vorla-sim: D1 and E1
// recorded after the center accepted them, the audit request of F1 sent to the
// monitoring service before the settlement is relayed, and nothing at all
// while monitoring is off.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "center/client_info.h"
#include "common/json.h"
#include "common/text.h"
#include "entry/invoke_request.h"
#include "platform/platform.h"
#include "library_host.h"
#include "sim_process.h"
#include "support.h"

namespace vorla {
namespace {

namespace fs = std::filesystem;

std::string text_of(const json::Value* v) { return v ? v->as_text() : std::string("<absent>"); }
std::string text_of(const json::Value& v, const char* name) { return text_of(v.member(name)); }

std::string document(const std::string& biztype, const std::string& msg_utf8, const std::string& errcode = "") {
    return gbk(R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>)" + biztype +
               "</APP><WorkDate>20240131</WorkDate><Reserve></Reserve><ErrCode>" + errcode +
               "</ErrCode><ErrDetail></ErrDetail></HEAD><MSG>" + msg_utf8 + "</MSG></DATA>");
}

// The registration, fee details and settlement of the worked example.
struct Visit {
    std::string ryxm = "张三";
    std::string sfzh = "000000198503120011";
    std::string bzbm = "M01,M02";
    std::string czyxm = "李四";
    std::string yblsh = "YB0001";

    std::string d1() const {
        return document("D1", "<HEAD><YLJGDM>H0001</YLJGDM><YYLSH>ZY0001</YYLSH><SHBZH>S001</SHBZH><SBKH>A0000001</SBKH>"
                              "<SFZH>" + sfzh + "</SFZH><RYXM>" + ryxm +
                                  "</RYXM><CSRQ>19850312</CSRQ><MZZYBZ>0</MZZYBZ><XZDM>310</XZDM><YLLB>21</YLLB>"
                                  "<RYRQ>20240120093000</RYRQ><RYZDBM>I10</RYZDBM><RYZDMC>高血压</RYZDMC><KSDM>12</KSDM>"
                                  "<YSDM>D001</YSDM><BZBM>" + bzbm + "</BZBM><CZYXM>王五</CZYXM></HEAD>");
    }
    std::string d1_answer() const {
        return document("D1", "<HEAD><YBLSH>" + yblsh + "</YBLSH></HEAD>", "0");
    }
    std::string e1() const {
        return document("E1", "<HEAD><YLJGDM>H0001</YLJGDM><YYLSH>ZY0001</YYLSH><YBLSH>" + yblsh +
                                  "</YBLSH></HEAD>"
                                  "<DETAIL><MXLSH>1</MXLSH><XMBJ>1</XMBJ><YBXMDM>X1</YBXMDM><FYDJ>12.5</FYDJ>"
                                  "<FYSL>2</FYSL><FYJE>25</FYJE></DETAIL>"
                                  "<DETAIL><MXLSH>2</MXLSH><XMBJ>0</XMBJ><YBXMDM>X2</YBXMDM><FYDJ>3</FYDJ>"
                                  "<FYSL>1</FYSL><FYJE>3</FYJE></DETAIL>");
    }
    std::string f1() const {
        return document("F1", "<HEAD><YLJGDM>H0001</YLJGDM><YYLSH>ZY0001</YYLSH><YBLSH>" + yblsh +
                                  "</YBLSH><CZYXM>" + czyxm + "</CZYXM></HEAD>");
    }
};

class Monitoring : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        host_ = new testing::LibraryHost;
        ASSERT_EQ(host_->error, "");
        root_ = &host_->root;
        sim_ = host_->sim.get();
        invoke_ = host_->invoke;
    }
    static void TearDownTestSuite() {
        delete host_;
        host_ = nullptr;
        sim_ = nullptr;
        root_ = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(sim_, nullptr);
        ::setenv("VORLA_SYSTEM_DIR", (*root_ / "sys").c_str(), 1);
        fs::remove_all(*root_ / "scenario");
        fs::create_directories(*root_ / "scenario");
        fs::remove(store());
        write_ini(true);
        scenario("D1.xml", visit.d1_answer());
        scenario("E1.xml", document("E1", "<HEAD><YBLSH>" + visit.yblsh + "</YBLSH></HEAD>", "0"));
        scenario("F1.xml", f1_answer);
        first_record_ = sim_->records().size();
    }

    static std::string store() { return *root_ / "sys/ybjkInterceptor.db"; }

    // vorla.ini: the simulator as center and monitoring service; the switch as
    // given, or left to its default when `on` is false and `explicit_off` too.
    static void write_ini(bool on, bool explicit_off = false) {
        std::string text = "[医保交易地址]\r\n医保交易地址=" + sim_->center_address() + "\r\n[医保监控]\r\n医保监控地址=" +
                           sim_->base_url() + "/his/realcheck/audit\r\n";
        if (on) text += "是否启用医保监控= true \r\n";  // trimmed
        else if (explicit_off) text += "是否启用医保监控=false\r\n";
        testing::write_file(*root_ / "sys/vorla.ini", gbk(text));
    }

    static void scenario(const std::string& name, const std::string& bytes) {
        testing::write_file(*root_ / ("scenario/" + name), bytes);
    }

    static std::string call(const std::string& biztype, const std::string& indata, const std::string& hid = "10010001|H0001") {
        const std::string request = InvokeRequest::make_text(hid, biztype, "10.1.1.1", indata);
        std::vector<char> buf(1 << 20, '#');
        const char* req = request.c_str();
        char* out = buf.data();
        invoke_(&req, &out);
        return std::string(buf.data());
    }

    // The records of this test: "center:<biztype>" for sbiz calls, "monitor" for
    // audit requests.
    std::vector<std::string> sequence() const {
        std::vector<std::string> out;
        const auto all = sim_->records();
        for (size_t i = first_record_; i < all.size(); ++i) {
            const json::Value& r = all[i];
            if (text_of(r, "service") == "monitor") out.push_back("monitor");
            else if (text_of(r, "operation") == "sbiz") out.push_back("center:" + text_of(r, "arg1"));
        }
        return out;
    }
    std::vector<json::Value> audits() const {
        std::vector<json::Value> out;
        const auto all = sim_->records();
        for (size_t i = first_record_; i < all.size(); ++i)
            if (text_of(all[i], "service") == "monitor") out.push_back(all[i]);
        return out;
    }
    // The audit request as the monitoring service received it.
    static json::Value body_of(const json::Value& record) {
        auto body = json::parse_lenient(text_of(record, "body"));
        EXPECT_TRUE(body) << text_of(record, "body");
        return body ? *body : json::Value{};
    }

    Visit visit;
    const std::string f1_answer = document("F1", "<HEAD><JSJE>100</JSJE></HEAD>", "0");
    size_t first_record_ = 0;

    static inline testing::TempDir* root_ = nullptr;
    static inline testing::SimProcess* sim_ = nullptr;
    static inline testing::LibraryHost* host_ = nullptr;
    static inline void (*invoke_)(const char* const*, char* const*) = nullptr;
};

std::vector<std::vector<std::string>> objects(const json::Value* array, std::vector<const char*> names) {
    std::vector<std::vector<std::string>> out;
    if (!array) return out;
    for (const json::Value& item : array->items) {
        std::vector<std::string> values;
        for (const char* n : names) values.push_back(text_of(item, n));
        out.push_back(values);
    }
    return out;
}

TEST_F(Monitoring, WorkedExampleEndToEnd) {
    EXPECT_EQ(call("D1", visit.d1()), visit.d1_answer());
    EXPECT_EQ(call("E1", visit.e1()), document("E1", "<HEAD><YBLSH>YB0001</YBLSH></HEAD>", "0"));
    const platform::LocalTime before = platform::local_now();
    EXPECT_EQ(call("F1", visit.f1()), f1_answer) << "the HIS gets the center's answer";

    // The audit request arrives before the settlement is relayed.
    EXPECT_EQ(sequence(), (std::vector<std::string>{"center:D1", "center:E1", "monitor", "center:F1"}));
    const auto sent = audits();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(text_of(sent[0], "path"), "/his/realcheck/audit");
    EXPECT_EQ(text_of(sent[0], "content_type"), "application/json");

    const json::Value audit = body_of(sent[0]);
    EXPECT_EQ(audit.members.size(), 4u);
    EXPECT_EQ(text_of(audit, "auth_token"), "QZV");
    EXPECT_EQ(text_of(audit, "public_type"), "audit");
    EXPECT_EQ(text_of(audit, "org_code"), "10010001|H0001") << "the hid as received";
    const json::Value* content = audit.member("content");
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(content->members.size(), 23u);
    for (const auto& [name, value] : content->members)
        if (name != "diagnoses" && name != "advice_details")
            EXPECT_EQ(value.kind, json::Value::Kind::String) << name;

    const std::vector<std::pair<const char*, std::string>> expected = {
        {"sex", "男"},
        {"birth_date", "19850312000000"},
        {"patient_name", "张三"},
        {"insurance_type", "66"},
        {"operate_ip", platform::gbk_to_utf8(center::local_address())},
        {"operate_mac", "aa-bb-cc-dd-ee"},
        {"operate_machine_code", ""},
        {"operate_person_code", "李四"},
        {"operate_person_name", "李四"},
        {"visit_no", "ZY0001"},
        {"medical_dept_code", "12"},
        {"medical_dept_name", "无"},
        {"visit_type", "2"},
        {"medicine_type", "21"},
        {"in_hosp_date", "20240120"},
        {"card_no", "A0000001"},
        {"doctor_advice_no", "YB0001"},
        {"doctor_code", "D001"},
        {"doctor_name", "D001"},
    };
    for (const auto& [name, value] : expected) EXPECT_EQ(text_of(*content, name), value) << name;

    // YB0001 and a stamp serial: the date and time of now and six digits.
    const std::string serial = text_of(*content, "tran_serial_no");
    EXPECT_TRUE(std::regex_match(serial, std::regex(R"(YB0001\d{20})"))) << serial;
    EXPECT_EQ(serial.substr(6, 8), format_yyyymmdd(before));
    const std::string time = text_of(*content, "operate_time");
    EXPECT_TRUE(std::regex_match(time, std::regex(R"(\d{14})"))) << time;
    EXPECT_EQ(time.substr(0, 8), format_yyyymmdd(before));

    EXPECT_EQ(objects(content->member("diagnoses"), {"diagnose_no", "diagnose_code", "diagnose_desc"}),
              (std::vector<std::vector<std::string>>{{"1", "M01", "M01"}, {"2", "M02", "M02"}, {"3", "I10", "高血压"}}));
    EXPECT_EQ(objects(content->member("advice_details"),
                      {"project_code", "hospital_code", "project_name", "price", "medical_number", "amount", "item_tag",
                       "take_frequence", "deliver_way", "single_dose_number", "use_day", "dose_unit"}),
              (std::vector<std::vector<std::string>>{
                  {"X1", "X1", "无", "12.5", "2", "25", "2", "1/日", "", "1", "1", "个"},
                  {"X2", "X2", "无", "3", "1", "3", "1", "1/日", "", "1", "1", "个"}}));
    ASSERT_NE(content->member("advice_details"), nullptr);
    for (const json::Value& advice : content->member("advice_details")->items) EXPECT_EQ(advice.members.size(), 12u);
}

TEST_F(Monitoring, AuditOfAnOddVisit) {
    visit.sfzh = "000000850312001";  // 15 characters
    visit.bzbm = "A,,B";
    visit.czyxm = "";
    visit.ryxm = "O&quot;Neil \\ 张";
    call("D1", visit.d1());
    call("F1", visit.f1());
    const auto sent = audits();
    ASSERT_EQ(sent.size(), 1u);
    // The body as sent: the quote and the backslash escaped.
    EXPECT_NE(text_of(sent[0], "body").find(R"("patient_name":"O\"Neil \\ 张")"), std::string::npos)
        << text_of(sent[0], "body");
    const json::Value audit = body_of(sent[0]);
    const json::Value& content = *audit.member("content");
    EXPECT_EQ(text_of(content, "patient_name"), "O\"Neil \\ 张");
    EXPECT_EQ(text_of(content, "sex"), "男");
    EXPECT_EQ(text_of(content, "birth_date"), "19970101000000");
    EXPECT_EQ(text_of(content, "operate_person_code"), "无");
    EXPECT_EQ(text_of(content, "operate_person_name"), "");
    EXPECT_EQ(objects(content.member("diagnoses"), {"diagnose_no", "diagnose_code", "diagnose_desc"}),
              (std::vector<std::vector<std::string>>{
                  {"1", "A", "A"}, {"2", "", ""}, {"3", "B", "B"}, {"4", "I10", "高血压"}}));
    // No fee detail was ever stored on this workstation: the audit still goes out.
    ASSERT_NE(content.member("advice_details"), nullptr);
    EXPECT_EQ(content.member("advice_details")->kind, json::Value::Kind::Array);
    EXPECT_TRUE(content.member("advice_details")->items.empty());
}

TEST_F(Monitoring, NoStoredRegistrationNoAuditRequest) {
    // No store at all, then a store without this registration.
    EXPECT_EQ(call("F1", visit.f1()), f1_answer);
    call("D1", visit.d1());
    Visit other;
    other.yblsh = "YB-other";
    EXPECT_EQ(call("F1", other.f1()), f1_answer);
    EXPECT_EQ(sequence(), (std::vector<std::string>{"center:F1", "center:D1", "center:F1"}));
}

TEST_F(Monitoring, SwitchedOffNothingIsStoredOrSent) {
    for (bool explicit_off : {false, true}) {
        write_ini(false, explicit_off);
        EXPECT_EQ(call("D1", visit.d1()), visit.d1_answer());
        call("E1", visit.e1());
        EXPECT_EQ(call("F1", visit.f1()), f1_answer);
        EXPECT_FALSE(fs::exists(store()));
    }
    EXPECT_TRUE(audits().empty());
    EXPECT_EQ(sequence().size(), 6u);
}

TEST_F(Monitoring, RefusedRegistrationIsNotAudited) {
    scenario("D1.xml", document("D1", "<HEAD><YBLSH>YB0001</YBLSH></HEAD>", "-1"));
    call("D1", visit.d1());
    call("F1", visit.f1());
    EXPECT_EQ(sequence(), (std::vector<std::string>{"center:D1", "center:F1"}));
}

TEST_F(Monitoring, FailuresAroundTheCenterNeverChangeItsAnswers) {
    // The same registration twice: the store refuses the second, the HIS still
    // gets the center's answer.
    EXPECT_EQ(call("D1", visit.d1()), visit.d1_answer());
    EXPECT_EQ(call("D1", visit.d1()), visit.d1_answer());
    // A monitoring service that fails: the settlement is answered as without it.
    scenario("audit.status", "500");
    EXPECT_EQ(call("F1", visit.f1()), f1_answer);
    // One that cannot be reached at all.
    std::string text = "[医保交易地址]\r\n医保交易地址=" + sim_->center_address() +
                       "\r\n[医保监控]\r\n医保监控地址=http://127.0.0.1:9/his/realcheck/audit\r\n是否启用医保监控=true\r\n";
    testing::write_file(*root_ / "sys/vorla.ini", gbk(text));
    EXPECT_EQ(call("F1", visit.f1()), f1_answer);
    EXPECT_EQ(sequence(), (std::vector<std::string>{"center:D1", "center:D1", "monitor", "center:F1", "center:F1"}));
}

}  // namespace
}  // namespace vorla
