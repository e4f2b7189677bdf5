// The interceptor store: schema, D1 and E1 recording rules, value formats,
// lookups, all-or-nothing fee details, and two processes recording at once.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "common/text.h"
#include "interceptor/store.h"
#include "messages/serializer.h"
#include "platform/platform.h"
#include "support.h"

namespace vorla {
namespace {

using interceptor::record_fee_details;
using interceptor::record_registration;
using interceptor::Store;
using Rows = std::vector<std::vector<std::string>>;

// The store's statements as the workstation's database must hold them, copied
// here on their own so that a changed constant in the library shows.
const std::string kRegistrationDdl =
    "create table KC2120170405([YBLSH] VARCHAR(20) PRIMARY KEY,ADD_DATE DATE  default (datetime( 'now','localtime' )),"
    "[YYLSH] VARCHAR(20),SHBZH VARCHAR(20),SBKH VARCHAR2(20), SFZH VARCHAR(20),RYXM VARCHAR(25),MZZYBZ VARCHAR(1),"
    "PRV1 VARCHAR(2000),PRV2 VARCHAR(2000),PRV3 VARCHAR(2000),XZDM VARCHAR(3), YLLB VARCHAR(3) , RYRQ DATE, "
    "RYZDBM VARCHAR(200), RYZDMC VARCHAR(200),KSDM VARCHAR(20) , YSDM VARCHAR(20),CWHM VARCHAR(20), BZBM "
    "VARCHAR(50), XBS VARCHAR(1000), LXZYBZ VARCHAR(3),ZYHM VARCHAR(50), CZYXM VARCHAR(50), CZRQ DATE)";
const std::string kRegistrationIndexDdl = "CREATE INDEX IDX_KC2120170405 ON [KC2120170405]([ADD_DATE]);";
const std::string kFeeDetailDdl =
    "create table KC2220170405([YBLSH] VARCHAR(20),YYLSH VARCHAR(20),MXLSH  VARCHAR(20) , XMBJ  VARCHAR(3) , "
    "YBXMDM VARCHAR(20) , BBH   VARCHAR(10) , SFRQ  DATE , FYDJ  NUMBER , FYSL  NUMBER , FYJE  NUMBER ,  YBZFXD "
    "VARCHAR(50), CYFFBZ VARCHAR(3), YSDM  VARCHAR(20) , KSDM  VARCHAR(20) , CFZXTS VARCHAR(4), WCFBZ VARCHAR(3), "
    "CGPCH VARCHAR(50), JZFBZ VARCHAR(3), CZYXM VARCHAR(50), CZRQ  DATE, TFBZ  VARCHAR(1), OLDMXLSH VARCHAR(20), "
    "PRV1  VARCHAR(2000), PRV2  VARCHAR(2000), PRV3  VARCHAR(2000) )";
const std::string kFeeDetailIndexDdl = "CREATE INDEX IDX_KC2220170405 ON [KC2220170405]([YBLSH]);";

// What sqlite_master keeps of a statement: SQLite writes the two leading
// keywords in capitals and drops the closing semicolon; the rest is the text
// as it was run.
std::string as_kept(std::string ddl) {
    for (size_t i = 0; i < ddl.size() && ddl[i] != '('; ++i)
        if (i < 12) ddl[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(ddl[i])));
    if (!ddl.empty() && ddl.back() == ';') ddl.pop_back();
    return ddl;
}

// Runs a query on the database file with SQLite itself; every value as text,
// NULL as "<null>".
Rows query(const std::string& path, const std::string& sql) {
    Rows rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        ADD_FAILURE() << "cannot open " << path;
        return rows;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db) << " in " << sql;
    } else {
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const auto* t = sqlite3_column_text(st, i);
                row.push_back(t ? std::string(reinterpret_cast<const char*>(t), sqlite3_column_bytes(st, i))
                                : "<null>");
            }
            rows.push_back(std::move(row));
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

std::string head_answer(const std::string& biztype, const std::string& errcode, const std::string& msg = "") {
    return R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>)" + biztype +
           "</APP><WorkDate>20240131</WorkDate><ErrCode>" + errcode + "</ErrCode><ErrDetail>" +
           gbk("交易成功") + "</ErrDetail></HEAD>" + (msg.empty() ? "" : "<MSG><HEAD>" + msg + "</HEAD></MSG>") +
           "</DATA>";
}

