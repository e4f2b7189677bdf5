// The HTTP transport of the platform boundary (Linux: libcurl; Windows: WinInet).
//
// One request, one answer: redirects are followed, TLS certificates and host
// names are verified (never turned off), proxies come from the environment the
// transport normally honours. Bodies are bytes; the caller converts texts to
// and from UTF-8 at its own boundary.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorla::platform {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method = "GET";  // "GET" or "POST"
    std::string url;             // http:// or https:// only
    HttpHeaders headers;         // sent as given, after the transport's own
    std::string body;            // sent with POST
    // Limit for the whole exchange (connecting, sending, waiting, receiving);
    // zero or less means no limit.
    std::chrono::milliseconds timeout{600000};
};

struct HttpResponse {
    // True when an HTTP answer arrived, whatever its status; false when none did
    // (unreachable host, time-out, TLS failure, bad URL...), `error` then says why.
    bool ok = false;
    int status = 0;          // status of the final answer (after redirects)
    std::string reason;      // its reason phrase, e.g. "Not Found" (may be empty)
    HttpHeaders headers;     // its header fields, in the order received
    std::string body;        // its body bytes
    std::string error;       // the transport's message when !ok
};

// Runs one request. Never throws for network failures (see HttpResponse::ok);
// only exhaustion of memory escapes.
HttpResponse http_request(const HttpRequest& request);

inline HttpResponse http_get(std::string url, std::chrono::milliseconds timeout, HttpHeaders headers = {}) {
    return http_request(HttpRequest{"GET", std::move(url), std::move(headers), {}, timeout});
}

inline HttpResponse http_post(std::string url, HttpHeaders headers, std::string body,
                              std::chrono::milliseconds timeout) {
    return http_request(HttpRequest{"POST", std::move(url), std::move(headers), std::move(body), timeout});
}

}  // namespace vorla::platform
