// Recording, scenario files and dropped connections.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim.h"

namespace vorla::sim {

Recorder::Recorder(std::string directory) {
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    path_ = directory + "/requests.jsonl";
}

void Recorder::record(std::vector<std::pair<std::string, std::string>> text_fields,
                      std::vector<std::pair<std::string, std::string>> raw_fields) {
    std::lock_guard lock(mutex_);
    std::string line = "{\"seq\":" + std::to_string(next_++);
    for (const auto& [name, value] : text_fields) line += "," + json_string(name) + ":" + json_string(value);
    for (const auto& [name, value] : raw_fields) line += "," + json_string(name) + ":" + value;
    line += "}\n";
    if (std::FILE* f = std::fopen(path_.c_str(), "ab")) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fclose(f);
    }
}

std::string scenario_stem(std::string_view biztype) {
    if (biztype.empty() || biztype.size() > 64) return {};
    for (char c : biztype) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                        c == '_';
        if (!ok) return {};
    }
    return std::string(biztype);
}

std::optional<std::string> scenario_file(const Context& context, std::string_view name) {
    if (context.scenario_directory.empty() || name.empty() || name.find('/') != std::string_view::npos ||
        name.front() == '.')
        return std::nullopt;
    const std::string path = context.scenario_directory + "/" + std::string(name);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string json_string(std::string_view utf8) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::vector<std::pair<std::string, std::string>> request_fields(const httplib::Request& request) {
    const auto q = request.target.find('?');
    return {{"method", request.method},
            {"path", request.path},
            {"query", q == std::string::npos ? std::string() : request.target.substr(q + 1)}};
}

namespace {

int port_of(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return -1;
}

}  // namespace

int connection_socket(const httplib::Request& request) {
    // The server keeps the connection's socket to itself: find it among the
    // process's descriptors by its two ports.
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return -1;
    int found = -1;
    while (const dirent* entry = ::readdir(dir)) {
        const int fd = std::atoi(entry->d_name);
        if (fd <= 2 || fd == ::dirfd(dir)) continue;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) continue;
        sockaddr_storage local{}, peer{};
        socklen_t local_length = sizeof local, peer_length = sizeof peer;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &local_length) != 0) continue;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peer_length) != 0) continue;
        if (port_of(local) == request.local_port && port_of(peer) == request.remote_port) {
            found = fd;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

void drop_connection(const httplib::Request& request) {
    // The server closes the descriptor itself when its write fails.
    const int fd = connection_socket(request);
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

void wait_for(const httplib::Request& request, std::chrono::milliseconds delay) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + delay;
    const int fd = connection_socket(request);
    while (Clock::now() < end) {
        std::this_thread::sleep_for(std::min<Clock::duration>(end - Clock::now(), std::chrono::milliseconds(50)));
        char byte;
        if (fd >= 0 && ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0) return;  // the client is gone
    }
}

}  // namespace vorla::sim
