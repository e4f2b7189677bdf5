// Card reading through the built library, as a host drives it: the simulated
// drivers beside a copy of libvorla.so, vorla-sim as the center and the
// authentication service, the scripted cashier answering the card type dialog.
#include <gtest/gtest.h>

#include <filesystem>

#include "cards/json_text.h"
#include "common/text.h"
#include "test_cards_workstation.h"

namespace vorla {
namespace {

using testing::CardDesk;
using testing::member_text;
using testing::Workstation;

using testing::bare_workstation;
using testing::hollow_workstation;
using testing::full_workstation;

std::string request_document(const std::string& app, const std::string& pwd) {
    return R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>)" + app +
           "</APP><WorkDate>20240131</WorkDate></HEAD><MSG><HEAD><PWD>" + pwd + "</PWD></HEAD></MSG></DATA>";
}

// Head of an answer up to ErrCode, for the card documents of these tests.
std::string answer_head(const std::string& app) {
    return R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>)" + app +
           "</APP><WorkDate>20240131</WorkDate>";
}
std::string failure(const std::string& app, const std::string& detail_utf8) {
    return answer_head(app) + "<ErrCode>-1</ErrCode><ErrDetail>" + gbk(detail_utf8) + "</ErrDetail></HEAD></DATA>";
}

const char* const kAuthPath = "/galdo_mis_outland/outland/biz";
const char* const kQrcodePath = "/tembroweb/action/qrcode.do";

class Cards : public ::testing::Test {
protected:
    CardDesk desk_;
};

TEST_F(Cards, WorkedExampleJ1OnALocalCardWithoutPin) {
    desk_.drivers(
        "iReadCardBas.status = 0\n"
        "iReadCardBas.text = 640100|640102199001011223|C0001|K0001|张三|A1|V3|20180101|20280101|T1|D1|\n");
    desk_.cashier("card_type ok\n");
    const std::string answer = full_workstation().call("J1", request_document("J1", "1"));
    EXPECT_EQ(answer, answer_head("J1") +
                          gbk("<ErrCode>0</ErrCode></HEAD><MSG><HEAD><DKLX>1</DKLX><SBKID>K0001|V3|640100|A1|</SBKID>"
                              "<SBKH>C0001</SBKH><FKRQ>20180101</FKRQ><SFZH>640102199001011223</SFZH><RYXM>张三</RYXM>"
                              "<RYXB>2</RYXB><CSRQ>19900101</CSRQ></HEAD></MSG></DATA>"));
    EXPECT_EQ(desk_.driver_calls(), std::vector<std::string>{"iReadCardBas\t1"}) << "no PIN check";
    EXPECT_EQ(desk_.cwd_file("list.file"), "0\r\n");

    // The card-read trace of the read.
    std::string trace;
    const std::filesystem::path dir = std::filesystem::path(std::getenv("VORLA_SYSTEM_DIR")) / "ReadCard";
    for (const auto& f : std::filesystem::directory_iterator(dir)) trace += testing::read_file(f.path());
    for (const char* line : {"\t开始读卡\r\n", "\t输入参数:读卡类别\t8\r\n", "\t读卡硬件返回结果:\t0\r\n",
                             "\t读卡返回社保卡ID:\tK0001|V3|640100|A1|\r\n", "\t结束读卡\r\n"})
        EXPECT_NE(trace.find(gbk(line)), std::string::npos) << line;
}

