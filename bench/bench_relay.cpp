// Relay of an I1 document through the library's `invoke` against vorla-sim,
// versus a bare libcurl POST of the same SOAP body to the same endpoint on a
// kept connection. Both
// talk to one simulator, started once for the run; the relay's description is
// fetched by a warm-up call, so every timed call is one HTTP exchange (checked
// against the simulator's record: counter http_per_call).
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench.h"
#include "center/client_info.h"
#include "center/packing.h"
#include "center/soap.h"
#include "entry/config.h"
#include "common/text.h"
#include "platform/http.h"
#include "platform/platform.h"
#include "sim_process.h"
#include "support.h"

namespace vorla::bench {
namespace {

using Invoke = void (*)(const char* const*, char* const*);

struct World {
    testing::TempDir root;
    std::unique_ptr<testing::SimProcess> sim;
    std::unique_ptr<platform::DynamicLibrary> library;
    Invoke invoke = nullptr;
    std::string document;        // the I1 document (GBK)
    std::string request;         // the invoke request (GBK)
    std::vector<char> answer = std::vector<char>(1 << 20);
    std::string endpoint;        // the sbiz endpoint
    std::string envelope;        // the SOAP body the library sent
    std::string error;           // why the world could not be set up

    size_t count(const char* method) const { return sim->records(method).size(); }

    // Default configuration but the center address (journal off, as shipped);
    // with `org_id`, also the e-voucher institution ID "机构ID" (default empty),
    // the one key whose default is blank, so that the library finds no blank key
    // to write back at every call.
    void write_ini(bool org_id) const {
        std::string ini = "[医保交易地址]\r\n医保交易地址=" + sim->center_address() + "\r\n";
        if (org_id) ini += "[医保电子凭证]\r\n机构ID=H0001\r\n";
        testing::write_file(root / "sys/vorla.ini", gbk(ini));
    }

    bool call() {
        const char* req = request.c_str();
        char* out = answer.data();
        invoke(&req, &out);
        return std::string_view(answer.data()).find("<ErrCode>0</ErrCode>") != std::string_view::npos;
    }
};

std::string field(const json::Value& record, const char* name) {
    const json::Value* v = record.member(name);
    return v ? v->as_text() : std::string();
}

std::unique_ptr<World> make_world() {
    auto w = std::make_unique<World>();
    std::filesystem::create_directories(w->root / "sys");
    std::filesystem::create_directories(w->root / "scenario");
    ::setenv("VORLA_SYSTEM_DIR", (w->root / "sys").c_str(), 1);
    w->sim = std::make_unique<testing::SimProcess>(w->root / "scenario", w->root / "record");
    if (w->sim->port() <= 0) {
        w->error = "vorla-sim did not start";
        return w;
    }
    w->write_ini(false);
    w->library = platform::DynamicLibrary::open(VORLA_LIBRARY_PATH, w->error);
    if (!w->library) return w;
    w->invoke = reinterpret_cast<Invoke>(w->library->symbol("invoke"));
    if (!w->invoke) {
        w->error = "no invoke in the library";
        return w;
    }
    const std::string& document = w->document = gbk(
        R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>01.01</VER><APP>I1</APP><WorkDate>20240131</WorkDate>)"
        "<Reserve></Reserve><ErrCode></ErrCode><ErrDetail></ErrDetail></HEAD><MSG><HEAD><YLJGDM>10010001</YLJGDM>"
        "<DKLX>1</DKLX><SBKID>110100D15600000500A1B2C3D4</SBKID><SBKH>A00012345</SBKH><FKRQ>20200101</FKRQ>"
        "<SFZH>110101199001011234</SFZH><RYXM>张三</RYXM><JYRQ>20240131</JYRQ><MZZYBZ>0</MZZYBZ><ZXBXBZ>0</ZXBXBZ>"
        "<ZHCXBZ>1</ZHCXBZ></HEAD></MSG></DATA>");
    w->request = "{functionname:'bizbuss',params:{hid:'10010001',biztype:'I1',ip:'10.1.1.1',indata:'" + document +
                 "'}}";
    // Warm-up: the description is fetched and kept.
    if (!w->call()) {
        w->error = "the warm-up relay failed: " + std::string(w->answer.data());
        return w;
    }
    // The same SOAP body for the bare POST: the arguments as the simulator got them.
    const auto posts = w->sim->records("POST");
    if (posts.empty()) {
        w->error = "the simulator recorded no call";
        return w;
    }
    const json::Value& sent = posts.back();
    const platform::HttpResponse wsdl = platform::http_get(w->sim->center_address(), std::chrono::seconds(10));
    try {
        const center::ServiceDescription service = center::read_service_description(wsdl.body, w->sim->center_address());
        w->endpoint = service.endpoint;
        w->envelope = center::sbiz_envelope(service, {field(sent, "arg0"), field(sent, "arg1"), field(sent, "arg2"),
                                                      field(sent, "arg3"), field(sent, "arg4")});
    } catch (const std::exception& e) {
        w->error = std::string("the description cannot be read: ") + e.what();
    }
    return w;
}

World& world() {
    static std::unique_ptr<World> w = make_world();
    return *w;
}

void relay(benchmark::State& state, bool org_id) {
    World& w = world();
    if (!w.error.empty()) {
        state.SkipWithError(w.error.c_str());
        return;
    }
    w.write_ini(org_id);
    if (!w.call()) {  // the vorla.ini of this benchmark written back; outside the timing
        state.SkipWithError("a relayed call did not succeed");
        return;
    }
    // A workstation's vorla.ini has been left alone for long: let it settle, so
    // that the library may keep its values instead of reading it at every call.
    std::this_thread::sleep_for(kConfigurationSettled + std::chrono::milliseconds(100));
    w.call();
    const size_t gets = w.count("GET"), posts = w.count("POST");
    long long failed = 0;
    for (auto _ : state)
        if (!w.call()) ++failed;
    const double calls = static_cast<double>(state.iterations());
    const double exchanges = static_cast<double>(w.count("GET") - gets + w.count("POST") - posts);
    state.counters["http_per_call"] = calls > 0 ? exchanges / calls : 0;
    state.counters["description_fetches"] = static_cast<double>(w.count("GET") - gets);
    if (failed) state.SkipWithError("a relayed call did not succeed");
}

// The relay as shipped: vorla.ini holds the center address, every other key its default.
void BM_RelayThroughInvoke(benchmark::State& state) { relay(state, false); }
// The same with 机构ID filled in (see World::write_ini).
void BM_RelayThroughInvokeOrgIdSet(benchmark::State& state) { relay(state, true); }

size_t on_body(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

void BM_BareCurlPost(benchmark::State& state) {
    World& w = world();
    if (!w.error.empty()) {
        state.SkipWithError(w.error.c_str());
        return;
    }
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, "Content-Type: text/xml; charset=UTF-8");
    headers = curl_slist_append(headers, "SOAPAction: \"\"");
    headers = curl_slist_append(headers, "Expect:");
    long long failed = 0;
    std::string body;
    // One client kept for every POST, with its connection, as the library keeps
    // its connection to the center.
    CURL* h = curl_easy_init();
    for (auto _ : state) {
        body.clear();
        curl_easy_setopt(h, CURLOPT_URL, w.endpoint.c_str());
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(w.envelope.size()));
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, w.envelope.data());
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, on_body);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
        long status = 0;
        if (curl_easy_perform(h) != CURLE_OK) ++failed;
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
        if (status != 200) ++failed;
        benchmark::DoNotOptimize(body.data());
    }
    curl_easy_cleanup(h);
    curl_slist_free_all(headers);
    if (failed) state.SkipWithError("a bare POST did not succeed");
}

