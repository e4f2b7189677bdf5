// Relayed transactions through the built library against vorla-sim: what the
// center receives, and what the HIS gets back on success and on every failure.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <thread>
#include <vector>

#include "center/center_client.h"
#include "center/packing.h"
#include "center/soap.h"
#include "common/base64.h"
#include "common/text.h"
#include "messages/envelope.h"
#include "platform/platform.h"
#include "library_host.h"
#include "loopback.h"
#include "sim_process.h"
#include "support.h"

namespace vorla {
namespace {

using namespace std::chrono_literals;

using testing::closed_port;

std::string net() { return gbk("中心通讯失败，请检查网络是否连接！"); }

std::string text_of(const json::Value& record, const char* name) {
    const json::Value* v = record.member(name);
    return v ? v->as_text() : std::string("<absent>");
}

class Relay : public ::testing::Test {
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
        std::filesystem::remove_all(*root_ / "scenario");
        std::filesystem::create_directories(*root_ / "scenario");
        write_ini(sim_->center_address());
    }

    // vorla.ini with the center address and the journal of mode `save_mode`
    // under <root>/journal; every other key gets its default from the library.
    static void write_ini(const std::string& center_address, const std::string& save_mode = "-1") {
        const std::string text =
            "[医保交易地址]\r\n医保交易地址=" + center_address +
            "\r\n[医保交易日志]\r\n医保交易保存路径=" + (*root_ / "journal") +
            "\r\n医保交易保存模式(0 路径\\\\医院代码\\\\日期\\\\发起IP\\\\交易时间.txt , 1 路径\\\\医院代码\\\\日期\\\\"
            "发起IP\\\\日期.txt , 2 路径\\\\医院代码\\\\日期.TXT )=" +
            save_mode + "\r\n";
        testing::write_file(*root_ / "sys/vorla.ini", gbk(text));
    }

    static void scenario(const std::string& name, const std::string& bytes) {
        testing::write_file(*root_ / ("scenario/" + name), bytes);
    }

    // The answer that invoke leaves for a bizbuss request (texts GBK).
    static std::string call(const std::string& hid, const std::string& biztype, const std::string& ip,
                            const std::string& indata) {
        const std::string request = "{functionname:'bizbuss',params:{hid:'" + hid + "',biztype:'" + biztype +
                                    "',ip:'" + ip + "',indata:'" + indata + "'}}";
        std::vector<char> buf(1 << 20, '#');
        const char* req = request.c_str();
        char* out = buf.data();
        invoke_(&req, &out);
        return std::string(buf.data());
    }

    static std::string document(const std::string& biztype, const std::string& msg_utf8) {
        return gbk(R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>)" + biztype +
                   "</APP><WorkDate>20240131</WorkDate><Reserve></Reserve><ErrCode></ErrCode><ErrDetail></ErrDetail>"
                   "</HEAD><MSG>" +
                   msg_utf8 + "</MSG></DATA>");
    }

    static std::string failure(const std::string& biztype, const std::string& detail) {
        return center_error_document(biztype, -1, detail);
    }

    static inline testing::TempDir* root_ = nullptr;
    static inline testing::SimProcess* sim_ = nullptr;
    static inline testing::LibraryHost* host_ = nullptr;
    static inline void (*invoke_)(const char* const*, char* const*) = nullptr;
};

