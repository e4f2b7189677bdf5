// The world around the library failing on demand: the disk refusing the
// journal, the diagnostic log or vorla.ini (through the platform layer's
// injected faults), and the center's connection breaking off in the middle of an
// answer. Each case shows the answer the HIS gets and that no half-written
// journal block, log line or configuration file is left behind. The calls run
// in this process (run_invoke), so that the faults reach the library's code.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "center/center_client.h"
#include "common/text.h"
#include "entry/config.h"
#include "entry/invoke.h"
#include "journal/log4me.h"
#include "messages/envelope.h"
#include "platform/faults.h"
#include "platform/http.h"
#include "platform/platform.h"
#include "sim_process.h"
#include "loopback.h"
#include "support.h"

namespace vorla {
namespace {

namespace fs = std::filesystem;
using platform::FileOperation;
using platform::InjectedFileFault;

const char* const kSaveModeKey =
    R"(医保交易保存模式(0 路径\\医院代码\\日期\\发起IP\\交易时间.txt , 1 路径\\医院代码\\日期\\发起IP\\日期.txt , 2 路径\\医院代码\\日期.TXT ))";

std::string c0_document() {
    return R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>C0</APP><WorkDate>20240131)"
           R"(</WorkDate><Reserve></Reserve><ErrCode></ErrCode><ErrDetail></ErrDetail></HEAD><MSG><HEAD>)"
           R"(<YLJGDM>10010001</YLJGDM></HEAD></MSG></DATA>)";
}

std::string j4_document() {
    return R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J4</APP><WorkDate>20240131)"
           R"(</WorkDate><Reserve>R</Reserve><ErrCode></ErrCode><ErrDetail></ErrDetail></HEAD><MSG><HEAD>)"
           R"(<YLJGDM>10010001</YLJGDM></HEAD></MSG></DATA>)";
}

// Every file below `dir` with its bytes.
std::vector<std::pair<std::string, std::string>> files_below(const std::string& dir) {
    std::vector<std::pair<std::string, std::string>> out;
    std::error_code ec;
    if (!fs::exists(dir, ec)) return out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) out.emplace_back(e.path().string(), testing::read_file(e.path().string()));
    return out;
}

class Faults : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new testing::TempDir;
        fs::create_directories(*root_ / "scenario");
        sim_ = new testing::SimProcess(*root_ / "scenario", *root_ / "record");
    }
    static void TearDownTestSuite() {
        delete sim_;
        sim_ = nullptr;
        delete root_;
        root_ = nullptr;
    }

    void SetUp() override {
        ASSERT_GT(sim_->port(), 0) << "vorla-sim did not start";
        release_configuration();
        ::setenv("VORLA_SYSTEM_DIR", sys.path().c_str(), 1);
        ::setenv("VORLA_HOST_DIR", host.path().c_str(), 1);
        write_ini(sim_->center_address());
        testing::write_file(host / "log4me.ini", "[log4me]\r\npath=logs\r\nlevel=info\r\n");
        log4me::start();
    }
    void TearDown() override {
        try {
            log4me::stop();
        } catch (...) {
        }
        ::unsetenv("VORLA_HOST_DIR");
        ::unsetenv("VORLA_SYSTEM_DIR");
        release_configuration();
    }

    // vorla.ini with every key: the center address, the journal under
    // <journal> in mode "0".
    void write_ini(const std::string& center_address) {
        testing::write_file(sys / "vorla.ini", "");
        release_configuration();
        load_configuration();  // every default written
        platform::Profile ini(sys / "vorla.ini");
        ini.write(gbk("医保交易地址"), gbk("医保交易地址"), center_address);
        ini.write(gbk("医保交易日志"), gbk("医保交易保存路径"), journal.path());
        ini.write(gbk("医保交易日志"), gbk(kSaveModeKey), "0");
    }

    static std::string call(const std::string& biztype, const std::string& indata) {
        return run_invoke("{functionname:'bizbuss',params:{hid:'10010001',biztype:'" + biztype +
                          "',ip:'10.1.1.1',indata:'" + indata + "'}}");
    }

    // The diagnostic log's lines of today, CR LF ends included.
    std::string log_text() const {
        std::string all;
        for (const auto& [path, bytes] : files_below(host / "logs")) all += bytes;
        return all;
    }

    static size_t posts() { return sim_->records("POST").size(); }

    // The center error document whose detail starts with `prefix` and ends with
    // the system's text for `error`.
    static void expect_error_answer(const std::string& answer, const std::string& biztype, const std::string& prefix,
                                    int error, const char* what) {
        const std::string marker = "\x01";
        const std::string whole = center_error_document(biztype, -1, prefix + marker);
        const std::string head = whole.substr(0, whole.find(marker));
        const std::string tail = std::string(std::strerror(error)) + whole.substr(whole.find(marker) + 1);
        EXPECT_EQ(answer.substr(0, head.size()), head) << what << ": " << answer;
        ASSERT_GE(answer.size(), tail.size()) << what;
        EXPECT_EQ(answer.substr(answer.size() - tail.size()), tail) << what << ": " << answer;
    }

    testing::TempDir sys, host, journal;
    static inline testing::TempDir* root_ = nullptr;
    static inline testing::SimProcess* sim_ = nullptr;
};

