// A card-reading workstation for the integration tests: a copy of libvorla.so
// in a directory of its own, with or without the simulated drivers beside it,
// loaded as a host loads it; and the per-test surroundings (system directory
// with vorla.ini, current directory, cashier script, driver scenario, vorla-sim).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "entry/invoke_request.h"
#include "platform/platform.h"
#include "sim_process.h"
#include "support.h"

namespace vorla::testing {

// The simulated drivers as a workstation has them installed.
inline const char* const kDriverFiles[] = {"libSSCardDriver.so", "libdcrf32.so", "libNationECCode.so",
                                           "libDC_Reader.so"};

class Workstation {
public:
    // <build>/tests/workstations/<name>: a copy of the built library (refreshed
    // when the build is newer; a copy, so that each workstation is a library of
    // its own in the process) and, when `with_drivers`, links to the drivers.
    Workstation(const std::string& name, bool with_drivers, const std::string& drivers_dir = VORLA_DRIVERS_DIR) {
        namespace fs = std::filesystem;
        const fs::path dir = fs::path(VORLA_WORKSTATION_DIR) / name;
        fs::create_directories(dir);
        const fs::path source = VORLA_LIBRARY_PATH;
        const fs::path target = dir / "libvorla.so";
        std::error_code ec;
        if (!fs::exists(target) || fs::last_write_time(target) < fs::last_write_time(source)) {
            const fs::path part = dir / ("libvorla.so." + std::to_string(::getpid()));
            fs::copy_file(source, part, fs::copy_options::overwrite_existing);
            fs::rename(part, target);  // atomic for test processes running side by side
        }
        for (const char* driver : kDriverFiles) {
            const fs::path link = dir / driver;
            if (with_drivers && !fs::exists(link, ec)) fs::create_symlink(fs::path(drivers_dir) / driver, link, ec);
            if (!with_drivers) fs::remove(link, ec);
        }
        path_ = target.string();
        std::string error;
        library_ = platform::DynamicLibrary::open(path_, error);
        if (!library_) {
            ADD_FAILURE() << error;
            return;
        }
        invoke_ = reinterpret_cast<void (*)(const char* const*, char* const*)>(library_->symbol("invoke"));
    }

    // The answer of `invoke` to a bizbuss request (GBK texts).
    std::string call(const std::string& biztype, const std::string& indata,
                     const std::string& hid = "12345678|abc") const {
        if (!invoke_) return {};
        const std::string request = InvokeRequest::make_text(hid, biztype, "10.1.1.1", indata);
        std::vector<char> buf(1 << 20, '#');
        const char* req = request.c_str();
        char* out = buf.data();
        invoke_(&req, &out);
        return std::string(buf.data());
    }

    // The same answer from a host process of its own (vorla-cli), which has
    // loaded nothing before: components loaded by other workstations of this
    // process cannot stand in for missing ones there.
    std::string call_in_new_host(const std::string& biztype, const std::string& indata) const {
        TempDir dir;
        const std::string request = dir / "request";
        write_file(request, InvokeRequest::make_text("12345678|abc", biztype, "10.1.1.1", indata));
        const std::string command =
            std::string(VORLA_CLI_PATH) + " --lib '" + path_ + "' --file '" + request + "' 2>/dev/null";
        std::string out;
        if (FILE* p = ::popen(command.c_str(), "r")) {
            char buf[4096];
            for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
            ::pclose(p);
        }
        if (!out.empty() && out.back() == '\n') out.pop_back();
        return out;
    }

private:
    std::string path_;
    std::unique_ptr<platform::DynamicLibrary> library_;
    void (*invoke_)(const char* const*, char* const*) = nullptr;
};

// The workstations the card tests share: all four drivers, and none.
inline Workstation& full_workstation() {
    static Workstation w("full", true);
    return w;
}
inline Workstation& bare_workstation() {
    static Workstation w("bare", false);
    return w;
}
// Every component present, none offering its functions.
inline Workstation& hollow_workstation() {
    static Workstation w("hollow", true, VORLA_HOLLOW_DRIVERS_DIR);
    return w;
}

// One test's surroundings. The current directory (list.file) and the
// environment are restored at the end.
class CardDesk {
public:
    CardDesk() : sim_(root_ / "scenario", root_ / "record") {
        std::filesystem::create_directories(root_ / "sys");
        std::filesystem::create_directories(root_ / "scenario");
        std::filesystem::create_directories(root_ / "cwd");
        old_cwd_ = std::filesystem::current_path();
        std::filesystem::current_path(root_ / "cwd");
        ::setenv("VORLA_SYSTEM_DIR", (root_ / "sys").c_str(), 1);
        ::setenv("VORLA_DRIVER_SCENARIO", scenario_path().c_str(), 1);
        ::unsetenv("VORLA_CASHIER");
        write_ini();
    }
    ~CardDesk() {
        std::error_code ec;
        std::filesystem::current_path(old_cwd_, ec);
        ::unsetenv("VORLA_SYSTEM_DIR");
        ::unsetenv("VORLA_DRIVER_SCENARIO");
        ::unsetenv("VORLA_CASHIER");
    }
    CardDesk(const CardDesk&) = delete;
    CardDesk& operator=(const CardDesk&) = delete;

