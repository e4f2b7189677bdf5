#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "common/text.h"
#include "entry/config.h"
#include "entry/dispatcher.h"
#include "entry/invoke.h"
#include "entry/invoke_request.h"
#include "messages/envelope.h"
#include "platform/platform.h"
#include "support.h"

namespace vorla {
namespace {

class Dispatcher : public ::testing::Test {
protected:
    void SetUp() override { release_configuration(); }
    testing::SystemDir dir;

    std::string dispatch(const std::string& utf8_request) { return run_invoke(gbk(utf8_request)); }
};

const std::string kDoc = R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><APP>X</APP></HEAD></DATA>)";

TEST_F(Dispatcher, TheFourChecksInTheirOrder) {
    struct Case {
        std::string request;
        std::string biztype;
        std::string detail;
    } cases[] = {
        {"{functionname:'bizbuss'}", "", "医疗机构代码不能为空"},
        {"{functionname:'bizbuss',params:'text'}", "", "医疗机构代码不能为空"},
        {"{functionname:'bizbuss',params:{HID:'H1',biztype:'J1',ip:'1.2.3.4',indata:'x'}}", "",
         "医疗机构代码不能为空"},
        {"{functionname:'bizbuss',params:{hid:'',biztype:'J1',ip:'1.2.3.4',indata:'x'}}", "",
         "医疗机构代码不能为空"},
        {"{functionname:'bizbuss',params:{hid:'H1',ip:'1.2.3.4',indata:'x'}}", "", "医疗机构编码"},
        {"{functionname:'bizbuss',params:{hid:'H1',biztype:'J1',indata:'x'}}", "J1", "交易发起IP不能为空"},
        {"{functionname:'bizbuss',params:{hid:'H1',biztype:'J1',ip:'1.2.3.4'}}", "J1", "发起报文XML不能为空"},
        {"{functionname:'bizbuss',params:{hid:'H1',biztype:'J1',ip:'1.2.3.4',indata:''}}", "J1",
         "发起报文XML不能为空"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(dispatch(c.request), error_document(c.biztype, -1, gbk(c.detail))) << c.request;
}

TEST_F(Dispatcher, BlanksPassTheChecksAndNumbersAreReadAsText) {
    std::string out;
    auto request = InvokeRequest::parse(gbk("{functionname:'bizbuss',params:{hid:123,biztype:' ',ip:' ',indata:' '}}"));
    ASSERT_TRUE(request);
    load_configuration();
    bizbuss(*request, out);
    // Past the checks every such type is relayed; the relay answers for its business type.
    EXPECT_NE(out.find("<APP> </APP>"), std::string::npos) << out;
    EXPECT_NE(out.find("<ErrCode>-1</ErrCode>"), std::string::npos);
}

TEST_F(Dispatcher, BusinessTypesAreCaseSensitiveAndOthersAreRelayed) {
    for (const char* biztype : {"j1", "D1", "I1", "ZZ"}) {
        // No center listens at the address of this test's configuration.
        platform::Profile(dir / "vorla.ini")
            .write(gbk("医保交易地址"), gbk("医保交易地址"), "http://127.0.0.1:9/ws?WSDL");
        const std::string out = dispatch(std::string("{functionname:'bizbuss',params:{hid:'10010001',biztype:'") +
                                         biztype + "',ip:'1.2.3.4',indata:'" + kDoc + "'}}");
        EXPECT_NE(out.find(std::string("<VER>V1.0</VER><APP>") + biztype + "</APP>"), std::string::npos) << out;
        EXPECT_NE(out.find("<ErrCode>-1</ErrCode><ErrDetail>" + gbk("中心通讯失败，请检查网络是否连接！")),
                  std::string::npos)
            << out;
    }
}

TEST_F(Dispatcher, WrongFunctionNameOrUnreadableRequestIsRejected) {
    const std::string rejection = gbk("{returnCode:0,exception:'非法的函数名'}");
    EXPECT_EQ(rejection.size(), 39u);
    for (const char* request : {"{functionname:'BizBuss',params:{}}", "{FunctionName:'bizbuss'}", "", "not json",
                                "{functionname:'bizbuss'", "[1,2]", "{params:{hid:'H1'}}"})
        EXPECT_EQ(dispatch(request), rejection) << request;
}

TEST_F(Dispatcher, TextAfterTheRequestIsIgnored) {
    EXPECT_EQ(dispatch("{functionname:'bizbuss'} trailing {garbage"),
              error_document("", -1, gbk("医疗机构代码不能为空")));
}

TEST(InvokeRequestText, MakeTextReadsBackTheSameValues) {
    // A GBK character whose trail byte is a backslash (0x5C), and a document with
    // both quote kinds.
    const std::string hid = "H\\1'x";
    const std::string doc = gbk("<?xml version=\"1.0\"?><A>'淺'\\</A>");
    ASSERT_NE(gbk("淺").find('\\'), std::string::npos) << "fixture: 淺 has a backslash trail byte in GBK";
    auto r = InvokeRequest::parse(InvokeRequest::make_text(hid, "I1", "10.0.0.1", doc));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->functionname(), "bizbuss");
    EXPECT_EQ(r->param("hid"), hid);
    EXPECT_EQ(r->param("biztype"), "I1");
    EXPECT_EQ(r->param("ip"), "10.0.0.1");
    EXPECT_EQ(r->param("indata"), doc);
}

TEST(InvokeRequestText, GbkBackslashTrailByteInsideASingleQuotedValue) {
    const std::string value = gbk("淺x");  // 淺 is 0xDC 0x5C in GBK
    auto r = InvokeRequest::parse("{functionname:'bizbuss',params:{hid:'" + value + "'}}");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->param("hid"), value);
}

// A call from another thread waits for the call in progress; the thread that
// holds the call may call again (a host's message loop inside a modal dialog).
TEST_F(Dispatcher, CallsAreServedOneAtATimeAndTheSameThreadMayCallAgain) {
    const std::string rejected = gbk("{functionname:'other'}");
    std::unique_lock<std::recursive_mutex> in_call(call_lock());
    EXPECT_EQ(run_invoke(rejected), rejection_text()) << "the thread in the call calls again";

    std::atomic<bool> done{false};
    std::string other_answer;
    std::thread other([&] {
        other_answer = run_invoke(rejected);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(done) << "another thread's call went ahead while a call was in progress";
    in_call.unlock();
    other.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(other_answer, rejection_text());
}

}  // namespace
}  // namespace vorla
