// The interceptor store: an E1 with 500 fee details written by the store (one
// connection, one transaction, prepared statement with bound values) versus raw
// SQLite prepared inserts of the same rows in one transaction. And, for the
// record, the whole E1 recording (reading the document, lookup, table check).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench.h"
#include "common/text.h"
#include "interceptor/store.h"
#include "messages/catalogue.h"
#include "messages/serializer.h"

namespace vorla::bench {
namespace {

// A fresh directory holding a store with the registration of the E1 and both tables.
struct BenchStore {
    BenchStore() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorla-bench-XXXXXX").string();
        directory = ::mkdtemp(pattern.data()) ? pattern : std::string();
        path = directory + "/" + std::string(interceptor::kStoreFileName);
        interceptor::Store store(path);
        store.ensure_table(interceptor::kRegistrationTable);
        store.ensure_table(interceptor::kFeeDetailTable);
        TD1InHead registration;
        registration.MZZYBZ = "0";
        store.insert_registration(registration, e1_bean().MSG.HEAD.YBLSH);
    }
    ~BenchStore() {
        std::error_code ec;
        std::filesystem::remove_all(directory, ec);
    }
    void empty_fee_details() const {
        interceptor::Store store(path);
        store.execute("delete from KC2220170405");
    }
    std::string directory, path;
};

void BM_StoreE1Details(benchmark::State& state) {
    BenchStore bench;
    const TE1InBean& bean = e1_bean();
    for (auto _ : state) {
        {
            interceptor::Store store(bench.path);
            store.insert_fee_details(bean);
        }
        state.PauseTiming();
        bench.empty_fee_details();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * bean.MSG.DETAIL.size()));
}

// The same rows as bound values, prepared once, inserted in one transaction.
void BM_RawSqliteE1Details(benchmark::State& state) {
    BenchStore bench;
    const TE1InBean& bean = e1_bean();
    const TE1InHead& h = bean.MSG.HEAD;
    std::vector<std::vector<std::string>> rows;
    for (const TE1InDetail& d : bean.MSG.DETAIL)
        rows.push_back({h.YYLSH, h.YBLSH, d.MXLSH, d.XMBJ, d.YBXMDM, d.BBH, interceptor::date_text_of(d.SFRQ),
                        interceptor::number_text(d.FYDJ), interceptor::number_text(d.FYSL),
                        interceptor::number_text(d.FYJE), d.YBZFXD, d.CYFFBZ, d.YSDM, d.KSDM, d.CFZXTS, d.WCFBZ,
                        d.CGPCH, d.JZFBZ, d.CZYXM, interceptor::date_text_of(d.CZRQ), d.TFBZ, d.OLDMXLSH, d.PRV1,
                        d.PRV2, d.PRV3});
    const char* sql =
        "insert into KC2220170405(YYLSH,YBLSH,MXLSH,XMBJ,YBXMDM,BBH,SFRQ,FYDJ,FYSL,FYJE,YBZFXD,CYFFBZ,YSDM,KSDM,"
        "CFZXTS,WCFBZ,CGPCH,JZFBZ,CZYXM,CZRQ,TFBZ,OLDMXLSH,PRV1,PRV2,PRV3)"
        "Values (?,?,?,?,?,?,datetime(?),?,?,?,?,?,?,?,?,?,?,?,?,datetime(?),?,?,?,?,?)";
    for (auto _ : state) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(bench.path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(db, 5000);
        sqlite3_exec(db, "begin immediate", nullptr, nullptr, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
        for (const auto& row : rows) {
            for (size_t i = 0; i < row.size(); ++i)
                sqlite3_bind_text(st, static_cast<int>(i + 1), row[i].c_str(), static_cast<int>(row[i].size()),
                                  SQLITE_STATIC);
            if (sqlite3_step(st) != SQLITE_DONE) state.SkipWithError(sqlite3_errmsg(db));
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        state.PauseTiming();
        bench.empty_fee_details();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * rows.size()));
}

// For the record: the whole E1 recording as the interceptor runs it (reading the
// request and answer, the registration lookup, the table check, the inserts).
void BM_RecordE1Document(benchmark::State& state) {
    BenchStore bench;
    ::setenv("VORLA_SYSTEM_DIR", bench.directory.c_str(), 1);
    const std::string request = write_bean(e1_bean());
    const std::string answer =
        R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><APP>E1</APP><ErrCode>0</ErrCode></HEAD></DATA>)";
    for (auto _ : state) {
        const auto r = interceptor::record_fee_details(request, answer);
        if (r.result != 1) state.SkipWithError(r.error.c_str());
        state.PauseTiming();
        bench.empty_fee_details();
        state.ResumeTiming();
    }
    ::unsetenv("VORLA_SYSTEM_DIR");
}

BENCHMARK(BM_StoreE1Details)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RawSqliteE1Details)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RecordE1Document)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace vorla::bench
