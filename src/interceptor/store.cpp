#include "interceptor/store.h"

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <limits>

#include "common/text.h"
#include "messages/serializer.h"
#include "platform/platform.h"

namespace vorla::interceptor {
namespace {

constexpr std::string_view kInsertRegistration =
    "insert into KC2120170405(YBLSH,YYLSH,SHBZH,SBKH,SFZH,RYXM,MZZYBZ,PRV1,PRV2,PRV3,XZDM,YLLB,RYRQ,RYZDBM,"
    "RYZDMC,KSDM,YSDM,CWHM,BZBM,XBS,LXZYBZ,ZYHM,CZYXM,CZRQ)"
    "Values (?,?,?,?,?,?,?,?,?,?,?,?,datetime(?),?,?,?,?,?,?,?,?,?,?,datetime(?) )";

constexpr std::string_view kInsertFeeDetail =
    "insert into KC2220170405(YYLSH,YBLSH,MXLSH,XMBJ,YBXMDM,BBH,SFRQ,FYDJ,FYSL,FYJE,YBZFXD,CYFFBZ,YSDM,KSDM,"
    "CFZXTS,WCFBZ,CGPCH,JZFBZ,CZYXM,CZRQ,TFBZ,OLDMXLSH,PRV1,PRV2,PRV3)"
    "Values (?,?,?,?,?,?,datetime(?),?,?,?,?,?,?,?,?,?,?,?,?,datetime(?),?,?,?,?,?)";

constexpr std::string_view kSelectRegistration =
    "select YBLSH,YYLSH,SHBZH,SBKH,SFZH,RYXM,MZZYBZ,PRV1,PRV2,PRV3, XZDM,YLLB,RYRQ,RYZDBM,RYZDMC,KSDM,YSDM,CWHM,"
    "BZBM,XBS,LXZYBZ,ZYHM,CZYXM,CZRQ from KC2120170405 where yblsh = ?";

constexpr std::string_view kSelectFeeDetails =
    "select YYLSH,YBLSH,MXLSH,XMBJ,YBXMDM,BBH,SFRQ,FYDJ,FYSL,FYJE,YBZFXD,CYFFBZ,YSDM,KSDM,CFZXTS,WCFBZ,CGPCH,"
    "JZFBZ,CZYXM,CZRQ,TFBZ,OLDMXLSH,PRV1,PRV2,PRV3 from KC2220170405 where yblsh = ?";

// "<SQLite's message> (<its error>) in: <statement>".
StoreError error_of(sqlite3* db, int rc, std::string_view what) {
    std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    message += " (";
    message += sqlite3_errstr(rc);
    message += ") in: ";
    message += what;
    return StoreError(message);
}

// One prepared statement; values are bound by position (1-based).
class Statement {
public:
    Statement(sqlite3* db, std::string_view sql) : db_(db), sql_(sql) {
        const int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
        if (rc != SQLITE_OK) throw error_of(db_, rc, sql_);
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Binds the bytes as text; an empty text stays an empty text (never NULL).
    // The bytes must stay as they are until the statement has been stepped.
    void text(int index, std::string_view value) {
        if (value.size() > static_cast<size_t>(std::numeric_limits<int>::max()))
            throw StoreError("value too long in: " + std::string(sql_));
        const char* bytes = value.data() ? value.data() : "";
        const int rc = sqlite3_bind_text(stmt_, index, bytes, static_cast<int>(value.size()), SQLITE_STATIC);
        if (rc != SQLITE_OK) throw error_of(db_, rc, sql_);
    }

    // True while there is a row; false when done.
    bool step() {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        throw error_of(db_, rc, sql_);
    }

    // Ready for the next row; every value is bound anew.
    void reset() { sqlite3_reset(stmt_); }

    // A column of the current row as text; NULL gives "".
    std::string column(int index) const {
        const auto* bytes = sqlite3_column_text(stmt_, index);
        const int size = sqlite3_column_bytes(stmt_, index);
        return bytes ? std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size)) : std::string();
    }

private:
    sqlite3* db_;
    std::string_view sql_;
    sqlite3_stmt* stmt_ = nullptr;
};

void run(sqlite3* db, std::string_view sql) {
    Statement statement(db, sql);
    while (statement.step()) {
    }
}

// A write transaction that takes the database's write lock at once (waiting up
// to the busy time-out), so that two processes never both hold a read lock that
// each needs to turn into a write lock. Rolled back unless committed.
class WriteTransaction {
public:
    explicit WriteTransaction(sqlite3* db) : db_(db) { run(db_, "begin immediate"); }
    ~WriteTransaction() {
        if (open_) sqlite3_exec(db_, "rollback", nullptr, nullptr, nullptr);
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    void commit() {
        run(db_, "commit");
        open_ = false;
    }

private:
    sqlite3* db_;
    bool open_ = true;
};

std::string lower_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// The table name is one of the store's two constants, never text from outside.
std::string existence_check(std::string_view table) {
    return "select [sql] from sqlite_master where [type] = 'table' and lower(name) = '" + lower_ascii(table) + "' ";
}

// A whole number in 32 bits, else 0.
std::int32_t stored_integer(const std::string& text) {
    std::int32_t value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(first, last, value);
    return (ec == std::errc() && end == last && !text.empty()) ? value : 0;
}

DateValue stored_date(const std::string& text) {
    if (auto v = parse_stored_date(text)) return *v;
    return from_local_time(platform::local_now());
}

// Reads digits [from, from+max) up to a non-digit; false when there are none.
bool read_number(std::string_view text, size_t& at, size_t max_digits, int& value) {
    size_t n = 0;
    value = 0;
    while (at < text.size() && n < max_digits && text[at] >= '0' && text[at] <= '9') {
        value = value * 10 + (text[at] - '0');
        ++at;
        ++n;
    }
    return n > 0;
}

bool expect(std::string_view text, size_t& at, char c) {
    if (at < text.size() && text[at] == c) {
        ++at;
        return true;
    }
    return false;
}

}  // namespace

std::string store_path() {
    return platform::system_directory() + platform::path_separator() + std::string(kStoreFileName);
}

std::string number_text(double value) {
    if (!std::isfinite(value)) throw StoreError("the number cannot be stored: " + std::to_string(value));
    char buf[400];  // the largest double in fixed form with five decimals fits
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 5);
    if (ec != std::errc()) throw StoreError("the number cannot be stored: " + std::to_string(value));
    std::string text(buf, end);
    if (const auto point = text.find('.'); point != std::string::npos) {
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
    }
    if (text == "-0") text = "0";
    return text;
}

