// The bean serializer on a 500-row E1 document (writing the bean, reading the
// text back into a bean) versus pugixml parsing and printing the same text.
#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <string>

#include "bench.h"
#include "messages/catalogue.h"
#include "messages/serializer.h"
#include "platform/platform.h"

namespace vorla::bench {
namespace {

void BM_SerializerWriteReadE1(benchmark::State& state) {
    const TE1InBean& bean = e1_bean();
    for (auto _ : state) {
        const std::string text = write_bean(bean);
        TE1InBean back;
        read_bean(text, back);
        if (back.MSG.DETAIL.size() != bean.MSG.DETAIL.size()) state.SkipWithError("rows lost on reading");
        benchmark::DoNotOptimize(back.MSG.DETAIL.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * e1_document().size()));
}

struct StringWriter : pugi::xml_writer {
    std::string text;
    void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
};

void BM_PugixmlParsePrintE1(benchmark::State& state) {
    const std::string& document = e1_document();
    for (auto _ : state) {
        pugi::xml_document doc;
        // The GBK bytes go through unconverted, as the serializer reads them.
        if (!doc.load_buffer(document.data(), document.size(), pugi::parse_default, pugi::encoding_utf8))
            state.SkipWithError("pugixml cannot parse the document");
        StringWriter out;
        doc.save(out, "", pugi::format_raw, pugi::encoding_utf8);
        benchmark::DoNotOptimize(out.text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
}

// A document of about 1.4 MB: the envelope, then 200 000 small elements, each
// with its end tag; with or without the root's end tag at the end.
std::string many_end_tags(bool with_root_end) {
    std::string text = R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><APP>D1</APP></HEAD><MSG>)";
    for (int i = 0; i < 200000; ++i) text += "<a>1</a>";
    text += "</MSG>";
    if (with_root_end) text += "</DATA>";
    return text;
}

// Finding that the root's end tag is missing costs one pass over the text, so
// such a document is turned away in a small multiple of reading it whole.
void read_many_end_tags(benchmark::State& state, bool with_root_end) {
    const std::string text = many_end_tags(with_root_end);
    for (auto _ : state) {
        TD1InBean bean;
        read_bean(text, bean);
        if ((bean.HEAD.APP == "D1") != with_root_end) state.SkipWithError("read when it should not be, or not read");
        benchmark::DoNotOptimize(bean.HEAD.APP.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_ReadDocumentWithoutRootEndTag(benchmark::State& state) { read_many_end_tags(state, false); }
void BM_ReadDocumentWithRootEndTag(benchmark::State& state) { read_many_end_tags(state, true); }

// ---- steps, for the breakdown (not compared) -----------------------------------------

void BM_SerializerStepWrite(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(write_bean(e1_bean()));
}

void BM_SerializerStepRead(benchmark::State& state) {
    for (auto _ : state) {
        TE1InBean back;
        read_bean(e1_document(), back);
        benchmark::DoNotOptimize(back.MSG.DETAIL.data());
    }
}

void BM_SerializerStepGbkToUtf8(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(platform::gbk_to_utf8(e1_document()));
}

BENCHMARK(BM_SerializerStepWrite)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SerializerStepRead)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SerializerStepGbkToUtf8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SerializerWriteReadE1)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ReadDocumentWithoutRootEndTag)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ReadDocumentWithRootEndTag)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_PugixmlParsePrintE1)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace vorla::bench