std::string d1_answer(const std::string& yblsh, const std::string& errcode = "0") {
    return head_answer("D1", errcode, "<YBLSH>" + yblsh + "</YBLSH>");
}

std::string e1_answer(const std::string& errcode = "0") { return head_answer("E1", errcode, "<YBLSH>x</YBLSH>"); }

TD1InBean d1_request() {
    TD1InBean b;
    b.HEAD.VER = "1.0";
    b.HEAD.APP = "D1";
    TD1InHead& h = b.MSG.HEAD;
    h.YLJGDM = "H0001";
    h.YYLSH = "ZY0001";
    h.SHBZH = "S001";
    h.SBKH = "A0000001";
    h.SFZH = "000000198503120011";
    h.RYXM = gbk("张三");
    h.CSRQ = encode_date(1985, 3, 12);
    h.MZZYBZ = "0";
    h.PRV1 = "p1";
    h.PRV2 = "p2";
    h.PRV3 = "p3";
    h.XZDM = "310";
    h.YLLB = "21";
    h.RYRQ = encode_date_time(2024, 1, 31, 15, 20, 0);
    h.RYZDBM = "I10";
    h.RYZDMC = gbk("高血压");
    h.KSDM = 12;
    h.YSDM = "D001";
    h.CWHM = "B12";
    h.BZBM = "M01,M02";
    h.XBS = "xbs";
    h.LXZYBZ = "0";
    h.ZYHM = "Z9";
    h.CZYXM = gbk("李四");
    h.CZRQ = encode_date_time(2024, 2, 1, 8, 0, 0);
    return b;
}

TE1InDetail fee(const std::string& mxlsh, const std::string& code, double price, double quantity, double amount) {
    TE1InDetail d;
    d.MXLSH = mxlsh;
    d.XMBJ = "1";
    d.YBXMDM = code;
    d.BBH = "v1";
    d.SFRQ = encode_date_time(2024, 2, 2, 10, 11, 12);
    d.FYDJ = price;
    d.FYSL = quantity;
    d.FYJE = amount;
    d.YBZFXD = "xd";
    d.CYFFBZ = "0";
    d.YSDM = "D001";
    d.KSDM = "K12";
    d.CFZXTS = "3";
    d.WCFBZ = "0";
    d.CGPCH = "pc";
    d.JZFBZ = "0";
    d.CZYXM = gbk("王五");
    d.CZRQ = encode_date(2024, 2, 3);
    d.TFBZ = "0";
    d.OLDMXLSH = "old";
    d.PRV1 = "q1";
    d.PRV2 = "q2";
    d.PRV3 = "q3";
    return d;
}

TE1InBean e1_request(const std::string& yblsh, std::vector<TE1InDetail> rows) {
    TE1InBean b;
    b.HEAD.VER = "1.0";
    b.HEAD.APP = "E1";
    b.MSG.HEAD.YLJGDM = "H0001";
    b.MSG.HEAD.YYLSH = "ZY0001";
    b.MSG.HEAD.YBLSH = yblsh;
    b.MSG.DETAIL = std::move(rows);
    return b;
}

std::string now_text() {
    const platform::LocalTime t = platform::local_now();
    return pad(t.year, 4) + "-" + pad(t.month, 2) + "-" + pad(t.day, 2) + " " + pad(t.hour, 2) + ":" +
           pad(t.minute, 2) + ":" + pad(t.second, 2);
}

class InterceptorStore : public ::testing::Test {
protected:
    testing::SystemDir dir;
    std::string db() const { return dir / "ybjkInterceptor.db"; }

    void register_d1(const TD1InBean& request, const std::string& yblsh) {
        const auto r = record_registration(write_bean(request), d1_answer(yblsh));
        ASSERT_EQ(r.result, 1) << r.error;
    }
    long long count(const std::string& table, const std::string& where = "1=1") {
        const Rows rows = query(db(), "select count(*) from " + table + " where " + where);
        return rows.empty() ? -1 : std::atoll(rows[0][0].c_str());
    }
};