std::string date_text_of(DateValue value) {
    const DateParts p = decode_date_time(value);
    // yyyy-mm-dd; the parts of a date in range have at most four and two digits.
    char text[10] = {static_cast<char>('0' + p.year / 1000 % 10), static_cast<char>('0' + p.year / 100 % 10),
                     static_cast<char>('0' + p.year / 10 % 10),   static_cast<char>('0' + p.year % 10),
                     '-',
                     static_cast<char>('0' + p.month / 10 % 10),  static_cast<char>('0' + p.month % 10),
                     '-',
                     static_cast<char>('0' + p.day / 10 % 10),    static_cast<char>('0' + p.day % 10)};
    return std::string(text, sizeof text);
}

std::optional<DateValue> parse_stored_date(std::string_view text) {
    size_t at = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    if (!read_number(text, at, 4, year) || !expect(text, at, '-') || !read_number(text, at, 2, month) ||
        !expect(text, at, '-') || !read_number(text, at, 2, day))
        return std::nullopt;
    if (at < text.size()) {
        if (!expect(text, at, ' ') || !read_number(text, at, 2, hour) || !expect(text, at, ':') ||
            !read_number(text, at, 2, minute))
            return std::nullopt;
        if (expect(text, at, ':')) {
            if (!read_number(text, at, 2, second)) return std::nullopt;
            if (expect(text, at, '.')) {
                size_t start = at;
                if (!read_number(text, at, 3, millisecond)) return std::nullopt;
                for (size_t n = at - start; n < 3; ++n) millisecond *= 10;
            }
        }
        if (at != text.size()) return std::nullopt;
    }
    return try_encode_date_time(year, month, day, hour, minute, second, millisecond);
}

