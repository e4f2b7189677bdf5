// Whole calls through the built library's `invoke`: J4 (answered locally, with
// vorla.ini reloaded as every call does) and the resident memory of the process
// over 100 000 such calls.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench.h"
#include "entry/config.h"
#include "platform/platform.h"
#include "support.h"

namespace vorla::bench {
namespace {

using Invoke = void (*)(const char* const*, char* const*);

constexpr const char* kJ4Request =
    "{functionname:'bizbuss',params:{hid:'H0001',biztype:'J4',ip:'10.1.1.1',indata:'"
    "<?xml version=\"1.0\" encoding=\"GBK\"?><DATA><HEAD><VER>1.0</VER><APP>J4</APP><WorkDate>20240131</WorkDate>"
    "<Reserve></Reserve><ErrCode></ErrCode><ErrDetail></ErrDetail></HEAD><MSG><HEAD><YLJGDM>H0001</YLJGDM></HEAD>"
    "</MSG></DATA>'}}";

struct Library {
    testing::TempDir root;
    std::unique_ptr<platform::DynamicLibrary> library;
    Invoke invoke = nullptr;
    std::vector<char> answer = std::vector<char>(1 << 16);
    std::string error;

    Library() {
        ::setenv("VORLA_SYSTEM_DIR", root.path().c_str(), 1);
        library = platform::DynamicLibrary::open(VORLA_LIBRARY_PATH, error);
        if (library) invoke = reinterpret_cast<Invoke>(library->symbol("invoke"));
        if (!invoke && error.empty()) error = "no invoke in the library";
        if (!invoke) return;
        // The first call writes vorla.ini; a workstation's has been left alone long since.
        if (!j4()) error = "J4 failed: " + std::string(answer.data());
        std::this_thread::sleep_for(kConfigurationSettled + std::chrono::milliseconds(100));
    }

    bool j4() {
        const char* request = kJ4Request;
        char* out = answer.data();
        invoke(&request, &out);
        return std::string_view(answer.data()).find("<ErrCode>0</ErrCode>") != std::string_view::npos;
    }
};

Library& library() {
    static Library l;
    return l;
}

// Resident set size of this process, in bytes.
double resident_bytes() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE));
}

void BM_J4ThroughInvoke(benchmark::State& state) {
    Library& l = library();
    if (!l.error.empty()) return state.SkipWithError(l.error.c_str());
    long long failed = 0;
    for (auto _ : state)
        if (!l.j4()) ++failed;
    if (failed) state.SkipWithError("a J4 call failed");
}

void BM_ResidentMemoryOver100000Calls(benchmark::State& state) {
    Library& l = library();
    if (!l.error.empty()) return state.SkipWithError(l.error.c_str());
    for (auto _ : state) {
        double at_10000 = 0;
        for (int call = 1; call <= 100000; ++call) {
            if (!l.j4()) return state.SkipWithError("a J4 call failed");
            if (call == 10000) at_10000 = resident_bytes();
        }
        state.counters["rss_at_10000_mib"] = at_10000 / (1 << 20);
        state.counters["rss_at_100000_mib"] = resident_bytes() / (1 << 20);
        state.counters[kRssGrowthMiB] = (resident_bytes() - at_10000) / (1 << 20);
    }
}

BENCHMARK(BM_J4ThroughInvoke)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ResidentMemoryOver100000Calls)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace vorla::bench
