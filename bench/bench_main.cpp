// Runs the benchmarks and prints one table: every measure against its baseline
// from the same run (medians of the repetitions) and its target. Exit status 1
// when a benchmark could not run; a target not met is reported, not failed.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench.h"

namespace {

// Keeps the median times (per iteration) and the counters of every benchmark.
class Capture : public benchmark::ConsoleReporter {
public:
    struct Result {
        double real = 0;  // microseconds
        double cpu = 0;   // microseconds
        std::map<std::string, double> counters;
    };

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (!single && !median) continue;
            const double to_us =
                1e6 / benchmark::GetTimeUnitMultiplier(run.time_unit);  // from the run's unit
            Result& r = results[run.run_name.function_name];
            r.real = run.GetAdjustedRealTime() * to_us;
            r.cpu = run.GetAdjustedCPUTime() * to_us;
            for (const auto& [name, counter] : run.counters) r.counters[name] = counter.value;
            if (run.error_occurred) errors[run.run_name.function_name] = run.error_message;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    const Result* find(const char* name) const {
        const auto it = results.find(name);
        return it == results.end() ? nullptr : &it->second;
    }

    std::map<std::string, Result> results;
    std::map<std::string, std::string> errors;
};

struct Row {
    std::string measure, value, baseline, target;
    bool met = false;
};

std::string format(const char* pattern, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

void ratio(std::vector<Row>& rows, const Capture& c, const char* measure, const char* subject,
           const char* baseline, double target) {
    const auto* s = c.find(subject);
    const auto* b = c.find(baseline);
    if (!s || !b || b->real <= 0) return;
    const double r = s->real / b->real;
    rows.push_back({measure, format("%.1f us", s->real), format("%.1f us", b->real) + format("  = %.3fx", r),
                    format("<= %.2fx", target), r <= target});
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    Capture capture;
    benchmark::RunSpecifiedBenchmarks(&capture);
    benchmark::Shutdown();

    using namespace vorla::bench;
    std::vector<Row> rows;
    ratio(rows, capture, "relay of I1 through invoke / bare POST", kRelay, kBareCurl, 1.10);
    ratio(rows, capture, "  the same, vorla.ini without a blank key", kRelayOrgIdSet, kBareCurl, 1.10);
    for (const char* relay : {kRelay, kRelayOrgIdSet}) {
        const auto* r = capture.find(relay);
        if (!r || !r->counters.count(kHttpPerCall)) continue;
        const double n = r->counters.at(kHttpPerCall);
        rows.push_back({std::string("HTTP exchanges per call, ") + relay, format("%.2f", n), "", "1", n == 1.0});
    }
    if (const auto* j4 = capture.find(kJ4))
        rows.push_back({"J4 through invoke, CPU per call (INI reload included)", format("%.1f us", j4->cpu), "",
                        "<= 50 us", j4->cpu <= 50});
    ratio(rows, capture, "serializer write+read of a 500-row E1 / pugixml parse+print", kSerializerE1, kPugixmlE1,
          2.0);
    ratio(rows, capture, "reading 1.4 MB without </DATA> / the same with it", kReadWithoutRootEnd, kReadWithRootEnd,
          3.0);
    ratio(rows, capture, "pack+unpack of a 500-row E1 / raw zlib+Base64", kPackUnpack, kRawZlibBase64, 1.2);
    ratio(rows, capture, "E1 of 500 details into the store / raw SQLite", kStoreE1, kRawSqliteE1, 1.2);
    if (const auto* m = capture.find(kResidentMemory); m && m->counters.count(kRssGrowthMiB)) {
        const double growth = m->counters.at(kRssGrowthMiB);
        rows.push_back({"resident memory, call 10 000 to call 100 000 (J4)", format("%+.2f MiB", growth), "",
                        "within 1 MiB", std::fabs(growth) <= 1.0});
    }

    std::printf("\n%-62s %-14s %-26s %-12s %s\n", "measure", "value", "baseline", "target", "");
    for (const Row& r : rows)
        std::printf("%-62s %-14s %-26s %-12s %s\n", r.measure.c_str(), r.value.c_str(), r.baseline.c_str(),
                    r.target.c_str(), r.met ? "met" : "NOT met");
    for (const auto& [name, message] : capture.errors) std::printf("%s failed: %s\n", name.c_str(), message.c_str());
    return capture.errors.empty() ? 0 : 1;
}