Store::Store(const std::string& path) {
    const int rc = sqlite3_open_v2(platform::gbk_to_utf8(path).c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        StoreError error = error_of(db_, rc, "open " + path);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw error;
    }
    sqlite3_busy_timeout(db_, static_cast<int>(kBusyTimeout.count()));
}

Store::~Store() {
    if (!db_) return;
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "rollback", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db_);
}

void Store::execute(std::string_view sql) { run(db_, sql); }

bool Store::has_table(std::string_view table) {
    if (table != kRegistrationTable && table != kFeeDetailTable)
        throw std::invalid_argument("not a table of the store: " + std::string(table));
    Statement statement(db_, existence_check(table));
    return statement.step();
}

void Store::ensure_table(std::string_view table) {
    std::string_view create, index;
    if (table == kRegistrationTable) {
        create = kCreateRegistrationTable;
        index = kCreateRegistrationIndex;
    } else if (table == kFeeDetailTable) {
        create = kCreateFeeDetailTable;
        index = kCreateFeeDetailIndex;
    } else {
        throw std::invalid_argument("not a table of the store: " + std::string(table));
    }
    const std::string check = existence_check(table);
    {
        Statement statement(db_, check);
        if (statement.step()) return;
    }
    // Two processes may find the table missing at the same moment: the check is
    // repeated under the write lock, so only one of them creates it.
    WriteTransaction transaction(db_);
    {
        Statement statement(db_, check);
        if (statement.step()) return;
    }
    run(db_, create);
    run(db_, index);
    transaction.commit();
}

TD1InBean Store::look_up_registration(std::string_view yblsh) {
    TD1InBean record;
    Statement statement(db_, kSelectRegistration);
    statement.text(1, yblsh);
    if (!statement.step()) {
        record.HEAD.ErrCode = "-1";
        record.HEAD.ErrDetail = gbk("未查询到登记信息");
        return record;
    }
    TD1InHead& h = record.MSG.HEAD;
    h.YYLSH = statement.column(1);
    h.SHBZH = statement.column(2);
    h.SBKH = statement.column(3);
    h.SFZH = statement.column(4);
    h.RYXM = statement.column(5);
    h.MZZYBZ = statement.column(6);
    h.PRV1 = statement.column(7);
    h.PRV2 = statement.column(8);
    h.PRV3 = statement.column(9);
    h.XZDM = statement.column(10);
    h.YLLB = statement.column(11);
    h.RYRQ = stored_date(statement.column(12));
    h.RYZDBM = statement.column(13);
    h.RYZDMC = statement.column(14);
    h.KSDM = stored_integer(statement.column(15));
    h.YSDM = statement.column(16);
    h.CWHM = statement.column(17);
    h.BZBM = statement.column(18);
    h.XBS = statement.column(19);
    h.LXZYBZ = statement.column(20);
    h.ZYHM = statement.column(21);
    h.CZYXM = statement.column(22);
    h.CZRQ = stored_date(statement.column(23));
    record.HEAD.ErrCode = "0";
    return record;
}

std::vector<FeeDetailRow> Store::list_fee_details(std::string_view yblsh) {
    std::vector<FeeDetailRow> rows;
    Statement statement(db_, kSelectFeeDetails);
    statement.text(1, yblsh);
    while (statement.step()) {
        int i = 0;
        auto next = [&] { return statement.column(i++); };
        FeeDetailRow r;
        r.YYLSH = next();
        r.YBLSH = next();
        r.MXLSH = next();
        r.XMBJ = next();
        r.YBXMDM = next();
        r.BBH = next();
        r.SFRQ = next();
        r.FYDJ = next();
        r.FYSL = next();
        r.FYJE = next();
        r.YBZFXD = next();
        r.CYFFBZ = next();
        r.YSDM = next();
        r.KSDM = next();
        r.CFZXTS = next();
        r.WCFBZ = next();
        r.CGPCH = next();
        r.JZFBZ = next();
        r.CZYXM = next();
        r.CZRQ = next();
        r.TFBZ = next();
        r.OLDMXLSH = next();
        r.PRV1 = next();
        r.PRV2 = next();
        r.PRV3 = next();
        rows.push_back(std::move(r));
    }
    return rows;
}