TEST_F(InterceptorStore, StatementTextsAreTheSystemsOwn) {
    EXPECT_EQ(interceptor::kCreateRegistrationTable, kRegistrationDdl);
    EXPECT_EQ(interceptor::kCreateRegistrationIndex, kRegistrationIndexDdl);
    EXPECT_EQ(interceptor::kCreateFeeDetailTable, kFeeDetailDdl);
    EXPECT_EQ(interceptor::kCreateFeeDetailIndex, kFeeDetailIndexDdl);
    EXPECT_EQ(interceptor::store_path(), dir.path() + "/ybjkInterceptor.db");
}

TEST_F(InterceptorStore, FirstRegistrationCreatesFileTablesIndexAndRow) {
    ASSERT_FALSE(std::filesystem::exists(db()));
    const std::string before = now_text();
    register_d1(d1_request(), "YB0001");
    const std::string after = now_text();
    ASSERT_TRUE(std::filesystem::exists(db()));

    const Rows schema = query(db(), "select type, name, sql from sqlite_master where sql is not null order by name");
    ASSERT_EQ(schema.size(), 2u);
    EXPECT_EQ(schema[0], (std::vector<std::string>{"index", "IDX_KC2120170405", as_kept(kRegistrationIndexDdl)}));
    EXPECT_EQ(schema[1], (std::vector<std::string>{"table", "KC2120170405", as_kept(kRegistrationDdl)}));

    const Rows rows = query(db(), "select YBLSH,ADD_DATE,YYLSH,SHBZH,SBKH,SFZH,RYXM,MZZYBZ,PRV1,PRV2,PRV3,XZDM,"
                                  "YLLB,RYRQ,RYZDBM,RYZDMC,KSDM,typeof(KSDM),YSDM,CWHM,BZBM,XBS,LXZYBZ,ZYHM,CZYXM,"
                                  "CZRQ from KC2120170405");
    ASSERT_EQ(rows.size(), 1u);
    const std::vector<std::string> expected = {
        "YB0001", "<add-date>", "ZY0001", "S001", "A0000001", "000000198503120011", gbk("张三"), "0", "p1", "p2",
        "p3", "310", "21", "2024-01-31 00:00:00", "I10", gbk("高血压"), "12", "text", "D001", "B12", "M01,M02",
        "xbs", "0", "Z9", gbk("李四"), "2024-02-01 00:00:00"};
    std::vector<std::string> got = rows[0];
    // ADD_DATE: the local time of the insertion.
    EXPECT_GE(got[1], before);
    EXPECT_LE(got[1], after);
    got[1] = "<add-date>";
    EXPECT_EQ(got, expected);
}

TEST_F(InterceptorStore, RegistrationsThatAreNotForStorageLeaveNoFile) {
    struct Case {
        const char* what;
        std::string mzzybz;
        std::string answer;
    } cases[] = {
        {"inpatient flag 1", "1", d1_answer("YB1")},
        {"no flag", "", d1_answer("YB1")},
        {"flag with a blank", "0 ", d1_answer("YB1")},
        {"center refused", "0", d1_answer("YB1", "-1")},
        {"center answer without ErrCode", "0", head_answer("D1", "")},
        {"center answer not a document", "0", gbk("中心通讯失败")},
    };
    for (const Case& c : cases) {
        TD1InBean request = d1_request();
        request.MSG.HEAD.MZZYBZ = c.mzzybz;
        const auto r = record_registration(write_bean(request), c.answer);
        EXPECT_EQ(r.result, 1) << c.what << ": " << r.error;
        EXPECT_EQ(r.error, "") << c.what;
        EXPECT_FALSE(std::filesystem::exists(db())) << c.what;
    }
}

TEST_F(InterceptorStore, SameSerialTwiceFailsOnTheKeyWithSqlitesMessage) {
    register_d1(d1_request(), "YB0001");
    TD1InBean again = d1_request();
    again.MSG.HEAD.RYXM = "other";
    const auto r = record_registration(write_bean(again), d1_answer("YB0001"));
    EXPECT_EQ(r.result, -1);
    EXPECT_NE(r.error.find("UNIQUE constraint failed: KC2120170405.YBLSH"), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("insert into KC2120170405("), std::string::npos) << "names the statement: " << r.error;
    EXPECT_EQ(count("KC2120170405"), 1);
    EXPECT_EQ(query(db(), "select RYXM from KC2120170405")[0][0], gbk("张三"));
}

