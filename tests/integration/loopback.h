// Sockets of 127.0.0.1 for the fake peers of the integration tests.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vorla::testing {

// A socket listening on a free port of 127.0.0.1 (close-on-exec, so started
// programs do not keep it); `port` gets the port. -1 when none can be had.
inline int listen_on_loopback(int& port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s, 8) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(s);
        return -1;
    }
    port = ntohs(a.sin_port);
    return s;
}

// A port of 127.0.0.1 where nothing listens (it was free a moment ago).
inline int closed_port() {
    int port = 0;
    const int s = listen_on_loopback(port);
    if (s >= 0) ::close(s);
    return port;
}

}  // namespace vorla::testing
