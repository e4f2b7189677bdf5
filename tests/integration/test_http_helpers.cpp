// The HTTP helpers (monitoring POST, text POSTs, file upload) against the
// generic endpoint of vorla-sim; and the center scenario "connection drop".
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "center/center_client.h"
#include "center/soap.h"
#include "common/base64.h"
#include "common/json.h"
#include "common/text.h"
#include "interceptor/http_helpers.h"
#include "journal/log4me.h"
#include "platform/platform.h"
#include "sim_process.h"
#include "loopback.h"
#include "support.h"

namespace vorla {
namespace {

using namespace std::chrono_literals;

using testing::closed_port;

// Percent-encoding of every byte outside the unreserved characters.
std::string url_encode(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || c == '-' || c == '_' ||
            c == '.' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

std::string text_of(const json::Value* v) { return v ? v->as_text() : std::string("<absent>"); }
std::string text_of(const json::Value& v, const char* name) { return text_of(v.member(name)); }

std::string call_prefix() { return gbk("调用接口错误:"); }
std::string monitoring_prefix() { return gbk("医保监控请求失败:"); }

class HttpHelpers : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new testing::TempDir;
        std::filesystem::create_directories(*root_ / "scenario");
        sim_ = new testing::SimProcess(*root_ / "scenario", *root_ / "record");
        ASSERT_GT(sim_->port(), 0) << "vorla-sim did not start";
    }
    static void TearDownTestSuite() {
        delete sim_;
        sim_ = nullptr;
        delete root_;
        root_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(sim_, nullptr); }
    void TearDown() override { http::set_read_timeout(0ms); }

    static std::string url(const std::string& path) { return sim_->base_url() + path; }

    // The echo of the simulator, read from a helper's (GBK) answer.
    static json::Value echo_of(const std::string& gbk_answer) {
        auto v = json::parse_lenient(platform::gbk_to_utf8(gbk_answer));
        return v ? *v : json::Value();
    }

    static inline testing::TempDir* root_ = nullptr;
    static inline testing::SimProcess* sim_ = nullptr;
};

// ---- text POSTs ----------------------------------------------------------------

TEST_F(HttpHelpers, JsonPostSendsStrippedUtf8AndReadsTheAnswer) {
    const http::Result r = http::json_post(url("/http/echo"), gbk("  \t{\"name\":\"张三\"}\r\n"));
    ASSERT_TRUE(r.ok) << r.text;
    const json::Value echo = echo_of(r.text);
    EXPECT_EQ(text_of(echo, "method"), "POST");
    const json::Value* headers = echo.member("headers");
    ASSERT_NE(headers, nullptr);
    EXPECT_EQ(text_of(headers->member("Content-Type")), "application/json");
    const std::string sent = R"({"name":"张三"})";  // UTF-8, without the blanks and the CR LF
    EXPECT_EQ(base64_decode(text_of(echo, "body_base64")), sent);
    EXPECT_EQ(text_of(headers->member("Content-Length")), std::to_string(sent.size()));
}

TEST_F(HttpHelpers, FormPostAndContentTypes) {
    // The form POST sends its body unchanged: no form encoding.
    http::Result r = http::form_post(url("/http/echo"), gbk("{\"a\":\"1 2&3\",\"b\":\"收费\"}"));
    ASSERT_TRUE(r.ok) << r.text;
    json::Value echo = echo_of(r.text);
    EXPECT_EQ(text_of(echo.member("headers")->member("Content-Type")), "application/x-www-form-urlencoded");
    EXPECT_EQ(base64_decode(text_of(echo, "body_base64")), "{\"a\":\"1 2&3\",\"b\":\"收费\"}");

    r = http::post_text(url("/http/echo"), "x=1", "");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(text_of(echo_of(r.text).member("headers")->member("Content-Type")),
              "application/x-www-form-urlencoded");
    r = http::post_text(url("/http/echo"), "x=1", "text/plain; charset=utf-8");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(text_of(echo_of(r.text).member("headers")->member("Content-Type")), "text/plain; charset=utf-8");
}

TEST_F(HttpHelpers, OtherSuccessStatusesAreFailuresWithTheBarePrefix) {
    EXPECT_EQ(http::json_post(url("/http/status/200?body=ok"), "{}").text, "ok");
    for (const char* status : {"201", "204", "202"}) {
        const http::Result r = http::json_post(url(std::string("/http/status/") + status), "{}");
        EXPECT_FALSE(r.ok) << status;
        EXPECT_EQ(r.text, call_prefix()) << status;
        const http::Result f = http::form_post(url(std::string("/http/status/") + status), "{}");
        EXPECT_FALSE(f.ok) << status;
        EXPECT_EQ(f.text, call_prefix()) << status;
    }
}

TEST_F(HttpHelpers, ErrorStatusGivesTheStatusLine) {
    http::Result r = http::json_post(url("/http/status/500"), "{}");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.text, call_prefix() + "HTTP/1.1 500 Internal Server Error");
    r = http::form_post(url("/http/status/404"), "{}");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.text, call_prefix() + "HTTP/1.1 404 Not Found");
}

