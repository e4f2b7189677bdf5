// J2 and J11 through the built library, as a host calls them: vorla-sim answers
// I1 with several insurance types (tools/sim/scenarios/insured-query), the
// simulated card driver and e-voucher component sit beside a copy of the
// library, and the scripted cashier answers the dialogs.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/base64.h"
#include "common/text.h"
#include "messages/catalogue.h"
#include "messages/serializer.h"
#include "platform/platform.h"
#include "sim_process.h"
#include "support.h"

namespace vorla {
namespace {

namespace fs = std::filesystem;

// The repository's scenario, found from this file's place in the tree.
fs::path scenario_source() { return fs::path(__FILE__).parent_path() / "../../tools/sim/scenarios/insured-query"; }

fs::path drivers_dir() {
#ifdef VORLA_DRIVERS_DIR
    return VORLA_DRIVERS_DIR;
#else
    return fs::path(VORLA_LIBRARY_PATH).parent_path() / "drivers";
#endif
}

std::string text_of(const json::Value& record, const char* name) {
    const json::Value* v = record.member(name);
    return v ? v->as_text() : std::string("<absent>");
}

std::string today() { return format_yyyymmdd(platform::local_now()); }

class InsuredQuery : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new testing::TempDir;
        for (const char* d : {"sys", "scenario", "lib", "work"}) fs::create_directories(*root_ / d);
        fs::copy(scenario_source(), *root_ / "scenario",
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        // The library with the simulated card driver and e-voucher component beside it.
        fs::copy_file(VORLA_LIBRARY_PATH, *root_ / "lib/libvorla.so");
        for (const char* c : {"libSSCardDriver.so", "libNationECCode.so"}) {
            ASSERT_TRUE(fs::exists(drivers_dir() / c)) << (drivers_dir() / c) << " is not built";
            fs::copy_file(drivers_dir() / c, *root_ / (std::string("lib/") + c));
        }
        ::setenv("VORLA_SYSTEM_DIR", (*root_ / "sys").c_str(), 1);
        ::setenv("VORLA_DRIVER_SCENARIO", (*root_ / "drivers.txt").c_str(), 1);
        sim_ = new testing::SimProcess(*root_ / "scenario", *root_ / "record");
        ASSERT_GT(sim_->port(), 0) << "vorla-sim did not start";
        std::string error;
        library_ = platform::DynamicLibrary::open(*root_ / "lib/libvorla.so", error).release();
        ASSERT_NE(library_, nullptr) << error;
        invoke_ = reinterpret_cast<decltype(invoke_)>(library_->symbol("invoke"));
        ASSERT_NE(invoke_, nullptr);
    }
    static void TearDownTestSuite() {
        // The library stays loaded until the process ends, as in a host: the
        // dialog toolkit linked into it allocates its display device when the
        // library loads and never frees it, so an unload would leave that block
        // unreachable and the leak check would report it. library_ keeps it.
        delete sim_;
        sim_ = nullptr;
        ::unsetenv("VORLA_SYSTEM_DIR");
        ::unsetenv("VORLA_DRIVER_SCENARIO");
        ::unsetenv("VORLA_CASHIER");
        delete root_;
        root_ = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(invoke_, nullptr);
        // The card dialog keeps its last choice in the current directory.
        previous_dir_ = fs::current_path();
        fs::current_path(*root_ / "work");
        const std::string ini = "[医保交易地址]\r\n医保交易地址=" + sim_->center_address() +
                                "\r\n[鉴权系统地址]\r\n鉴权系统地址=" + sim_->base_url() +
                                "/galdo_mis_outland/outland/biz\r\n";
        testing::write_file(*root_ / "sys/vorla.ini", gbk(ini));
    }
    void TearDown() override {
        fs::current_path(previous_dir_);
        ::unsetenv("VORLA_CASHIER");
    }

    // A fresh cashier script (the cashier keeps its place per script path).
    static void cashier(const std::string& steps) {
        static int n = 0;
        const std::string path = *root_ / ("cashier" + std::to_string(++n) + ".txt");
        testing::write_file(path, steps);
        ::setenv("VORLA_CASHIER", path.c_str(), 1);
    }