TEST_F(Relay, RelayedTransactionComesBackUnpacked) {
    const std::string answer = document("C0", "<GRXX><XM>张三</XM><YE>12.50</YE></GRXX>");
    scenario("C0.xml", answer);
    const std::string indata = document("C0", "<SFZH>110101199001011234</SFZH><XM>张三</XM>");
    const size_t posts = sim_->records("POST").size();

    EXPECT_EQ(call("12345678|abc", "C0", "10.1.1.1", indata), answer);

    const auto calls = sim_->records("POST");
    ASSERT_EQ(calls.size(), posts + 1);
    const json::Value& got = calls.back();
    EXPECT_EQ(text_of(got, "path"), std::string(center::kServicePath));
    EXPECT_EQ(text_of(got, "operation"), "sbiz");
    EXPECT_EQ(text_of(got, "operation_namespace"), std::string(center::kCenterNamespace));
    EXPECT_EQ(text_of(got, "member_namespace"), "") << "the schema leaves the members unqualified";
    EXPECT_EQ(text_of(got, "soap_action"), "\"\"");
    EXPECT_EQ(text_of(got, "arg0"), "12345678|abc") << "hid is sent whole";
    EXPECT_EQ(text_of(got, "arg1"), "C0");
    EXPECT_EQ(text_of(got, "arg2"), "10.1.1.1");
    EXPECT_EQ(text_of(got, "arg3"), center::pack(indata)) << "packed, CR LF lines kept";
    EXPECT_EQ(base64_decode(text_of(got, "document_base64")), indata);
    EXPECT_EQ(text_of(got, "unpack_error"), "<absent>");

    // The client information: members in name order, the host's executable.
    const std::string info = platform::utf8_to_gbk(text_of(got, "arg4"));
    const std::regex shape(
        R"(\{"bussid":"[0-9]+","dllver":"2\.2020\.12\.6","exename":"[^"]*","exesize":"[0-9]+",("ip":"[0-9.]+",)?"seed":"[0-9]{8,9}"\})");
    EXPECT_TRUE(std::regex_match(info, shape)) << info;
    const std::string exe = platform::host_executable_path();
    EXPECT_NE(info.find("\"exename\":\"" + gbk(exe) + "\""), std::string::npos) << info;
    EXPECT_NE(info.find("\"exesize\":\"" + std::to_string(*platform::file_size(exe)) + "\""), std::string::npos);
}

// A host that calls from two threads at once (it should not, some do) gets
// every answer whole and right: the calls are served one after the other.
TEST_F(Relay, TwoThreadsCallingAtOnceBothGetTheirAnswers) {
    const std::string answer_c0 = document("C0", "<GRXX><XM>张三</XM></GRXX>");
    const std::string answer_c1 = document("C1", "<GRXX><XM>王珅</XM></GRXX>");
    scenario("C0.xml", answer_c0);
    scenario("C1.xml", answer_c1);
    scenario("C0.delay", "20");
    const size_t posts = sim_->records("POST").size();
    constexpr int kCalls = 25;
    std::vector<std::string> got_c0(kCalls), got_c1(kCalls);
    std::thread first([&] {
        for (auto& got : got_c0) got = call("12345678|abc", "C0", "10.1.1.1", document("C0", "<XM>1</XM>"));
    });
    std::thread second([&] {
        for (auto& got : got_c1) got = call("87654321|xyz", "C1", "10.1.1.2", document("C1", "<XM>2</XM>"));
    });
    first.join();
    second.join();
    for (int i = 0; i < kCalls; ++i) {
        EXPECT_EQ(got_c0[i], answer_c0) << "call " << i;
        EXPECT_EQ(got_c1[i], answer_c1) << "call " << i;
    }
    EXPECT_EQ(sim_->records("POST").size(), posts + 2 * kCalls) << "each transaction sent once";
}

TEST_F(Relay, DefaultAnswerAndCenterErrorCodesPassUnchanged) {
    const std::string refused = document("D1", "");
    const std::string with_code = gbk(R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>D1</APP>)"
                                      "<WorkDate>20240131</WorkDate><Reserve></Reserve><ErrCode>-1</ErrCode>"
                                      "<ErrDetail>该人员已住院</ErrDetail></HEAD></DATA>");
    scenario("D1.xml", with_code);
    EXPECT_EQ(call("12345678|abc", "D1", "10.1.1.1", refused), with_code);
    // No scenario entry: the simulator's success answer for the business type.
    // A caller IP in Chinese travels as UTF-8.
    const std::string answer = call("12345678|abc", "I1", gbk("收费处1"), document("I1", ""));
    EXPECT_NE(answer.find("<APP>I1</APP>"), std::string::npos) << answer;
    EXPECT_NE(answer.find("<ErrCode>0</ErrCode>"), std::string::npos) << answer;
    EXPECT_EQ(text_of(sim_->records("POST").back(), "arg2"), "收费处1");
}