TEST_F(HttpHelpers, RedirectIsFollowed) {
    const size_t before = sim_->records().size();
    const http::Result r =
        http::json_post(url("/http/redirect/302?to=" + url_encode("/http/status/200?body=arrived")), "{}");
    EXPECT_TRUE(r.ok) << r.text;
    EXPECT_EQ(r.text, "arrived");
    const auto records = sim_->records();
    ASSERT_EQ(records.size(), before + 2);
    EXPECT_EQ(text_of(records[before], "path"), "/http/redirect/302");
    EXPECT_EQ(text_of(records[before + 1], "path"), "/http/status/200");
}

TEST_F(HttpHelpers, UnreachableHost) {
    const http::Result r = http::json_post("http://127.0.0.1:" + std::to_string(closed_port()) + "/x", "{}");
    EXPECT_FALSE(r.ok);
    ASSERT_GT(r.text.size(), call_prefix().size()) << "the transport's message follows the prefix";
    EXPECT_EQ(r.text.substr(0, call_prefix().size()), call_prefix());
    EXPECT_NE(r.text.find("127.0.0.1"), std::string::npos) << r.text;
}

TEST_F(HttpHelpers, DroppedConnection) {
    const http::Result r = http::json_post(url("/http/drop"), "{}");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.text, call_prefix() + "Empty reply from server");
}

TEST_F(HttpHelpers, SilentServerTimesOut) {
    EXPECT_EQ(http::read_timeout(), 10000ms) << "the 10 s read time-out";
    http::set_read_timeout(1000ms);  // the same rule, shortened for the test
    const auto start = std::chrono::steady_clock::now();
    const http::Result r = http::json_post(url("/http/delay/5000"), "{}");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.text, call_prefix() + "Read timed out: no data for 1000 milliseconds");
    EXPECT_GE(elapsed, 1000ms);
    EXPECT_LT(elapsed, 3500ms);
    // An answer that comes within the time-out is no failure.
    EXPECT_EQ(http::json_post(url("/http/delay/300?body=late"), "{}").text, "late");
    http::set_read_timeout(0ms);
    EXPECT_EQ(http::read_timeout(), 10000ms);
}

TEST_F(HttpHelpers, AnswerIsConvertedToGbkWithQuestionMarks) {
    // "😀" has no GBK code: it becomes one "?".
    const http::Result r = http::json_post(url("/http/status/200?body=" + url_encode("医保结算😀完成")), "{}");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.text, gbk("医保结算") + "?" + gbk("完成"));
    // An empty body gives an empty answer.
    const http::Result empty = http::json_post(url("/http/status/200?body="), "{}");
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.text, "");
}

// ---- file upload ---------------------------------------------------------------