    static std::string call(const std::string& biztype, const std::string& indata,
                            const std::string& hid = "10010001|abc") {
        const std::string request = "{functionname:'bizbuss',params:{hid:'" + hid + "',biztype:'" + biztype +
                                    "',ip:'10.1.1.1',indata:'" + indata + "'}}";
        std::vector<char> buf(1 << 20, '#');
        const char* req = request.c_str();
        char* out = buf.data();
        invoke_(&req, &out);
        return std::string(buf.data());
    }

    static std::string j2(const std::string& msg_head) {
        return gbk(R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>2.0</VER><APP>J2</APP>)"
                   "<WorkDate>20240131</WorkDate><Reserve>R</Reserve></HEAD><MSG><HEAD><YLJGDM>10010001</YLJGDM>"
                   "<JYRQ>20240131</JYRQ><MZZYBZ>0</MZZYBZ><ZXBXBZ>0</ZXBXBZ><ZHCXBZ>1</ZHCXBZ>" +
                   msg_head + "</HEAD></MSG></DATA>");
    }

    static std::string j11(const std::string& biz, const std::string& v1, const std::string& v3) {
        return R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J11</APP></HEAD><MSG><HEAD>)"
               "<YLJGDM>10010001</YLJGDM><BIZ>" +
               biz + "</BIZ><V1>" + v1 + "</V1><V2>1</V2><V3>" + v3 + "</V3></HEAD></MSG></DATA>";
    }

    static std::string scenario_answer() { return testing::read_file(*root_ / "scenario/I1.xml"); }

    // The I1 requests the center received since `from`.
    static std::vector<TI1InBean> i1_requests(std::size_t from) {
        std::vector<TI1InBean> out;
        const auto posts = sim_->records("POST");
        for (std::size_t i = from; i < posts.size(); ++i) {
            if (text_of(posts[i], "arg1") != "I1") continue;
            TI1InBean b;
            read_bean(base64_decode(text_of(posts[i], "document_base64")), b);
            out.push_back(b);
        }
        return out;
    }
    static std::size_t posts() { return sim_->records("POST").size(); }

    static inline testing::TempDir* root_ = nullptr;
    static inline testing::SimProcess* sim_ = nullptr;
    static inline platform::DynamicLibrary* library_ = nullptr;
    static inline void (*invoke_)(const char* const*, char* const*) = nullptr;
    fs::path previous_dir_;
};

const char* kTypedNumber = "card_type choose 2\ncard_type type 640102199001011223\ncard_type ok\n";
const char* kSocialCard = "card_type choose 0\ncard_type ok\n";

TEST_F(InsuredQuery, WithoutDialogTheAnswerIsTheCentersOwn) {
    cashier(kTypedNumber);
    const std::size_t before = posts();
    EXPECT_EQ(call("J2", j2("<DKXXBZ>99</DKXXBZ>")), scenario_answer()) << "byte for byte, line feeds included";

    const auto sent = i1_requests(before);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].HEAD.VER, "01.01");
    EXPECT_EQ(sent[0].HEAD.APP, "I1");
    EXPECT_EQ(sent[0].HEAD.WorkDate, "20240131");
    EXPECT_EQ(sent[0].HEAD.Reserve, "R");
    EXPECT_EQ(sent[0].MSG.HEAD.DKLX, "3");
    EXPECT_EQ(sent[0].MSG.HEAD.SFZH, "640102199001011223");
    EXPECT_EQ(sent[0].MSG.HEAD.FKRQ, today());
    EXPECT_EQ(sent[0].MSG.HEAD.JYRQ, "20240131");
    const auto post = sim_->records("POST").back();
    EXPECT_EQ(text_of(post, "arg0"), "10010001|abc");
    EXPECT_NE(text_of(post, "arg2"), "") << "the workstation's own address";
    EXPECT_NE(text_of(post, "arg2"), "10.1.1.1") << "not the HIS's caller address";
}

