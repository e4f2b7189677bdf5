// The HTTP transport of the platform boundary (Linux: libcurl; Windows: WinInet).
//
// One request, one answer: redirects are followed (301, 302, 307 and 308 keep
// the method and the body, 303 turns into a GET without body; at most 10), TLS
// certificates and host names are verified (never turned off), proxies come
// from the environment the transport normally honours. Bodies are bytes; the
// caller converts texts to and from UTF-8 at its own boundary.
//
// A request is sent at most once: the transport never sends its body again by
// itself (a connection that breaks after the request left ends the exchange as
// a failure). Connections are kept per scheme, host and port between requests
// (Linux) and not reused once idle for longer than kKeptConnectionIdle.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorla::platform {

// Largest answer body a request accepts; a larger one fails the request.
inline constexpr size_t kDefaultAnswerLimit = size_t{64} << 20;  // 64 MiB
// A kept connection idle for longer than this is not used again.
inline constexpr std::chrono::milliseconds kKeptConnectionIdle{3000};

// Which redirects a request follows.
enum class Redirects {
    follow,       // any, to http or https
    same_origin,  // only to the same scheme, host and port; any other fails the request
};

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

// One part of a multipart/form-data body. Its bytes are `data`, or the contents
// of the file at `file_path` when that is not empty (read while sending).
struct HttpFormPart {
    std::string name;          // the part's field name
    std::string data;
    std::string file_path;     // native path; "" for a part made of `data`
    std::string filename;      // file name in Content-Disposition; "" gives none
    std::string content_type;  // the part's Content-Type; "" gives none
};
using HttpForm = std::vector<HttpFormPart>;

struct HttpRequest {
    std::string method = "GET";  // "GET" or "POST"
    std::string url;             // http:// or https:// only
    HttpHeaders headers;         // sent as given, after the transport's own
    std::string body;            // sent with POST
    // Limit for the whole exchange (connecting, sending, waiting, receiving);
    // zero or less means no limit. It also limits the connection set-up; without
    // it that takes the transport's default.
    std::chrono::milliseconds timeout{600000};
    // Longest stretch of the exchange, once connected, in which no byte moves in
    // either direction; zero or less for none. Checked about once a second, so
    // the exchange fails within a second after it ran out.
    std::chrono::milliseconds read_timeout{0};
    // When not empty, a POST sends these parts as multipart/form-data (with the
    // boundary the transport chooses) instead of `body`. A file part whose file
    // cannot be opened fails the request before anything is sent.
    HttpForm form;
    Redirects redirects = Redirects::follow;
    // The answer body may not grow beyond this many bytes.
    size_t answer_limit = kDefaultAnswerLimit;
};

struct HttpResponse {
    // True when an HTTP answer arrived, whatever its status; false when none did
    // (unreachable host, time-out, TLS failure, bad URL...), `error` then says why.
    bool ok = false;
    int status = 0;          // status of the final answer (after redirects)
    std::string reason;      // its reason phrase, e.g. "Not Found" (may be empty)
    std::string status_line;  // its status line as received, e.g. "HTTP/1.1 404 Not Found"
    HttpHeaders headers;     // its header fields, in the order received
    std::string body;        // its body bytes
    std::string error;       // the transport's message when !ok
};

// Runs one request. Never throws for network failures (see HttpResponse::ok);
// only exhaustion of memory escapes.
HttpResponse http_request(const HttpRequest& request);

// Closes every kept connection (they are also closed when the library unloads).
void http_close_kept_connections();

inline HttpResponse http_get(std::string url, std::chrono::milliseconds timeout, HttpHeaders headers = {}) {
    HttpRequest request;
    request.url = std::move(url);
    request.headers = std::move(headers);
    request.timeout = timeout;
    return http_request(request);
}

inline HttpResponse http_post(std::string url, HttpHeaders headers, std::string body,
                              std::chrono::milliseconds timeout) {
    HttpRequest request;
    request.method = "POST";
    request.url = std::move(url);
    request.headers = std::move(headers);
    request.body = std::move(body);
    request.timeout = timeout;
    return http_request(request);
}

// POST of a multipart/form-data body made of `parts`, in their order.
inline HttpResponse http_post_multipart(std::string url, HttpForm parts, std::chrono::milliseconds timeout,
                                        std::chrono::milliseconds read_timeout = {}, HttpHeaders headers = {}) {
    HttpRequest request;
    request.method = "POST";
    request.url = std::move(url);
    request.headers = std::move(headers);
    request.timeout = timeout;
    request.read_timeout = read_timeout;
    request.form = std::move(parts);
    return http_request(request);
}

}  // namespace vorla::platform
