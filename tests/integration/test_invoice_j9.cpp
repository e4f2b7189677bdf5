// J9 through the built library against vorla-sim: the invoice query the
// service receives, every failure answer, and the invoices themselves, written
// as PDF by the cashier script (text checked with pdftotext, pages left as PNG
// artifacts) and printed through a CUPS daemon of the test's own when one can run.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/text.h"
#include "invoice/j9.h"
#include "platform/platform.h"
#include "library_host.h"
#include "loopback.h"
#include "sim_process.h"
#include "support.h"

namespace vorla {
namespace {

using namespace std::chrono_literals;

int free_port() { return testing::closed_port(); }

bool port_open(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

std::string pdf_text(const std::string& path) { return run("pdftotext -enc UTF-8 -layout '" + path + "' - 2>&1"); }

std::string text_of(const json::Value& record, const char* name) {
    const json::Value* v = record.member(name);
    return v ? v->as_text() : std::string("<absent>");
}

std::string artifact_dir() {
#ifdef VORLA_ARTIFACT_DIR
    const std::string dir = VORLA_ARTIFACT_DIR;
#else
    const std::string dir = std::filesystem::temp_directory_path() / "vorla-artifacts";
#endif
    std::filesystem::create_directories(dir);
    return dir;
}

class J9 : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        host_ = new testing::LibraryHost;
        ASSERT_EQ(host_->error, "");
        root_ = &host_->root;
        sim_ = host_->sim.get();
        invoke_ = host_->invoke;
        // No printing system for the in-process calls: "print pdf" needs none.
        ::setenv("CUPS_SERVER", (*root_ / "no-cups.sock").c_str(), 1);
    }
    static void TearDownTestSuite() {
        delete host_;
        host_ = nullptr;
        sim_ = nullptr;
        root_ = nullptr;
        ::unsetenv("CUPS_SERVER");
        ::unsetenv("VORLA_CASHIER");
    }

    void SetUp() override {
        ASSERT_NE(sim_, nullptr);
        std::filesystem::remove_all(*root_ / "scenario");
        std::filesystem::create_directories(*root_ / "scenario");
        for (const char* name : {"kwmzfp.rmf", "kwzyfp.rmf"}) {
            std::filesystem::copy_file(std::string(VORLA_TEMPLATE_DIR) + "/" + name, *root_ / ("sys/" + std::string(name)),
                                       std::filesystem::copy_options::overwrite_existing);
        }
        write_ini(sim_->center_address());
        ::unsetenv("VORLA_CASHIER");
    }

    static void write_ini(const std::string& center_address) {
        testing::write_file(*root_ / "sys/vorla.ini",
                            gbk("[医保交易地址]\r\n医保交易地址=" + center_address + "\r\n"));
    }

    static void scenario(const std::string& name, const std::string& utf8) {
        testing::write_file(*root_ / ("scenario/" + name), utf8);
    }

    // A fresh cashier script.
    static void cashier(const std::string& steps) {
        static int n = 0;
        const std::string path = *root_ / ("cashier" + std::to_string(++n));
        testing::write_file(path, steps);
        ::setenv("VORLA_CASHIER", path.c_str(), 1);
    }

    // The J9 request document (texts UTF-8).
    static std::string request_document(const std::string& yblsh, const std::string& display,
                                        const std::string& yylsh = "H20240506001") {
        return gbk(R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J9</APP>)"
                   "<WorkDate>20240506</WorkDate><Reserve>r1</Reserve><ErrCode></ErrCode><ErrDetail>请求说明</ErrDetail>"
                   "</HEAD><MSG><HEAD><YLJGDM>640100001</YLJGDM><YYLSH>" +
                   yylsh + "</YYLSH><YBLSH>" + yblsh + "</YBLSH><TFBZ>0</TFBZ><DISPLAY>" + display +
                   "</DISPLAY></HEAD></MSG></DATA>");
    }

    // The invoke request; indata goes into a single-quoted string, so its
    // backslashes and single quotes are escaped.
    static std::string invoke_text(const std::string& indata) {
        std::string quoted;
        for (size_t i = 0; i < indata.size(); ++i) {
            const auto b = static_cast<unsigned char>(indata[i]);
            if (b >= 0x81 && b <= 0xFE && i + 1 < indata.size()) {  // a GBK character: its trail byte stays
                quoted += indata.substr(i++, 2);
                continue;
            }
            if (indata[i] == '\\' || indata[i] == '\'') quoted += '\\';
            quoted += indata[i];
        }
        return "{functionname:'bizbuss',params:{hid:'640100001|x',biztype:'J9',ip:'10.1.1.1',indata:'" + quoted +
               "'}}";
    }