TEST_F(HttpHelpers, UploadSendsTwoPartsInOrder) {
    testing::TempDir dir;
    std::filesystem::create_directories(dir / "sub.d");
    const std::string path = dir / "sub.d/Report.PDF";
    const std::string bytes = std::string("%PDF\0\r\n\x81\xff end", 14);
    testing::write_file(path, bytes);

    const http::Result r = http::upload_file(url("/http/echo"), path, gbk("检查报告"));
    ASSERT_TRUE(r.ok) << r.text;
    // The answer comes back unconverted: the simulator's UTF-8 JSON.
    const auto parsed = json::parse_lenient(r.text);
    ASSERT_TRUE(parsed.has_value()) << r.text;
    const json::Value& echo = *parsed;
    EXPECT_EQ(text_of(echo.member("headers")->member("Content-Type")).rfind("multipart/form-data; boundary=", 0), 0u);
    const json::Value* parts = echo.member("parts");
    ASSERT_NE(parts, nullptr);
    ASSERT_EQ(parts->items.size(), 2u);
    const json::Value& field = parts->items[0];
    EXPECT_EQ(text_of(field, "name"), "fileName");
    EXPECT_EQ(text_of(field, "filename"), "");
    EXPECT_EQ(base64_decode(text_of(field, "content_base64")), gbk("检查报告")) << "the name is sent unconverted";
    const json::Value& file = parts->items[1];
    EXPECT_EQ(text_of(file, "name"), "file");
    EXPECT_EQ(text_of(file, "filename"), "Report.PDF");
    EXPECT_EQ(text_of(file, "content_type"), "application/pdf");
    EXPECT_EQ(base64_decode(text_of(file, "content_base64")), bytes);
}

TEST_F(HttpHelpers, UploadOfAnUnknownExtension) {
    testing::TempDir dir;
    testing::write_file(dir / "data.xyz", "abc");
    const http::Result r = http::upload_file(url("/http/echo"), dir / "data.xyz", "n");
    ASSERT_TRUE(r.ok) << r.text;
    const auto echo = json::parse_lenient(r.text);
    ASSERT_TRUE(echo.has_value());
    ASSERT_EQ(echo->member("parts")->items.size(), 2u);
    EXPECT_EQ(text_of(echo->member("parts")->items[1], "content_type"), "application/octet-stream");
}

TEST_F(HttpHelpers, UploadAnswerIsReturnedByteForByte) {
    testing::TempDir dir;
    testing::write_file(dir / "a.txt", "abc");
    const std::string utf8 = "{\"url\":\"文件/a.txt\"}";
    http::Result r = http::upload_file(url("/http/status/200?body=" + url_encode(utf8)), dir / "a.txt", "a");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.text, utf8) << "still UTF-8";
    r = http::upload_file(url("/http/status/201?body=made"), dir / "a.txt", "a");
    EXPECT_TRUE(r.ok) << "any 2xx status is a success";
    EXPECT_EQ(r.text, "made");
    r = http::upload_file(url("/http/status/500"), dir / "a.txt", "a");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.text, "HTTP/1.1 500 Internal Server Error") << "the error message alone";
    r = http::upload_file("http://127.0.0.1:" + std::to_string(closed_port()) + "/upload", dir / "a.txt", "a");
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.text.empty());
}

TEST_F(HttpHelpers, UploadOfAMissingFileSendsNothing) {
    testing::TempDir dir;
    const std::string path = dir / "missing.txt";
    const size_t before = sim_->records().size();
    const http::Result r = http::upload_file(url("/http/echo"), path, "n");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.text, "cannot open file \"" + path + "\": No such file or directory");
    const http::Result directory = http::upload_file(url("/http/echo"), dir.path(), "n");
    EXPECT_FALSE(directory.ok);
    EXPECT_EQ(directory.text, "cannot open file \"" + dir.path() + "\": Is a directory");
    EXPECT_EQ(sim_->records().size(), before) << "nothing was sent";
}