TEST_F(Faults, JournalThatCannotTakeTheRequestBlockStopsTheCallBeforeTheCenter) {
    struct Case {
        const char* what;
        FileOperation operation;
        int error;
    };
    const Case cases[] = {
        {"directory cannot be created", FileOperation::CreateDirectory, EACCES},
        {"file cannot be opened", FileOperation::Open, EMFILE},
        {"disk full in the middle of the block", FileOperation::Write, ENOSPC},
    };
    for (const Case& c : cases) {
        const size_t before = posts();
        std::string answer;
        {
            InjectedFileFault fault(c.operation, journal.path(), c.error);
            answer = call("C0", c0_document());
            EXPECT_GT(fault.hits(), 0) << c.what;
        }
        expect_error_answer(answer, "C0", center::journal_prefix(), c.error, c.what);
        EXPECT_EQ(posts(), before) << c.what << ": the center is not called";
        for (const auto& [path, bytes] : files_below(journal.path()))
            EXPECT_EQ(bytes, "") << c.what << ": half a block left in " << path;
    }
}

TEST_F(Faults, JournalThatCannotTakeTheAnswerBlockStillHandsBackTheCentersAnswer) {
    const std::string expected = call("C0", c0_document());
    ASSERT_NE(expected.find("<ErrCode>"), std::string::npos);
    fs::remove_all(journal.path());
    const size_t before = posts();
    std::string answer;
    {
        // The request block goes through; the answer block meets a full disk.
        InjectedFileFault fault(FileOperation::Write, journal.path(), ENOSPC, 1);
        answer = call("C0", c0_document());
        EXPECT_EQ(fault.hits(), 1);
    }
    EXPECT_EQ(answer, expected) << "the center carried the transaction out: its answer goes back";
    EXPECT_EQ(posts(), before + 1);
    const auto files = files_below(journal.path());
    ASSERT_EQ(files.size(), 1u);
    const std::string& block = files[0].second;
    EXPECT_NE(block.find(gbk("医疗机构交易申请")), std::string::npos);
    EXPECT_EQ(block.find(gbk("医疗机构交易返回")), std::string::npos) << "no half answer block";
    EXPECT_EQ(block.substr(block.size() - c0_document().size()), c0_document()) << "the request block is whole";
    EXPECT_NE(log_text().find(center::journal_prefix()), std::string::npos) << "support learns of the lost block";
}

TEST_F(Faults, JournalFailuresLeaveTheAnswersOfLocalBusinessAlone) {
    const std::string expected = call("J4", j4_document());
    ASSERT_NE(expected.find("<ErrCode>0</ErrCode>"), std::string::npos) << expected;
    fs::remove_all(journal.path());
    for (FileOperation op : {FileOperation::CreateDirectory, FileOperation::Open, FileOperation::Write}) {
        InjectedFileFault fault(op, journal.path(), ENOSPC);
        EXPECT_EQ(call("J4", j4_document()), expected);
        EXPECT_GT(fault.hits(), 0);
    }
    for (const auto& [path, bytes] : files_below(journal.path())) EXPECT_EQ(bytes, "") << path;
    EXPECT_NE(log_text().find(center::journal_prefix()), std::string::npos);
}

TEST_F(Faults, ConfigurationThatCannotBeWrittenIsLeftAsItWasAndTheCallGoesOn) {
    // A key is missing, so the call writes its default back.
    const std::string key = gbk("科室ID");
    const std::string path = sys / "vorla.ini";
    std::string text = testing::read_file(path);
    const size_t at = text.find(key + "=");
    ASSERT_NE(at, std::string::npos);
    text.erase(at, text.find('\n', at) + 1 - at);
    const std::string expected = call("J4", j4_document());
    struct Case {
        const char* what;
        FileOperation operation;
        std::string path_part;
    };
    const Case cases[] = {
        {"the temporary file cannot be created", FileOperation::Open, "vorla.ini"},
        {"disk full while writing it", FileOperation::Write, "vorla.ini"},
        {"it cannot be flushed", FileOperation::Sync, "vorla.ini"},
        {"it cannot be put in place", FileOperation::Rename, "vorla.ini"},
        {"the system directory is read-only", FileOperation::Open, sys.path()},
    };
    for (const Case& c : cases) {
        testing::write_file(path, text);
        std::string answer;
        {
            InjectedFileFault fault(c.operation, c.path_part, EROFS);
            answer = call("J4", j4_document());
            EXPECT_GT(fault.hits(), 0) << c.what;
        }
        EXPECT_EQ(answer, expected) << c.what;
        EXPECT_EQ(config().evoucher_dept_id, "01") << c.what << ": the default is used all the same";
        EXPECT_EQ(testing::read_file(path), text) << c.what << ": vorla.ini is as it was";
        for (const auto& [name, bytes] : files_below(sys.path()))
            EXPECT_EQ(name.find(".tmp"), std::string::npos) << c.what << ": left behind: " << name;
    }
    EXPECT_NE(log_text().find("Unable to write to " + path), std::string::npos);
}

