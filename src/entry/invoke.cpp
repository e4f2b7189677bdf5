#include "entry/invoke.h"

#include "common/text.h"
#include "entry/config.h"
#include "entry/dispatcher.h"
#include "entry/invoke_request.h"
#include "journal/log4me.h"
#include "messages/envelope.h"

namespace vorla {

std::recursive_mutex& call_lock() {
    static std::recursive_mutex lock;
    return lock;
}

std::string run_invoke(std::string_view request_gbk) {
    try {
        // The configuration, the transport's time-out, the service description
        // cache and the log state are process-wide: one call at a time.
        std::lock_guard<std::recursive_mutex> guard(call_lock());
        load_configuration();
        if (!config().write_failure.empty()) {
            try {
                log4me::error(log4me::stamp_serial() + "\t" + config().write_failure);
            } catch (...) {
            }
        }
        auto request = InvokeRequest::parse(request_gbk);
        if (!request || request->functionname() != "bizbuss") return rejection_text();
        std::string out;
        bizbuss(*request, out);
        return out;
    } catch (const std::exception& e) {
        // Only exhaustion of memory or the like reaches here.
        try {
            return error_document("", -1, e.what());
        } catch (...) {
        }
    } catch (...) {
    }
    return {};
}

void library_loaded() {
    // The process-wide values are created here, before the unload hook exists, so
    // they outlive it.
    call_lock();
    config();
    try {
        log4me::start();
    } catch (...) {
    }
}

void library_unloaded() {
    try {
        log4me::stop();
    } catch (...) {
    }
    release_configuration();
}

}  // namespace vorla
