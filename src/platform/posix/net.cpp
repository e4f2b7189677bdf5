// Host name and host lookup on POSIX systems.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "platform/net.h"
#include "platform/platform.h"

namespace vorla::platform {

std::optional<std::string> host_name() {
    char buf[64] = {};
    if (::gethostname(buf, sizeof buf) != 0) return std::nullopt;
    buf[sizeof buf - 1] = '\0';
    return std::string(buf);
}

std::optional<std::vector<std::string>> lookup_ipv4(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* raw = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &raw) != 0 || !raw) return std::nullopt;
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(raw, &::freeaddrinfo);
    std::vector<std::string> out;
    for (const addrinfo* a = list.get(); a; a = a->ai_next) {
        if (a->ai_family != AF_INET || !a->ai_addr) continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* sin = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
        if (!::inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text)) continue;
        if (std::find(out.begin(), out.end(), text) == out.end()) out.emplace_back(text);
    }
    return out;
}

std::string host_executable_text() {
    // The platform's paths are GBK already, like every text inside the library.
    return host_executable_path();
}

}  // namespace vorla::platform