// ---- steps of the relay on this side, for the breakdown (not compared) ----------

void BM_RelayStepConfiguration(benchmark::State& state) {
    if (!world().error.empty()) return state.SkipWithError(world().error.c_str());
    for (auto _ : state) load_configuration();  // the same vorla.ini as the relay reads
}

void BM_RelayStepClientInformation(benchmark::State& state) {
    if (!world().error.empty()) return state.SkipWithError(world().error.c_str());
    for (auto _ : state) benchmark::DoNotOptimize(center::client_information_text(center::gather_client_information()));
}

// The library's HTTP transport alone, posting the same SOAP body as BM_BareCurlPost.
void BM_RelayStepTransport(benchmark::State& state) {
    World& w = world();
    if (!w.error.empty()) return state.SkipWithError(w.error.c_str());
    const platform::HttpHeaders headers = {{"Content-Type", "text/xml; charset=UTF-8"}, {"SOAPAction", "\"\""}};
    long long failed = 0;
    for (auto _ : state) {
        const platform::HttpResponse r = platform::http_post(w.endpoint, headers, w.envelope, std::chrono::seconds(60));
        if (!r.ok || r.status != 200) ++failed;
        benchmark::DoNotOptimize(r.body.data());
    }
    if (failed) state.SkipWithError("a POST did not succeed");
}

void BM_RelayStepPacking(benchmark::State& state) {
    World& w = world();
    if (!w.error.empty()) return state.SkipWithError(w.error.c_str());
    const std::string packed = center::pack(w.document);
    for (auto _ : state) {
        benchmark::DoNotOptimize(center::pack(w.document));
        benchmark::DoNotOptimize(center::unpack(packed));
    }
}

// Medians of the repetitions are compared.
BENCHMARK(BM_RelayThroughInvoke)->Unit(benchmark::kMicrosecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RelayThroughInvokeOrgIdSet)->Unit(benchmark::kMicrosecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_BareCurlPost)->Unit(benchmark::kMicrosecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RelayStepConfiguration)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_RelayStepClientInformation)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_RelayStepTransport)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_RelayStepPacking)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
}  // namespace vorla::bench
