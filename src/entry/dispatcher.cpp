#include "entry/dispatcher.h"

#include <array>

#include "center/relay.h"
#include "common/text.h"
#include "entry/config.h"
#include "journal/journal.h"
#include "messages/envelope.h"
#include "platform/platform.h"

namespace vorla {
namespace {

struct Route {
    std::string_view biztype;
    Handler handler;     // nullptr: not served by the library in this build, relayed
    bool request_block;  // journal the request before the handler runs
    bool own_trap;       // a failure of the handler is ignored, its output kept
};

// Business types the library handles itself, in matching order.
constexpr std::array kRoutes = {
    Route{"J0", nullptr, true, false},  Route{"J1", nullptr, true, false},
    Route{"J2", nullptr, true, true},   Route{"J4", nullptr, false, false},
    Route{"J8", nullptr, false, false}, Route{"J9", nullptr, false, false},
    Route{"J10", nullptr, false, false}, Route{"J11", nullptr, false, true},
};

const Route* find_route(std::string_view biztype) {
    for (const Route& r : kRoutes)
        if (r.biztype == biztype && r.handler) return &r;
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
    } catch (...) {
        // The answer to the HIS does not depend on the journal.
    }
}

}  // namespace

std::string normalize_institution(std::string_view hid) {
    if (hid.find('|') != std::string_view::npos) return std::string(hid);
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
    } catch (...) {
        // A handler failed: the transaction goes to the center under its own type.
    }
    relay(config().center_address, hid, biztype, ip, indata, out);
}

}  // namespace vorla
