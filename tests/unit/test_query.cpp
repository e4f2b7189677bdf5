// The insured-person query: the I1 request and its invoke request text, the DKLX
// insertion, the J2 and J11 handlers with their services replaced, and the
// choices step answered by the scripted cashier.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/text.h"
#include "entry/config.h"
#include "entry/dispatcher.h"
#include "entry/invoke_request.h"
#include "messages/envelope.h"
#include "messages/serializer.h"
#include "platform/platform.h"
#include "query/insured_query.h"
#include "query/settlement_choices.h"
#include "support.h"

namespace vorla {
namespace {

using cards::TCardOut;
using query::QueryServices;

const std::string kDecl = R"(<?xml version="1.0" encoding="GBK"?>)";

std::string j2_document(const std::string& msg_head, const std::string& head_extra = "") {
    return kDecl + "<DATA><HEAD><VER>2.0</VER><APP>J2</APP><WorkDate>20240131</WorkDate><Reserve>R1</Reserve>" +
           head_extra + "</HEAD><MSG><HEAD>" + msg_head + "</HEAD></MSG></DATA>";
}

InvokeRequest request(const std::string& hid, const std::string& biztype, const std::string& indata) {
    auto r = InvokeRequest::parse(InvokeRequest::make_text(hid, biztype, "10.0.0.9", indata));
    if (!r) throw std::logic_error("fixture request");
    return *r;
}

// An I1 answer as the center writes it: line breaks and indentation included.
std::string i1_answer(const std::string& code = "0", const std::string& detail_utf8 = "交易成功") {
    return gbk(kDecl + "\n<DATA>\n  <HEAD><VER>1.0</VER><APP>I1</APP><ErrCode>" + code + "</ErrCode><ErrDetail>" +
               detail_utf8 +
               "</ErrDetail></HEAD>\n  <MSG><HEAD><YLJGDM>10010001</YLJGDM><RYXM>张  三</RYXM></HEAD>"
               "<DETAIL><XZDM>310^职工基本医疗保险</XZDM><YLLB>14^门诊大病</YLLB></DETAIL></MSG>\n</DATA>\n");
}

// Services that record what the handler asked for.
struct Fake {
    TCardOut card;                     // what the card read gives
    std::optional<TCardOut> resolved;  // what the e-card lookup gives (nullopt: unchanged)
    std::string ip = "10.1.2.3";
    std::string center_answer = i1_answer();
    std::optional<std::string> choices_result;  // nullopt: the answer unchanged

    std::vector<std::string> card_calls;  // "hid pin"
    std::vector<std::string> resolve_calls;
    std::vector<std::string> dispatched_hid, dispatched_biztype, dispatched_ip, dispatched_indata;
    std::vector<std::string> choices_calls;

