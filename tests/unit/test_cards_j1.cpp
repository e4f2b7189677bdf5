// The card transactions J1 and J0 with the scripted cashier, and J0's data packet.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "cards/card_transactions.h"
#include "cards/data_packet.h"
#include "cards/readers.h"
#include "common/text.h"
#include "entry/invoke_request.h"
#include "support.h"

namespace vorla::cards {
namespace {

const std::string kRequestDocument =
    R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J1</APP><WorkDate>20240131</WorkDate></HEAD>)"
    R"(<MSG><HEAD><PWD>1</PWD></HEAD></MSG></DATA>)";

// The fields of the card holder dataset as the packet writes them.
const std::string kFields =
    R"(<FIELD attrname="SHBZH" fieldtype="string" WIDTH="100"/><FIELD attrname="ICKH" fieldtype="string" WIDTH="100"/>)"
    R"(<FIELD attrname="RYXM" fieldtype="string" WIDTH="100"/><FIELD attrname="RYXB" fieldtype="string" WIDTH="100"/>)"
    R"(<FIELD attrname="CSRQ" fieldtype="date"/><FIELD attrname="SFZH" fieldtype="string" WIDTH="100"/>)"
    R"(<FIELD attrname="GZDW" fieldtype="string" WIDTH="100"/><FIELD attrname="MXBBZ" fieldtype="string" WIDTH="100"/>)"
    R"(<FIELD attrname="MXBZL" fieldtype="string" WIDTH="100"/><FIELD attrname="YBSF" fieldtype="string" WIDTH="100"/>)"
    R"(<FIELD attrname="YBJB" fieldtype="string" WIDTH="100"/><FIELD attrname="BNZYCS" fieldtype="i4"/>)"
    R"(<FIELD attrname="BNJJZFLJ" fieldtype="r8"/><FIELD attrname="BNGFDLJ" fieldtype="r8"/>)"
    R"(<FIELD attrname="BNZYLJ" fieldtype="r8"/><FIELD attrname="GRZHYE" fieldtype="r8"/>)"
    R"(<FIELD attrname="SCMZSJ" fieldtype="dateTime"/><FIELD attrname="SCCYSJ" fieldtype="dateTime"/>)"
    R"(<FIELD attrname="ZYBZ" fieldtype="string" WIDTH="100"/><FIELD attrname="PWD" fieldtype="string" WIDTH="100"/>)"
    R"(<FIELD attrname="RENPAG1" fieldtype="string" WIDTH="1024"/><FIELD attrname="RENPAG2" fieldtype="string" WIDTH="1024"/>)"
    R"(<FIELD attrname="RENPAG3" fieldtype="string" WIDTH="1024"/><FIELD attrname="SSDQ" fieldtype="string" WIDTH="100"/>)"
    R"(<FIELD attrname="KFSMC" fieldtype="string" WIDTH="100"/><FIELD attrname="GRLB" fieldtype="string" WIDTH="100"/>)"
    R"(<FIELD attrname="MXBYXQ" fieldtype="dateTime"/><FIELD attrname="ZHLJHR" fieldtype="r8"/>)"
    R"(<FIELD attrname="BCHRJE" fieldtype="r8"/><FIELD attrname="BNHRJE" fieldtype="r8"/>)"
    R"(<FIELD attrname="BNZHZC" fieldtype="r8"/><FIELD attrname="SCZCZT" fieldtype="i4"/>)"
    R"(<FIELD attrname="MXBZFLJ" fieldtype="r8"/><FIELD attrname="MXBTCZF" fieldtype="r8"/>)"
    R"(<FIELD attrname="NUM1" fieldtype="r8"/><FIELD attrname="NUM2" fieldtype="r8"/><FIELD attrname="NUM3" fieldtype="r8"/>)"
    R"(<FIELD attrname="NUM4" fieldtype="r8"/><FIELD attrname="NUM5" fieldtype="r8"/><FIELD attrname="NUM6" fieldtype="r8"/>)"
    R"(<FIELD attrname="CHAR1" fieldtype="r8"/><FIELD attrname="CHAR2" fieldtype="string" WIDTH="100"/>)"
    R"(<FIELD attrname="CHAR3" fieldtype="string" WIDTH="100"/><FIELD attrname="CHAR4" fieldtype="string" WIDTH="100"/>)"
    R"(<FIELD attrname="CHAR5" fieldtype="string" WIDTH="100"/><FIELD attrname="CHAR6" fieldtype="string" WIDTH="100"/>)";

// The row of a card holder: the eight values that come from the J1 answer.
std::string row(const std::string& shbzh, const std::string& ickh, const std::string& ryxm, const std::string& ryxb,
                const std::string& csrq, const std::string& sfzh, const std::string& ssdq, const std::string& char2) {
    const std::string zero_time = "18991230T00:00:00000";
    return R"(<ROW SHBZH=")" + shbzh + R"(" ICKH=")" + ickh + R"(" RYXM=")" + ryxm + R"(" RYXB=")" + ryxb +
           R"(" CSRQ=")" + csrq + R"(" SFZH=")" + sfzh + R"(" GZDW="" MXBBZ="0" BNZYCS="0" BNJJZFLJ="0" BNGFDLJ="0")" +
           R"( BNZYLJ="0" GRZHYE="0" SCMZSJ=")" + zero_time + R"(" SCCYSJ=")" + zero_time + R"(" PWD="" SSDQ=")" + ssdq +
           R"(" KFSMC="" GRLB="" MXBYXQ=")" + zero_time +
           R"(" ZHLJHR="0" BCHRJE="0" BNHRJE="0" BNZHZC="0" SCZCZT="0" MXBZFLJ="0" MXBTCZF="0" NUM1="0" NUM2="0")" +
           R"( NUM3="0" NUM4="0" NUM5="0" NUM6="0" CHAR2=")" + char2 +
           R"(" CHAR3="" CHAR4="" CHAR5="" CHAR6=""/>)";
}