TEST(HttpHelperParts, FileNamesAndContentTypes) {
    EXPECT_EQ(http::file_name_of("/a/b.d/c.txt"), "c.txt");
    EXPECT_EQ(http::file_name_of("c.txt"), "c.txt");
    EXPECT_EQ(http::file_name_of("/a/b/"), "");
    EXPECT_EQ(http::content_type_for("/x/scan.JPG"), "image/jpeg");
    EXPECT_EQ(http::content_type_for("a.jpeg"), "image/jpeg");
    EXPECT_EQ(http::content_type_for("a.png"), "image/png");
    EXPECT_EQ(http::content_type_for("a.pdf"), "application/pdf");
    EXPECT_EQ(http::content_type_for("a.txt"), "text/plain");
    EXPECT_EQ(http::content_type_for("a.xml"), "text/xml");
    EXPECT_EQ(http::content_type_for("a.zip"), "application/zip");
    EXPECT_EQ(http::content_type_for("a.tar.unknown"), "application/octet-stream");
    EXPECT_EQ(http::content_type_for("/x.d/noextension"), "application/octet-stream");
    EXPECT_EQ(http::content_type_for("trailingdot."), "application/octet-stream");
}

// ---- monitoring POST and its diagnostic-log lines --------------------------------

class MonitoringPost : public HttpHelpers {
protected:
    void SetUp() override {
        HttpHelpers::SetUp();
        ::setenv("VORLA_HOST_DIR", host_.path().c_str(), 1);
        testing::write_file(host_ / "log4me.ini", "[log4me]\r\npath=logs\r\nlevel=info\r\n");
        log4me::set_clock([] { return platform::LocalTime{2024, 1, 31, 9, 30, 15, 42}; });
        log4me::start();
    }
    void TearDown() override {
        try {
            log4me::stop();
        } catch (...) {
        }
        log4me::set_clock({});
        ::unsetenv("VORLA_HOST_DIR");
        HttpHelpers::TearDown();
    }

    // The lines of the day's log after the header and the start line.
    std::vector<std::string> exchange_lines() const {
        const std::string text = testing::read_file(host_ / "logs/2024-01-31.log");
        std::vector<std::string> lines;
        for (size_t at = 0; at < text.size();) {
            const size_t end = text.find("\r\n", at);
            if (end == std::string::npos) break;
            lines.push_back(text.substr(at, end - at));
            at = end + 2;
        }
        if (lines.size() >= 2) lines.erase(lines.begin(), lines.begin() + 2);
        return lines;
    }

    testing::TempDir host_;
};

TEST_F(MonitoringPost, ReachableServiceWritesRequestAndAnswer) {
    const std::string answer = http::monitoring_post(url("/http/status/200?body=" + url_encode("{\"msg\":\"收到\"}")),
                                                     gbk(" {\"ybjk\":\"审核\"}\r\n"));
    EXPECT_EQ(answer, gbk("{\"msg\":\"收到\"}"));
    const auto lines = exchange_lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "09:30:15.042 error:\t{\"ybjk\":\"审核\"}") << "the body as sent: UTF-8, stripped";
    EXPECT_EQ(lines[1], "09:30:15.042 error:\t" + gbk("{\"msg\":\"收到\"}")) << "the answer in GBK";
    const auto records = sim_->records();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(text_of(records.back(), "content_type"), "application/json");
    EXPECT_EQ(base64_decode(text_of(records.back(), "body_base64")), "{\"ybjk\":\"审核\"}");
}

TEST_F(MonitoringPost, UnreachableServiceWritesRequestAndFailure) {
    const std::string answer =
        http::monitoring_post("http://127.0.0.1:" + std::to_string(closed_port()) + "/his/realcheck/audit", "{}");
    ASSERT_GT(answer.size(), monitoring_prefix().size());
    EXPECT_EQ(answer.substr(0, monitoring_prefix().size()), monitoring_prefix());
    const std::string message = answer.substr(monitoring_prefix().size());
    const auto lines = exchange_lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "09:30:15.042 error:\t{}");
    const std::regex failure(R"(09:30:15\.042 error:20240131093015[0-9]{6}\t(.*))");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[1], m, failure)) << lines[1];
    EXPECT_EQ(m[1].str(), message);
}

