#include "entry/dispatcher.h"

#include <array>

#include "auxiliary/auxiliary.h"
#include "cards/card_transactions.h"
#include "center/relay.h"
#include "common/text.h"
#include "entry/config.h"
#include "interceptor/audit.h"
#include "invoice/j9.h"
#include "journal/journal.h"
#include "journal/log4me.h"
#include "messages/envelope.h"
#include "platform/platform.h"
#include "query/insured_query.h"

namespace vorla {
namespace {

struct Route {
    std::string_view biztype;
    Handler handler;
    bool request_block;  // journal the request before the handler runs
    bool own_trap;       // a failure of the handler is ignored, its output kept
};

// Business types the library handles itself, in matching order.
constexpr std::array kRoutes = {
    Route{"J0", cards::handle_j0, true, false},  Route{"J1", cards::handle_j1, true, false},
    Route{"J2", query::handle_j2, true, true},   Route{"J4", handle_j4, false, false},
    Route{"J8", cards::handle_j8, false, false}, Route{"J9", invoice::handle_j9, false, false},
    Route{"J10", handle_j10, false, false}, Route{"J11", query::handle_j11, false, true},
};

const Route* find_route(std::string_view biztype) {
    for (const Route& r : kRoutes)
        if (r.biztype == biztype) return &r;
    return nullptr;
}

// Reads one parameter; any failure gives the empty text.
std::string read_param(const InvokeRequest& request, std::string_view name) {
    try {
        return request.param(name);
    } catch (...) {
        return {};
    }
}

void journal_quietly(const journal::Entry& entry) {
    try {
        journal::write_block(entry);
    } catch (const std::exception& e) {
        // The answer to the HIS does not depend on the journal; support learns
        // of the lost block from the diagnostic log.
        try {
            log4me::error(gbk("日志错误:") + e.what() + " (" + entry.biztype + " " + entry.serial + ")");
        } catch (...) {
        }
    } catch (...) {
    }
}

// D1 and E1, after the relay: the interceptor records what the center accepted.
// A failure goes to the diagnostic log; the HIS's answer stays the center's.
void intercept_after_relay(const std::string& hid, const std::string& biztype, const std::string& ip,
                           const std::string& indata, const std::string& answer) {
    std::string error;
    int result = -1;
    try {
        result = interceptor::monitoring_interceptor(hid, biztype, ip, indata, answer, error);
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error.clear();
    }
    if (result == 1) return;
    try {
        log4me::error(log4me::stamp_serial() + "\t" + error);
    } catch (...) {
        // The answer to the HIS does not depend on the diagnostic log.
    }
}

}  // namespace

std::string normalize_institution(std::string_view hid) {
    if (gbk_find_char(hid, '|') != std::string_view::npos) return std::string(hid);
    return config().institution_key;
}

void bizbuss(const InvokeRequest& request, std::string& out) {
    std::string hid, biztype, ip, indata;
    try {
        hid = read_param(request, "hid");
        if (hid.empty()) {
            out = error_document("", -1, gbk("医疗机构代码不能为空"));
            return;
        }
        biztype = read_param(request, "biztype");
        if (biztype.empty()) {
            out = error_document("", -1, gbk("医疗机构编码"));
            return;
        }
        ip = read_param(request, "ip");
        if (ip.empty()) {
            out = error_document(biztype, -1, gbk("交易发起IP不能为空"));
            return;
        }
        indata = read_param(request, "indata");
        if (indata.empty()) {
            out = error_document(biztype, -1, gbk("发起报文XML不能为空"));
            return;
        }

        if (const Route* route = find_route(biztype)) {
            const platform::LocalTime start = platform::local_now();
            journal::Entry entry{format_hhnnsszz(start), "0", hid, ip, biztype, indata, start};
            if (route->request_block) journal_quietly(entry);
            if (route->own_trap) {
                try {
                    route->handler(request, out);
                } catch (...) {
                    // The handler's answer stands as it was left.
                }
            } else {
                route->handler(request, out);
            }
            entry.direction = "1";
            entry.document = out;
            journal_quietly(entry);
            return;
        }
        if (biztype == "F1") {
            // The audit request goes out before the settlement; its outcome never
            // changes the F1 transaction.
            std::string error;
            interceptor::monitoring_interceptor(hid, biztype, ip, indata, "", error);
        }
    } catch (...) {
        // A handler or the F1 interceptor failed: the transaction goes to the
        // center under its own type.
    }
    relay(config().center_address, hid, biztype, ip, indata, out);
    if (biztype == "D1" || biztype == "E1") intercept_after_relay(hid, biztype, ip, indata, out);
}

}  // namespace vorla