std::string packet(const std::string& row_text) {
    return R"(<?xml version="1.0" standalone="yes"?>  <DATAPACKET Version="2.0"><METADATA><FIELDS>)" + kFields +
           "</FIELDS><PARAMS/></METADATA><ROWDATA>" + row_text + "</ROWDATA></DATAPACKET>";
}

TEST(DataPacket, CardHolderRowFromAFilledAnswer) {
    TJ1OutBean answer;
    answer.MSG.HEAD.DKLX = "1";
    answer.MSG.HEAD.SBKID = "K1|V|640100|A|";
    answer.MSG.HEAD.SBKH = "C1";
    answer.MSG.HEAD.RYXM = gbk("张&\"三\"");
    answer.MSG.HEAD.RYXB = "2";
    answer.MSG.HEAD.CSRQ = encode_date(1990, 1, 1);
    answer.MSG.HEAD.SFZH = "640102199001011223";
    EXPECT_EQ(card_holder_packet(answer),
              packet(row("K1|V|640100|A|", "C1", gbk("张&amp;&quot;三&quot;"), gbk("女"), "19900101",
                         "640102199001011223", "K1|V|64", "1")));
}

TEST(DataPacket, ValuesAndNames) {
    EXPECT_EQ(packet_date_time_text(encode_date_time(2024, 1, 31, 14, 30, 5, 120)), "20240131T14:30:05120");
    EXPECT_EQ(packet_date_text(encode_date(2018, 1, 1)), "20180101");
    EXPECT_EQ(packet_attribute_text("a<b>'c'\r\n"), "a&lt;b&gt;&apos;c&apos;&#013;&#010;");

    TJ1OutBean answer;
    answer.MSG.HEAD.SBKID = gbk("卡号一二三四五六七八");
    answer.MSG.HEAD.RYXB = "1";
    const std::string p = card_holder_packet(answer);
    EXPECT_NE(p.find(" SSDQ=\"" + gbk("卡号一二三四五") + "\""), std::string::npos)
        << "seven characters, double-byte ones whole";
    EXPECT_NE(p.find(" RYXB=\"" + gbk("男") + "\""), std::string::npos);

    DataPacket d(card_holder_fields());
    EXPECT_THROW(d.set("SHBZH", std::string("x")), std::invalid_argument) << "no row yet";
    d.append_row();
    d.set("shbzh", std::string("lower-case name"));
    EXPECT_NE(d.xml().find("<ROW SHBZH=\"lower-case name\"/>"), std::string::npos);
    EXPECT_THROW(d.set("NOPE", std::string()), std::invalid_argument);
    EXPECT_THROW(d.set("CSRQ", std::string("19900101")), std::invalid_argument);
}