TEST_F(Relay, SoapFaultsAreMapped) {
    const std::string indata = document("F1", "");
    scenario("F1.fault",
             "Error committing transaction:; nested exception is: "
             "weblogic.transaction.internal.AppSetRollbackOnlyException");
    EXPECT_EQ(call("12345678|abc", "F1", "10.1.1.1", indata), failure("F1", net() + gbk("数据库事物提交失败")));

    scenario("F1.fault", "EJB Exception: ; nested exception is: com.tembro.frontendsettle.exception.AppException: " +
                             gbk("个人账户余额不足"));
    EXPECT_EQ(call("12345678|abc", "F1", "10.1.1.1", indata), failure("F1", net() + gbk("个人账户余额不足")));

    scenario("F1.fault", gbk("XML 文档只能有一个顶层元素。"));
    EXPECT_EQ(call("12345678|abc", "F1", "10.1.1.1", indata), failure("F1", gbk("XML 文档只能有一个顶层元素。")));
}

TEST_F(Relay, EmptyResultGivesAnEmptyAnswer) {
    scenario("C0.raw", "");
    std::vector<char> buf(256, '#');
    const std::string request = "{functionname:'bizbuss',params:{hid:'12345678|abc',biztype:'C0',ip:'10.1.1.1',"
                                "indata:'<DATA/>'}}";
    const char* req = request.c_str();
    char* out = buf.data();
    invoke_(&req, &out);
    EXPECT_EQ(buf[0], '\0');
}

TEST_F(Relay, GarbageResultGivesTheDecompressorsMessage) {
    scenario("C0.raw", base64_encode("hello world"));
    EXPECT_EQ(call("12345678|abc", "C0", "10.1.1.1", document("C0", "")),
              failure("C0", net() + "incorrect header check"));
    scenario("C0.raw", "<return>&lt;");  // nothing left after the clean-up
    EXPECT_EQ(call("12345678|abc", "C0", "10.1.1.1", document("C0", "")), "");
}

TEST_F(Relay, HttpFailureStatus) {
    scenario("C0.http", "503");
    EXPECT_EQ(call("12345678|abc", "C0", "10.1.1.1", document("C0", "")),
              failure("C0", net() + "HTTP 503 Service Unavailable"));
}

TEST_F(Relay, CenterUnreachable) {
    write_ini("http://127.0.0.1:" + std::to_string(closed_port()) + std::string(center::kServicePath) + "?WSDL");
    const std::string answer = call("12345678|abc", "C0", "10.1.1.1", document("C0", ""));
    const std::string head = R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>V1.0</VER><APP>C0</APP>)"
                             "<WorkDate>20130423</WorkDate><Reserve></Reserve><ErrCode>-1</ErrCode><ErrDetail>" +
                             net();
    EXPECT_EQ(answer.substr(0, head.size()), head) << answer;
    EXPECT_GT(answer.size(), head.size() + std::string("</ErrDetail></HEAD></DATA>").size())
        << "the transport's message follows the prefix";
    EXPECT_EQ(answer.substr(answer.size() - 26), "</ErrDetail></HEAD></DATA>");
}

TEST_F(Relay, CheckFailuresDoNotReachTheCenter) {
    const size_t posts = sim_->records("POST").size();
    EXPECT_EQ(call("12345678|abc", "C0", "1", document("C0", "")),
              failure("C0", gbk("日志错误:发起IP位数不合法!")));
    EXPECT_EQ(call("123A5678|abc", "C0", "10.1.1.1", document("C0", "")),
              failure("C0", gbk("日志错误:输入参数医疗机构不合法")));
    EXPECT_EQ(sim_->records("POST").size(), posts);
}

TEST_F(Relay, DescriptionIsFetchedOnceAndAgainAfterAFailure) {
    const std::string indata = document("C0", "");
    call("12345678|abc", "C0", "10.1.1.1", indata);  // the description is known after this
    const size_t gets = sim_->records("GET").size();
    const size_t posts = sim_->records("POST").size();
    call("12345678|abc", "C0", "10.1.1.1", indata);
    call("12345678|abc", "C0", "10.1.1.1", indata);
    EXPECT_EQ(sim_->records("GET").size(), gets);
    EXPECT_EQ(sim_->records("POST").size(), posts + 2);

    scenario("C0.fault", "busy");
    call("12345678|abc", "C0", "10.1.1.1", indata);
    std::filesystem::remove(*root_ / "scenario/C0.fault");
    call("12345678|abc", "C0", "10.1.1.1", indata);
    const auto after = sim_->records("GET");
    ASSERT_GT(after.size(), gets);
    EXPECT_EQ(text_of(after[gets], "query"), "WSDL");
}