// The social security card reader through J8 (no dialog), against the
// simulated driver and the authentication service of vorla-sim.
TEST_F(Cards, J8SocialSecurityCardReads) {
    const std::string local = "640100|640102199001011223|C0001|K0001|张三|A1|V3|20180101|20280101|T1|D1|";
    const std::string remote = "650100|650102198512120011|C0002|K0002|李四|A2|V3|20190101|20290101|T2|D2|";
    const std::string local_ok = answer_head("J8") +
                                 gbk("<ErrCode>0</ErrCode></HEAD><MSG><HEAD><SBKID>K0001|V3|640100|A1|</SBKID>"
                                     "<SBKH>C0001</SBKH><FKRQ>20180101</FKRQ><SFZH>640102199001011223</SFZH>"
                                     "<RYXM>张三</RYXM><RYXB>2</RYXB><CSRQ>19900101</CSRQ></HEAD></MSG></DATA>");
    const std::string remote_ok = answer_head("J8") +
                                  gbk("<ErrCode>0</ErrCode></HEAD><MSG><HEAD><SBKID>K0002|V3|650100|A2|</SBKID>"
                                      "<SBKH>C0002</SBKH><FKRQ>20190101</FKRQ><SFZH>650102198512120011</SFZH>"
                                      "<RYXM>李四</RYXM><RYXB>1</RYXB><CSRQ>19851212</CSRQ></HEAD></MSG></DATA>");
    struct Case {
        const char* name;
        std::string scenario;
        std::string pwd;
        std::string answer;
        std::vector<std::string> calls;
        std::vector<std::string> auth_methods;  // requests to the authentication service, in order
    };
    const std::vector<Case> cases = {
        {"local card, no PIN", "iReadCardBas.text = " + local, "1", local_ok, {"iReadCardBas\t1"}, {}},
        {"local card, PIN accepted", "iReadCardBas.text = " + local, "0", local_ok,
         {"iReadCardBas\t1", "iVerifyPIN\t1"}, {}},
        {"local card, PIN refused",
         "iReadCardBas.text = " + local + "\niVerifyPIN.status = -3\niVerifyPIN.text = 密码错误，还可输入2次", "0",
         failure("J8", "密码错误，还可输入2次"), {"iReadCardBas\t1", "iVerifyPIN\t1"}, {}},
        {"card of another region", "iReadCardBas.text = " + remote, "0", remote_ok, {"iReadCardBas\t1"},
         {"yd_1904"}},
        {"HSM read of a local card",
         "iReadCardBas.status = -2202\niReadCardBas_HSM_Step1.text = S|KF|SF|SB|NG|NX|WG|WX|\n"
         "iReadCardBas_HSM_Step2.text = " + local,
         "1", local_ok,
         {"iReadCardBas\t1", "iReadCardBas_HSM_Step1\t1", "iReadCardBas_HSM_Step2\tNB-AUTH-0001|WB-AUTH-0001|"},
         {"yd_1903"}},
        {"HSM read of a card of another region",
         "iReadCardBas.status = -2202\niReadCardBas_HSM_Step2.text = " + remote, "0", remote_ok,
         {"iReadCardBas\t1", "iReadCardBas_HSM_Step1\t1", "iReadCardBas_HSM_Step2\tNB-AUTH-0001|WB-AUTH-0001|"},
         {"yd_1903", "yd_1904"}},
        {"driver status -1", "iReadCardBas.status = -1", "0", failure("J8", "读卡异常:-1"), {"iReadCardBas\t1"}, {}},
        // 珅 is AB 7C in GBK: its second byte is "|".
        {"holder whose name ends in 0x7C",
         "iReadCardBas.text = 640100|640102199001011223|C0003|K77|王珅|A1|V2|20180101|20280101|T1|D1|", "1",
         answer_head("J8") + gbk("<ErrCode>0</ErrCode></HEAD><MSG><HEAD><SBKID>K77|V2|640100|A1|</SBKID>"
                                 "<SBKH>C0003</SBKH><FKRQ>20180101</FKRQ><SFZH>640102199001011223</SFZH>"
                                 "<RYXM>王珅</RYXM><RYXB>2</RYXB><CSRQ>19900101</CSRQ></HEAD></MSG></DATA>"),
         {"iReadCardBas\t1"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(desk_.scenario_path() + ".calls");
        const size_t before = desk_.sim_requests(kAuthPath).size();
        desk_.drivers(c.scenario + "\n");
        EXPECT_EQ(full_workstation().call("J8", request_document("J8", c.pwd)), c.answer);
        EXPECT_EQ(desk_.driver_calls(), c.calls);
        const auto auth = desk_.sim_requests(kAuthPath);
        ASSERT_EQ(auth.size(), before + c.auth_methods.size());
        for (size_t i = 0; i < c.auth_methods.size(); ++i) {
            EXPECT_EQ(member_text(auth[before + i], "method_name"), c.auth_methods[i]);
            EXPECT_EQ(member_text(auth[before + i], "content_type"), "application/x-www-form-urlencoded");
        }
    }
    // What yd_1904 carried for the card of another region.
    const auto auth = desk_.sim_requests(kAuthPath);
    ASSERT_FALSE(auth.empty());
    EXPECT_EQ(member_text(auth.back(), "body"),
              R"({"methodName":"yd_1904","params":{"bizCode":"1904","bizData":{"head":{"sfzh":"650102198512120011",)"
              R"("gr_ic":"C0002","sbkid":"K0002","gr_xm":"李四"}}}})");
}

TEST_F(Cards, AuthenticationRefusalAndOutage) {
    desk_.drivers("iReadCardBas.text = 650100|650102198512120011|C2|K2|李四|A2|V3|20190101|20290101|T2|D2|\n");
    desk_.sim_scenario("yd_1904.json", R"({"result_code":"100","result_data":{"head":{"cgbz":"0","tsxx":"异地卡未备案"}}})");
    EXPECT_EQ(full_workstation().call("J8", request_document("J8", "1")), failure("J8", "异地卡未备案"));

    desk_.sim_scenario("yd_1904.json", R"({"result_code":"101","result_data":"参数错误"})");
    EXPECT_EQ(full_workstation().call("J8", request_document("J8", "1")), failure("J8", "参数错误"));

    desk_.sim_scenario("yd_1904.http", "503");
    const std::string down = full_workstation().call("J8", request_document("J8", "1"));
    EXPECT_NE(down.find("<ErrCode>-1</ErrCode><ErrDetail>" + gbk("调用接口错误:")), std::string::npos) << down;
}

// A card text with too few items leaves the record marked read without its
// dates: the J1 handler fails on the missing date and the dispatcher relays
// the transaction to the center under its own business type.
TEST_F(Cards, TooFewItemsAreRelayedToTheCenter) {
    desk_.drivers("iReadCardBas.text = 640100|640102199001011223|C0001|K0001|张三|A1|V3|20180101|\n");
    desk_.cashier("card_type ok\n");
    const std::string request = request_document("J1", "1");
    const std::string answer = full_workstation().call("J1", request);
    EXPECT_NE(answer.find(gbk("<APP>J1</APP>")), std::string::npos) << answer;
    EXPECT_NE(answer.find(gbk("<ErrDetail>交易成功</ErrDetail>")), std::string::npos) << "the center's answer";
    const auto posts = desk_.sim().records("POST");
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(member_text(posts[0], "arg1"), "J1");
    EXPECT_EQ(member_text(posts[0], "document"), request);
}

TEST_F(Cards, CancelledDialogAndJ0) {
    desk_.cashier("card_type cancel\ncard_type choose 2\ncard_type cancel\n");
    EXPECT_EQ(full_workstation().call("J1", request_document("J1", "1")), failure("J1", "用户放弃"));
    const std::string packet = full_workstation().call("J0", request_document("J1", "1"));
    EXPECT_EQ(packet.rfind(R"(<?xml version="1.0" standalone="yes"?>  <DATAPACKET Version="2.0"><METADATA><FIELDS>)", 0),
              0u)
        << packet;
    EXPECT_NE(packet.find(gbk(R"(<ROWDATA><ROW SHBZH="" ICKH="" RYXM="" RYXB="男" CSRQ="18991230" SFZH="" GZDW="" MXBBZ="0")")),
              std::string::npos)
        << packet;
    EXPECT_FALSE(std::filesystem::exists("list.file"));
    EXPECT_TRUE(desk_.driver_calls().empty()) << "no reader runs after Cancel";
}

TEST_F(Cards, J0OfAReadCard) {
    desk_.cashier("card_type choose 证件号码\ncard_type type 640102199001011223\ncard_type ok\n");
    const std::string packet = full_workstation().call("J0", request_document("J1", "1"));
    EXPECT_NE(packet.find(R"(RYXB=")" + gbk("男") + R"(" CSRQ=")" + testing::today() + R"(" SFZH="640102199001011223")"),
              std::string::npos)
        << packet;
    EXPECT_NE(packet.find(R"(CHAR2="3" CHAR3="")"), std::string::npos) << packet;
}

TEST_F(Cards, ElectronicCardCodeIsScannedAndResolvedAtTheCenter) {
    const std::string code = R"(QR"},"appid":"x)";
    desk_.drivers("iScan2DBarcodeExt.text = \"" + code + "\"\n");
    desk_.cashier("card_type choose 3\ncard_type ok\n");
    const std::string answer = full_workstation().call("J1", request_document("J1", "1"));
    const std::string today = testing::today();
    EXPECT_EQ(answer, answer_head("J1") +
                          gbk("<ErrCode>0</ErrCode></HEAD><MSG><HEAD><DKLX>4</DKLX><SBKID>K6400000009</SBKID>"
                              "<SBKH>C64000009</SBKH><FKRQ>") +
                          today + gbk("</FKRQ><SFZH>640102198807074418</SFZH><RYXM>赵六</RYXM><CSRQ>") + today +
                          "</CSRQ></HEAD></MSG></DATA>");
    EXPECT_TRUE(desk_.driver_called("iScan2DBarcodeExt"));
    const auto qr = desk_.sim_requests(kQrcodePath);
    ASSERT_EQ(qr.size(), 1u);
    EXPECT_EQ(member_text(qr[0], "qrcode"), code) << "the quote stays inside the JSON string";
    EXPECT_EQ(member_text(qr[0], "content_type").rfind("application/json", 0), 0u);
    EXPECT_EQ(desk_.cwd_file("list.file"), "3\r\n");
}

TEST_F(Cards, ElectronicCardCodeRefusedByTheCenter) {
    desk_.sim_scenario("qrcode.json", R"({"result_code":"300","result_exception":{"message":"二维码已过期"}})");
    desk_.cashier("card_type choose 3\ncard_type type CODE-1\ncard_type ok\n");
    EXPECT_EQ(full_workstation().call("J1", request_document("J1", "1")), failure("J1", "二维码已过期"));
}

TEST_F(Cards, EVoucherIsReadAsSoonAsItIsChosen) {
    desk_.cashier("card_type choose 4\ncard_type ok\n");
    testing::write_file("list.file", "1\r\n");
    const std::string answer = full_workstation().call("J1", request_document("J1", "1"));
    const std::string today = testing::today();
    EXPECT_EQ(answer, answer_head("J1") +
                          gbk("<ErrCode>0</ErrCode></HEAD><MSG><HEAD><DKLX>5</DKLX><SBKID>EC-TOKEN-0001</SBKID><FKRQ>") +
                          today + gbk("</FKRQ><SFZH>640102199203035512</SFZH><RYXM>王五</RYXM><RYXB>1</RYXB><CSRQ>") +
                          today + "</CSRQ></HEAD></MSG></DATA>");
    EXPECT_EQ(desk_.cwd_file("list.file"), "1\r\n") << "the e-voucher is not remembered";
    const auto calls = desk_.driver_calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], "NationEcTrans\t" + desk_.sim().base_url() +
                            "/localcfc/api/hsecfc/localQrCodeQuery\t"
                            R"({"data":{"businessType":"01101","officeId":"01","officeName":"结算处",)"
                            R"("operatorId":"0001","operatorName":"收费员","orgId":""},"orgId":"","transType":"ec.query"})");
}

