// The dispatcher's interceptor calls (D1/E1 failures to the diagnostic log) and
// the auxiliary business types J4 and J10 as the dispatcher serves them.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "auxiliary/auxiliary.h"
#include "center/client_info.h"
#include "common/text.h"
#include "entry/config.h"
#include "entry/invoke.h"
#include "journal/log4me.h"
#include "messages/envelope.h"
#include "platform/platform.h"
#include "support.h"

namespace vorla {
namespace {

namespace fs = std::filesystem;

const std::string kSaveModeKey =
    R"(医保交易保存模式(0 路径\\医院代码\\日期\\发起IP\\交易时间.txt , 1 路径\\医院代码\\日期\\发起IP\\日期.txt , 2 路径\\医院代码\\日期.TXT ))";

std::string request_text(const std::string& biztype, const std::string& indata) {
    return "{functionname:'bizbuss',params:{hid:'10010001',biztype:'" + biztype + "',ip:'10.1.1.1',indata:'" + indata +
           "'}}";
}

class DispatchMonitoring : public ::testing::Test {
protected:
    void SetUp() override {
        release_configuration();
        platform::Profile ini(dir / "vorla.ini");
        // No center listens here: every relayed transaction gets the center error document.
        ini.write(gbk("医保交易地址"), gbk("医保交易地址"), "http://127.0.0.1:9/ws?WSDL");
        ini.write(gbk("医保监控"), gbk("医保监控地址"), "http://127.0.0.1:9/his/realcheck/audit");
        ::setenv("VORLA_HOST_DIR", host.path().c_str(), 1);
        testing::write_file(host / "log4me.ini", "[log4me]\r\npath=logs\r\nlevel=error\r\n");
        log4me::start();
    }
    void TearDown() override {
        try {
            log4me::stop();
        } catch (...) {
        }
        ::unsetenv("VORLA_HOST_DIR");
        release_configuration();
    }
    void monitoring(bool on) {
        platform::Profile(dir / "vorla.ini").write(gbk("医保监控"), gbk("是否启用医保监控"), on ? "true" : "false");
    }
    // The error lines of today's diagnostic log.
    std::vector<std::string> log_lines() const {
        std::vector<std::string> out;
        const fs::path logs = fs::path(host.path()) / "logs";
        if (!fs::exists(logs)) return out;
        for (const auto& file : fs::directory_iterator(logs)) {
            const std::string text = testing::read_file(file.path());
            size_t at = 0;
            for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
                const std::string line = text.substr(at, end - at);
                if (line.find(" error:") != std::string::npos) out.push_back(line);
            }
        }
        return out;
    }

    testing::SystemDir dir;
    testing::TempDir host;
};

TEST_F(DispatchMonitoring, RecordingFailuresOfD1AndE1GoToTheDiagnosticLog) {
    const std::string bad_d1 = R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><APP>D1</APP></HEAD><MSG><HEAD>)"
                               R"(<MZZYBZ>0</MZZYBZ><CSRQ>1985-03-12</CSRQ></HEAD></MSG></DATA>)";
    const std::string bad_e1 = R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><APP>E1</APP></HEAD><MSG><HEAD>)"
                               R"(<YBLSH>YB1</YBLSH></HEAD><DETAIL><SFRQ>x</SFRQ></DETAIL></MSG></DATA>)";
    const std::string good_d1 = R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><APP>D1</APP></HEAD><MSG><HEAD>)"
                                R"(<MZZYBZ>0</MZZYBZ></HEAD></MSG></DATA>)";
    const std::regex line(R"(\d\d:\d\d:\d\d\.\d{3} error:\d{20}\t(.*))");
    struct Case {
        const char* what;
        bool on;
        std::string biztype, indata;
        std::string logged;  // the error text after the stamp serial; "" for no line
    } cases[] = {
        {"D1 whose request cannot be read", true, "D1", bad_d1, "Error in datetime property CSRQ"},
        {"E1 whose detail cannot be read", true, "E1", bad_e1, "Error in datetime property SFRQ"},
        {"D1 that the center did not accept", true, "D1", good_d1, ""},
        {"monitoring off", false, "D1", bad_d1, ""},
    };
    for (const Case& c : cases) {
        monitoring(c.on);
        const size_t before = log_lines().size();
        const std::string answer = run_invoke(request_text(c.biztype, c.indata));
        // The HIS gets the center's answer in every case.
        EXPECT_EQ(answer.rfind(R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>V1.0</VER><APP>)" + c.biztype,
                               0),
                  0u)
            << c.what << ": " << answer;
        EXPECT_NE(answer.find(gbk("中心通讯失败，请检查网络是否连接！")), std::string::npos) << c.what;
        const std::vector<std::string> lines = log_lines();
        if (c.logged.empty()) {
            EXPECT_EQ(lines.size(), before) << c.what;
            continue;
        }
        ASSERT_EQ(lines.size(), before + 1) << c.what;
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines.back(), m, line)) << lines.back();
        EXPECT_EQ(m[1].str(), c.logged) << c.what;
    }
    EXPECT_FALSE(fs::exists(dir / "ybjkInterceptor.db")) << "nothing was accepted";
}