TEST_F(InsuredQuery, CashierChoosesTypeCategoryAndDiseases) {
    struct Case {
        std::string settlement;
        std::string xzdm, yllb, jbmc;
    } cases[] = {
        // The preselection: 310, "14^门诊大病", every disease of 14.
        {"settlement ok\n", "310^职工基本医疗保险", "14^门诊大病", "14|M01^高血压$14|M02^糖尿病$14|M04^冠心病"},
        {"settlement uncheck_disease M02\nsettlement ok\n", "310^职工基本医疗保险", "14^门诊大病",
         "14|M01^高血压$14|M04^冠心病"},
        {"settlement choose 390^城乡居民基本医疗保险\nsettlement check_category 13\nsettlement ok\n",
         "390^城乡居民基本医疗保险", "13^门诊慢性病", "13|M03^慢性阻塞性肺疾病"},
        {"settlement choose 2\nsettlement ok\n", "330^大额医疗补助", "21^住院", ""},
    };
    for (const Case& c : cases) {
        cashier(std::string(kTypedNumber) + c.settlement);
        const std::string answer = call("J2", j2("<DKXXBZ>0</DKXXBZ>"));
        TI1OutBean out;
        read_bean(answer, out);
        SCOPED_TRACE(c.settlement);
        EXPECT_EQ(out.HEAD.ErrCode, "0");
        EXPECT_EQ(out.HEAD.APP, "I1");
        EXPECT_EQ(out.MSG.HEAD.RYXM, gbk("张三"));
        ASSERT_EQ(out.MSG.DETAIL.size(), 1u);
        EXPECT_EQ(out.MSG.DETAIL[0].XZDM, gbk(c.xzdm));
        EXPECT_EQ(out.MSG.DETAIL[0].YLLB, gbk(c.yllb));
        EXPECT_EQ(out.MSG.DETAIL[0].JBMC, gbk(c.jbmc));
        EXPECT_EQ(answer, write_bean(out)) << "written anew by the serializer";
    }
}

TEST_F(InsuredQuery, CancelInEitherDialog) {
    cashier(std::string(kTypedNumber) + "settlement cancel\n");
    TJ2OutBean settled;
    read_bean(call("J2", j2("")), settled);
    EXPECT_EQ(settled.HEAD.ErrCode, "1");
    EXPECT_EQ(settled.HEAD.ErrDetail, gbk("用户放弃"));

    cashier("card_type cancel\n");
    const std::size_t before = posts();
    EXPECT_EQ(call("J2", j2("")),
              gbk(R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>01.01</VER><APP>J2</APP>)"
                  "<WorkDate>20240131</WorkDate><Reserve>R</Reserve><ErrCode>-1</ErrCode><ErrDetail>用户放弃"
                  "</ErrDetail></HEAD></DATA>"));
    EXPECT_TRUE(i1_requests(before).empty()) << "no query without a card";
}

TEST_F(InsuredQuery, CallerTagGetsTheCardTypeInASqueezedAnswer) {
    cashier(kSocialCard);
    const std::string answer = call("J2", j2("<DKXXBZ>99</DKXXBZ><FROM>TALVIK</FROM>"));
    // The scenario as the squeeze leaves it: no line feeds, no indentation, one
    // blank of the three inside DWMC.
    std::string expected = scenario_answer();
    std::erase(expected, '\n');
    for (std::size_t p; (p = expected.find("  ")) != std::string::npos;) expected.erase(p, 2);
    const std::string marker = "<MSG><HEAD>";
    expected.insert(expected.find(marker) + marker.size(), "<DKLX>1</DKLX>");
    EXPECT_EQ(answer, expected);
    EXPECT_NE(answer.find(gbk("兴庆区 社区")), std::string::npos);

    cashier(kSocialCard);
    EXPECT_EQ(call("J2", j2("<DKXXBZ>99</DKXXBZ><FROM>talvik</FROM>")), scenario_answer());
}

TEST_F(InsuredQuery, EVoucherTokenGoesIntoPrv2) {
    // The e-voucher closes the card dialog by itself; the script still ends its steps with ok.
    cashier("card_type choose 4\ncard_type ok\nsettlement ok\n");
    const std::size_t before = posts();
    TI1OutBean out;
    const std::string answer = call("J2", j2(""));
    read_bean(answer, out);
    EXPECT_EQ(out.HEAD.ErrCode, "0") << platform::gbk_to_utf8(answer);
    const auto sent = i1_requests(before);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].MSG.HEAD.DKLX, "5");
    EXPECT_EQ(sent[0].MSG.HEAD.PRV2, "EC-TOKEN-0001");

    cashier(kSocialCard);
    const std::size_t card = posts();
    call("J2", j2("<DKXXBZ>99</DKXXBZ>"));
    const auto social = i1_requests(card);
    ASSERT_EQ(social.size(), 1u);
    EXPECT_EQ(social[0].MSG.HEAD.DKLX, "1");
    EXPECT_EQ(social[0].MSG.HEAD.PRV2, "");
}