void Store::insert_registration(const TD1InHead& h, std::string_view yblsh) {
    Statement statement(db_, kInsertRegistration);
    // The values computed here live until the statement has run.
    const std::string admission = date_text_of(h.RYRQ);
    const std::string department = std::to_string(h.KSDM);
    const std::string operation = date_text_of(h.CZRQ);
    int i = 1;
    auto text = [&](std::string_view v) { statement.text(i++, v); };
    text(yblsh);
    text(h.YYLSH);
    text(h.SHBZH);
    text(h.SBKH);
    text(h.SFZH);
    text(h.RYXM);
    text(h.MZZYBZ);
    text(h.PRV1);
    text(h.PRV2);
    text(h.PRV3);
    text(h.XZDM);
    text(h.YLLB);
    text(admission);
    text(h.RYZDBM);
    text(h.RYZDMC);
    text(department);
    text(h.YSDM);
    text(h.CWHM);
    text(h.BZBM);
    text(h.XBS);
    text(h.LXZYBZ);
    text(h.ZYHM);
    text(h.CZYXM);
    text(operation);
    statement.step();
}

void Store::insert_fee_details(const TE1InBean& request) {
    WriteTransaction transaction(db_);
    Statement statement(db_, kInsertFeeDetail);
    const TE1InHead& h = request.MSG.HEAD;
    // The values computed for a row live until its insert has run.
    std::string charged, price, quantity, amount, operation;
    for (const TE1InDetail& d : request.MSG.DETAIL) {
        statement.reset();
        charged = date_text_of(d.SFRQ);
        // Numbers go in as their "0.#####" text; the NUMBER columns turn it into
        // the same integer or real value as the unquoted literal would give.
        price = number_text(d.FYDJ);
        quantity = number_text(d.FYSL);
        amount = number_text(d.FYJE);
        operation = date_text_of(d.CZRQ);
        int i = 1;
        auto text = [&](std::string_view v) { statement.text(i++, v); };
        text(h.YYLSH);
        text(h.YBLSH);
        text(d.MXLSH);
        text(d.XMBJ);
        text(d.YBXMDM);
        text(d.BBH);
        text(charged);
        text(price);
        text(quantity);
        text(amount);
        text(d.YBZFXD);
        text(d.CYFFBZ);
        text(d.YSDM);
        text(d.KSDM);
        text(d.CFZXTS);
        text(d.WCFBZ);
        text(d.CGPCH);
        text(d.JZFBZ);
        text(d.CZYXM);
        text(operation);
        text(d.TFBZ);
        text(d.OLDMXLSH);
        text(d.PRV1);
        text(d.PRV2);
        text(d.PRV3);
        statement.step();
    }
    transaction.commit();
}

RecordResult record_registration(std::string_view request_gbk, std::string_view answer_gbk) {
    try {
        TD1InBean request;
        read_bean(request_gbk, request);
        if (request.MSG.HEAD.MZZYBZ != "0") return {};
        TD1OutBean answer;
        read_bean(answer_gbk, answer);
        if (answer.HEAD.ErrCode != "0") return {};
        Store store;
        store.ensure_table(kRegistrationTable);
        store.insert_registration(request.MSG.HEAD, answer.MSG.HEAD.YBLSH);
        return {};
    } catch (const std::exception& e) {
        return {-1, e.what()};
    } catch (...) {
        return {-1, "unknown failure"};
    }
}

RecordResult record_fee_details(std::string_view request_gbk, std::string_view answer_gbk) {
    try {
        TE1InBean request;
        read_bean(request_gbk, request);
        TE1OutBean answer;
        read_bean(answer_gbk, answer);
        if (answer.HEAD.ErrCode != "0") return {};
        Store store;
        if (store.look_up_registration(request.MSG.HEAD.YBLSH).HEAD.ErrCode != "0") return {};
        store.ensure_table(kFeeDetailTable);
        store.insert_fee_details(request);
        return {};
    } catch (const std::exception& e) {
        return {-1, e.what()};
    } catch (...) {
        return {-1, "unknown failure"};
    }
}

}  // namespace vorla::interceptor
