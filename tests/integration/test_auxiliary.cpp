// J4 and J10 through the built library; J10 uploads to vorla-sim's endpoint.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "center/client_info.h"
#include "common/base64.h"
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

std::string text_of(const json::Value& v, const char* name) {
    const json::Value* m = v.member(name);
    return m ? m->as_text() : std::string("<absent>");
}

const std::string kHead = R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J10</APP>)"
                          R"(<WorkDate>20240131</WorkDate><Reserve>R</Reserve>)";

// The J10 answer: the request's head with ErrCode and ErrDetail, URL when given.
std::string j10_answer(const std::string& errcode, const std::string& detail, const std::string& url = "") {
    return kHead + "<ErrCode>" + errcode + "</ErrCode>" + (detail.empty() ? "" : "<ErrDetail>" + detail + "</ErrDetail>") +
           "</HEAD>" + (url.empty() ? "" : "<MSG><HEAD><URL>" + url + "</URL></HEAD></MSG>") + "</DATA>";
}

class Auxiliary : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        host_ = new testing::LibraryHost;
        ASSERT_EQ(host_->error, "");
        root_ = &host_->root;
        sim_ = host_->sim.get();
        invoke_ = host_->invoke;
        // Bytes of every value, and a file of them.
        for (int i = 0; i < 256; ++i) file_bytes_ += static_cast<char>(i);
        file_bytes_ += gbk("检验报告");
        testing::write_file(*root_ / "report.pdf", file_bytes_);
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
        // The center is never asked for J4 or J10: nothing listens there.
        testing::write_file(*root_ / "sys/vorla.ini", gbk("[医保交易地址]\r\n医保交易地址=http://127.0.0.1:9/ws?WSDL\r\n"));
        first_record_ = sim_->records().size();
    }

    static void scenario(const std::string& name, const std::string& bytes) {
        testing::write_file(*root_ / ("scenario/" + name), bytes);
    }

    static std::string call(const std::string& biztype, const std::string& indata) {
        const std::string request = InvokeRequest::make_text("H0001", biztype, "10.1.1.1", indata);
        std::vector<char> buf(1 << 16, '#');
        const char* req = request.c_str();
        char* out = buf.data();
        invoke_(&req, &out);
        return std::string(buf.data());
    }

    std::string j10(const std::string& url, const std::string& file, const std::string& name_gbk) const {
        return call("J10", kHead + "<ErrCode></ErrCode><ErrDetail></ErrDetail></HEAD><MSG><HEAD><YLJGDM>H0001</YLJGDM>"
                                   "<POSTURL>" + url + "</POSTURL><FILENAME>" + file + "</FILENAME><NAME>" + name_gbk +
                                   "</NAME></HEAD></MSG></DATA>");
    }
    std::string upload_url() const { return sim_->base_url() + "/upload"; }
    std::string report() const { return *root_ / "report.pdf"; }

    std::vector<json::Value> uploads() const {
        std::vector<json::Value> out;
        const auto all = sim_->records();
        for (size_t i = first_record_; i < all.size(); ++i)
            if (text_of(all[i], "service") == "upload") out.push_back(all[i]);
        return out;
    }
    size_t records_since_start() const { return sim_->records().size() - first_record_; }

    size_t first_record_ = 0;
    static inline std::string file_bytes_;
    static inline testing::TempDir* root_ = nullptr;
    static inline testing::SimProcess* sim_ = nullptr;
    static inline testing::LibraryHost* host_ = nullptr;
    static inline void (*invoke_)(const char* const*, char* const*) = nullptr;
};

TEST_F(Auxiliary, J4AnswersWithTheWorkstationsAddress) {
    const std::string answer = call(
        "J4", R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J4</APP><WorkDate>20240131)"
              R"(</WorkDate><Reserve>R</Reserve><ErrCode></ErrCode><ErrDetail></ErrDetail></HEAD><MSG><HEAD>)"
              R"(<YLJGDM>H0001</YLJGDM></HEAD></MSG></DATA>)");
    const std::string ip = center::local_address();
    EXPECT_EQ(answer, R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J4</APP>)"
                      R"(<WorkDate>20240131</WorkDate><Reserve>R</Reserve><ErrCode>0</ErrCode></HEAD>)" +
                          (ip.empty() ? "" : "<MSG><HEAD><IP>" + ip + "</IP></HEAD></MSG>") + "</DATA>");
    EXPECT_EQ(records_since_start(), 0u) << "J4 asks no service";
}