TEST_F(InsuredQuery, CenterRefusalIsAJ2Failure) {
    testing::write_file(*root_ / "scenario/I1.fault", "busy");
    cashier(kTypedNumber);
    const std::string answer = call("J2", j2(""));
    fs::remove(*root_ / "scenario/I1.fault");
    TJ2OutBean out;
    read_bean(answer, out);
    EXPECT_EQ(out.HEAD.VER, "01.01");
    EXPECT_EQ(out.HEAD.APP, "J2");
    EXPECT_EQ(out.HEAD.ErrCode, "-1");
    EXPECT_EQ(out.HEAD.ErrDetail.substr(out.HEAD.ErrDetail.size() - 4), "busy") << "the center's text";
}

TEST_F(InsuredQuery, WorkstationWithoutAddress) {
    // A child process with a host name that no lookup knows: the nested I1
    // request has an empty ip, and the dispatcher refuses it.
    cashier(kTypedNumber);
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(pipe_fds[0]);
        const char* name = "vorla-no-address.invalid";
        const bool isolated = (::unshare(CLONE_NEWUTS) == 0 || ::unshare(CLONE_NEWUSER | CLONE_NEWUTS) == 0) &&
                              ::sethostname(name, std::strlen(name)) == 0;
        const std::string answer = isolated ? call("J2", j2("")) : std::string("SKIP");
        ssize_t ignored = ::write(pipe_fds[1], answer.data(), answer.size());
        (void)ignored;
        ::_exit(0);
    }
    ::close(pipe_fds[1]);
    std::string answer;
    char buf[4096];
    for (ssize_t n; (n = ::read(pipe_fds[0], buf, sizeof buf)) > 0;) answer.append(buf, static_cast<size_t>(n));
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (answer == "SKIP") GTEST_SKIP() << "no namespace for another host name here";
    TJ2OutBean out;
    read_bean(answer, out);
    EXPECT_EQ(out.HEAD.ErrCode, "-1") << answer;
    EXPECT_EQ(out.HEAD.ErrDetail, gbk("交易发起IP不能为空"));
    EXPECT_EQ(out.HEAD.VER, "01.01");
}

TEST_F(InsuredQuery, J11) {
    ::unsetenv("VORLA_CASHIER");  // no dialog at all
    EXPECT_EQ(call("J11", j11("biz001", "QR-1", "")), "");

    const std::size_t before = posts();
    const auto all_before = sim_->records().size();
    EXPECT_EQ(call("J11", j11("BIZ001", "QR-CODE-1", "")), scenario_answer()) << "the center's answer as received";
    const auto sent = i1_requests(before);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].HEAD.APP, "I1");
    EXPECT_EQ(sent[0].HEAD.VER, "01.01");
    EXPECT_EQ(sent[0].MSG.HEAD.DKLX, "4");
    EXPECT_EQ(sent[0].MSG.HEAD.FKRQ, "");
    EXPECT_EQ(sent[0].MSG.HEAD.PRV2, "");
    EXPECT_EQ(sent[0].MSG.HEAD.SFZH, "640102198807074418") << "resolved by the qrcode action";
    EXPECT_EQ(sent[0].MSG.HEAD.JYRQ, today() + "000000");
    EXPECT_EQ(sent[0].MSG.HEAD.MZZYBZ, "1");
    bool asked = false;
    const auto all = sim_->records();
    for (std::size_t i = all_before; i < all.size(); ++i)
        if (text_of(all[i], "qrcode") == "QR-CODE-1") asked = true;
    EXPECT_TRUE(asked) << "the code went to the qrcode action";

    const std::size_t second = posts();
    call("J11", j11("BIZ001", "QR-CODE-2", "20240101120000"));
    const auto dated = i1_requests(second);
    ASSERT_EQ(dated.size(), 1u);
    EXPECT_EQ(dated[0].MSG.HEAD.JYRQ, "20240101120000");
}

TEST_F(InsuredQuery, J11CodeNotResolved) {
    testing::write_file(*root_ / "scenario/qrcode.json",
                        R"({"result_code":"200","result_exception":{"message":"二维码已失效"}})");
    const std::string answer = call("J11", j11("BIZ001", "QR-OLD", ""));
    fs::remove(*root_ / "scenario/qrcode.json");
    EXPECT_EQ(answer, gbk(R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>01.01</VER>)"
                          "<ErrCode>-1</ErrCode><ErrDetail>二维码已失效</ErrDetail></HEAD></DATA>"));
}

}  // namespace
}  // namespace vorla
