// The HTTP transport on libcurl.
#include <curl/curl.h>
#include <sys/stat.h>

#include <cerrno>
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

struct Sink {
    HttpResponse* response;
    CURL* handle = nullptr;
    // The read time-out: the last moment a byte moved (or the connection was
    // not up yet), the progress counts seen then, and whether it ran out.
    std::chrono::milliseconds read_timeout{0};
    Clock::time_point last_activity = Clock::now();
    curl_off_t downloaded = -1, uploaded = -1;
    bool read_timed_out = false;
};

size_t on_body(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    sink->last_activity = Clock::now();
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
    curl_off_t connected_after = 0;  // 0 until the connection is up
    curl_easy_getinfo(sink->handle, CURLINFO_CONNECT_TIME_T, &connected_after);
    if (connected_after == 0 || downloaded != sink->downloaded || uploaded != sink->uploaded) {
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

}  // namespace

HttpResponse http_request(const HttpRequest& request) {
    global_init();
    HttpResponse response;
    // Declared before the handle, which refers to it until its own clean-up.
    std::unique_ptr<curl_mime, MimeDeleter> mime;
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        response.error = "the HTTP transport could not be initialised";
        return response;
    }
    CURL* h = easy.get();
    char error_buffer[CURL_ERROR_SIZE] = {};
    Sink sink{&response};
    sink.handle = h;
    sink.read_timeout = request.read_timeout;

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
    if (request.method == "POST" && !request.form.empty()) {
        if (curl_slist* next = curl_slist_append(raw_list, "Expect:")) raw_list = next;
        std::unique_ptr<curl_slist, ListDeleter> owned(raw_list);
        mime = build_form(h, request.form, response.error);
        if (!mime) return response;  // nothing was sent
        raw_list = owned.release();
        curl_easy_setopt(h, CURLOPT_MIMEPOST, mime.get());
    } else if (request.method == "POST") {
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
        if (sink.read_timed_out)
            response.error = "Read timed out: no data for " + std::to_string(request.read_timeout.count()) +
                             " milliseconds";
        response.body.clear();
        response.status_line.clear();
        return response;
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    response.ok = true;
    response.status = static_cast<int>(status);
    return response;
}

}  // namespace vorla::platform
