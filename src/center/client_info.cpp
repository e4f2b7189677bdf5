#include "center/client_info.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <map>

#include "common/json.h"
#include "entry/config.h"
#include "platform/net.h"
#include "platform/platform.h"

namespace vorla::center {

std::string client_information_text(const ClientInformation& info) {
    std::map<std::string, std::string> members;  // ordered by name, as the center reads them
    members["dllver"] = info.dllver;
    members["seed"] = info.seed;
    members["bussid"] = info.bussid;
    members["exename"] = info.exename;
    if (info.exesize) members["exesize"] = std::to_string(*info.exesize);
    if (info.ip) members["ip"] = *info.ip;
    json::Writer out;
    out.begin_object();
    for (const auto& [name, value] : members) out.member(name, value);
    return out.end_object().take();
}

std::string pick_local_address(const std::optional<std::vector<std::string>>& addresses) {
    if (!addresses || addresses->empty()) return {};
    // Mend: the original walk looks at no more than eleven entries (positions 0
    // to 10) and fails with a range error when the eleventh is present. Here the
    // walk stops after those eleven instead, so the last of the first eleven is
    // taken: the last address of a list of up to eleven, the eleventh of a longer one.
    constexpr size_t kLooked = 11;
    return (*addresses)[std::min(addresses->size(), kLooked) - 1];
}

std::string local_address() {
    // The host lookup reads the resolver's files at every call; its answer is kept
    // for a few seconds, which no change of the workstation's address outruns.
    static std::mutex guard;
    static std::string kept;
    static std::chrono::steady_clock::time_point kept_at;
    static bool has_kept = false;
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(guard);
    if (has_kept && now - kept_at < kLocalAddressKept) return kept;
    const std::optional<std::string> name = platform::host_name();
    std::string address = name ? pick_local_address(platform::lookup_ipv4(*name)) : std::string();
    kept = address;
    kept_at = now;
    has_kept = true;
    return address;
}

ClientInformation gather_client_information() {
    ClientInformation info;
    info.dllver = std::string(kClientVersion);
    info.seed = config().seed;
    info.bussid = config().bussid;
    // The host's executable does not change while the process runs.
    static const std::string exe_path = platform::host_executable_path();
    static const std::string exe_text = platform::host_executable_text();
    info.exename = exe_text;
    try {
        info.exesize = platform::file_size(exe_path);
    } catch (...) {
        info.exesize.reset();
    }
    try {
        std::string ip = local_address();
        if (!ip.empty()) info.ip = std::move(ip);
    } catch (...) {
        info.ip.reset();
    }
    return info;
}

}  // namespace vorla::center