TEST_F(Faults, DiagnosticLogThatCannotBeWrittenNeverChangesAnAnswer) {
    const std::string expected = call("J4", j4_document());
    for (FileOperation op : {FileOperation::Write, FileOperation::Open}) {
        // The journal fails too, so the library has something to log.
        InjectedFileFault journal_fault(FileOperation::Write, journal.path(), ENOSPC);
        InjectedFileFault log_fault(op, host / "logs", ENOSPC);
        try {
            log4me::stop();
            log4me::start();
        } catch (...) {
            // A log that cannot be written raises: the library's own calls catch it.
        }
        EXPECT_EQ(call("J4", j4_document()), expected);
    }
    const std::string log = log_text();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n") << "no half line at the log's end";
}

// ---- the center's connection breaking off ------------------------------------------------

// A center on 127.0.0.1 that serves the simulator's service description
// (pointing its endpoint here) and answers every POST with `answer`, then
// resets the connection.
class BrokenCenter {
public:
    BrokenCenter(std::string description, std::string answer) : answer_(std::move(answer)) {
        listener_ = testing::listen_on_loopback(port_);
        description_ = std::move(description);
        thread_ = std::thread([this] { serve(); });
    }
    ~BrokenCenter() {
        stop_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        thread_.join();
    }
    int port() const { return port_; }
    std::string& description() { return description_; }

private:
    void serve() {
        while (!stop_) {
            const int c = ::accept(listener_, nullptr, nullptr);
            if (c < 0) return;
            std::string request;
            char buf[4096];
            size_t need = std::string::npos;
            while (true) {
                const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                request.append(buf, static_cast<size_t>(n));
                const size_t end = request.find("\r\n\r\n");
                if (end == std::string::npos) continue;
                if (need == std::string::npos) {
                    need = end + 4;
                    const size_t cl = request.find("Content-Length: ");
                    if (cl != std::string::npos && cl < end) need += std::stoul(request.substr(cl + 16));
                }
                if (request.size() >= need) break;
            }
            const bool post = request.rfind("POST", 0) == 0;
            const std::string reply = post ? answer_
                                           : "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " +
                                                 std::to_string(description_.size()) + "\r\n\r\n" + description_;
            ::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
            if (post) {
                linger hard{1, 0};  // a reset instead of an orderly close
                ::setsockopt(c, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            }
            ::close(c);
        }
    }

    std::string answer_, description_;
    int listener_ = -1, port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST_F(Faults, CenterConnectionBreakingOffGivesTheNetworkFailure) {
    const platform::HttpResponse wsdl = platform::http_get(sim_->center_address(), std::chrono::seconds(10));
    ASSERT_EQ(wsdl.status, 200);
    struct Case {
        const char* what;
        std::string answer;
    };
    const Case cases[] = {
        {"reset in the middle of the answer",
         "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=UTF-8\r\nContent-Length: 4000\r\n\r\n"
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><soap:Envelope xmlns:soap="},
        {"reset before any answer", ""},
    };
    for (const Case& c : cases) {
        BrokenCenter center(wsdl.body, c.answer);
        std::string& d = center.description();
        const std::string sim_host = "127.0.0.1:" + std::to_string(sim_->port());
        for (size_t at; (at = d.find(sim_host)) != std::string::npos;)
            d.replace(at, sim_host.size(), "127.0.0.1:" + std::to_string(center.port()));
        write_ini("http://127.0.0.1:" + std::to_string(center.port()) + std::string(center::kServicePath) + "?WSDL");
        const std::string answer = call("C0", c0_document());
        const std::string head = center_error_document("C0", -1, center::network_prefix());
        const std::string prefix = head.substr(0, head.find("</ErrDetail>"));
        EXPECT_EQ(answer.substr(0, prefix.size()), prefix) << c.what << ": " << answer;
        EXPECT_GT(answer.size(), head.size()) << c.what << ": the transport's message follows";
        // Both blocks are in the journal, the answer block holding the failure.
        const auto files = files_below(journal.path());
        ASSERT_EQ(files.size(), 1u) << c.what;
        EXPECT_EQ(files[0].second.substr(files[0].second.size() - answer.size()), answer) << c.what;
        fs::remove_all(journal.path());
    }
}

}  // namespace
}  // namespace vorla
