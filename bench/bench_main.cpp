// Runs the benchmarks and reports the ratios of the compared pairs (medians of
// the repetitions) against their targets.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "bench.h"

namespace {

// Keeps the median time (real time, per iteration) and the counters of every benchmark.
class Capture : public benchmark::ConsoleReporter {
public:
    struct Result {
        double time = 0;
        std::map<std::string, double> counters;
    };

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (!single && !median) continue;
            Result& r = results[run.run_name.function_name];
            r.time = run.GetAdjustedRealTime();
            for (const auto& [name, counter] : run.counters) r.counters[name] = counter.value;
            if (run.error_occurred) errors[run.run_name.function_name] = run.error_message;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, Result> results;
    std::map<std::string, std::string> errors;
};

void ratio(const Capture& c, const char* what, const char* subject, const char* baseline, double target) {
    const auto s = c.results.find(subject);
    const auto b = c.results.find(baseline);
    if (s == c.results.end() || b == c.results.end() || b->second.time <= 0) return;
    const double r = s->second.time / b->second.time;
    std::printf("%-60s %6.3fx  (target <= %.2fx: %s)\n", what, r, target, r <= target ? "met" : "NOT met");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    Capture capture;
    benchmark::RunSpecifiedBenchmarks(&capture);
    benchmark::Shutdown();

    using namespace vorla::bench;
    std::printf("\n== ratios (medians of the repetitions, real time)\n");
    ratio(capture, "relay of I1 through invoke / bare libcurl POST", kRelay, kBareCurl, kRelayTarget);
    ratio(capture, "  the same, vorla.ini without a blank key", kRelayOrgIdSet, kBareCurl, kRelayTarget);
    ratio(capture, "pack+unpack of a 500-row E1 / raw zlib+Base64", kPackUnpack, kRawZlibBase64, kPackingTarget);
    ratio(capture, "E1 of 500 details into the store / raw SQLite", kStoreE1, kRawSqliteE1, kStoreTarget);

    int status = 0;
    for (const char* relay : {kRelay, kRelayOrgIdSet}) {
        const auto it = capture.results.find(relay);
        if (it == capture.results.end()) continue;
        const auto& counters = it->second.counters;
        const double per_call = counters.count("http_per_call") ? counters.at("http_per_call") : -1;
        std::printf("%-60s %6.2f   (target 1: %s)\n", (std::string("HTTP exchanges per call, ") + relay).c_str(),
                    per_call, per_call == 1.0 ? "met" : "NOT met");
        if (per_call != 1.0) status = 1;
    }
    for (const auto& [name, message] : capture.errors) {
        std::printf("%s failed: %s\n", name.c_str(), message.c_str());
        status = 1;
    }
    return status;
}