TEST_F(InterceptorStore, QuotesAndStatementTextInValuesAreStoredAsTheyStand) {
    // Texts that would end or change a statement written with quoted values.
    const std::string serial = "YB'); drop table KC2120170405; --";
    TD1InBean request = d1_request();
    request.MSG.HEAD.RYXM = "O'Neil";
    request.MSG.HEAD.SFZH = "''";
    request.MSG.HEAD.XBS = gbk("淺\\") + "?x";  // a GBK character whose trail byte is a backslash
    register_d1(request, serial);
    register_d1(d1_request(), "YB2");

    Store store;
    const TD1InBean found = store.look_up_registration(serial);
    EXPECT_EQ(found.HEAD.ErrCode, "0");
    EXPECT_EQ(found.MSG.HEAD.RYXM, "O'Neil");
    EXPECT_EQ(found.MSG.HEAD.SFZH, "''");
    EXPECT_EQ(found.MSG.HEAD.XBS, gbk("淺\\") + "?x");
    EXPECT_EQ(count("KC2120170405"), 2);
}

TEST_F(InterceptorStore, LookupGivesTheRegistrationRecord) {
    register_d1(d1_request(), "YB0001");
    Store store;
    const TD1InBean r = store.look_up_registration("YB0001");
    EXPECT_EQ(r.HEAD.ErrCode, "0");
    TD1InHead expected = d1_request().MSG.HEAD;
    expected.YLJGDM.clear();  // not stored
    expected.CSRQ = DateValue{};
    expected.RYRQ = encode_date(2024, 1, 31);  // the date part is stored
    expected.CZRQ = encode_date(2024, 2, 1);
    TD1InBean expected_bean;
    expected_bean.HEAD.ErrCode = "0";
    expected_bean.MSG.HEAD = expected;
    EXPECT_EQ(write_bean(r), write_bean(expected_bean));

    const TD1InBean missing = store.look_up_registration("YB9999");
    EXPECT_EQ(missing.HEAD.ErrCode, "-1");
    EXPECT_EQ(missing.HEAD.ErrDetail, gbk("未查询到登记信息"));
    EXPECT_EQ(missing.MSG.HEAD.YYLSH, "");
}

TEST_F(InterceptorStore, LookupReadsOddStoredValuesLeniently) {
    register_d1(d1_request(), "YB0001");
    Store store;
    store.execute("insert into KC2120170405(YBLSH,KSDM,RYRQ,CZRQ) values ('YB2','12a','31/01/2024',NULL)");
    store.execute("insert into KC2120170405(YBLSH,KSDM,RYRQ,CZRQ) values ('YB3','-7','2024-01-31','2024-1-5 7:08')");
    const DateValue before = from_local_time(platform::local_now());
    const TD1InBean odd = store.look_up_registration("YB2");
    const DateValue after = from_local_time(platform::local_now());
    EXPECT_EQ(odd.MSG.HEAD.KSDM, 0) << "not a whole number";
    // A date text that does not parse gives the current date and time.
    EXPECT_GE(odd.MSG.HEAD.RYRQ.value, before.value);
    EXPECT_LE(odd.MSG.HEAD.RYRQ.value, after.value);
    EXPECT_GE(odd.MSG.HEAD.CZRQ.value, before.value);
    const TD1InBean other = store.look_up_registration("YB3");
    EXPECT_EQ(other.MSG.HEAD.KSDM, -7);
    EXPECT_EQ(other.MSG.HEAD.RYRQ, encode_date(2024, 1, 31));
    EXPECT_EQ(other.MSG.HEAD.CZRQ, encode_date_time(2024, 1, 5, 7, 8, 0));
}