    static std::string call(const std::string& indata) {
        const std::string request = invoke_text(indata);
        std::vector<char> buf(1 << 16, '#');
        const char* req = request.c_str();
        char* out = buf.data();
        invoke_(&req, &out);
        return std::string(buf.data());
    }

    // The J9 answer: the request's head with ErrCode and ErrDetail, no MSG.
    static std::string answer(const std::string& code, const std::string& detail) {
        std::string detail_gbk;
        for (char c : detail) {
            switch (c) {
                case '"': detail_gbk += "&quot;"; break;
                case '&': detail_gbk += "&amp;"; break;
                case '<': detail_gbk += "&lt;"; break;
                case '>': detail_gbk += "&gt;"; break;
                case '\'': detail_gbk += "&apos;"; break;
                default: detail_gbk += c;
            }
        }
        return R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J9</APP>)"
               "<WorkDate>20240506</WorkDate><Reserve>r1</Reserve><ErrCode>" +
               code + "</ErrCode>" + (detail_gbk.empty() ? "" : "<ErrDetail>" + detail_gbk + "</ErrDetail>") +
               "</HEAD></DATA>";
    }

    static std::vector<json::Value> invoice_queries() {
        std::vector<json::Value> out;
        for (auto& r : sim_->records("POST"))
            if (text_of(r, "path") == std::string(invoice::kExecuteAction)) out.push_back(r);
        return out;
    }

    static inline testing::TempDir* root_ = nullptr;
    static inline testing::SimProcess* sim_ = nullptr;
    static inline testing::LibraryHost* host_ = nullptr;
    static inline void (*invoke_)(const char* const*, char* const*) = nullptr;
};