TEST_F(Cards, EVoucherFailures) {
    desk_.drivers("NationEcTrans.raise = no route to host\n");
    desk_.cashier("card_type choose 4\ncard_type ok\n");
    EXPECT_EQ(full_workstation().call("J1", request_document("J1", "1")),
              failure("J1", "医保电子凭证网络不通，请ping测127.0.0.1[-10]"));
    EXPECT_EQ(desk_.messages(), "提示\t医保电子凭证网络不通，请ping测127.0.0.1\n");

    desk_.drivers("NationEcTrans.answer = {\"code\":2000,\"message\":\"timeout\"}\n");
    desk_.cashier("card_type choose 4\ncard_type ok\n");
    EXPECT_EQ(full_workstation().call("J1", request_document("J1", "1")),
              failure("J1", "医保电子凭证请求超时[2000]"));

    desk_.drivers("NationEcTrans.code = 12\nNationEcTrans.answer = 设备未就绪\n");
    desk_.cashier("card_type choose 4\ncard_type ok\n");
    EXPECT_EQ(full_workstation().call("J1", request_document("J1", "1")), failure("J1", "设备未就绪[12]"));
}

TEST_F(Cards, IdentityCardWithItsPhoto) {
    desk_.cashier("card_type choose 1\ncard_type ok\n");
    const std::string answer = full_workstation().call("J1", request_document("J1", "1"));
    EXPECT_EQ(answer, answer_head("J1") +
                          gbk("<ErrCode>0</ErrCode></HEAD><MSG><HEAD><DKLX>6</DKLX>"
                              "<SBKID>示例市示例区文化街1号|示例市公安局示例分局|20150101|20350101|汉|</SBKID>"
                              "<FKRQ>19850202</FKRQ><SFZH>640102198502023315</SFZH><RYXM>李四</RYXM><RYXB>1</RYXB>"
                              "<CSRQ>19850202</CSRQ></HEAD></MSG></DATA>"));
    const std::string photo = desk_.system_file("IDphoto.jpg");
    ASSERT_GE(photo.size(), 4u);
    EXPECT_EQ(photo.substr(0, 3), "\xFF\xD8\xFF") << "a JPEG file";
    EXPECT_TRUE(desk_.driver_called("dc_i_d_query_photo_file"));
    EXPECT_TRUE(desk_.driver_called("dc_exit"));
}