TEST_F(InterceptorStore, ValueFormats) {
    struct Num {
        double value;
        const char* text;
    } numbers[] = {{12.5, "12.5"},     {2, "2"},           {25, "25"},           {0.333333, "0.33333"},
                   {0, "0"},           {-3.25, "-3.25"},   {0.000004, "0"},      {-0.000004, "0"},
                   {0.000006, "0.00001"}, {100000, "100000"}, {1234567.123456, "1234567.12346"}, {2.5e-5, "0.00003"}};
    for (const Num& n : numbers) EXPECT_EQ(interceptor::number_text(n.value), n.text) << n.value;
    // A number the statement could not hold is a failure, never a stored text such as "inf".
    EXPECT_THROW(interceptor::number_text(std::numeric_limits<double>::infinity()), interceptor::StoreError);
    EXPECT_THROW(interceptor::number_text(std::numeric_limits<double>::quiet_NaN()), interceptor::StoreError);

    EXPECT_EQ(interceptor::date_text_of(encode_date_time(2024, 1, 31, 15, 20, 0)), "2024-01-31");
    EXPECT_EQ(interceptor::date_text_of(DateValue{}), "1899-12-30");
    EXPECT_EQ(interceptor::parse_stored_date("2024-01-31 00:00:00"), encode_date(2024, 1, 31));
    EXPECT_EQ(interceptor::parse_stored_date("2024-01-31 15:20:05"), encode_date_time(2024, 1, 31, 15, 20, 5));
    for (const char* bad : {"", "2024-02-30 00:00:00", "2024/01/31", "2024-01-31T00:00:00", "2024-01-31 25:00:00",
                            "2024-01-31 00:00:00x", "x2024-01-31"})
        EXPECT_FALSE(interceptor::parse_stored_date(bad)) << bad;
}

TEST_F(InterceptorStore, FeeDetailsAreStoredWithTheirFormats) {
    register_d1(d1_request(), "YB0001");
    TE1InDetail second = fee("2", "X2", 0.333333, 3, 1);
    second.XMBJ = "0";
    second.FYJE = 0;  // no element: stored as 0
    const auto r = record_fee_details(write_bean(e1_request("YB0001", {fee("1", "X1", 12.5, 2, 25), second})),
                                      e1_answer());
    ASSERT_EQ(r.result, 1) << r.error;

    const Rows schema = query(db(), "select name, sql from sqlite_master where tbl_name = 'KC2220170405' and sql is not null order by type");
    ASSERT_EQ(schema.size(), 2u);
    EXPECT_EQ(schema[0], (std::vector<std::string>{"IDX_KC2220170405", as_kept(kFeeDetailIndexDdl)}));
    EXPECT_EQ(schema[1], (std::vector<std::string>{"KC2220170405", as_kept(kFeeDetailDdl)}));

    const Rows rows = query(db(), "select typeof(FYDJ), typeof(FYSL), typeof(FYJE) from KC2220170405 order by MXLSH");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"real", "integer", "integer"})) << "as unquoted literals give";
    EXPECT_EQ(rows[1], (std::vector<std::string>{"real", "integer", "integer"}));

    Store store;
    const auto listed = store.list_fee_details("YB0001");
    ASSERT_EQ(listed.size(), 2u);
    const interceptor::FeeDetailRow& a = listed[0];
    const std::vector<std::string> got = {a.YYLSH, a.YBLSH,  a.MXLSH, a.XMBJ,  a.YBXMDM, a.BBH,   a.SFRQ,
                                          a.FYDJ,  a.FYSL,   a.FYJE,  a.YBZFXD, a.CYFFBZ, a.YSDM,  a.KSDM,
                                          a.CFZXTS, a.WCFBZ, a.CGPCH, a.JZFBZ, a.CZYXM,  a.CZRQ,  a.TFBZ,
                                          a.OLDMXLSH, a.PRV1, a.PRV2, a.PRV3};
    const std::vector<std::string> expected = {"ZY0001", "YB0001", "1",  "1",  "X1", "v1", "2024-02-02 00:00:00",
                                               "12.5",   "2",      "25", "xd", "0",  "D001", "K12", "3", "0", "pc",
                                               "0",      gbk("王五"), "2024-02-03 00:00:00", "0", "old", "q1", "q2",
                                               "q3"};
    EXPECT_EQ(got, expected);
    EXPECT_EQ(listed[1].YBXMDM, "X2");
    EXPECT_EQ(listed[1].FYDJ, "0.33333");
    EXPECT_EQ(listed[1].FYSL, "3");
    EXPECT_EQ(listed[1].FYJE, "0");
    EXPECT_TRUE(store.list_fee_details("YB-other").empty());
}

