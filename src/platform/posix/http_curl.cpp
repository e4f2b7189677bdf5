// The HTTP transport on libcurl.
#include <curl/curl.h>

#include <memory>
#include <mutex>

#include "platform/http.h"

namespace vorla::platform {
namespace {

void global_init() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct ListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

struct Sink {
    HttpResponse* response;
};

size_t on_body(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    sink->response->body.append(data, size * count);
    return size * count;
}

std::string_view trim_line(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

// Header lines of every answer on the way (redirects, 100 Continue): a status
// line starts a new answer, so what stays is the final answer's.
size_t on_header(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const std::string_view line = trim_line(std::string_view(data, size * count));
    if (line.substr(0, 5) == "HTTP/") {
        sink->response->headers.clear();
        sink->response->reason.clear();
        // "HTTP/1.1 404 Not Found": the reason phrase follows the second blank.
        const auto first = line.find(' ');
        const auto second = first == std::string_view::npos ? first : line.find(' ', first + 1);
        if (second != std::string_view::npos) sink->response->reason = std::string(trim_line(line.substr(second + 1)));
    } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
        sink->response->headers.emplace_back(std::string(line.substr(0, colon)),
                                             std::string(trim_line(line.substr(colon + 1))));
    }
    return size * count;
}

}  // namespace

HttpResponse http_request(const HttpRequest& request) {
    global_init();
    HttpResponse response;
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        response.error = "the HTTP transport could not be initialised";
        return response;
    }
    CURL* h = easy.get();
    char error_buffer[CURL_ERROR_SIZE] = {};
    Sink sink{&response};

    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_buffer);
    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);  // inside a host process: no signals
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
    curl_easy_setopt(h, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    if (request.timeout.count() > 0) {
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeout.count()));
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.timeout.count()));
    }
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, on_body);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, on_header);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &sink);

    curl_slist* raw_list = nullptr;
    for (const auto& [name, value] : request.headers) {
        const std::string line = value.empty() ? name + ";" : name + ": " + value;
        curl_slist* next = curl_slist_append(raw_list, line.c_str());
        if (!next) break;
        raw_list = next;
    }
    if (request.method == "POST") {
        // No "Expect: 100-continue" round trip before large bodies.
        if (curl_slist* next = curl_slist_append(raw_list, "Expect:")) raw_list = next;
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data());
    } else if (request.method != "GET") {
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
    std::unique_ptr<curl_slist, ListDeleter> list(raw_list);
    if (list) curl_easy_setopt(h, CURLOPT_HTTPHEADER, list.get());

    const CURLcode rc = curl_easy_perform(h);
    if (rc != CURLE_OK) {
        response.ok = false;
        response.error = error_buffer[0] ? error_buffer : curl_easy_strerror(rc);
        response.body.clear();
        return response;
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    response.ok = true;
    response.status = static_cast<int>(status);
    return response;
}

}  // namespace vorla::platform
