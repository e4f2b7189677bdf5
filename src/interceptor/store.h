// The interceptor store: the registrations (D1) and fee details (E1) that the
// insurance center accepted, kept in the SQLite database ybjkInterceptor.db in
// the system directory, so that a settlement (F1) can be audited against them.
//
// Texts are stored as the library's GBK bytes. Every value enters a statement as
// a bound parameter: no name, serial or code from a document can change a
// statement. Each operation opens its own connection and closes it before it
// returns; a connection waits up to kBusyTimeout for a database that another
// process (another cashier program of the workstation) holds.
#pragma once

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "messages/catalogue.h"

struct sqlite3;

namespace vorla::interceptor {

inline constexpr std::string_view kStoreFileName = "ybjkInterceptor.db";
inline constexpr std::string_view kRegistrationTable = "KC2120170405";
inline constexpr std::string_view kFeeDetailTable = "KC2220170405";

inline constexpr std::string_view kCreateRegistrationTable =
    "create table KC2120170405([YBLSH] VARCHAR(20) PRIMARY KEY,ADD_DATE DATE  default (datetime( "
    "'now','localtime' )),[YYLSH] VARCHAR(20),SHBZH VARCHAR(20),SBKH VARCHAR2(20), SFZH VARCHAR(20),RYXM "
    "VARCHAR(25),MZZYBZ VARCHAR(1),PRV1 VARCHAR(2000),PRV2 VARCHAR(2000),PRV3 VARCHAR(2000),XZDM VARCHAR(3), "
    "YLLB VARCHAR(3) , RYRQ DATE, RYZDBM VARCHAR(200), RYZDMC VARCHAR(200),KSDM VARCHAR(20) , YSDM "
    "VARCHAR(20),CWHM VARCHAR(20), BZBM VARCHAR(50), XBS VARCHAR(1000), LXZYBZ VARCHAR(3),ZYHM VARCHAR(50), "
    "CZYXM VARCHAR(50), CZRQ DATE)";
inline constexpr std::string_view kCreateRegistrationIndex =
    "CREATE INDEX IDX_KC2120170405 ON [KC2120170405]([ADD_DATE]);";
inline constexpr std::string_view kCreateFeeDetailTable =
    "create table KC2220170405([YBLSH] VARCHAR(20),YYLSH VARCHAR(20),MXLSH  VARCHAR(20) , XMBJ  VARCHAR(3) , "
    "YBXMDM VARCHAR(20) , BBH   VARCHAR(10) , SFRQ  DATE , FYDJ  NUMBER , FYSL  NUMBER , FYJE  NUMBER ,  "
    "YBZFXD VARCHAR(50), CYFFBZ VARCHAR(3), YSDM  VARCHAR(20) , KSDM  VARCHAR(20) , CFZXTS VARCHAR(4), WCFBZ "
    "VARCHAR(3), CGPCH VARCHAR(50), JZFBZ VARCHAR(3), CZYXM VARCHAR(50), CZRQ  DATE, TFBZ  VARCHAR(1), "
    "OLDMXLSH VARCHAR(20), PRV1  VARCHAR(2000), PRV2  VARCHAR(2000), PRV3  VARCHAR(2000) )";
inline constexpr std::string_view kCreateFeeDetailIndex =
    "CREATE INDEX IDX_KC2220170405 ON [KC2220170405]([YBLSH]);";

// How long a statement waits for a database locked by another process.
inline constexpr std::chrono::milliseconds kBusyTimeout{5000};

// A failure of the database layer: SQLite's message, its result code and the
// statement that failed.
class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One stored fee detail, every column as the database gives it as text (NULL
// gives ""), numbers as SQLite renders them ("12.5", "3").
struct FeeDetailRow {
    std::string YYLSH, YBLSH, MXLSH, XMBJ, YBXMDM, BBH, SFRQ, FYDJ, FYSL, FYJE, YBZFXD, CYFFBZ, YSDM, KSDM,
        CFZXTS, WCFBZ, CGPCH, JZFBZ, CZYXM, CZRQ, TFBZ, OLDMXLSH, PRV1, PRV2, PRV3;
};

// Full path of the store: <system directory>/ybjkInterceptor.db.
std::string store_path();

// One connection to the store.
class Store {
public:
    // Opens (creating when missing) the database file. Throws StoreError.
    explicit Store(const std::string& path = store_path());
    // Rolls back a transaction still open and closes the connection.
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Creates the table (kRegistrationTable or kFeeDetailTable) with its index
    // when sqlite_master does not list it. Throws StoreError (std::invalid_argument
    // for another name).
    void ensure_table(std::string_view table);

    // True when sqlite_master lists the table (kRegistrationTable or
    // kFeeDetailTable). Throws StoreError.
    bool has_table(std::string_view table);

    // The stored registration of `yblsh` as a D1 request record: HEAD.ErrCode "0"
    // when found, otherwise "-1" with ErrDetail "未查询到登记信息". YLJGDM and CSRQ
    // are not stored and stay empty. Throws StoreError (no table, locked...).
    TD1InBean look_up_registration(std::string_view yblsh);

    // The stored fee details of `yblsh`, in the order the database returns them.
    // Throws StoreError.
    std::vector<FeeDetailRow> list_fee_details(std::string_view yblsh);

    // Inserts one registration: the request's message head and the center's
    // serial. Throws StoreError (a serial already stored fails on the key).
    void insert_registration(const TD1InHead& request, std::string_view yblsh);

    // Inserts every row of the E1 request in one transaction: all of them or, on
    // any failure, none. Throws StoreError.
    void insert_fee_details(const TE1InBean& request);

    // Runs one statement without values (tests and housekeeping). Throws StoreError.
    void execute(std::string_view sql);

private:
    sqlite3* db_ = nullptr;
};

// The result of recording a D1 or E1: 1 stored or nothing to store, -1 failed
// with the failure's message in `error`.
struct RecordResult {
    int result = 1;
    std::string error;
};

// D1: stores the registration when the request's MZZYBZ is "0" and the center's
// answer has ErrCode "0". Never throws.
RecordResult record_registration(std::string_view request_gbk, std::string_view answer_gbk);

// E1: stores the request's fee details when the center's answer has ErrCode "0"
// and the registration of the request's YBLSH is stored. Never throws.
RecordResult record_fee_details(std::string_view request_gbk, std::string_view answer_gbk);

// ---- value formats ---------------------------------------------------------------

// A number as the store writes it: pattern "0.#####" (at most five decimals,
// rounded, no trailing zeros, "." as decimal point, no grouping).
std::string number_text(double value);

// A date as the store writes it: "yyyy-mm-dd" of the value's date part, which
// datetime() turns into "yyyy-mm-dd 00:00:00".
std::string date_text_of(DateValue value);

// A stored date text "yyyy-mm-dd[ hh:mm[:ss]]" read back; nullopt when it does not
// parse.
std::optional<DateValue> parse_stored_date(std::string_view text);

}  // namespace vorla::interceptor