TEST_F(InterceptorStore, FeeDetailsThatAreNotForStorage) {
    register_d1(d1_request(), "YB0001");
    const std::string request = write_bean(e1_request("YB0001", {fee("1", "X1", 1, 1, 1)}));
    // Refused by the center, or for a registration that is not stored: nothing.
    EXPECT_EQ(record_fee_details(request, e1_answer("-1")).result, 1);
    const auto unknown = record_fee_details(write_bean(e1_request("YB-unknown", {fee("1", "X1", 1, 1, 1)})),
                                            e1_answer());
    EXPECT_EQ(unknown.result, 1) << unknown.error;
    Store store;
    EXPECT_FALSE(store.has_table(interceptor::kFeeDetailTable));
    // The same E1 twice is stored twice.
    EXPECT_EQ(record_fee_details(request, e1_answer()).result, 1);
    EXPECT_EQ(record_fee_details(request, e1_answer()).result, 1);
    EXPECT_EQ(count("KC2220170405"), 2);
}

TEST_F(InterceptorStore, FeeDetailsBeforeAnyRegistrationFailWithTheMissingTable) {
    const auto r = record_fee_details(write_bean(e1_request("YB0001", {fee("1", "X1", 1, 1, 1)})), e1_answer());
    EXPECT_EQ(r.result, -1);
    EXPECT_NE(r.error.find("no such table: KC2120170405"), std::string::npos) << r.error;
}

TEST_F(InterceptorStore, FeeDetailsAreAllOrNothing) {
    register_d1(d1_request(), "YB0001");
    {
        Store store;
        store.ensure_table(interceptor::kFeeDetailTable);
        // The third insert of any E1 fails.
        store.execute("create trigger third_fails before insert on KC2220170405 when new.MXLSH = '3' "
                      "begin select raise(abort, 'third detail refused'); end");
    }
    const auto r = record_fee_details(
        write_bean(e1_request("YB0001", {fee("1", "X1", 1, 1, 1), fee("2", "X2", 1, 1, 1), fee("3", "X3", 1, 1, 1),
                                         fee("4", "X4", 1, 1, 1)})),
        e1_answer());
    EXPECT_EQ(r.result, -1);
    EXPECT_NE(r.error.find("third detail refused"), std::string::npos) << r.error;
    EXPECT_EQ(count("KC2220170405"), 0) << "none of the E1's details remains";
    // The database is not left locked by the failed transaction.
    const auto next = record_fee_details(write_bean(e1_request("YB0001", {fee("1", "X1", 1, 1, 1)})), e1_answer());
    EXPECT_EQ(next.result, 1) << next.error;
    EXPECT_EQ(count("KC2220170405"), 1);
}

TEST_F(InterceptorStore, AStoreThatCannotBeOpenedIsAFailureNotACrash) {
    // The system directory is a plain file: nothing can be created below it.
    testing::TempDir other;
    testing::write_file(other / "file", "x");
    ::setenv("VORLA_SYSTEM_DIR", (other / "file").c_str(), 1);
    const auto d1 = record_registration(write_bean(d1_request()), d1_answer("YB1"));
    EXPECT_EQ(d1.result, -1);
    EXPECT_NE(d1.error.find("unable to open database file"), std::string::npos) << d1.error;
    const auto e1 = record_fee_details(write_bean(e1_request("YB1", {fee("1", "X1", 1, 1, 1)})), e1_answer());
    EXPECT_EQ(e1.result, -1);
    EXPECT_THROW(Store{}, interceptor::StoreError);
    ::setenv("VORLA_SYSTEM_DIR", dir.path().c_str(), 1);
}

TEST_F(InterceptorStore, UnreadableDocumentsAreFailures) {
    // A date that cannot be read is an error of the bean reader.
    const std::string request = write_bean(d1_request());
    const std::string bad = request.substr(0, request.find("<CSRQ>")) + "<CSRQ>1985-03-12</CSRQ>" +
                            request.substr(request.find("</CSRQ>") + 7);
    const auto r = record_registration(bad, d1_answer("YB1"));
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.error, "Error in datetime property CSRQ");
}