    QueryServices services() {
        QueryServices s;
        s.choose_card_and_read = [this](std::string_view hid, bool pin, TCardOut& record) {
            card_calls.push_back(std::string(hid) + (pin ? " pin" : " nopin"));
            record = card;
        };
        s.resolve_ecard_code = [this](TCardOut& record) {
            resolve_calls.push_back(record.IdNumber + "/" + record.CardType);
            if (resolved) record = *resolved;
        };
        s.local_address = [this] { return ip; };
        s.dispatch = [this](const InvokeRequest& r, std::string& out) {
            dispatched_hid.push_back(r.param("hid"));
            dispatched_biztype.push_back(r.param("biztype"));
            dispatched_ip.push_back(r.param("ip"));
            dispatched_indata.push_back(r.param("indata"));
            out = center_answer;
        };
        s.choices_step = [this](std::string_view answer) {
            choices_calls.emplace_back(answer);
            return choices_result ? *choices_result : std::string(answer);
        };
        return s;
    }
};

TCardOut social_card() {
    TCardOut c;
    c.ResultCode = 1;
    c.CardType = "1";
    c.CardId = "ID9";
    c.CardNo = "K0001";
    c.IssueDate = "20190506";
    c.IdNumber = "110101199001011234";
    c.PersonName = gbk("张三");
    c.ResetInfo = "RESET";
    return c;
}

TI1InBean read_i1_request(const std::string& text) {
    TI1InBean b;
    read_bean(text, b);
    return b;
}

class Query : public ::testing::Test {
protected:
    void SetUp() override { config().institution_key = "88880000"; }
    void TearDown() override { config().institution_key.clear(); }
};

// ---- the I1 request ------------------------------------------------------------

TEST(I1Request, InvokeRequestTextIsLaidOutExactly) {
    const std::string doc = gbk(kDecl + "<DATA><HEAD><APP>I1</APP></HEAD><MSG><HEAD><RYXM>张三</RYXM></HEAD></MSG></DATA>");
    EXPECT_EQ(InvokeRequest::make_text("10010001|abc", "I1", "10.1.2.3", doc),
              "{functionname:'bizbuss',params:{hid:'10010001|abc',biztype: 'I1',ip:'10.1.2.3' ,indata:'" + doc +
                  "' }}");
    EXPECT_EQ(InvokeRequest::make_text("H", "I1", "", "x"),
              "{functionname:'bizbuss',params:{hid:'H',biztype: 'I1',ip:'' ,indata:'x' }}");
}

TEST(I1Request, BuiltFromTheJ2RequestAndTheCard) {
    TJ2InBean j2;
    read_bean(j2_document("<YLJGDM>10010001</YLJGDM><JYRQ>20240131083000</JYRQ><MZZYBZ>0</MZZYBZ>"
                          "<ZXBXBZ>1</ZXBXBZ><ZHCXBZ>2</ZHCXBZ><DKXXBZ>99</DKXXBZ><PWD>1</PWD><FROM>X</FROM>",
                          "<ErrCode>E</ErrCode><ErrDetail>D</ErrDetail>"),
              j2);
    j2.HEAD.VER = "01.01";
    struct Case {
        const char* card_type;
        const char* prv2;
    } cases[] = {{"1", ""}, {"3", ""}, {"4", ""}, {"5", "TOKEN"}, {"6", ""}};
    for (const Case& c : cases) {
        TCardOut card = social_card();
        card.CardType = c.card_type;
        card.ResetInfo = "TOKEN";
        const TI1InBean i1 = query::build_i1_request(j2, card);
        EXPECT_EQ(i1.HEAD.VER, "01.01");
        EXPECT_EQ(i1.HEAD.APP, "I1");
        EXPECT_EQ(i1.HEAD.WorkDate, "20240131");
        EXPECT_EQ(i1.HEAD.Reserve, "R1");
        EXPECT_EQ(i1.HEAD.ErrCode, "E") << "the HIS's head values pass unchanged";
        EXPECT_EQ(i1.HEAD.ErrDetail, "D");
        const TI1InHead& h = i1.MSG.HEAD;
        EXPECT_EQ(h.YLJGDM, "10010001");
        EXPECT_EQ(h.DKLX, c.card_type);
        EXPECT_EQ(h.SBKID, "ID9");
        EXPECT_EQ(h.SBKH, "K0001");
        EXPECT_EQ(h.FKRQ, "20190506");
        EXPECT_EQ(h.SFZH, "110101199001011234");
        EXPECT_EQ(h.RYXM, gbk("张三"));
        EXPECT_EQ(h.JYRQ, "20240131083000");
        EXPECT_EQ(h.MZZYBZ, "0");
        EXPECT_EQ(h.ZXBXBZ, "1");
        EXPECT_EQ(h.ZHCXBZ, "2");
        EXPECT_EQ(h.PRV1, "");
        EXPECT_EQ(h.PRV2, c.prv2) << "card type " << c.card_type;
        EXPECT_EQ(h.PRV3, "");
    }
}

// ---- the DKLX insertion ------------------------------------------------------------

TEST(DklxInsertion, Table) {
    const std::string head = "<DATA><HEAD><ErrCode>0</ErrCode></HEAD>";
    struct Case {
        std::string from;
        std::string answer;
        std::string expected;
    } cases[] = {
        // Line feeds go, the element follows the marker directly.
        {"TALVIK", " \r\n" + head + "\n<MSG><HEAD>\n<YLJGDM>1</YLJGDM></HEAD></MSG></DATA>\r\n\t",
         head + "<MSG><HEAD><DKLX>1</DKLX><YLJGDM>1</YLJGDM></HEAD></MSG></DATA>"},
        // Runs of blanks: n keeps (n mod 6) mod 2.
        {"CORVANT", "<MSG><HEAD><A>a b  c   d    e      f       g</A>",
         "<MSG><HEAD><DKLX>1</DKLX><A>a bc def g</A>"},
        {"MERIXA", "<MSG>  <HEAD>x", "<MSG><HEAD><DKLX>1</DKLX>x"},
        {"OTHER", "<MSG><HEAD>", "<MSG><HEAD><DKLX>1</DKLX>"},
        {"SENTRA", "a<MSG><HEAD>b<MSG><HEAD>c", "a<MSG><HEAD><DKLX>1</DKLX>b<MSG><HEAD>c"},
        // Other tags: byte for byte.
        {"talvik", " <MSG>\n<HEAD>   x \n", " <MSG>\n<HEAD>   x \n"},
        {"", " <MSG>\n<HEAD>   x \n", " <MSG>\n<HEAD>   x \n"},
        {"TALVIK ", "<MSG><HEAD>", "<MSG><HEAD>"},
        // No marker after the squeeze (CR LF between the tags): unchanged, blanks included.
        {"TALVIK", " <MSG>\r\n<HEAD>  x\n", " <MSG>\r\n<HEAD>  x\n"},
        {"TALVIK", "", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(query::insert_dklx(c.from, c.answer, "1"), c.expected) << "[" << c.from << "] " << c.answer;
    EXPECT_EQ(query::insert_dklx("TALVIK", "<MSG><HEAD>", "5"), "<MSG><HEAD><DKLX>5</DKLX>");
}

TEST(DklxInsertion, DoubleByteCharactersSurvive) {
    const std::string name = gbk("张  三億僞");
    EXPECT_EQ(query::insert_dklx("TALVIK", "<MSG><HEAD><RYXM>" + name + "</RYXM>", "4"),
              "<MSG><HEAD><DKLX>4</DKLX><RYXM>" + gbk("张三億僞") + "</RYXM>");
}

// ---- J2 ----------------------------------------------------------------------------

TEST_F(Query, J2CardFailureAnswersWithTheRequestHead) {
    Fake fake;
    fake.card.ResultCode = -1;
    fake.card.ErrorText = gbk("用户放弃");
    std::string out;
    query::run_j2(request("H|1", "J2", j2_document("<YLJGDM>10010001</YLJGDM>", "<ErrDetail>note</ErrDetail>")),
                  out, fake.services());
    EXPECT_EQ(out, kDecl + "<DATA><HEAD><VER>01.01</VER><APP>J2</APP><WorkDate>20240131</WorkDate>"
                           "<Reserve>R1</Reserve><ErrCode>-1</ErrCode><ErrDetail>" +
                       gbk("用户放弃") + "</ErrDetail></HEAD></DATA>");
    EXPECT_TRUE(fake.dispatched_biztype.empty());
    ASSERT_EQ(fake.card_calls.size(), 1u);
    EXPECT_EQ(fake.card_calls[0], "10010001 nopin") << "the J2 YLJGDM goes to the card dialog";
}

TEST_F(Query, J2CardReadErrorIsAFailureAnswer) {
    Fake fake;
    QueryServices s = fake.services();
    s.choose_card_and_read = [](std::string_view, bool, TCardOut&) { throw std::runtime_error("driver broke"); };
    std::string out;
    query::run_j2(request("H|1", "J2", j2_document("")), out, s);
    TJ2OutBean answer;
    read_bean(out, answer);
    EXPECT_EQ(answer.HEAD.ErrCode, "-1");
    EXPECT_EQ(answer.HEAD.ErrDetail, "driver broke");
    EXPECT_EQ(answer.HEAD.VER, "01.01");
}

TEST_F(Query, J2PinSwitch) {
    for (auto [pwd, expected] : {std::pair{"1", "X pin"}, {"0", "X nopin"}, {"", "X nopin"}}) {
        Fake fake;
        fake.card.ResultCode = -1;
        std::string out;
        query::run_j2(request("H|1", "J2", j2_document(std::string("<YLJGDM>X</YLJGDM><PWD>") + pwd + "</PWD>")),
                      out, fake.services());
        ASSERT_EQ(fake.card_calls.size(), 1u);
        EXPECT_EQ(fake.card_calls[0], expected);
    }
}

TEST_F(Query, J2SendsI1ThroughTheDispatcher) {
    Fake fake;
    fake.card = social_card();
    fake.card.CardType = "5";
    fake.card.ResetInfo = "EC-TOKEN";
    std::string out;
    const std::string indata = j2_document(
        "<YLJGDM>10010001</YLJGDM><JYRQ>20240131</JYRQ><MZZYBZ>0</MZZYBZ><ZXBXBZ>0</ZXBXBZ><ZHCXBZ>1</ZHCXBZ>"
        "<DKXXBZ>99</DKXXBZ>");
    query::run_j2(request("10010001|abc", "J2", indata), out, fake.services());
    ASSERT_EQ(fake.dispatched_biztype, std::vector<std::string>{"I1"});
    EXPECT_EQ(fake.dispatched_hid[0], "10010001|abc");
    EXPECT_EQ(fake.dispatched_ip[0], "10.1.2.3");
    const TI1InBean sent = read_i1_request(fake.dispatched_indata[0]);
    EXPECT_EQ(fake.dispatched_indata[0], write_bean(sent)) << "the serializer's document";
    EXPECT_EQ(sent.HEAD.VER, "01.01");
    EXPECT_EQ(sent.HEAD.APP, "I1");
    EXPECT_EQ(sent.MSG.HEAD.DKLX, "5");
    EXPECT_EQ(sent.MSG.HEAD.PRV2, "EC-TOKEN");
    EXPECT_TRUE(fake.choices_calls.empty()) << "DKXXBZ 99: no dialog";
    EXPECT_EQ(out, fake.center_answer) << "no caller tag: the answer as received";
}

TEST_F(Query, J2QuotesInTheInstitutionStayInsideItsValue) {
    // The HIS's hid goes into the nested request text: a quote there must not
    // end the value and name another business type or document.
    Fake fake;
    fake.card = social_card();
    const std::string hid = "1|x',biztype:'D1',ip:'1',indata:'<X/>'}}\\";
    std::string out;
    query::run_j2(request(hid, "J2", j2_document("<DKXXBZ>99</DKXXBZ>")), out, fake.services());
    ASSERT_EQ(fake.dispatched_hid.size(), 1u);
    EXPECT_EQ(fake.dispatched_hid[0], hid);
    EXPECT_EQ(fake.dispatched_biztype[0], "I1");
    EXPECT_EQ(read_i1_request(fake.dispatched_indata[0]).HEAD.APP, "I1");
}

TEST_F(Query, J2InstitutionWithoutBarIsTheConfiguredKey) {
    Fake fake;
    fake.card = social_card();
    std::string out;
    query::run_j2(request("10010001", "J2", j2_document("<DKXXBZ>99</DKXXBZ>")), out, fake.services());
    ASSERT_EQ(fake.dispatched_hid.size(), 1u);
    EXPECT_EQ(fake.dispatched_hid[0], "88880000");
}

TEST_F(Query, J2DialogAndCallerTag) {
    struct Case {
        const char* dkxxbz;
        const char* from;
        bool dialog;
        bool dklx;
    } cases[] = {
        {"", "", true, false},       {"0", "TALVIK", true, true}, {"99", "TALVIK", false, true},
        {"99", "talvik", false, false}, {"1", "SENTRA", true, true},
    };
    for (const Case& c : cases) {
        Fake fake;
        fake.card = social_card();
        fake.choices_result = gbk(kDecl + "<DATA><HEAD><ErrCode>0</ErrCode></HEAD><MSG><HEAD><RYXM>张三</RYXM></HEAD>"
                                          "<DETAIL><XZDM>chosen</XZDM></DETAIL></MSG></DATA>");
        std::string out;
        query::run_j2(request("H|1", "J2",
                              j2_document(std::string("<DKXXBZ>") + c.dkxxbz + "</DKXXBZ><FROM>" + c.from + "</FROM>")),
                      out, fake.services());
        SCOPED_TRACE(std::string(c.dkxxbz) + "/" + c.from);
        EXPECT_EQ(fake.choices_calls.size(), c.dialog ? 1u : 0u);
        if (c.dialog) {
            EXPECT_EQ(fake.choices_calls[0], fake.center_answer);
        }
        if (c.dialog && c.dklx) {
            EXPECT_EQ(out, gbk(kDecl + "<DATA><HEAD><ErrCode>0</ErrCode></HEAD><MSG><HEAD><DKLX>1</DKLX>"
                                       "<RYXM>张三</RYXM></HEAD><DETAIL><XZDM>chosen</XZDM></DETAIL></MSG></DATA>"));
        } else if (c.dialog) {
            EXPECT_EQ(out, *fake.choices_result);
        } else if (c.dklx) {
            EXPECT_EQ(out, gbk(kDecl + "<DATA><HEAD><VER>1.0</VER><APP>I1</APP><ErrCode>0</ErrCode><ErrDetail>交易成功"
                                       "</ErrDetail></HEAD><MSG><HEAD><DKLX>1</DKLX><YLJGDM>10010001</YLJGDM>"
                                       "<RYXM>张三</RYXM></HEAD><DETAIL><XZDM>310^职工基本医疗保险</XZDM>"
                                       "<YLLB>14^门诊大病</YLLB></DETAIL></MSG></DATA>"));
        } else {
            EXPECT_EQ(out, fake.center_answer);
        }
    }
}

TEST_F(Query, J2QueryFailureAndCancel) {
    struct Case {
        std::string center_answer;
        std::optional<std::string> choices;
        std::string code;
        std::string detail;
    } cases[] = {
        // The center refuses: its code and text, no dialog.
        {i1_answer("-5", "无此人员"), std::nullopt, "-5", gbk("无此人员")},
        // The relay's own error document.
        {center_error_document("I1", -1, gbk("中心通讯失败，请检查网络是否连接！")), std::nullopt, "-1",
         gbk("中心通讯失败，请检查网络是否连接！")},
        // The cashier gives up in the dialog.
        {i1_answer(), gbk(kDecl + "<DATA><HEAD><ErrCode>1</ErrCode><ErrDetail>用户放弃</ErrDetail></HEAD></DATA>"),
         "1", gbk("用户放弃")},
        // An empty answer is no success either.
        {"", std::nullopt, "-1", ""},
    };
    for (const Case& c : cases) {
        Fake fake;
        fake.card = social_card();
        fake.center_answer = c.center_answer;
        fake.choices_result = c.choices;
        std::string out;
        query::run_j2(request("H|1", "J2", j2_document("<FROM>TALVIK</FROM>")), out, fake.services());
        TJ2OutBean answer;
        read_bean(out, answer);
        EXPECT_EQ(answer.HEAD.ErrCode, c.code) << c.center_answer;
        EXPECT_EQ(answer.HEAD.ErrDetail, c.detail);
        EXPECT_EQ(answer.HEAD.VER, "01.01");
        EXPECT_EQ(answer.HEAD.APP, "J2");
        EXPECT_EQ(answer.HEAD.WorkDate, "20240131");
        EXPECT_EQ(answer.HEAD.Reserve, "R1");
        EXPECT_EQ(out.find("<MSG>"), std::string::npos) << "a failure answer has no message part";
        EXPECT_EQ(fake.choices_calls.size(), c.choices ? 1u : 0u);
    }
}

TEST_F(Query, J2DialogFailureLeavesTheCenterAnswer) {
    Fake fake;
    fake.card = social_card();
    QueryServices s = fake.services();
    s.choices_step = [](std::string_view) -> std::string { throw query::NothingSelectedError("none"); };
    std::string out;
    EXPECT_THROW(query::run_j2(request("H|1", "J2", j2_document("")), out, s), query::NothingSelectedError);
    EXPECT_EQ(out, fake.center_answer) << "what the dispatcher keeps when it swallows the failure";
}

TEST_F(Query, J2ElectronicCardIsResolvedFirst) {
    Fake fake;
    fake.card.ResultCode = 1;
    fake.card.CardType = "4";
    fake.card.IdNumber = "QRCODE";
    fake.resolved = fake.card;
    fake.resolved->ResultCode = -1;
    fake.resolved->ErrorText = gbk("电子社保卡解码返回报文错误");
    std::string out;
    query::run_j2(request("H|1", "J2", j2_document("")), out, fake.services());
    EXPECT_EQ(fake.resolve_calls, std::vector<std::string>{"QRCODE/4"});
    TJ2OutBean answer;
    read_bean(out, answer);
    EXPECT_EQ(answer.HEAD.ErrCode, "-1");
    EXPECT_EQ(answer.HEAD.ErrDetail, gbk("电子社保卡解码返回报文错误"));
    EXPECT_TRUE(fake.dispatched_biztype.empty());

    // Other card types are not resolved.
    Fake plain;
    plain.card = social_card();
    query::run_j2(request("H|1", "J2", j2_document("<DKXXBZ>99</DKXXBZ>")), out, plain.services());
    EXPECT_TRUE(plain.resolve_calls.empty());
}

TEST_F(Query, J2WithoutLocalAddressIsRefusedByTheDispatcher) {
    // The real dispatcher, entered again: the nested I1 request has an empty ip.
    Fake fake;
    fake.card = social_card();
    fake.ip = "";
    QueryServices s = fake.services();
    s.dispatch = [](const InvokeRequest& r, std::string& out) { bizbuss(r, out); };
    std::string out;
    query::run_j2(request("H|1", "J2", j2_document("")), out, s);
    TJ2OutBean answer;
    read_bean(out, answer);
    EXPECT_EQ(answer.HEAD.ErrCode, "-1");
    EXPECT_EQ(answer.HEAD.ErrDetail, gbk("交易发起IP不能为空"));
    EXPECT_EQ(answer.HEAD.VER, "01.01");
}

// ---- J11 ---------------------------------------------------------------------------

std::string j11_document(const std::string& biz, const std::string& v1, const std::string& v2,
                         const std::string& v3, const std::string& extra = "") {
    return kDecl + "<DATA><HEAD><VER>1.0</VER><APP>J11</APP><WorkDate>20240131</WorkDate></HEAD><MSG><HEAD>"
                   "<YLJGDM>10010001</YLJGDM><BIZ>" +
           biz + "</BIZ><V1>" + v1 + "</V1><V2>" + v2 + "</V2><V3>" + v3 + "</V3>" + extra + "</HEAD></MSG></DATA>";
}

TCardOut resolved_card() {
    TCardOut c;
    c.ResultCode = 1;
    c.CardType = "4";
    c.IdNumber = "110101199001011234";
    c.CardNo = "K0001";
    c.CardId = "SBKID1";
    c.PersonName = gbk("张三");
    c.RegionCode = "110100";
    return c;
}

TEST_F(Query, J11OtherSubFunctionsGiveAnEmptyAnswer) {
    for (const char* biz : {"biz001", "BIZ002", ""}) {
        Fake fake;
        std::string out = "left over";
        query::run_j11(request("H|1", "J11", j11_document(biz, "CODE", "0", "")), out, fake.services());
        EXPECT_EQ(out, "") << biz;
        EXPECT_TRUE(fake.resolve_calls.empty());
        EXPECT_TRUE(fake.dispatched_biztype.empty());
    }
}

TEST_F(Query, J11SendsTheI1RequestOfTheElectronicCard) {
    Fake fake;
    fake.resolved = resolved_card();
    std::string out;
    query::run_j11(request("10010001|abc", "J11", j11_document("BIZ001", "QR-CODE", "1", "")), out,
                   fake.services());
    EXPECT_EQ(fake.resolve_calls, std::vector<std::string>{"QR-CODE/4"});
    ASSERT_EQ(fake.dispatched_indata.size(), 1u);
    EXPECT_EQ(fake.dispatched_hid[0], "10010001|abc");
    const TI1InBean sent = read_i1_request(fake.dispatched_indata[0]);
    EXPECT_EQ(sent.HEAD.VER, "01.01");
    EXPECT_EQ(sent.HEAD.APP, "I1");
    EXPECT_EQ(sent.HEAD.WorkDate, "") << "the handler's own J2 request has an empty head";
    const TI1InHead& h = sent.MSG.HEAD;
    EXPECT_EQ(h.YLJGDM, "10010001");
    EXPECT_EQ(h.DKLX, "4");
    EXPECT_EQ(h.SBKID, "SBKID1");
    EXPECT_EQ(h.SBKH, "K0001");
    EXPECT_EQ(h.FKRQ, "");
    EXPECT_EQ(h.SFZH, "110101199001011234");
    EXPECT_EQ(h.RYXM, gbk("张三"));
    EXPECT_EQ(h.JYRQ, format_yyyymmdd(platform::local_now()) + "000000");
    EXPECT_EQ(h.MZZYBZ, "1");
    EXPECT_EQ(h.ZXBXBZ, "0");
    EXPECT_EQ(h.ZHCXBZ, "1");
    EXPECT_EQ(h.PRV2, "");
    EXPECT_TRUE(fake.choices_calls.empty());
    EXPECT_EQ(out, fake.center_answer) << "byte for byte, whitespace included";
}

TEST_F(Query, J11GivenDateIsPassedOnAsItIs) {
    Fake fake;
    fake.resolved = resolved_card();
    std::string out;
    query::run_j11(request("H|1", "J11", j11_document("BIZ001", "C", "", "2024-01-31 x")), out, fake.services());
    ASSERT_EQ(fake.dispatched_indata.size(), 1u);
    EXPECT_EQ(read_i1_request(fake.dispatched_indata[0]).MSG.HEAD.JYRQ, "2024-01-31 x");
}

TEST_F(Query, J11Failures) {
    // The lookup fails: its text, and the handler's own empty head.
    Fake lookup;
    lookup.resolved = resolved_card();
    lookup.resolved->ResultCode = -1;
    lookup.resolved->ErrorText = gbk("二维码已过期");
    std::string out;
    query::run_j11(request("H|1", "J11", j11_document("BIZ001", "C", "", "")), out, lookup.services());
    EXPECT_EQ(out, kDecl + "<DATA><HEAD><VER>01.01</VER><ErrCode>-1</ErrCode><ErrDetail>" + gbk("二维码已过期") +
                       "</ErrDetail></HEAD></DATA>");
    EXPECT_TRUE(lookup.dispatched_indata.empty());

    // The center refuses.
    Fake center;
    center.resolved = resolved_card();
    center.center_answer = i1_answer("-3", "卡已挂失");
    query::run_j11(request("H|1", "J11", j11_document("BIZ001", "C", "", "")), out, center.services());
    EXPECT_EQ(out, kDecl + "<DATA><HEAD><VER>01.01</VER><ErrCode>-3</ErrCode><ErrDetail>" + gbk("卡已挂失") +
                       "</ErrDetail></HEAD></DATA>");
}

// ---- the choices step with the scripted cashier ------------------------------------------

class ScriptedChoices : public ::testing::Test {
protected:
    void TearDown() override { ::unsetenv("VORLA_CASHIER"); }
    // A new script file each time: the cashier keeps its position per path.
    void script(const std::string& text) {
        const std::string path = dir_ / ("script" + std::to_string(++count_));
        testing::write_file(path, text);
        ::setenv("VORLA_CASHIER", path.c_str(), 1);
    }
    testing::TempDir dir_;
    int count_ = 0;
};

std::string two_types() {
    return gbk(kDecl +
               "<DATA><HEAD><VER>1.0</VER><APP>I1</APP><ErrCode>0</ErrCode></HEAD><MSG><HEAD><RYXM>张三</RYXM></HEAD>"
               "<DETAIL><XZDM>310^职工基本医疗保险</XZDM><JSJGDM>2640999^医院</JSJGDM>"
               "<YLLB>11^普通门诊$14^门诊大病</YLLB><JBMC>14|A01^N1$14|B02^N2$14|C03^N3$11|D04^N4</JBMC></DETAIL>"
               "<DETAIL><XZDM>390^城乡居民基本医疗保险</XZDM><YLLB>11^普通门诊</YLLB><JBMC>11|E05^N5</JBMC></DETAIL>"
               "</MSG></DATA>");
}

TEST_F(ScriptedChoices, VocabularyOfTheSettlementDialog) {
    struct Case {
        std::string steps;
        std::string xzdm;
        std::string yllb;
        std::string jbmc;
    } cases[] = {
        {"settlement ok\n", "310^职工基本医疗保险", "14^门诊大病", "14|A01^N1$14|B02^N2$14|C03^N3"},
        {"settlement uncheck_disease B02\nsettlement ok\n", "310^职工基本医疗保险", "14^门诊大病",
         "14|A01^N1$14|C03^N3"},
        {"settlement uncheck_disease 0\nsettlement uncheck_disease C03^N3\nsettlement ok\n",
         "310^职工基本医疗保险", "14^门诊大病", "14|B02^N2"},
        {"settlement check_category 11\nsettlement ok\n", "310^职工基本医疗保险", "11^普通门诊", "11|D04^N4"},
        {"settlement uncheck_category 14^门诊大病\nsettlement check_disease B02\nsettlement ok\n",
         "310^职工基本医疗保险", "", "|B02^N2"},
        {"settlement choose 390^城乡居民基本医疗保险\nsettlement ok\n", "390^城乡居民基本医疗保险", "11^普通门诊",
         "11|E05^N5"},
        {"settlement choose 1\nsettlement choose 390\nsettlement ok\n", "390^城乡居民基本医疗保险", "11^普通门诊",
         "11|E05^N5"},
    };
    for (const Case& c : cases) {
        script(c.steps);
        TI1OutBean out;
        read_bean(query::choices_step(two_types()), out);
        SCOPED_TRACE(c.steps);
        EXPECT_EQ(out.HEAD.ErrCode, "0");
        ASSERT_EQ(out.MSG.DETAIL.size(), 1u);
        EXPECT_EQ(out.MSG.DETAIL[0].XZDM, gbk(c.xzdm));
        EXPECT_EQ(out.MSG.DETAIL[0].YLLB, gbk(c.yllb));
        EXPECT_EQ(out.MSG.DETAIL[0].JBMC, gbk(c.jbmc));
    }
}

TEST_F(ScriptedChoices, CancelAndScriptsThatDoNotFit) {
    script("settlement check_category 11\nsettlement cancel\n");
    TI1OutBean out;
    read_bean(query::choices_step(two_types()), out);
    EXPECT_EQ(out.HEAD.ErrCode, "1");
    EXPECT_EQ(out.HEAD.ErrDetail, gbk("用户放弃"));
    EXPECT_EQ(out.MSG.DETAIL.size(), 2u);

    // A step the dialog cannot carry out, another dialog's step, an exhausted
    // script: the dialog could not be answered, the answer says so.
    for (const char* steps : {"settlement choose 999\nsettlement ok\n", "settlement press\nsettlement ok\n",
                              "card_type ok\n", "settlement check_disease 2\n"}) {
        script(steps);
        TI1OutBean failed;
        read_bean(query::choices_step(two_types()), failed);
        EXPECT_EQ(failed.HEAD.ErrCode, "-1") << steps;
        EXPECT_EQ(failed.HEAD.ErrDetail.rfind(gbk("无法显示结算选择窗口:"), 0), 0u) << failed.HEAD.ErrDetail;
        EXPECT_EQ(failed.MSG.DETAIL.size(), 2u);
    }
}

TEST_F(ScriptedChoices, NoRowsAndOkFails) {
    script("settlement ok\n");
    const std::string empty =
        kDecl + "<DATA><HEAD><APP>I1</APP><ErrCode>0</ErrCode></HEAD><MSG><HEAD><RYXM>x</RYXM></HEAD></MSG></DATA>";
    EXPECT_THROW(query::choices_step(empty), query::NothingSelectedError);
}

}  // namespace
}  // namespace vorla
