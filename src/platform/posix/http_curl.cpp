// The HTTP transport on libcurl.
#include <curl/curl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <system_error>

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
struct MimeDeleter {
    void operator()(curl_mime* m) const { curl_mime_free(m); }
};

using Clock = std::chrono::steady_clock;
using Easy = std::unique_ptr<CURL, EasyDeleter>;

// "scheme://host:port" of an absolute http or https URL, lower case; "" when
// the URL cannot be read.
std::string origin_of(const std::string& url) {
    std::unique_ptr<CURLU, void (*)(CURLU*)> u(curl_url(), curl_url_cleanup);
    if (!u || curl_url_set(u.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return {};
    char *scheme = nullptr, *host = nullptr, *port = nullptr;
    std::string out;
    if (curl_url_get(u.get(), CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
        curl_url_get(u.get(), CURLUPART_HOST, &host, 0) == CURLUE_OK &&
        curl_url_get(u.get(), CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
        out = std::string(scheme) + "://" + host + ":" + port;
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    curl_free(scheme);
    curl_free(host);
    curl_free(port);
    return out;
}

// The handles kept between requests, per origin, with their connection, TLS
// session and DNS caches. A handle is taken out while a request uses it, so
// overlapping requests never share one. Closed when the library unloads.
class KeptHandles {
public:
    KeptHandles() { global_init(); }
    ~KeptHandles() { close_all(); }

    // A kept handle for the origin (reset, its caches intact) and whether its
    // connection has been idle too long to be used again; a new one when none.
    Easy take(const std::string& origin, bool& stale) {
        stale = false;
        {
            std::lock_guard lock(mutex_);
            auto& list = kept_[origin];
            if (!list.empty()) {
                Kept k = std::move(list.back());
                list.pop_back();
                stale = Clock::now() - k.last_used > kKeptConnectionIdle;
                curl_easy_reset(k.easy.get());
                return std::move(k.easy);
            }
        }
        return Easy(curl_easy_init());
    }

    void give_back(const std::string& origin, Easy easy) {
        std::lock_guard lock(mutex_);
        auto& list = kept_[origin];
        if (list.size() < kPerOrigin) list.push_back(Kept{std::move(easy), Clock::now()});
    }

    void close_all() {
        std::map<std::string, std::vector<Kept>> gone;
        {
            std::lock_guard lock(mutex_);
            gone.swap(kept_);
        }
    }

private:
    static constexpr size_t kPerOrigin = 4;
    struct Kept {
        Easy easy;
        Clock::time_point last_used;
    };
    std::mutex mutex_;
    std::map<std::string, std::vector<Kept>> kept_;
};

KeptHandles& kept_handles() {
    static KeptHandles handles;
    return handles;
}

struct Sink {
    HttpResponse* response = nullptr;
    CURL* handle = nullptr;
    // The read time-out: the last moment a byte moved (or the connection was
    // not up yet), the progress counts seen then, and whether it ran out.
    std::chrono::milliseconds read_timeout{0};
    Clock::time_point last_activity = Clock::now();
    curl_off_t downloaded = -1, uploaded = -1;
    bool read_timed_out = false;
    bool connected = false;
    // The request's body, handed out once and never rewound.
    std::string_view body;
    size_t body_sent = 0;
    int requests_sent = 0;  // how often the transport was about to send the request
    bool sent_twice = false;
    size_t answer_limit = kDefaultAnswerLimit;
    bool too_large = false;
};

// Called once the connection is up (new or kept), right before the request is
// sent. A second call within one exchange is a re-send of the request, which
// is refused.
int on_prerequest(void* user, char*, char*, int, int) {
    auto* sink = static_cast<Sink*>(user);
    sink->connected = true;
    sink->last_activity = Clock::now();
    if (++sink->requests_sent > 1) {
        sink->sent_twice = true;
        return CURL_PREREQFUNC_ABORT;
    }
    return CURL_PREREQFUNC_OK;
}

size_t on_read(char* buffer, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const size_t n = std::min(size * count, sink->body.size() - sink->body_sent);
    std::memcpy(buffer, sink->body.data() + sink->body_sent, n);
    sink->body_sent += n;
    return n;
}

// The body is never sent again: a rewind is refused (the transfer then fails
// with CURLE_SEND_FAIL_REWIND).
int on_seek(void*, curl_off_t, int) { return CURL_SEEKFUNC_CANTSEEK; }

size_t on_body(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    sink->last_activity = Clock::now();
    if (size * count > sink->answer_limit - std::min(sink->answer_limit, sink->response->body.size())) {
        sink->too_large = true;
        return 0;  // ends the transfer with CURLE_WRITE_ERROR
    }
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
    sink->last_activity = Clock::now();
    const std::string_view line = trim_line(std::string_view(data, size * count));
    if (line.substr(0, 5) == "HTTP/") {
        sink->response->headers.clear();
        sink->response->reason.clear();
        sink->response->status_line = std::string(line);
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

// Called about once a second while nothing moves, more often while bytes do.
int on_progress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
    auto* sink = static_cast<Sink*>(user);
    const Clock::time_point now = Clock::now();
    if (!sink->connected || downloaded != sink->downloaded || uploaded != sink->uploaded) {
        sink->downloaded = downloaded;
        sink->uploaded = uploaded;
        sink->last_activity = now;
        return 0;
    }
    if (now - sink->last_activity >= sink->read_timeout) {
        sink->read_timed_out = true;
        return 1;  // ends the transfer with CURLE_ABORTED_BY_CALLBACK
    }
    return 0;
}

// Whether the file can be opened for reading (a directory cannot); `error` says why not.
bool readable(const std::string& path, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    int code = f ? 0 : errno;
    struct stat st {};
    if (f && ::fstat(::fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) code = EISDIR;
    if (f) std::fclose(f);
    if (code == 0) return true;
    error = "cannot open file \"" + path + "\": " + std::error_code(code, std::generic_category()).message();
    return false;
}

// The multipart body of `form`; nullptr with `error` set when a part cannot be built.
std::unique_ptr<curl_mime, MimeDeleter> build_form(CURL* h, const HttpForm& form, std::string& error) {
    std::unique_ptr<curl_mime, MimeDeleter> mime(curl_mime_init(h));
    if (!mime) {
        error = "the multipart body could not be built";
        return nullptr;
    }
    for (const HttpFormPart& part : form) {
        curl_mimepart* p = curl_mime_addpart(mime.get());
        if (!p) {
            error = "the multipart body could not be built";
            return nullptr;
        }
        curl_mime_name(p, part.name.c_str());
        if (!part.file_path.empty()) {
            if (!readable(part.file_path, error)) return nullptr;
            if (curl_mime_filedata(p, part.file_path.c_str()) != CURLE_OK) {
                error = "cannot open file \"" + part.file_path + "\"";
                return nullptr;
            }
            // curl_mime_filedata names the part after the path; the caller's name (or none) stands.
            curl_mime_filename(p, part.filename.empty() ? nullptr : part.filename.c_str());
        } else {
            curl_mime_data(p, part.data.data(), part.data.size());
            if (!part.filename.empty()) curl_mime_filename(p, part.filename.c_str());
        }
        if (!part.content_type.empty()) curl_mime_type(p, part.content_type.c_str());
    }
    return mime;
}


bool is_redirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

HttpResponse failure(std::string text) {
    HttpResponse r;
    r.error = std::move(text);
    return r;
}

// One request to `url` without following redirects; `location` gets the
// absolute target of a redirect answer. `timeout` limits the whole of it.
HttpResponse perform(const HttpRequest& request, const std::string& url, const std::string& method,
                     std::chrono::milliseconds timeout, std::string& location) {
    HttpResponse response;
    const std::string origin = origin_of(url);
    bool stale = false;
    // Declared before the handle, which refers to it until its own clean-up.
    std::unique_ptr<curl_mime, MimeDeleter> mime;
    Easy easy = kept_handles().take(origin, stale);
    if (!easy) return failure("the HTTP transport could not be initialised");
    CURL* h = easy.get();
    char error_buffer[CURL_ERROR_SIZE] = {};
    Sink sink;
    sink.response = &response;
    sink.handle = h;
    sink.read_timeout = request.read_timeout;
    sink.answer_limit = request.answer_limit;

    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_buffer);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);  // inside a host process: no signals
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
#else
    curl_easy_setopt(h, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);  // followed by http_request
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    // Kept connections idle too long are not used (also by the transport itself).
    curl_easy_setopt(h, CURLOPT_MAXAGE_CONN, static_cast<long>(kKeptConnectionIdle.count() / 1000));
    if (stale) curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, 1L);
    if (const char* ca = std::getenv("VORLA_CA_FILE"); ca && *ca) curl_easy_setopt(h, CURLOPT_CAINFO, ca);
    if (timeout.count() > 0) {
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout.count()));
    }
    curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, on_prerequest);
    curl_easy_setopt(h, CURLOPT_PREREQDATA, &sink);
    if (request.read_timeout.count() > 0) {
        // No byte in either direction for that long, once connected, ends the
        // exchange (libcurl's low-speed limit averages over several seconds, so
        // it is not used).
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, on_progress);
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, &sink);
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
    if (method == "POST" && !request.form.empty()) {
        if (curl_slist* next = curl_slist_append(raw_list, "Expect:")) raw_list = next;
        std::unique_ptr<curl_slist, ListDeleter> owned(raw_list);
        mime = build_form(h, request.form, response.error);
        if (!mime) return response;  // nothing was sent
        raw_list = owned.release();
        curl_easy_setopt(h, CURLOPT_MIMEPOST, mime.get());
    } else if (method == "POST") {
        // No "Expect: 100-continue" round trip before large bodies.
        if (curl_slist* next = curl_slist_append(raw_list, "Expect:")) raw_list = next;
        sink.body = request.body;
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(h, CURLOPT_READFUNCTION, on_read);
        curl_easy_setopt(h, CURLOPT_READDATA, &sink);
        curl_easy_setopt(h, CURLOPT_SEEKFUNCTION, on_seek);
    } else if (method != "GET") {
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    std::unique_ptr<curl_slist, ListDeleter> list(raw_list);
    if (list) curl_easy_setopt(h, CURLOPT_HTTPHEADER, list.get());

    const CURLcode rc = curl_easy_perform(h);
    if (rc != CURLE_OK) {
        // The handle and its connection are dropped with any failure.
        response.ok = false;
        response.error = error_buffer[0] ? error_buffer : curl_easy_strerror(rc);
        if (sink.read_timed_out)
            response.error = "Read timed out: no data for " + std::to_string(request.read_timeout.count()) +
                             " milliseconds";
        if (sink.too_large)
            response.error = "the answer is larger than " + std::to_string(request.answer_limit) + " bytes";
        if (sink.sent_twice || rc == CURLE_SEND_FAIL_REWIND)
            response.error = "Empty reply from server (the connection closed after the request was sent and "
                             "before an answer came; the request is not sent again)";
        response.body.clear();
        response.status_line.clear();
        response.headers.clear();
        easy.reset();  // while the buffers it points at are still there
        return response;
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    response.ok = true;
    response.status = static_cast<int>(status);
    if (is_redirect(response.status)) {
        char* target = nullptr;
        if (curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &target) == CURLE_OK && target) location = target;
    }
    // Options pointing at this call's buffers cleared; connection and caches stay.
    curl_easy_reset(h);
    list.reset();
    mime.reset();
    kept_handles().give_back(origin, std::move(easy));
    return response;
}

}  // namespace

HttpResponse http_request(const HttpRequest& request) {
    kept_handles();
    const Clock::time_point started = Clock::now();
    std::string url = request.url;
    std::string method = request.method;
    for (int redirects = 0;; ++redirects) {
        std::chrono::milliseconds left{0};
        if (request.timeout.count() > 0) {
            left = request.timeout - std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
            if (left.count() <= 0)
                return failure("Operation timed out after " + std::to_string(request.timeout.count()) +
                               " milliseconds");
        }
        std::string location;
        HttpResponse response = perform(request, url, method, left, location);
        if (!response.ok || location.empty()) return response;
        if (redirects == 10) return failure("too many redirects (more than 10) from " + request.url);
        if (request.redirects == Redirects::same_origin && origin_of(location) != origin_of(url))
            return failure("redirect refused: " + url + " points to " + location +
                           ", on another scheme, host or port");
        if (origin_of(location).empty()) return failure("redirect to an unsupported URL: " + location);
        if (response.status == 303 && method != "GET") method = "GET";
        url = std::move(location);
    }
}

void http_close_kept_connections() { kept_handles().close_all(); }

}  // namespace vorla::platform