TEST_F(Cards, IdentityCardFailures) {
    struct Case {
        const char* scenario;
        const char* detail;
        bool closed;
    };
    const Case cases[] = {
        {"dc_init.result = -1", "读卡器连接失败！", false},
        {"dc_find_i_d.result = -2", "无卡！", true},
        {"dc_start_i_d.result = -3", "无卡！", true},
        {"dc_i_d_query_photo_file.result = -4", "保存图片失败！", true},
        {"dc_init.result = 0\ndc_find_i_d.result = -1", "无卡！", true},  // handle 0 is a reader too
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        std::filesystem::remove(desk_.scenario_path() + ".calls");
        desk_.drivers(std::string(c.scenario) + "\n");
        desk_.cashier("card_type choose 1\ncard_type ok\n");
        EXPECT_EQ(full_workstation().call("J1", request_document("J1", "1")), failure("J1", c.detail));
        EXPECT_EQ(desk_.driver_called("dc_exit"), c.closed);
    }
}

TEST_F(Cards, ChangePinFromTheDialog) {
    desk_.cashier("card_type change_pin\ncard_type choose 1\ncard_type change_pin\ncard_type cancel\n");
    EXPECT_EQ(full_workstation().call("J1", request_document("J1", "1")), failure("J1", "用户放弃"));
    EXPECT_EQ(desk_.messages(), "提示\t密码修改成功\n提示\t目前只适用新社会保障卡密码修改!\n");
    EXPECT_EQ(desk_.driver_calls(), std::vector<std::string>{"iChangePIN\t1"});

    desk_.drivers("iChangePIN.status = -2\niChangePIN.text = 原密码错误\n");
    desk_.cashier("card_type change_pin\ncard_type cancel\n");
    full_workstation().call("J1", request_document("J1", "1"));
    EXPECT_EQ(desk_.messages(), "提示\t密码修改失败,失败原因:原密码错误\n");
}