TEST_F(DispatchMonitoring, F1IsRelayedWhateverTheAuditDoes) {
    const std::string f1 = R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><APP>F1</APP></HEAD><MSG><HEAD>)"
                           R"(<YBLSH>YB1</YBLSH></HEAD></MSG></DATA>)";
    monitoring(false);
    const std::string without = run_invoke(request_text("F1", f1));
    EXPECT_EQ(without.rfind(center_error_document("F1", -1, gbk("中心通讯失败，请检查网络是否连接！")).substr(0, 60), 0),
              0u)
        << without;
    // No store yet: the audit fails inside; the settlement goes to the center all the same.
    monitoring(true);
    // The transport's text names how long the refused connection took ("after 0 ms"), which may differ.
    const auto without_time = [](const std::string& answer) {
        return std::regex_replace(answer, std::regex("after [0-9]+ ms"), "after N ms");
    };
    EXPECT_EQ(without_time(run_invoke(request_text("F1", f1))), without_time(without));
    EXPECT_TRUE(log_lines().empty()) << "the F1 interceptor's outcome is not logged by the dispatcher";
}

class Auxiliary : public ::testing::Test {
protected:
    void SetUp() override { release_configuration(); }
    void TearDown() override { release_configuration(); }
    testing::SystemDir dir;
};

TEST_F(Auxiliary, J4AnswersWithTheLocalAddressAndIsJournalled) {
    platform::Profile ini(dir / "vorla.ini");
    ini.write(gbk("医保交易日志"), gbk("医保交易保存路径"), dir / "journal");
    ini.write(gbk("医保交易日志"), gbk(kSaveModeKey), "0");
    const std::string indata =
        R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>2.0</VER><APP>J4</APP><WorkDate>20240131</WorkDate>)"
        R"(<Reserve>r&amp;1</Reserve><ErrCode>9</ErrCode><ErrDetail>)" +
        gbk("原样") + R"(</ErrDetail></HEAD><MSG><HEAD><YLJGDM>H0001</YLJGDM></HEAD></MSG></DATA>)";
    const platform::LocalTime before = platform::local_now();
    const std::string answer = run_invoke(request_text("J4", indata));
    const platform::LocalTime after = platform::local_now();

    const std::string ip = center::local_address();
    const std::string expected =
        R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>2.0</VER><APP>J4</APP><WorkDate>20240131</WorkDate>)"
        R"(<Reserve>r&amp;1</Reserve><ErrCode>0</ErrCode><ErrDetail>)" +
        gbk("原样") + "</ErrDetail></HEAD>" + (ip.empty() ? "" : "<MSG><HEAD><IP>" + ip + "</IP></HEAD></MSG>") +
        "</DATA>";
    EXPECT_EQ(answer, expected);

    // One answer block, no request block: <root>/10010001/10.1.1.1/<date>/J4-<serial>.txt.
    const fs::path day = fs::path(dir / "journal") / "10010001" / "10.1.1.1" / format_yyyymmdd(before);
    ASSERT_TRUE(fs::is_directory(day));
    std::vector<fs::path> files(fs::directory_iterator(day), fs::directory_iterator{});
    ASSERT_EQ(files.size(), 1u);
    std::smatch m;
    const std::string name = files[0].filename().string();
    ASSERT_TRUE(std::regex_match(name, m, std::regex(R"(J4-(\d{8,9})\.txt)"))) << name;
    const std::string serial = m[1];
    // The serial is the time taken right after the checks: hhnnss within the call.
    const std::string hhnnss = serial.substr(0, 6);
    const std::string from = pad(before.hour, 2) + pad(before.minute, 2) + pad(before.second, 2);
    const std::string to = pad(after.hour, 2) + pad(after.minute, 2) + pad(after.second, 2);
    if (from <= to) {
        EXPECT_GE(hhnnss, from);
        EXPECT_LE(hhnnss, to);
    }
    const std::string block = testing::read_file(files[0].string());
    EXPECT_EQ(block.rfind("\r\n\r\n" + gbk("医疗机构交易返回") + "\r\n", 0), 0u) << block;
    EXPECT_NE(block.find(gbk("交易序号:      ") + serial + "\r\n"), std::string::npos) << block;
    EXPECT_NE(block.find(gbk("运行时间:      ") + "0\r\n"), std::string::npos) << block;
    EXPECT_EQ(block.substr(block.size() - answer.size()), answer);
}