class CardTransactions : public ::testing::Test {
protected:
    void SetUp() override {
        old_cwd_ = std::filesystem::current_path();
        std::filesystem::current_path(work_.path());
    }
    void TearDown() override {
        std::filesystem::current_path(old_cwd_);
        ::unsetenv("VORLA_CASHIER");
    }
    void script(const std::string& steps) {
        static int n = 0;
        const std::string path = work_ / ("cashier-" + std::to_string(++n));
        testing::write_file(path, steps);
        ::setenv("VORLA_CASHIER", path.c_str(), 1);
    }
    static std::string run(void (*handler)(const InvokeRequest&, std::string&), const std::string& document) {
        const auto request = InvokeRequest::parse(InvokeRequest::make_text("H0001", "J1", "10.1.1.1", document));
        std::string out;
        handler(*request, out);
        return out;
    }

    testing::SystemDir system_;
    testing::TempDir work_;
    std::filesystem::path old_cwd_;
};

TEST_F(CardTransactions, J1WithATypedNumber) {
    script("card_type choose 2\ncard_type type 640102199001011223\ncard_type ok\n");
    const std::string today = today_yyyymmdd();
    EXPECT_EQ(run(handle_j1, kRequestDocument),
              R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J1</APP><WorkDate>20240131</WorkDate>)"
              R"(<ErrCode>0</ErrCode></HEAD><MSG><HEAD><DKLX>3</DKLX><FKRQ>)" +
                  today + "</FKRQ><SFZH>640102199001011223</SFZH><CSRQ>" + today + "</CSRQ></HEAD></MSG></DATA>");
    EXPECT_EQ(testing::read_file("list.file"), "2\r\n") << "list.file in the current directory";
}

TEST_F(CardTransactions, J1KeepsTheRequestsErrDetailOnSuccessOnly) {
    const std::string document =
        R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>2.0</VER><APP>J1</APP><WorkDate>20200101</WorkDate>)"
        R"(<Reserve>R</Reserve><ErrCode>9</ErrCode><ErrDetail>note</ErrDetail></HEAD><MSG><HEAD/></MSG></DATA>)";
    script("card_type choose 2\ncard_type type N1\ncard_type ok\ncard_type cancel\n");
    const std::string ok = run(handle_j1, document);
    EXPECT_NE(ok.find("<HEAD><VER>2.0</VER><APP>J1</APP><WorkDate>20200101</WorkDate><Reserve>R</Reserve>"
                      "<ErrCode>0</ErrCode><ErrDetail>note</ErrDetail></HEAD>"),
              std::string::npos)
        << ok;
    const std::string cancelled = run(handle_j1, document);
    EXPECT_NE(cancelled.find("<ErrCode>-1</ErrCode><ErrDetail>" + gbk("用户放弃") + "</ErrDetail></HEAD></DATA>"),
              std::string::npos)
        << cancelled;
}

TEST_F(CardTransactions, J1CancelledAndJ0AfterACancelledDialog) {
    script("card_type cancel\ncard_type choose 3\ncard_type cancel\n");
    EXPECT_EQ(run(handle_j1, kRequestDocument),
              R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J1</APP><WorkDate>20240131</WorkDate>)"
              R"(<ErrCode>-1</ErrCode><ErrDetail>)" +
                  gbk("用户放弃") + "</ErrDetail></HEAD></DATA>");
    EXPECT_FALSE(std::filesystem::exists("list.file"));

    EXPECT_EQ(run(handle_j0, kRequestDocument), packet(row("", "", "", gbk("男"), "18991230", "", "", "")));
}

TEST_F(CardTransactions, J1WithoutAScriptStepFailsTheRead) {
    script("settlement ok\n");
    const std::string out = run(handle_j1, kRequestDocument);
    EXPECT_NE(out.find("<ErrCode>-1</ErrCode><ErrDetail>cashier script: "), std::string::npos) << out;
}

}  // namespace
}  // namespace vorla::cards