// Components that load but lack their functions (a wrong version installed):
// each read names the first function it misses, and relaying goes on.
TEST_F(Cards, WorkstationWithHollowDrivers) {
    Workstation& hollow = hollow_workstation();
    EXPECT_EQ(hollow.call_in_new_host("J8", request_document("J8", "0")), failure("J8", "函数iReadCardBas不存在"));
    desk_.cashier("card_type ok\n");
    EXPECT_EQ(hollow.call_in_new_host("J1", request_document("J1", "0")), failure("J1", "函数iReadCardBas不存在"));
    desk_.cashier("card_type choose 1\ncard_type ok\n");
    EXPECT_EQ(hollow.call_in_new_host("J1", request_document("J1", "1")), failure("J1", "函数dc_init不存在"));
    desk_.cashier("card_type choose 4\ncard_type ok\n");
    EXPECT_EQ(hollow.call_in_new_host("J1", request_document("J1", "1")), failure("J1", "函数NationEcTrans不存在[-7]"));
    desk_.cashier("card_type choose 3\ncard_type type CODE-2\ncard_type ok\n");
    EXPECT_NE(hollow.call_in_new_host("J1", request_document("J1", "1")).find("<DKLX>4</DKLX>"), std::string::npos)
        << "a scanner without its functions counts as none: the code is typed";
    const std::string relayed = hollow.call_in_new_host("C3", request_document("C3", "1"));
    EXPECT_NE(relayed.find("<ErrCode>0</ErrCode>"), std::string::npos) << relayed;
    EXPECT_TRUE(desk_.driver_calls().empty()) << "no function of a hollow component ran";
}

