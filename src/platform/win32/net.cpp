// Host name and host lookup through Windows Sockets 1.1.
#include "platform/win32/win32.h"  // windows.h without winsock.h first

#include <winsock2.h>

#include <algorithm>

#include "platform/net.h"
#include "platform/platform.h"

namespace vorla::platform {
namespace {

// Windows Sockets, version 1.1, for the life of the object.
class SocketsSession {
public:
    SocketsSession() { started_ = ::WSAStartup(MAKEWORD(1, 1), &data_) == 0; }
    ~SocketsSession() {
        if (started_) ::WSACleanup();
    }
    SocketsSession(const SocketsSession&) = delete;
    SocketsSession& operator=(const SocketsSession&) = delete;
    bool started() const { return started_; }

private:
    WSADATA data_{};
    bool started_ = false;
};

}  // namespace

std::optional<std::string> host_name() {
    SocketsSession session;
    if (!session.started()) return std::nullopt;
    char buffer[64] = {};
    if (::gethostname(buffer, sizeof buffer) != 0) return std::nullopt;
    buffer[sizeof buffer - 1] = '\0';
    return std::string(buffer);
}

std::optional<std::vector<std::string>> lookup_ipv4(const std::string& name) {
    SocketsSession session;
    if (!session.started()) return std::nullopt;
    const hostent* host = ::gethostbyname(name.c_str());
    if (!host || host->h_addrtype != AF_INET || host->h_length != 4 || !host->h_addr_list) return std::nullopt;
    std::vector<std::string> out;
    for (char** entry = host->h_addr_list; *entry; ++entry) {
        in_addr address{};
        std::copy_n(*entry, 4, reinterpret_cast<char*>(&address));
        const char* text = ::inet_ntoa(address);
        if (text && std::find(out.begin(), out.end(), text) == out.end()) out.emplace_back(text);
    }
    return out;
}

std::string host_executable_text() {
    // The path is read from the system as UTF-16 and converted to GBK.
    return host_executable_path();
}

}  // namespace vorla::platform
