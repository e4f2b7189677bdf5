// A cashier's whole day in one process: 100 000 J4 calls and 10 000 relayed
// calls through the built library, loaded as a host loads it. Resident memory
// must stay flat between the first tenth of the calls and the end, and no file
// descriptor or thread may be left behind once the library is unloaded.
// (In the sanitizer build the allocator keeps freed memory in quarantine, so
// there only the descriptors and threads are compared, over fewer calls.)
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/platform.h"
#include "sim_process.h"
#include "support.h"

#if defined(__SANITIZE_ADDRESS__)
#define VORLA_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORLA_UNDER_SANITIZER 1
#endif
#endif

namespace vorla {
namespace {

#ifdef VORLA_UNDER_SANITIZER
constexpr int kLocalCalls = 10000;
constexpr int kRelayedCalls = 1000;
constexpr bool kCompareMemory = false;
#else
constexpr int kLocalCalls = 100000;
constexpr int kRelayedCalls = 10000;
constexpr bool kCompareMemory = true;
#endif

size_t entries_of(const char* dir) {
    size_t n = 0;
    if (DIR* d = ::opendir(dir)) {
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') ++n;
        ::closedir(d);
    }
    return n;
}

// Resident set size in KiB.
long resident_kib() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

using Invoke = void (*)(const char* const*, char* const*);

std::string j4_request() {
    return "{functionname:'bizbuss',params:{hid:'10010001',biztype:'J4',ip:'10.1.1.1',indata:'"
           "<?xml version=\"1.0\" encoding=\"GBK\"?><DATA><HEAD><VER>1.0</VER><APP>J4</APP><WorkDate>20240131"
           "</WorkDate></HEAD><MSG><HEAD><YLJGDM>10010001</YLJGDM></HEAD></MSG></DATA>'}}";
}

std::string relay_request() {
    return "{functionname:'bizbuss',params:{hid:'10010001',biztype:'C0',ip:'10.1.1.1',indata:'"
           "<?xml version=\"1.0\" encoding=\"GBK\"?><DATA><HEAD><VER>1.0</VER><APP>C0</APP><WorkDate>20240131"
           "</WorkDate></HEAD><MSG><HEAD><YLJGDM>10010001</YLJGDM></HEAD></MSG></DATA>'}}";
}

// Runs `calls` calls of `request`, all of which must answer ErrCode 0; gives the
// resident memory after the first tenth and after the last.
struct Growth {
    long at_tenth_kib = 0, at_end_kib = 0;
    int failed = 0;
    std::string first_failure;
};

Growth run(Invoke invoke, const std::string& request, int calls) {
    Growth g;
    std::vector<char> answer(1 << 16);
    for (int i = 1; i <= calls; ++i) {
        const char* req = request.c_str();
        char* out = answer.data();
        invoke(&req, &out);
        if (std::string_view(answer.data() + 4).find("<ErrCode>0</ErrCode>") == std::string_view::npos) {
            if (g.failed++ == 0) g.first_failure = answer.data() + 4;
        }
        if (i == calls / 10) g.at_tenth_kib = resident_kib();
    }
    g.at_end_kib = resident_kib();
    return g;
}

TEST(Resources, ADayOfCallsKeepsMemoryFlatAndLeavesNothingOpen) {
    testing::TempDir root;
    std::filesystem::create_directories(root / "sys");
    std::filesystem::create_directories(root / "scenario");
    testing::SimProcess sim(root / "scenario", root / "record");
    ASSERT_GT(sim.port(), 0);
    ::setenv("VORLA_SYSTEM_DIR", (root / "sys").c_str(), 1);
    testing::write_file(root / "sys/vorla.ini", gbk("[医保交易地址]\r\n医保交易地址=") + sim.center_address() + "\r\n");

    const size_t fds_before = entries_of("/proc/self/fd");
    const size_t threads_before = entries_of("/proc/self/task");
    {
        std::string error;
        auto library = platform::DynamicLibrary::open(VORLA_LIBRARY_PATH, error);
        ASSERT_NE(library, nullptr) << error;
        const auto invoke = reinterpret_cast<Invoke>(library->symbol("invoke"));
        ASSERT_NE(invoke, nullptr);

        const Growth local = run(invoke, j4_request(), kLocalCalls);
        EXPECT_EQ(local.failed, 0) << local.first_failure;
        const Growth relayed = run(invoke, relay_request(), kRelayedCalls);
        EXPECT_EQ(relayed.failed, 0) << relayed.first_failure;
        std::printf("J4: %d calls, resident %ld KiB after a tenth, %ld KiB at the end\n", kLocalCalls,
                    local.at_tenth_kib, local.at_end_kib);
        std::printf("relayed: %d calls, resident %ld KiB after a tenth, %ld KiB at the end\n", kRelayedCalls,
                    relayed.at_tenth_kib, relayed.at_end_kib);
        if (kCompareMemory) {
            EXPECT_LE(local.at_end_kib - local.at_tenth_kib, 1024) << "J4 calls grow the process";
            EXPECT_LE(relayed.at_end_kib - relayed.at_tenth_kib, 1024) << "relayed calls grow the process";
        }
        EXPECT_EQ(entries_of("/proc/self/task"), threads_before) << "a thread outlives its call";
    }
    EXPECT_EQ(entries_of("/proc/self/fd"), fds_before) << "a descriptor outlives the library";
    EXPECT_EQ(entries_of("/proc/self/task"), threads_before);
    ::unsetenv("VORLA_SYSTEM_DIR");
}

}  // namespace
}  // namespace vorla