TEST_F(Relay, JournalHoldsRequestAndAnswerWithOneSerial) {
    write_ini(sim_->center_address(), "2");
    const std::string answer = document("C0", "<OK>1</OK>");
    scenario("C0.xml", answer);
    const std::string indata = document("C0", "<Q>journal</Q>");
    ASSERT_EQ(call("12345678|abc", "C0", "10.1.1.1", indata), answer);

    const std::string day = format_yyyymmdd(platform::local_now());
    const std::string text = testing::read_file(*root_ / ("journal/12345678/" + day + ".txt"));
    const std::regex serial_line(gbk("交易序号:      ([0-9]{12,13})\r\n"));
    std::vector<std::string> serials;
    for (std::sregex_iterator it(text.begin(), text.end(), serial_line), end; it != end; ++it)
        serials.push_back((*it)[1]);
    ASSERT_EQ(serials.size(), 2u) << text;
    EXPECT_EQ(serials[0], serials[1]);
    const size_t request = text.find(gbk("医疗机构交易申请"));
    const size_t reply = text.find(gbk("医疗机构交易返回"));
    ASSERT_NE(request, std::string::npos);
    ASSERT_NE(reply, std::string::npos);
    EXPECT_LT(request, reply);
    EXPECT_NE(text.find(indata, request), std::string::npos);
    EXPECT_NE(text.find(answer, reply), std::string::npos);
}

// ---- the exchange in this process, with a time-out of the test's choosing ------

TEST_F(Relay, ExchangeTimesOut) {
    scenario("C0.delay", "1500");
    center::set_transport_timeout(200ms);
    const std::string out = center::exchange_with_current_timeout(sim_->center_address(), "12345678|abc", "C0",
                                                                  "10.1.1.1", document("C0", ""), "{}");
    const std::string prefix = "<ErrDetail>" + net();
    ASSERT_NE(out.find(prefix), std::string::npos) << out;
    EXPECT_NE(out.find("timed out"), std::string::npos) << out;
}

TEST_F(Relay, ExchangeSetsTheTimeoutOfTheBusinessType) {
    center::set_transport_timeout(1ms);
    const std::string out =
        center::exchange(sim_->center_address(), "12345678|abc", "G1", "10.1.1.1", document("G1", ""), "{}");
    EXPECT_NE(out.find("<ErrCode>0</ErrCode>"), std::string::npos) << out;
    EXPECT_EQ(center::transport_timeout(), 1800000ms);
    center::exchange(sim_->center_address(), "12345678|abc", "J2", "10.1.1.1", document("J2", ""), "{}");
    EXPECT_EQ(center::transport_timeout(), 600000ms);
}

TEST_F(Relay, QualifiedMembersWhenTheSchemaSaysSo) {
    scenario("service.xsd", R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" targetNamespace="${namespace}" )"
                            R"(elementFormDefault="qualified"><xs:element name="sbiz"/></xs:schema>)");
    // Another address for the same service: its description is fetched afresh.
    const std::string address = sim_->base_url() + std::string(center::kServicePath) + "?WSDL&qualified";
    center::set_transport_timeout(10000ms);
    const std::string out =
        center::exchange_with_current_timeout(address, "12345678", "C0", "10.1.1.1", document("C0", ""), "{}");
    EXPECT_NE(out.find("<ErrCode>0</ErrCode>"), std::string::npos) << out;
    const auto calls = sim_->records("POST");
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(text_of(calls.back(), "member_namespace"), std::string(center::kCenterNamespace));
    EXPECT_EQ(text_of(calls.back(), "arg0"), "12345678");
}

TEST_F(Relay, DescriptionWithoutThePort) {
    scenario("service.wsdl", R"(<definitions xmlns="http://schemas.xmlsoap.org/wsdl/"><service name="Other"/></definitions>)");
    const std::string address = sim_->base_url() + std::string(center::kServicePath) + "?WSDL&noport";
    center::set_transport_timeout(10000ms);
    const std::string out =
        center::exchange_with_current_timeout(address, "12345678", "C0", "10.1.1.1", document("C0", ""), "{}");
    EXPECT_EQ(out, failure("C0", net() + "port RemoteFacedeBean of service RemoteFacedeBeanService is not in the "
                                         "service description"));
}

}  // namespace
}  // namespace vorla
