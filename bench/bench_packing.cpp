// Packing of a 500-row E1 document (zlib, Base64 in lines of 76 with CR LF, and
// the tolerant unpacking) versus raw zlib + plain Base64 of the same bytes.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <array>
#include <stdexcept>
#include <string>

#include "bench.h"
#include "center/packing.h"
#include "messages/catalogue.h"
#include "messages/serializer.h"

namespace vorla::bench {
namespace {

// A plain Base64 codec (one line, no checks beyond the alphabet): the baseline.
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string plain_encode(const unsigned char* data, size_t n) {
    std::string out;
    out.reserve((n + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < n; i += 3) {
        const unsigned v = data[i] << 16 | data[i + 1] << 8 | data[i + 2];
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (i < n) {
        const unsigned v = data[i] << 16 | (i + 1 < n ? data[i + 1] << 8 : 0);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < n ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string plain_decode(const std::string& text) {
    static const auto table = [] {
        std::array<int, 256> t{};
        t.fill(-1);
        for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(kAlphabet[i])] = i;
        return t;
    }();
    std::string out;
    out.reserve(text.size() / 4 * 3);
    unsigned v = 0;
    int bits = 0;
    for (char c : text) {
        const int d = table[static_cast<unsigned char>(c)];
        if (d < 0) continue;
        v = v << 6 | d;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((v >> bits) & 0xFF);
        }
    }
    return out;
}

void BM_PackUnpackE1(benchmark::State& state) {
    const std::string& document = e1_document();
    for (auto _ : state) {
        const std::string packed = center::pack(document);
        const std::string unpacked = center::unpack(packed);
        if (unpacked.size() != document.size()) state.SkipWithError("unpack gave other bytes");
        benchmark::DoNotOptimize(unpacked.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
    state.counters["document_bytes"] = static_cast<double>(document.size());
    state.counters["packed_bytes"] = static_cast<double>(center::pack(document).size());
}

void BM_RawZlibBase64E1(benchmark::State& state) {
    const std::string& document = e1_document();
    std::string compressed(compressBound(document.size()), '\0');
    std::string restored(document.size(), '\0');
    for (auto _ : state) {
        uLongf length = compressed.size();
        compress2(reinterpret_cast<Bytef*>(compressed.data()), &length,
                  reinterpret_cast<const Bytef*>(document.data()), document.size(), Z_DEFAULT_COMPRESSION);
        const std::string text = plain_encode(reinterpret_cast<const unsigned char*>(compressed.data()), length);
        const std::string bytes = plain_decode(text);
        uLongf restored_length = restored.size();
        uncompress(reinterpret_cast<Bytef*>(restored.data()), &restored_length,
                   reinterpret_cast<const Bytef*>(bytes.data()), bytes.size());
        if (restored_length != document.size()) state.SkipWithError("uncompress gave other bytes");
        benchmark::DoNotOptimize(restored.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
}

BENCHMARK(BM_PackUnpackE1)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RawZlibBase64E1)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace vorla::bench