TEST_F(MonitoringPost, ErrorStatusWritesNoAnswerLine) {
    const std::string answer = http::monitoring_post(url("/http/status/500"), "{}");
    EXPECT_EQ(answer, monitoring_prefix() + "HTTP/1.1 500 Internal Server Error");
    const auto lines = exchange_lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "09:30:15.042 error:\t{}");
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(09:30:15\.042 error:[0-9]{20}\tHTTP/1\.1 500 Internal Server Error)")))
        << lines[1];
}

TEST_F(MonitoringPost, OtherSuccessStatusWritesAnswerAndFailure) {
    const std::string answer = http::monitoring_post(url("/http/status/201?body=made"), "{}");
    EXPECT_EQ(answer, monitoring_prefix()) << "nothing raised: the bare prefix";
    const auto lines = exchange_lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "09:30:15.042 error:\tmade");
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(R"(09:30:15\.042 error:[0-9]{20}\t)"))) << lines[2];
}

TEST_F(MonitoringPost, UnwritableLogSendsNothingAndRaisesTheFailureLine) {
    // The log directory cannot be created: a file stands where it should be.
    log4me::stop();
    testing::write_file(host_ / "blocker", "x");
    testing::write_file(host_ / "log4me.ini", "[log4me]\r\npath=blocker/logs\r\nlevel=error\r\n");
    log4me::start();
    const size_t before = sim_->records().size();
    EXPECT_THROW(http::monitoring_post(url("/http/echo"), "{}"), std::exception);
    EXPECT_EQ(sim_->records().size(), before) << "nothing was sent";
}

TEST_F(MonitoringPost, SwitchedOffLogStillPosts) {
    log4me::stop();
    const std::string logged = testing::read_file(host_ / "logs/2024-01-31.log");
    std::filesystem::remove(host_ / "log4me.ini");
    log4me::start();
    EXPECT_EQ(http::monitoring_post(url("/http/status/200?body=ok"), "{}"), "ok");
    EXPECT_EQ(http::monitoring_post(url("/http/status/503"), "{}"),
              monitoring_prefix() + "HTTP/1.1 503 Service Unavailable");
    EXPECT_EQ(testing::read_file(host_ / "logs/2024-01-31.log"), logged) << "no line without log4me.ini";
}

// ---- the center scenario "connection drop" ---------------------------------------

TEST_F(HttpHelpers, CenterConnectionDrop) {
    testing::write_file(*root_ / "scenario/C0.drop", "");
    center::set_transport_timeout(10000ms);
    const std::string document = R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><APP>C0</APP></HEAD></DATA>)";
    const size_t posts = sim_->records("POST").size();
    const std::string out = center::exchange_with_current_timeout(sim_->center_address(), "12345678", "C0",
                                                                  "10.1.1.1", document, "{}");
    std::filesystem::remove(*root_ / "scenario/C0.drop");
    EXPECT_NE(out.find("<ErrCode>-1</ErrCode>"), std::string::npos) << out;
    EXPECT_NE(out.find(center::network_prefix() + "Empty reply from server"), std::string::npos) << out;
    EXPECT_EQ(sim_->records("POST").size(), posts + 1) << "the request arrived and was recorded";
    // Without the scenario entry the next call is answered.
    const std::string again = center::exchange_with_current_timeout(sim_->center_address(), "12345678", "C0",
                                                                    "10.1.1.1", document, "{}");
    EXPECT_NE(again.find("<ErrCode>0</ErrCode>"), std::string::npos) << again;
}

}  // namespace
}  // namespace vorla