TEST_F(Auxiliary, J10UploadsTheFileAndAnswersWithItsUrl) {
    const std::string answer = j10(upload_url(), report(), gbk("检验报告"));
    EXPECT_EQ(answer, j10_answer("0", "", sim_->base_url() + "/files/report.pdf"));

    const auto got = uploads();
    ASSERT_EQ(got.size(), 1u);
    const json::Value& r = got[0];
    EXPECT_EQ(text_of(r, "method"), "POST");
    EXPECT_EQ(text_of(r, "path"), "/upload");
    EXPECT_EQ(text_of(r, "content_type").rfind("multipart/form-data; boundary=", 0), 0u) << text_of(r, "content_type");
    EXPECT_EQ(text_of(r, "part_names"), "fileName,file") << "the name field first, then the file";
    EXPECT_EQ(base64_decode(text_of(r, "fileName_base64")), gbk("检验报告")) << "the name travels unconverted";
    EXPECT_EQ(text_of(r, "file_filename"), "report.pdf");
    EXPECT_EQ(text_of(r, "file_content_type"), "application/pdf");
    EXPECT_EQ(base64_decode(text_of(r, "file_base64")), file_bytes_);
}

// FILENAME is GBK like the whole document; on Linux the file is opened under its
// UTF-8 name, and the file part carries the file's own name as GBK bytes.
TEST_F(Auxiliary, J10UploadsAFileOfAChinesePath) {
    const std::string folder = *root_ / "检查资料";
    std::filesystem::create_directories(folder);
    testing::write_file(folder + "/报告单.zzq", file_bytes_);
    scenario("upload.answer", R"({"code":"200","data":"/store/a.zzq","error":""})");
    const std::string answer = j10(upload_url(), gbk(folder + "/报告单.zzq"), gbk("检查报告"));
    EXPECT_EQ(answer, j10_answer("0", "", "/store/a.zzq"));
    const auto got = uploads();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(base64_decode(text_of(got[0], "file_base64")), file_bytes_);
    EXPECT_EQ(text_of(got[0], "file_content_type"), "application/octet-stream");
    // The name without its folders went out as GBK bytes; vorla-sim records what it got as UTF-8.
    EXPECT_EQ(text_of(got[0], "file_filename"), "报告单.zzq");
    std::filesystem::remove(*root_ / "scenario/upload.answer");
}

TEST_F(Auxiliary, J10EndpointAnswers) {
    struct Case {
        const char* what;
        std::string status;  // "" for 200
        std::string body;    // GBK, as the endpoint sends it
        std::string expected;
    } cases[] = {
        {"code as text", "", R"({"code":"200","data":"/store/2024/a.pdf","error":""})",
         j10_answer("0", "", "/store/2024/a.pdf")},
        {"code as number", "", R"({"code":200,"data":"http://files/a.pdf"})", j10_answer("0", "", "http://files/a.pdf")},
        {"code 500 with a Chinese error", "", gbk(R"({"code":"500","data":"","error":"文件类型不允许"})"),
         j10_answer("-1", gbk("文件类型不允许"))},
        {"HTML page with status 200", "", "<html><body><h1>Error</h1></body></html>", j10_answer("-1", "")},
    };
    for (const Case& c : cases) {
        scenario("upload.answer", c.body);
        EXPECT_EQ(j10(upload_url(), report(), "n"), c.expected) << c.what;
    }
    EXPECT_EQ(uploads().size(), std::size(cases)) << "each one uploaded";
}

TEST_F(Auxiliary, J10UploadFailures) {
    // The file does not exist: nothing is sent.
    std::string answer = j10(upload_url(), *root_ / "missing.pdf", "n");
    EXPECT_EQ(answer.rfind(kHead + "<ErrCode>-1</ErrCode><ErrDetail>", 0), 0u) << answer;
    EXPECT_EQ(answer.find("<ErrDetail></ErrDetail>"), std::string::npos) << "the file error is told";
    EXPECT_EQ(answer.find("<URL>"), std::string::npos);
    EXPECT_EQ(records_since_start(), 0u);

    // An error status of the endpoint: its status line is the detail.
    scenario("upload.status", "500");
    answer = j10(upload_url(), report(), "n");
    EXPECT_EQ(answer.rfind(kHead + "<ErrCode>-1</ErrCode><ErrDetail>", 0), 0u) << answer;
    EXPECT_NE(answer.find("500"), std::string::npos) << answer;
    EXPECT_EQ(answer.find("<URL>"), std::string::npos);

    // Nobody listens at the address.
    answer = j10("http://127.0.0.1:9/upload", report(), "n");
    EXPECT_EQ(answer.rfind(kHead + "<ErrCode>-1</ErrCode><ErrDetail>", 0), 0u) << answer;
    EXPECT_EQ(answer.find("<ErrDetail></ErrDetail>"), std::string::npos);
}

}  // namespace
}  // namespace vorla