// A workstation without any card component still loads the library and
// relays; each read that needs a missing component fails naming it. (Each call
// runs in a host process of its own.)
TEST_F(Cards, WorkstationWithoutDrivers) {
    Workstation& bare = bare_workstation();
    EXPECT_EQ(bare.call_in_new_host("J8", request_document("J8", "0")), failure("J8", "libSSCardDriver.so不存在"));
    desk_.cashier("card_type ok\n");
    EXPECT_EQ(bare.call_in_new_host("J1", request_document("J1", "0")), failure("J1", "libSSCardDriver.so不存在"));
    desk_.cashier("card_type choose 1\ncard_type ok\n");
    EXPECT_EQ(bare.call_in_new_host("J1", request_document("J1", "1")), failure("J1", "libdcrf32.so不存在"));
    desk_.cashier("card_type choose 4\ncard_type ok\n");
    EXPECT_EQ(bare.call_in_new_host("J1", request_document("J1", "1")), failure("J1", "NationECCode.dll不存在[-8]"));
    desk_.cashier("card_type choose 3\ncard_type type CODE-2\ncard_type ok\n");
    EXPECT_NE(bare.call_in_new_host("J1", request_document("J1", "1")).find("<DKLX>4</DKLX>"), std::string::npos)
        << "without a scanner the code is typed";
    const std::string relayed = bare.call_in_new_host("C3", request_document("C3", "1"));
    EXPECT_NE(relayed.find("<ErrCode>0</ErrCode>"), std::string::npos) << relayed;
    EXPECT_TRUE(desk_.driver_calls().empty());
}

}  // namespace
}  // namespace vorla
