// vorla-cli and vorla-sim refuse wrong use; vorla-cli check reports on a
// workstation without changing it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "integration/sim_process.h"
#include "platform/platform.h"
#include "support.h"
#include "vorla/version.h"

namespace {

using vorla::testing::TempDir;
namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string output;  // stdout and stderr
};

ToolRun run_tool(const std::string& command) {
    ToolRun r;
    if (FILE* p = ::popen((command + " 2>&1").c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.output.append(buf, n);
        const int st = ::pclose(p);
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    return r;
}

const std::string kCli = VORLA_CLI_PATH;
const std::string kSim = VORLA_SIM_PATH;
// 39 bytes of rejection text: invoke needs 40 bytes of buffer for it.
const std::string kRejected = "\"{functionname:'other',params:{}}\"";

struct ToolCase {
    const char* name;
    std::string command;
    int status;
    std::vector<std::string> output_has;
};

void PrintTo(const ToolCase& c, std::ostream* os) { *os << c.command; }

class ToolOptions : public ::testing::TestWithParam<ToolCase> {};

TEST_P(ToolOptions, ExitCodeAndText) {
    const ToolCase& c = GetParam();
    const ToolRun r = run_tool(c.command);
    EXPECT_EQ(r.status, c.status) << r.output;
    for (const std::string& text : c.output_has) EXPECT_NE(r.output.find(text), std::string::npos) << text << "\n" << r.output;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ToolOptions,
    ::testing::Values(
        ToolCase{"CliUnknownOption", kCli + " --bogus " + kRejected, 2, {"unknown option --bogus"}},
        ToolCase{"CliBufferNotANumber", kCli + " --buffer abc " + kRejected, 2, {"--buffer abc: not a size"}},
        ToolCase{"CliBufferBelowFour", kCli + " --buffer 3 " + kRejected, 2, {"--buffer 3: not a size"}},
        ToolCase{"CliBufferNegative", kCli + " --buffer -5 " + kRejected, 2, {"--buffer -5: not a size"}},
        ToolCase{"CliBufferHuge", kCli + " --buffer 99999999999999999999 " + kRejected, 2, {"not a size"}},
        ToolCase{"CliBufferSuffix", kCli + " --buffer 10k " + kRejected, 2, {"--buffer 10k"}},
        ToolCase{"CliBufferNoValue", kCli + " --buffer", 2, {"--buffer needs a value"}},
        ToolCase{"CliBufferTooSmallForAnswer", kCli + " --buffer 39 " + kRejected, 3, {"took 40 bytes", "--buffer 39"}},
        ToolCase{"CliBufferJustEnough", kCli + " --buffer 40 " + kRejected, 1, {"returnCode:0"}},
        ToolCase{"CliBufferNodeVariant", kCli + " --export node_invoke --buffer 51 " + kRejected, 3, {"took 52 bytes"}},
        ToolCase{"CliUnknownExport", kCli + " --export invok " + kRejected, 2, {"--export invok: not an export"}},
        ToolCase{"CliTwoRequests", kCli + " " + kRejected + " " + kRejected, 2, {"one request only"}},
        ToolCase{"CliNoRequest", kCli, 2, {"no request given"}},
        ToolCase{"CliRequestAndFile", kCli + " --file /dev/null " + kRejected, 2, {"not both"}},
        ToolCase{"CliVersion", kCli + " --version", 0, {std::string("vorla-cli ") + VORLA_VERSION, "2.2020.12.6", "not the release version"}},
        ToolCase{"CliHelpListsEveryOption", kCli + " --help", 0,
                 {"--lib", "--export", "--utf8", "--buffer", "--file", "--version", "--help", "check", "Exit codes"}},
        ToolCase{"CheckUnknownOption", kCli + " check --verbose", 2, {"unknown option --verbose"}},
        ToolCase{"CheckBadTimeout", kCli + " check --timeout 0", 2, {"--timeout 0: not a time"}},
        ToolCase{"CheckHelp", kCli + " check --help", 0, {"--lib", "--timeout", "does not change vorla.ini"}},
        ToolCase{"SimPortTooLarge", kSim + " --port 70000", 2, {"--port 70000: not a port number"}},
        ToolCase{"SimPortNotANumber", kSim + " --port http", 2, {"--port http: not a port number"}},
        ToolCase{"SimPortNegative", kSim + " --port -1", 2, {"--port -1: not a port number"}},
        ToolCase{"SimUnknownOption", kSim + " --verbose", 2, {"unknown option --verbose"}},
        ToolCase{"SimHelpListsEveryOption", kSim + " --help", 0, {"--port", "--scenario", "--record", "--help"}},
        ToolCase{"SimMissingScenarioFolder", "timeout -s TERM 1 " + kSim + " --port 0 --scenario /nonexistent/scenes", 124,
                 {"warning: the scenario folder /nonexistent/scenes does not exist", "listening on"}}),
    [](const ::testing::TestParamInfo<ToolCase>& info) { return std::string(info.param.name); });

// ---- vorla-cli check ----------------------------------------------------------

std::string gbk(const std::string& utf8) { return vorla::platform::utf8_to_gbk(utf8); }

// A complete vorla.ini (every key, GBK) pointing at `center`.
std::string complete_ini(const std::string& center, const std::string& journal) {
    return gbk("[读卡调试模式]\r\n读卡调试模式(true调试,false不调试)=false\r\n"
               "[医保交易地址]\r\n医保交易地址=" + center + "\r\n"
               "[鉴权系统地址]\r\n鉴权系统地址=http://127.0.0.1:1/galdo_mis_outland/outland/biz\r\n"
               "[医保监控]\r\n医保监控地址=http://127.0.0.1:1/his/realcheck/audit\r\n是否启用医保监控=false\r\n"
               "[医保交易日志]\r\n医保交易保存路径=" + journal + "\r\n"
               "医保交易保存模式(0 路径\\\\医院代码\\\\日期\\\\发起IP\\\\交易时间.txt , 1 路径\\\\医院代码\\\\日期\\\\发起IP\\\\日期.txt , 2 路径\\\\医院代码\\\\日期.TXT )=0\r\n"
               "[医疗机构信息]\r\n医疗机构密钥=10010001|3\r\n"
               "[医保电子凭证]\r\n请求地址=http://127.0.0.1:1/localcfc/api/hsecfc/localQrCodeQuery\r\n机构ID=H1\r\n"
               "用码类型=01101\r\n科室ID=01\r\n科室名称=结算处\r\n操作员ID=0001\r\n操作员姓名=收费员\r\n");
}

// A workstation: the library copied into a directory, with the components of `drivers` beside it.
std::string install_library(const TempDir& dir, const std::string& drivers) {
    fs::copy_file(VORLA_LIBRARY_PATH, dir / "libvorla.so");
    if (!drivers.empty())
        for (const auto& e : fs::directory_iterator(drivers)) fs::copy_file(e.path(), dir / e.path().filename().string());
    return dir / "libvorla.so";
}

std::string check(const std::string& system, const std::string& lib, int& status) {
    const ToolRun r = run_tool("VORLA_SYSTEM_DIR='" + system + "' " + kCli + " check --timeout 3000 --lib '" + lib + "'");
    status = r.status;
    return r.output;
}

TEST(WorkstationCheck, ReadyWorkstationAgainstTheSimulator) {
    TempDir sim_dir, system, host;
    vorla::testing::SimProcess sim(sim_dir / "none", sim_dir.path());
    ASSERT_GT(sim.port(), 0);
    const std::string ini = complete_ini(sim.center_address(), system / "日志\\根");
    vorla::testing::write_file(system / "vorla.ini", ini);
    for (const char* t : {"kwmzfp.rmf", "kwzyfp.rmf"})
        fs::copy_file(std::string(VORLA_TEMPLATE_DIR) + "/" + t, system / t);
    const std::string lib = install_library(host, VORLA_DRIVERS_DIR);

    int status = -1;
    const std::string out = check(system.path(), lib, status);
    EXPECT_EQ(status, 0) << out;
    for (const std::string& text :
         {std::string("encoding GBK"), std::string("answered with the service description"),
          std::string("医保交易日志 / 医保交易保存路径 = \"") + system.path() + "/日志\\根\"",
          std::string("医疗机构信息 / 医疗机构密钥 = \"10010001|3\""),
          "libSSCardDriver.so (social security card driver) found beside the library: " + host.path(),
          std::string("libdcrf32.so (identity card reader) found beside the library"),
          std::string("font \"Noto Sans CJK SC\" installed"), std::string("0 problem(s)")})
        EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
    EXPECT_EQ(out.find("PROBLEM"), std::string::npos) << out;
    // Read only: the file keeps its bytes, and the simulator got no business transaction.
    EXPECT_EQ(vorla::testing::read_file(system / "vorla.ini"), ini);
    EXPECT_TRUE(sim.records("POST").empty());
}

TEST(WorkstationCheck, BrokenWorkstation) {
    TempDir system, host, hollow_host;
    // Written in UTF-8 by an editor, with a misspelt key; the center's port is closed.
    const std::string ini = "[医保交易地址]\r\n医保交易地址=http://127.0.0.1:1/RemoteFacedeBean/RemoteFacedeBeanService?WSDL\r\n"
                            "[医保监控]\r\n是否启用医保监控=true\r\n医保监控地扯=x\r\n";
    vorla::testing::write_file(system / "vorla.ini", ini);
    const std::string lib = install_library(host, "");

    int status = -1;
    std::string out = check(system.path(), lib, status);
    EXPECT_EQ(status, 1) << out;
    for (const std::string& text :
         {std::string("written in UTF-8: the library reads it as UTF-8 on Linux"),
          std::string("center service description: http://127.0.0.1:1/"),
          std::string("does not answer"),
          std::string("monitoring service (monitoring is on): http://127.0.0.1:7001/his/realcheck/audit"),
          std::string("key \"医保监控地扯\" in section [医保监控] is not a setting of the library"),
          std::string("libSSCardDriver.so (social security card driver) not found"),
          std::string("libSSCardDriver.so不存在"), std::string("kwmzfp.rmf is missing"),
          std::string("is not a setting of the library")})
        EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
    EXPECT_EQ(vorla::testing::read_file(system / "vorla.ini"), ini);

    // Components that load without their functions.
    const std::string hollow = install_library(hollow_host, VORLA_HOLLOW_DRIVERS_DIR);
    out = check(system.path(), hollow, status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("libSSCardDriver.so (social security card driver) found beside the library: " +
                       hollow_host.path() + "/libSSCardDriver.so but lacks the functions"),
              std::string::npos)
        << out;
}

TEST(WorkstationCheck, ReadOnlyFileWithMissingKeys) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes through any permission";
    TempDir system, host;
    const std::string ini = gbk("[医保交易地址]\r\n医保交易地址=http://127.0.0.1:1/x?WSDL\r\n");
    vorla::testing::write_file(system / "vorla.ini", ini);
    fs::permissions(system / "vorla.ini", fs::perms::owner_read);
    int status = -1;
    const std::string out = check(system.path(), install_library(host, ""), status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("not writable by this user and 14 keys are missing"), std::string::npos) << out;
}

}  // namespace