// Two cashier programs of one workstation record at the same moment: every
// registration and every fee detail of both is kept.
TEST_F(InterceptorStore, TwoProcessesRecordingAtOnceKeepAllRows) {
    constexpr int kVisits = 40;
    constexpr int kDetails = 5;
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    pid_t children[2];
    for (int p = 0; p < 2; ++p) {
        children[p] = ::fork();
        ASSERT_GE(children[p], 0);
        if (children[p] == 0) {
            ::close(go[1]);
            char c;
            if (::read(go[0], &c, 1) != 1) ::_exit(100);  // start together
            int failures = 0;
            for (int v = 0; v < kVisits; ++v) {
                const std::string serial = "P" + std::to_string(p) + "V" + std::to_string(v);
                if (record_registration(write_bean(d1_request()), d1_answer(serial)).result != 1) ++failures;
                std::vector<TE1InDetail> rows;
                for (int d = 0; d < kDetails; ++d) rows.push_back(fee(std::to_string(d), "X", 1.5, 2, 3));
                if (record_fee_details(write_bean(e1_request(serial, rows)), e1_answer()).result != 1) ++failures;
            }
            ::_exit(failures > 99 ? 99 : failures);
        }
    }
    ::close(go[0]);
    ASSERT_EQ(::write(go[1], "gg", 2), 2);
    ::close(go[1]);
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "recordings that failed in one process";
    }
    EXPECT_EQ(count("KC2120170405"), 2 * kVisits);
    EXPECT_EQ(count("KC2220170405"), 2 * kVisits * kDetails);
    EXPECT_EQ(count("KC2220170405", "YBLSH = 'P1V39'"), kDetails);
}

}  // namespace
}  // namespace vorla

// ---- the store when SQLite's disk fails it ---------------------------------------------

namespace vorla {
namespace {

// A file-system layer for SQLite over the default one, whose writes fail with
// `write_error` once `writes_left` writes have gone through (a disk that fills
// up, a disk that breaks). Installed as the default while it lives.
class FaultyDisk {
public:
    explicit FaultyDisk(int write_error, int writes_left = 0) {
        error_ = write_error;
        writes_left_ = writes_left;
        base_ = sqlite3_vfs_find(nullptr);
        vfs_ = *base_;
        vfs_.zName = "vorla-faulty-disk";
        vfs_.szOsFile = static_cast<int>(sizeof(File)) + base_->szOsFile;
        vfs_.xOpen = &open;
        sqlite3_vfs_register(&vfs_, 1);
    }
    ~FaultyDisk() {
        sqlite3_vfs_unregister(&vfs_);
        sqlite3_vfs_register(base_, 1);
    }
    static int failed() { return failed_; }

private:
    struct File {
        sqlite3_file head;
        sqlite3_file* real;
    };
    static sqlite3_file* real(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }

    static int open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* out_flags) {
        File* f = reinterpret_cast<File*>(file);
        f->real = reinterpret_cast<sqlite3_file*>(f + 1);
        const int rc = base_->xOpen(base_, name, f->real, flags, out_flags);
        f->head.pMethods = rc == SQLITE_OK ? &methods_ : nullptr;
        return rc;
    }
    static int close(sqlite3_file* f) { return real(f)->pMethods->xClose(real(f)); }
    static int read(sqlite3_file* f, void* b, int n, sqlite3_int64 o) { return real(f)->pMethods->xRead(real(f), b, n, o); }
    static int write(sqlite3_file* f, const void* b, int n, sqlite3_int64 o) {
        if (writes_left_-- <= 0) {
            ++failed_;
            return error_;
        }
        return real(f)->pMethods->xWrite(real(f), b, n, o);
    }
    static int truncate(sqlite3_file* f, sqlite3_int64 s) { return real(f)->pMethods->xTruncate(real(f), s); }
    static int sync(sqlite3_file* f, int fl) { return real(f)->pMethods->xSync(real(f), fl); }
    static int size(sqlite3_file* f, sqlite3_int64* s) { return real(f)->pMethods->xFileSize(real(f), s); }
    static int lock(sqlite3_file* f, int l) { return real(f)->pMethods->xLock(real(f), l); }
    static int unlock(sqlite3_file* f, int l) { return real(f)->pMethods->xUnlock(real(f), l); }
    static int reserved(sqlite3_file* f, int* r) { return real(f)->pMethods->xCheckReservedLock(real(f), r); }
    static int control(sqlite3_file* f, int op, void* a) { return real(f)->pMethods->xFileControl(real(f), op, a); }
    static int sector(sqlite3_file* f) { return real(f)->pMethods->xSectorSize(real(f)); }
    static int device(sqlite3_file* f) { return real(f)->pMethods->xDeviceCharacteristics(real(f)); }