TEST(UploadAnswer, EndpointAnswersAreRead) {
    struct Case {
        const char* what;
        std::string body;  // GBK
        std::string errcode, detail, url;
    } cases[] = {
        {"code as text", R"({"code":"200","data":"/files/a.pdf","error":""})", "0", "kept", "/files/a.pdf"},
        {"code as number", R"({"code":200,"data":"http://x/f/1","error":null})", "0", "kept", "http://x/f/1"},
        {"lenient JSON", R"({code:'200',data:'u'} trailing)", "0", "kept", "u"},
        {"success without data", R"({"code":"200"})", "0", "kept", ""},
        {"code 500 with a Chinese error", gbk(R"({"code":"500","data":"","error":"文件过大"})"), "-1",
         gbk("文件过大"), ""},
        {"code 500 as number, no error", R"({"code":500})", "-1", "", ""},
        {"no code", R"({"data":"/files/a.pdf","error":"e"})", "-1", "e", ""},
        {"code 2000", R"({"code":"2000","error":"e"})", "-1", "e", ""},
        {"code with blanks", R"({"code":" 200","error":"e"})", "-1", "e", ""},
        {"HTML page", "<html><body>Internal error</body></html>", "-1", "kept", ""},
        {"empty body", "", "-1", "kept", ""},
        {"JSON array", R"([{"code":"200"}])", "-1", "kept", ""},
        {"JSON text", R"("200")", "-1", "kept", ""},
    };
    for (const Case& c : cases) {
        TDataHead head;
        head.ErrCode = "-1";
        head.ErrDetail = "kept";
        std::string url;
        apply_upload_answer(c.body, head, url);
        EXPECT_EQ(head.ErrCode, c.errcode) << c.what;
        EXPECT_EQ(head.ErrDetail, c.detail) << c.what;
        EXPECT_EQ(url, c.url) << c.what;
    }
}

TEST(UploadAnswer, AnswerHeadStartsFromTheRequestHead) {
    TDataHead request{"1.0", "J10", "20240131", "r", "0", "d"};
    const TDataHead head = prepared_answer_head(request);
    EXPECT_EQ(head.VER, "1.0");
    EXPECT_EQ(head.APP, "J10");
    EXPECT_EQ(head.WorkDate, "20240131");
    EXPECT_EQ(head.Reserve, "r");
    EXPECT_EQ(head.ErrCode, "-1");
    EXPECT_EQ(head.ErrDetail, "d");
}

}  // namespace
}  // namespace vorla
