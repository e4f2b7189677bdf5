// libFuzzer target for the whole invoke entry: lenient JSON request, dispatcher,
// every handler's reading of its document, with the world around it absent.
//
// Before the first input the target makes a system directory of its own (a
// fresh directory under $TMPDIR as VORLA_SYSTEM_DIR and VORLA_HOST_DIR) whose
// vorla.ini points every service address at http://127.0.0.1:9 (nothing
// listens there), turns the journal off, and removes what could make a call
// wait: DISPLAY (dialogs fail at once), VORLA_CASHIER (no scripted cashier).
// No card driver lies beside the target, so card reads fail with their text.
// Addresses taken from a document (an upload's POSTURL) could name any host:
// every proxy variable names 127.0.0.1:9 as well, so each HTTP exchange is
// refused at once and no name is ever looked up. A relayed call is timed at
// start-up; the target stops when it is not answered promptly.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

#include <unistd.h>

#include "common/text.h"
#include "entry/invoke.h"
#include "platform/platform.h"

namespace {

constexpr const char* kNowhere = "http://127.0.0.1:9";

std::string& system_dir() {
    static std::string dir;
    return dir;
}

// The directory goes when the run ends normally (after a crash it stays, with
// what the failing call left there).
void remove_system_directory() {
    std::error_code ignored;
    std::filesystem::remove_all(system_dir(), ignored);
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_invoke: %s\n", what);
        __builtin_trap();
    }
}

void make_system_directory() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vorla-fuzz-invoke.XXXXXX";
    check(::mkdtemp(pattern.data()) != nullptr, "cannot create the system directory");
    const std::string dir = pattern;
    system_dir() = dir;
    std::atexit(remove_system_directory);
    ::setenv("VORLA_SYSTEM_DIR", dir.c_str(), 1);
    ::setenv("VORLA_HOST_DIR", dir.c_str(), 1);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("VORLA_CASHIER");
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        ::setenv(name, kNowhere, 1);
    ::unsetenv("no_proxy");
    ::unsetenv("NO_PROXY");

    using vorla::gbk;
    const std::string nowhere = std::string(kNowhere) + "/x?WSDL";
    vorla::platform::Profile ini(dir + "/vorla.ini");
    const struct {
        const char* section;
        const char* key;
        std::string value;
    } settings[] = {
        {"读卡调试模式", "读卡调试模式(true调试,false不调试)", "false"},
        {"医保交易地址", "医保交易地址", nowhere},
        {"鉴权系统地址", "鉴权系统地址", nowhere},
        {"医保监控", "医保监控地址", nowhere},
        {"医保监控", "是否启用医保监控", "true"},
        {"医保交易日志", "医保交易保存路径", dir + "/journal"},
        {"医保电子凭证", "请求地址", nowhere},
    };
    for (const auto& s : settings) ini.write(gbk(s.section), gbk(s.key), s.value);
}

// A relayed call must be refused at once: otherwise the set-up above does not
// hold on this machine and the run would measure time-outs, not the library.
void check_refused_promptly() {
    const std::string request = vorla::gbk(
        "{functionname:'bizbuss',params:{hid:'10010001',biztype:'I1',ip:'127.0.0.1',"
        "indata:'<?xml version=\"1.0\" encoding=\"GBK\"?><DATA></DATA>'}}");
    const auto start = std::chrono::steady_clock::now();
    const std::string answer = vorla::run_invoke(request);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    check(!answer.empty(), "no answer to the start-up call");
    check(elapsed < std::chrono::seconds(3), "the start-up call was not refused promptly");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    make_system_directory();
    vorla::library_loaded();
    check_refused_promptly();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view request(reinterpret_cast<const char*>(data), size);
    // Any answer will do (J11 with another sub-function answers nothing): the
    // faults looked for are crashes, sanitizer reports, leaks and hangs.
    (void)vorla::run_invoke(request);
    return 0;
}
