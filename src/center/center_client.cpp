#include "center/center_client.h"

#include <atomic>
#include <random>
#include <vector>

#include "center/packing.h"
#include "center/soap.h"
#include "common/text.h"
#include "entry/config.h"
#include "journal/journal.h"
#include "journal/log4me.h"
#include "messages/envelope.h"

namespace vorla::center {
namespace {

constexpr std::chrono::milliseconds kShortTimeout{600000};
constexpr std::chrono::milliseconds kLongTimeout{1800000};

std::atomic<long long> g_transport_timeout_ms{kShortTimeout.count()};

std::vector<std::string_view> characters(std::string_view s) {
    std::vector<std::string_view> out;
    for (size_t i = 0; i < s.size();) {
        const size_t n = gbk_char_length(s, i);
        out.push_back(s.substr(i, n));
        i += n;
    }
    return out;
}

size_t find_ignoring_case(std::string_view text, std::string_view needle, size_t from = 0) {
    return gbk_find(text, needle, from, true);
}

std::string replace_ignoring_case(std::string_view text, std::string_view needle, std::string_view replacement) {
    return gbk_replace_all(text, needle, replacement, true);
}

// An optional sign and at least one decimal digit, nothing else.
bool reads_as_integer(std::string_view s) {
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

std::string network_prefix() { return gbk("中心通讯失败，请检查网络是否连接！"); }
std::string journal_prefix() { return gbk("日志错误:"); }

std::optional<std::string> check_parameters(std::string_view hid, std::string_view biztype,
                                            std::string_view caller_ip) {
    const std::string_view code = hid.substr(0, gbk_find_char(hid, '|'));
    if (code.empty()) return gbk("医疗机构代码不能为空!");
    if (biztype.empty()) return gbk("交易类型不能为空!");
    if (caller_ip.empty()) return gbk("发起Ip不能为空!");
    const std::vector<std::string_view> chars = characters(code);
    if (chars.size() == 8 && characters(caller_ip).size() < 2) return gbk("发起IP位数不合法!");
    // The four characters that end one before the last (from the first when
    // the code has five or fewer).
    const size_t first = chars.size() > 5 ? chars.size() - 5 : 0;
    std::string examined;
    for (size_t i = first; i < chars.size() && i < first + 4; ++i) examined += chars[i];
    if (!reads_as_integer(examined)) return gbk("输入参数医疗机构不合法");
    return std::nullopt;
}

std::string map_error_message(std::string message) {
    if (message ==
        "Error committing transaction:; nested exception is: "
        "weblogic.transaction.internal.AppSetRollbackOnlyException")
        message = gbk("数据库事物提交失败");
    message = replace_ignoring_case(
        message, "EJB Exception: ; nested exception is: com.tembro.frontendsettle.exception.AppException: ", "");
    message = replace_ignoring_case(
        message, "EJB Exception: ; nested exception is: javax.ejb.EJBTransactionRolledbackException: ", "");
    if (find_ignoring_case(message, gbk("一个顶层元素")) == std::string::npos) message = network_prefix() + message;
    return message;
}

std::chrono::milliseconds timeout_for(std::string_view biztype) {
    for (std::string_view long_one : {"E1", "E2", "F1", "G1"})
        if (biztype == long_one) return kLongTimeout;
    return kShortTimeout;
}

void set_transport_timeout(std::chrono::milliseconds timeout) { g_transport_timeout_ms = timeout.count(); }

std::chrono::milliseconds transport_timeout() { return std::chrono::milliseconds(g_transport_timeout_ms.load()); }

std::string clean_result(std::string_view result) {
    std::string r = replace_ignoring_case(result, "<return>", "");
    r = replace_ignoring_case(r, "</return>", "");
    r = replace_ignoring_case(r, "&lt;", "<");
    return replace_ignoring_case(r, "&gt;", ">");
}

std::string make_serial(const platform::LocalTime& t, int number) { return format_hhnnsszz(t) + pad(number, 4); }

std::string new_serial(platform::LocalTime& start) {
    const platform::LocalTime now = platform::local_now();
    std::mt19937 rng(static_cast<std::mt19937::result_type>(
        std::chrono::system_clock::now().time_since_epoch().count()));
    const std::string serial = make_serial(now, std::uniform_int_distribution<int>(0, 999)(rng));
    start = platform::local_now();
    return serial;
}

std::string exchange_with_current_timeout(std::string_view center_address, std::string_view hid,
                                          std::string_view biztype, std::string_view caller_ip,
                                          std::string_view document, std::string_view client_information) {
    const std::string address = center_address.empty() ? default_center_address() : std::string(center_address);
    try {
        const SbizArguments arguments{std::string(hid), std::string(biztype), std::string(caller_ip), pack(document),
                                      std::string(client_information)};
        const std::string result = call_sbiz(address, arguments, transport_timeout());
        return unpack(clean_result(result));
    } catch (const std::exception& e) {
        forget_service_description(address);
        return center_error_document(biztype, -1, map_error_message(e.what()));
    }
}

std::string exchange(std::string_view center_address, std::string_view hid, std::string_view biztype,
                     std::string_view caller_ip, std::string_view document,
                     std::string_view client_information) {
    set_transport_timeout(timeout_for(biztype));
    return exchange_with_current_timeout(center_address, hid, biztype, caller_ip, document, client_information);
}

void call_center(std::string_view center_address, std::string_view hid, std::string_view biztype,
                 std::string_view caller_ip, std::string_view document, std::string_view client_information,
                 std::string& out) {
    platform::LocalTime start;
    const std::string serial = new_serial(start);
    journal::Entry entry{serial,      "0", std::string(hid), std::string(caller_ip), std::string(biztype),
                         std::string(document), start};
    try {
        journal::write_block(entry);
    } catch (const std::exception& e) {
        out = center_error_document(biztype, -1, journal_prefix() + e.what());
        return;
    }
    if (const auto failure = check_parameters(hid, biztype, caller_ip)) {
        out = center_error_document(biztype, -1, journal_prefix() + *failure);
        return;
    }
    out = exchange(center_address, hid, biztype, caller_ip, document, client_information);
    entry.direction = "1";
    entry.document = out;
    try {
        journal::write_block(entry);
    } catch (const std::exception& e) {
        // The center has carried out the transaction: its answer (a registration's
        // serial, a settlement) goes back to the HIS all the same, and the lost
        // journal block is reported where support looks.
        try {
            log4me::error(journal_prefix() + e.what() + " (" + std::string(biztype) + " " + serial + ")");
        } catch (...) {
        }
    }
}

}  // namespace vorla::center