    // vorla.ini: the center and the authentication service at vorla-sim, the
    // e-voucher address, the card-read trace on.
    void write_ini() {
        const std::string base = sim_.base_url();
        const std::string text = "[读卡调试模式]\r\n读卡调试模式(true调试,false不调试)=true\r\n[医保交易地址]\r\n医保交易地址=" +
                                 sim_.center_address() + "\r\n[鉴权系统地址]\r\n鉴权系统地址=" + base +
                                 "/galdo_mis_outland/outland/biz\r\n[医保电子凭证]\r\n请求地址=" + base +
                                 "/localcfc/api/hsecfc/localQrCodeQuery\r\n";
        write_file(root_ / "sys/vorla.ini", gbk(text));
    }

    // The cashier's steps for this test (UTF-8), in a script file of their own.
    void cashier(const std::string& steps) {
        script_ = root_ / ("cashier-" + std::to_string(++scripts_));
        write_file(script_, steps);
        ::setenv("VORLA_CASHIER", script_.c_str(), 1);
    }
    // The driver scenario (UTF-8 key = value lines).
    void drivers(const std::string& lines) { write_file(scenario_path(), lines); }
    // The driver calls so far, one "function<TAB>arguments" line each.
    std::vector<std::string> driver_calls() const {
        std::vector<std::string> out;
        std::ifstream in(scenario_path() + ".calls");
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }
    bool driver_called(const std::string& function) const {
        for (const auto& c : driver_calls())
            if (c.rfind(function + "\t", 0) == 0) return true;
        return false;
    }
    // What the scripted cashier was shown in message boxes (UTF-8 lines).
    std::string messages() const { return read_file(script_ + ".messages"); }
    std::string system_file(const std::string& name) const { return read_file(root_ / ("sys/" + name)); }
    std::string cwd_file(const std::string& name) const { return read_file(root_ / ("cwd/" + name)); }
    void sim_scenario(const std::string& name, const std::string& bytes) { write_file(root_ / ("scenario/" + name), bytes); }
    SimProcess& sim() { return sim_; }
    // The recorded requests to `path`.
    std::vector<json::Value> sim_requests(const std::string& path) const {
        std::vector<json::Value> out;
        for (auto& r : sim_.records())
            if (r.member("path") && r.member("path")->as_text() == path) out.push_back(r);
        return out;
    }
    std::string scenario_path() const { return root_ / "drivers.scenario"; }

private:
    TempDir root_;
    SimProcess sim_;
    std::filesystem::path old_cwd_;
    std::string script_;
    static inline int scripts_ = 0;
};

// Today's local date, yyyymmdd.
inline std::string today() { return format_yyyymmdd(platform::local_now()); }

inline std::string member_text(const json::Value& v, const char* name) {
    const json::Value* m = v.member(name);
    return m ? m->as_text() : std::string("<absent>");
}

}  // namespace vorla::testing