TEST_F(J9, OutpatientInvoiceIsPreviewedAsPdf) {
    const std::string pdf = *root_ / "outpatient.pdf";
    cashier("preview pdf " + pdf + "\n");
    const size_t before = invoice_queries().size();
    EXPECT_EQ(call(request_document("MZ20240506001", "1")), answer("0", gbk("请求说明")))
        << "success keeps the request's ErrDetail; the message head stays empty";

    // What the invoice service received.
    const auto queries = invoice_queries();
    ASSERT_EQ(queries.size(), before + 1);
    const json::Value& q = queries.back();
    EXPECT_EQ(text_of(q, "content_type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(text_of(q, "body"),
              R"({"serviceName": "com.tembro.frontendsettle.service.medical.fpdy.InvoiceInfoService", )"
              R"("methodName": "queryInvoiceInfoByAkc190", "params": [ )"
              R"({"paramName": "akb020", "paramType": "String", "paramIndex": "0", "paramValue":"640100001"},)"
              R"({"paramName": "akc190", "paramType": "String", "paramIndex": "1", "paramValue":"MZ20240506001"},)"
              R"({"paramName": "akc191", "paramType": "String", "paramIndex": "2", "paramValue":"H20240506001"},)"
              R"({"paramName": "bka135", "paramType": "String", "paramIndex": "3", "paramValue":"0"},)"
              R"({"paramName": "ver", "paramType": "String", "paramIndex": "4", "paramValue":"20180605.01"} ] })");

    // The invoice: the patient's name and the capital amount.
    const std::string text = pdf_text(pdf);
    EXPECT_NE(text.find("张三"), std::string::npos) << text;
    EXPECT_NE(text.find("贰佰伍拾陆元伍角整"), std::string::npos) << text;
    EXPECT_NE(text.find("结算流水号:MZ20240506001"), std::string::npos) << text;
    EXPECT_NE(text.find("医保支付金额:60.00"), std::string::npos) << text;
    EXPECT_NE(text.find("西药"), std::string::npos) << text;
    EXPECT_NE(text.find("120.50"), std::string::npos) << text;
    run("pdftoppm -png -r 110 -singlefile '" + pdf + "' '" + artifact_dir() + "/invoice_outpatient'");
    EXPECT_TRUE(std::filesystem::exists(artifact_dir() + "/invoice_outpatient.png"));
}

TEST_F(J9, InpatientInvoiceIsPrintedAfterTheDialog) {
    const std::string pdf = *root_ / "inpatient.pdf";
    cashier("print copies 2\nprint pdf " + pdf + "\n");
    EXPECT_EQ(call(request_document("ZY20240520009", "0")), answer("0", gbk("请求说明")));
    const std::string text = pdf_text(pdf);
    EXPECT_NE(text.find("李四"), std::string::npos) << text;
    EXPECT_NE(text.find("壹万贰仟叁佰肆拾伍元陆角柒分"), std::string::npos) << text;
    EXPECT_NE(text.find("大额补助"), std::string::npos) << text;
    EXPECT_NE(text.find("：1500.00"), std::string::npos) << "the 23203 amount beside its place\n" << text;
    EXPECT_NE(text.find("：500.00"), std::string::npos) << "the 23303 amount\n" << text;
    EXPECT_NE(text.find("民政救助:200.00"), std::string::npos) << text;
    EXPECT_NE(text.find("自2024-05-10至2024-05-20共10天"), std::string::npos) << text;
    run("pdftoppm -png -r 110 -singlefile '" + pdf + "' '" + artifact_dir() + "/invoice_inpatient'");
    EXPECT_TRUE(std::filesystem::exists(artifact_dir() + "/invoice_inpatient.png"));
}

TEST_F(J9, CancellingOrClosingStillAnswersSuccess) {
    const std::string pdf = *root_ / "never.pdf";
    cashier("print cancel\n");
    EXPECT_EQ(call(request_document("ZY1", "0")), answer("0", gbk("请求说明")));
    cashier("preview close\n");
    EXPECT_EQ(call(request_document("MZ1", "")), answer("0", gbk("请求说明"))) << "DISPLAY empty: preview";
    EXPECT_FALSE(std::filesystem::exists(pdf));
}

TEST_F(J9, FailureAnswers) {
    struct Case {
        const char* name;
        std::string file, contents;  // scenario file
        std::string yblsh;
        std::string detail;          // UTF-8, the expected ErrDetail
    };
    const Case cases[] = {
        {"service exception text", "execute.json",
         R"({"result_code":"101","result_exception":"结算记录不存在","result_data":""})", "X1", "结算记录不存在"},
        {"service exception object", "execute.json",
         R"({"result_code":"500","result_exception":{"message":"空指针","code":7}})", "X1",
         R"({"message":"空指针","code":7})"},
        {"no exception: result_data as text", "execute.json", R"({"result_code":"101","result_data":"数据错误"})",
         "X1", "数据错误"},
        {"empty exception: result_data as text", "execute.json",
         R"({"result_code":"101","result_exception":"","result_data":{"why":"x"}})", "X1", R"({"why":"x"})"},
        {"numeric result code other than 100", "execute.json", R"({"result_code":200,"result_exception":"忙"})",
         "X1", "忙"},
        {"result data empty", "", "", "EMPTY1", "未检索到结算信息！"},
        {"result data missing", "execute.json", R"({"result_code":"100"})", "X1", ""},
        {"result data no object", "execute.json", R"({"result_code":"100","result_data":"abc"})", "X1", ""},
        {"fee lines missing", "execute.json", R"({"result_code":"100","result_data":{"aae601":"0"}})", "X1", ""},
        {"fund lines missing", "execute.json",
         R"({"result_code":"100","result_data":{"aae601":"1","fygclist":[]}})", "X1", ""},
        {"answer no JSON", "execute.json", "<html>Service Unavailable</html>", "X1", ""},
        {"answer a JSON array", "execute.json", "[1,2]", "X1", ""},
        {"unknown settlement (simulator default)", "", "", "QQ123", "结算流水号不存在:QQ123"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(*root_ / "scenario");
        std::filesystem::create_directories(*root_ / "scenario");
        if (!c.file.empty()) scenario(c.file, c.contents);
        const size_t soap_calls = sim_->records("POST").size() - invoice_queries().size();
        EXPECT_EQ(call(request_document(c.yblsh, "1")), answer("-1", gbk(c.detail))) << c.name;
        EXPECT_EQ(sim_->records("POST").size() - invoice_queries().size(), soap_calls)
            << c.name << ": nothing is relayed to the center";
    }
}

TEST_F(J9, TransportFailures) {
    scenario("execute.http", "503");
    std::string got = call(request_document("MZ1", "1"));
    EXPECT_NE(got.find("<ErrCode>-1</ErrCode><ErrDetail>" + gbk("调用接口错误:")), std::string::npos) << got;
    EXPECT_NE(got.find("503"), std::string::npos) << got;

    std::filesystem::remove(*root_ / "scenario/execute.http");
    write_ini("http://127.0.0.1:" + std::to_string(free_port()) +
              "/RemoteFacedeBean/RemoteFacedeBeanService?WSDL");
    got = call(request_document("MZ1", "1"));
    EXPECT_NE(got.find("<ErrCode>-1</ErrCode><ErrDetail>" + gbk("调用接口错误:")), std::string::npos) << got;
}

TEST_F(J9, TemplateMissing) {
    std::filesystem::remove(*root_ / "sys/kwzyfp.rmf");
    cashier("preview close\n");
    EXPECT_EQ(call(request_document("ZY1", "1")),
              answer("-1", gbk("不存在报表文件") + platform::utf8_to_gbk(*root_ / "sys/kwzyfp.rmf")));
    EXPECT_EQ(call(request_document("MZ1", "1")), answer("0", gbk("请求说明"))) << "the other layout is there";
}

TEST_F(J9, ServiceAddressKeepsTheDeploymentsHost) {
    // The suffix in another letter case is removed; without it the action is appended.
    for (const std::string suffix : {"/remotefacedebean/REMOTEFACEDEBEANSERVICE?wsdl", ""}) {
        write_ini(sim_->base_url() + suffix);
        cashier("preview close\n");
        const size_t before = invoice_queries().size();
        EXPECT_EQ(call(request_document("MZ1", "1")), answer("0", gbk("请求说明"))) << suffix;
        EXPECT_EQ(invoice_queries().size(), before + 1) << suffix;
    }
}

TEST_F(J9, QuotesInSerialsAreEscaped) {
    cashier("preview close\n");
    const size_t before = invoice_queries().size();
    EXPECT_EQ(call(request_document(R"(MZ"2\1)", "1")), answer("0", gbk("请求说明")));
    const auto queries = invoice_queries();
    ASSERT_EQ(queries.size(), before + 1);
    EXPECT_EQ(text_of(queries.back(), "akc190"), R"(MZ"2\1)") << "the service reads the serial back whole";
    EXPECT_NE(text_of(queries.back(), "body").find(R"("paramValue":"MZ\"2\\1")"), std::string::npos);
}

TEST_F(J9, PreviewFailureIsReportedNotRelayed) {
    // The script ends before the preview: the invoice cannot be shown.
    cashier("# nothing for the preview\n");
    const size_t soap_calls = sim_->records("POST").size() - invoice_queries().size();
    const std::string got = call(request_document("MZ1", "1"));
    EXPECT_NE(got.find("<ErrCode>-1</ErrCode><ErrDetail>" + gbk("发票打印失败:")), std::string::npos) << got;
    EXPECT_EQ(sim_->records("POST").size() - invoice_queries().size(), soap_calls);
}

// ---- printing through a CUPS daemon of the test's own -----------------------------------

// A PPD whose printer takes PDF: CUPS runs its pdftopdf filter (media, copies)
// and the file device keeps what the printer would have got.
constexpr const char* kFilePrinterPpd = R"ppd(*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "INVOICE.PPD"
*Manufacturer: "vorla"
*Product: "(Invoice file)"
*ModelName: "Invoice file"
*ShortNickName: "Invoice file"
*NickName: "Invoice file"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsVersion: 2.4
*cupsManualCopies: True
*cupsFilter2: "application/vnd.cups-pdf application/pdf 0 -"
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]>>setpagedevice"
*PageSize A5/A5: "<</PageSize[420 595]>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: A4
*PageRegion A4/A4: "<</PageSize[595 842]>>setpagedevice"
*PageRegion A5/A5: "<</PageSize[420 595]>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: A4
*ImageableArea A4/A4: "0 0 595 842"
*ImageableArea A5/A5: "0 0 420 595"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
*PaperDimension A5/A5: "420 595"
)ppd";

// cupsd on 127.0.0.1:port with one queue INVOICE whose device is the file
// <dir>/out/printed.pdf; everything it keeps lives under <dir>. Needs the
// packages cups-daemon and cups-filters (pdftopdf); ready() is false when the
// daemon does not come up here.
class PrivateCups {
public:
    explicit PrivateCups(const std::string& dir) : dir_(dir) {
        if (::access("/usr/sbin/cupsd", X_OK) != 0 || ::access("/usr/lib/cups/filter/pdftopdf", X_OK) != 0) return;
        for (const char* d : {"etc/ppd", "spool/tmp", "run", "cache", "log", "out"})
            std::filesystem::create_directories(dir + "/" + d);
        // The filters run as another user: they pass through the directory and write the output.
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                              std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                              std::filesystem::perms::others_exec);
        std::filesystem::permissions(dir + "/out", std::filesystem::perms::all);
        port_ = free_port();
        testing::write_file(dir + "/etc/cupsd.conf",
                            "LogLevel info\nListen 127.0.0.1:" + std::to_string(port_) +
                                "\nBrowsing Off\nWebInterface No\nDefaultAuthType None\n"
                                "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                "<Policy default>\n  JobPrivateAccess all\n  JobPrivateValues none\n"
                                "  <Limit All>\n    Order deny,allow\n    Allow all\n  </Limit>\n</Policy>\n");
        testing::write_file(dir + "/etc/cups-files.conf",
                            "FileDevice Yes\nServerRoot " + dir + "/etc\nRequestRoot " + dir + "/spool\nTempDir " +
                                dir + "/spool/tmp\nStateDir " + dir + "/run\nCacheDir " + dir + "/cache\nErrorLog " +
                                dir + "/log/error_log\nAccessLog " + dir + "/log/access_log\nPageLog " + dir +
                                "/log/page_log\nPrintcap " + dir + "/run/printcap\n");
        testing::write_file(dir + "/etc/printers.conf", "<DefaultPrinter INVOICE>\nInfo Invoice file\nDeviceURI file://" +
                                                            dir + "/out/printed.pdf\nState Idle\nAccepting Yes\n"
                                                            "Shared No\n</DefaultPrinter>\n");
        testing::write_file(dir + "/etc/ppd/INVOICE.ppd", kFilePrinterPpd);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // no daemon outlives a crashed test
            const std::string log = dir + "/log/cupsd.out";
            if (std::freopen(log.c_str(), "w", stdout)) ::dup2(STDOUT_FILENO, STDERR_FILENO);
            const std::string conf = dir + "/etc/cupsd.conf", files = dir + "/etc/cups-files.conf";
            ::execl("/usr/sbin/cupsd", "cupsd", "-f", "-c", conf.c_str(), "-s", files.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 100 && pid_ > 0; ++i) {
            std::this_thread::sleep_for(100ms);
            if (port_open(port_)) {
                ready_ = true;
                break;
            }
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
        }
    }
    ~PrivateCups() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    PrivateCups(const PrivateCups&) = delete;
    PrivateCups& operator=(const PrivateCups&) = delete;

    bool ready() const { return ready_; }
    std::string server() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string logs() const {
        return testing::read_file(dir_ + "/log/cupsd.out") + testing::read_file(dir_ + "/log/error_log");
    }

    // The printed file once the queue has finished the job (up to 60 s).
    std::string printed() const {
        const std::string path = dir_ + "/out/printed.pdf";
        for (int i = 0; i < 600; ++i) {
            if (testing::read_file(dir_ + "/log/page_log").find("INVOICE") != std::string::npos &&
                std::filesystem::exists(path))
                return path;
            std::this_thread::sleep_for(100ms);
        }
        return {};
    }

private:
    std::string dir_;
    int port_ = 0;
    pid_t pid_ = -1;
    bool ready_ = false;
};

TEST_F(J9, PrintedThroughThePrintingSystem) {
    testing::TempDir cups_dir;
    PrivateCups cups(cups_dir.path());
    if (!cups.ready()) GTEST_SKIP() << "no CUPS daemon of the test's own can run here (cups-daemon, cups-filters)";

    // A host process of its own (vorla-cli), so that the printing system it asks is this one.
    const std::string script = *root_ / "cashier-cups";
    testing::write_file(script, "print printer INVOICE\nprint copies 2\nprint ok\n");
    const std::string request = *root_ / "j9-request";
    testing::write_file(request, invoke_text(request_document("ZY20240520009", "0")));
    const std::string command = "env VORLA_SYSTEM_DIR='" + (*root_ / "sys") + "' VORLA_CASHIER='" + script +
                                "' CUPS_SERVER='" + cups.server() + "' '" + VORLA_CLI_PATH + "' --lib '" +
                                VORLA_LIBRARY_PATH + "' --utf8 --file '" + request + "' 2>&1; echo \"exit=$?\"";
    const std::string out = run(command);
    EXPECT_NE(out.find("<ErrCode>0</ErrCode>"), std::string::npos) << out;
    EXPECT_NE(out.find("exit=0"), std::string::npos) << out;

    const std::string printed = cups.printed();
    ASSERT_FALSE(printed.empty()) << "the queue printed nothing\n" << cups.logs();
    const std::string text = pdf_text(printed);
    EXPECT_NE(text.find("李四"), std::string::npos) << text;
    EXPECT_NE(text.find("壹万贰仟叁佰肆拾伍元陆角柒分"), std::string::npos) << text;
    const std::string info = run("pdfinfo '" + printed + "' 2>&1");
    EXPECT_NE(info.find("(A5)"), std::string::npos) << "the template's paper goes with the job\n" << info;
    EXPECT_NE(info.find("Pages:           2"), std::string::npos) << "two copies of the one page\n" << info;
}

}  // namespace
}  // namespace vorla
