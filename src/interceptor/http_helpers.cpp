// The HTTP helpers on the platform transport (libcurl on Linux).
//
// "The error the HTTP client raised" is, with the transport: its message when no
// answer arrived (connection failure, time-out, TLS failure, unreadable file), or
// the status line of a final answer whose status is not 2xx (redirects are
// followed first, so a 3xx is final only when it cannot be followed). A 2xx
// answer raises nothing.
#include "interceptor/http_helpers.h"

#include <array>
#include <atomic>
#include <cctype>
#include <stdexcept>

#include "common/text.h"
#include "platform/fs.h"
#include "journal/log4me.h"
#include "platform/http.h"
#include "platform/platform.h"

namespace vorla::http {
namespace {

constexpr std::chrono::milliseconds kDefaultReadTimeout{10 * 1000};
std::atomic<long long> g_read_timeout_ms{kDefaultReadTimeout.count()};
std::atomic<long long> g_text_deadline_ms{kTextDeadline.count()};
std::atomic<long long> g_upload_deadline_ms{kUploadDeadline.count()};

std::string monitoring_prefix() { return gbk("医保监控请求失败:"); }
std::string call_prefix() { return gbk("调用接口错误:"); }

// The request body of the text operations: UTF-8, without leading and trailing
// bytes of code 32 or below.
std::string wire_body(std::string_view gbk_text) {
    return std::string(trim(platform::gbk_to_utf8(gbk_text)));
}

std::string gbk_answer(std::string_view utf8) { return utf8.empty() ? std::string() : platform::utf8_to_gbk(utf8, '?'); }

platform::HttpRequest post_request(std::string_view url, std::string body, std::string content_type) {
    platform::HttpRequest request;
    request.method = "POST";
    request.url = std::string(url);
    request.headers = {{"Content-Type", std::move(content_type)}};
    request.body = std::move(body);
    request.timeout = text_deadline();
    request.read_timeout = read_timeout();
    return request;
}

// The error the exchange raised; "" when it raised none (a 2xx answer).
std::string raised_error(const platform::HttpResponse& r) {
    if (!r.ok) return r.error;
    if (r.status >= 200 && r.status <= 299) return {};
    if (!r.status_line.empty()) return r.status_line;
    std::string line = "HTTP " + std::to_string(r.status);
    if (!r.reason.empty()) line += " " + r.reason;
    return line;
}

struct ContentType {
    std::string_view extension;
    std::string_view type;
};

// The types this library registers for the extensions of uploaded files.
constexpr std::array kContentTypes = {
    ContentType{"bmp", "image/bmp"},
    ContentType{"csv", "text/csv"},
    ContentType{"doc", "application/msword"},
    ContentType{"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
    ContentType{"gif", "image/gif"},
    ContentType{"gz", "application/gzip"},
    ContentType{"htm", "text/html"},
    ContentType{"html", "text/html"},
    ContentType{"jpeg", "image/jpeg"},
    ContentType{"jpg", "image/jpeg"},
    ContentType{"json", "application/json"},
    ContentType{"pdf", "application/pdf"},
    ContentType{"png", "image/png"},
    ContentType{"rar", "application/x-rar-compressed"},
    ContentType{"tif", "image/tiff"},
    ContentType{"tiff", "image/tiff"},
    ContentType{"txt", "text/plain"},
    ContentType{"xls", "application/vnd.ms-excel"},
    ContentType{"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
    ContentType{"xml", "text/xml"},
    ContentType{"zip", "application/zip"},
};

bool is_separator(char c) { return c == '/' || c == platform::path_separator(); }

}  // namespace

std::string file_name_of(std::string_view path) {
    // Forward, by whole characters: a trail byte 0x5C ("\\") is no separator.
    size_t start = 0;
    for (size_t at = 0; at < path.size(); at += gbk_char_length(path, at))
        if (gbk_char_length(path, at) == 1 && is_separator(path[at])) start = at + 1;
    return std::string(path.substr(start));
}

std::string content_type_for(std::string_view path) {
    const std::string name = file_name_of(path);
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot + 1 == name.size()) return "application/octet-stream";
    std::string extension = name.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const ContentType& entry : kContentTypes)
        if (entry.extension == extension) return std::string(entry.type);
    return "application/octet-stream";
}

void set_read_timeout(std::chrono::milliseconds timeout) {
    g_read_timeout_ms = timeout.count() > 0 ? timeout.count() : kDefaultReadTimeout.count();
}

std::chrono::milliseconds read_timeout() { return std::chrono::milliseconds(g_read_timeout_ms.load()); }

void set_deadlines(std::chrono::milliseconds text, std::chrono::milliseconds upload) {
    g_text_deadline_ms = text.count() > 0 ? text.count() : kTextDeadline.count();
    g_upload_deadline_ms = upload.count() > 0 ? upload.count() : kUploadDeadline.count();
}

std::chrono::milliseconds text_deadline() { return std::chrono::milliseconds(g_text_deadline_ms.load()); }
std::chrono::milliseconds upload_deadline() { return std::chrono::milliseconds(g_upload_deadline_ms.load()); }

std::string monitoring_post(std::string_view url, std::string_view json_gbk) {
    const std::string body = wire_body(json_gbk);
    std::string message;  // the error raised on the way
    std::string answer;
    int status = 0;
    try {
        log4me::error("\t" + body);  // step 3: the body as sent (UTF-8)
        const platform::HttpResponse r = platform::http_request(post_request(url, body, "application/json"));
        status = r.ok ? r.status : 0;
        message = raised_error(r);
        if (message.empty()) {  // step 5: an answer came without a raised error
            answer = gbk_answer(r.body);
            log4me::error("\t" + answer);
        }
    } catch (const std::exception& e) {
        // A failed log line (step 3: nothing was sent) ends the exchange like a
        // failed request whose message is the log's error.
        message = e.what();
    }
    if (status == 200) return answer;
    // Step 6; a failure to log this line is raised to the caller.
    log4me::error(log4me::stamp_serial() + "\t" + message);
    return monitoring_prefix() + message;
}

Result post_text(std::string_view url, std::string_view body_gbk, std::string_view content_type) {
    const std::string type = content_type.empty() ? std::string("application/x-www-form-urlencoded")
                                                  : std::string(content_type);
    const platform::HttpResponse r = platform::http_request(post_request(url, wire_body(body_gbk), type));
    if (r.ok && r.status == 200) return Result{true, gbk_answer(r.body)};
    return Result{false, call_prefix() + raised_error(r)};
}

Result json_post(std::string_view url, std::string_view json_gbk) {
    return post_text(url, json_gbk, "application/json");
}

Result form_post(std::string_view url, std::string_view body_gbk) {
    return post_text(url, body_gbk, "application/x-www-form-urlencoded");
}

Result upload_file(std::string_view url, std::string_view path, std::string_view name_gbk) {
    platform::HttpForm parts(2);
    parts[0].name = "fileName";
    parts[0].data = std::string(name_gbk);
    parts[1].name = "file";
    parts[1].file_path = platform::native_path(path);
    parts[1].filename = file_name_of(path);
    parts[1].content_type = content_type_for(path);
    const platform::HttpResponse r = platform::http_post_multipart(std::string(url), std::move(parts),
                                                                   upload_deadline(), read_timeout());
    std::string message = raised_error(r);
    if (r.ok && message.empty()) return Result{true, r.body};
    return Result{false, std::move(message)};
}

}  // namespace vorla::http