    static inline sqlite3_vfs* base_ = nullptr;
    static inline sqlite3_vfs vfs_{};
    static inline int error_ = SQLITE_OK;
    static inline int writes_left_ = 0;
    static inline int failed_ = 0;
    static inline const sqlite3_io_methods methods_ = {1,     &close,   &read,     &write,   &truncate, &sync,
                                                       &size, &lock,    &unlock,   &reserved, &control, &sector,
                                                       &device, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
};

TEST_F(InterceptorStore, DiskFailuresDuringAnE1LeaveNoneOfItsDetails) {
    register_d1(d1_request(), "YB0001");
    {
        Store store;
        store.ensure_table(interceptor::kFeeDetailTable);
    }
    const std::vector<TE1InDetail> rows = {fee("1", "X1", 1, 1, 1), fee("2", "X2", 2, 1, 2), fee("3", "X3", 3, 1, 3)};
    struct Case {
        const char* what;
        int error;
        int writes_left;
        const char* message;  // SQLite's, as the error text carries it
    };
    const Case cases[] = {
        {"disk full at the first write", SQLITE_FULL, 0, "database or disk is full"},
        {"disk full half-way through the commit", SQLITE_FULL, 2, "database or disk is full"},
        {"I/O error at the first write", SQLITE_IOERR_WRITE, 0, "disk I/O error"},
        {"I/O error half-way through the commit", SQLITE_IOERR_WRITE, 2, "disk I/O error"},
    };
    for (const Case& c : cases) {
        {
            FaultyDisk disk(c.error, c.writes_left);
            const auto r = record_fee_details(write_bean(e1_request("YB0001", rows)), e1_answer());
            EXPECT_EQ(r.result, -1) << c.what;
            EXPECT_NE(r.error.find(c.message), std::string::npos) << c.what << ": " << r.error;
            EXPECT_GT(FaultyDisk::failed(), 0) << c.what;
        }
        EXPECT_EQ(count("KC2220170405"), 0) << c.what << ": none of the E1's details remains";
        EXPECT_EQ(count("KC2120170405"), 1) << c.what << ": the registration is intact";
    }
    // With the disk back, the same E1 is stored whole.
    const auto r = record_fee_details(write_bean(e1_request("YB0001", rows)), e1_answer());
    EXPECT_EQ(r.result, 1) << r.error;
    EXPECT_EQ(count("KC2220170405"), 3);
}

TEST_F(InterceptorStore, AStoreLockedByAnotherProgramFailsTheE1AfterTheBusyWait) {
    register_d1(d1_request(), "YB0001");
    {
        Store store;
        store.ensure_table(interceptor::kFeeDetailTable);
    }
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(db().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "begin exclusive", nullptr, nullptr, nullptr), SQLITE_OK);
    const auto r = record_fee_details(write_bean(e1_request("YB0001", {fee("1", "X1", 1, 1, 1)})), e1_answer());
    EXPECT_EQ(r.result, -1);
    EXPECT_NE(r.error.find("database is locked"), std::string::npos) << r.error;
    sqlite3_exec(other, "rollback", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(count("KC2220170405"), 0);
    const auto again = record_fee_details(write_bean(e1_request("YB0001", {fee("1", "X1", 1, 1, 1)})), e1_answer());
    EXPECT_EQ(again.result, 1) << again.error;
}

}  // namespace
}  // namespace vorla
