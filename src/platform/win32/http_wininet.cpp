// The HTTP transport on WinInet.
//
// Before every request the process-wide send and receive time-outs of WinInet
// (InternetSetOption on no handle, options 5 and 6) are set to the request's
// time-out, as the center client requires; the request's own handles get the
// same limits (the read time-out, when shorter, for receiving). WinInet follows
// redirects, verifies certificates and host names and takes the system's proxy
// settings. A multipart body is written with HttpSendRequestEx and
// InternetWriteFile, its files read while sending.
#include "platform/win32/win32.h"  // windows.h first

#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/http.h"
#include "platform/platform.h"

namespace vorla::platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kNoLimit = 0xFFFFFFFF;

struct InternetHandle {
    HINTERNET h = nullptr;
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET handle) : h(handle) {}
    ~InternetHandle() {
        if (h) ::InternetCloseHandle(h);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    explicit operator bool() const { return h != nullptr; }
};

struct FileHandle {
    HANDLE h = INVALID_HANDLE_VALUE;
    FileHandle() = default;
    FileHandle(FileHandle&& other) noexcept : h(other.h) { other.h = INVALID_HANDLE_VALUE; }
    FileHandle& operator=(FileHandle&&) = delete;
    ~FileHandle() {
        if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    }
};

std::string utf8_of(const std::string& gbk) { return gbk_to_utf8(gbk); }

// The names of the WinInet codes a request meets most, for systems whose
// wininet.dll has no message text for them.
const char* wininet_code_name(DWORD code) {
    switch (code) {
        case ERROR_INTERNET_TIMEOUT: return "the operation timed out";
        case ERROR_INTERNET_NAME_NOT_RESOLVED: return "the server name could not be resolved";
        case ERROR_INTERNET_CANNOT_CONNECT: return "a connection with the server could not be established";
        case ERROR_INTERNET_CONNECTION_ABORTED: return "the connection with the server was terminated abnormally";
        case ERROR_INTERNET_CONNECTION_RESET: return "the connection with the server was reset";
        case ERROR_INTERNET_INVALID_URL: return "the URL is invalid";
        case ERROR_INTERNET_UNRECOGNIZED_SCHEME: return "the URL scheme could not be recognized";
        case ERROR_HTTP_INVALID_SERVER_RESPONSE: return "the server response could not be parsed";
        case ERROR_INTERNET_SECURITY_CHANNEL_ERROR: return "a secure channel could not be established";
        case ERROR_INTERNET_INVALID_CA: return "the certificate authority is invalid or incorrect";
        case ERROR_INTERNET_SEC_CERT_CN_INVALID: return "the certificate's host name does not match";
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID: return "the certificate has expired or is not yet valid";
        case ERROR_INTERNET_SEC_CERT_REVOKED: return "the certificate has been revoked";
        case ERROR_HTTP_REDIRECT_FAILED: return "the redirection failed";
        default: return nullptr;
    }
}

// The transport's message for a failure, as UTF-8 (what HttpResponse::error holds).
std::string failure_text(DWORD code) {
    std::string text;
    if (code >= INTERNET_ERROR_BASE && code <= INTERNET_ERROR_LAST) {
        if (const char* name = wininet_code_name(code)) text = name;
        else text = utf8_of(win32::error_text(code, ::GetModuleHandleW(L"wininet.dll")));
    } else {
        text = utf8_of(win32::error_text(code));
    }
    return text + " (WinInet error " + std::to_string(code) + ")";
}

DWORD limit_of(std::chrono::milliseconds ms) {
    if (ms.count() <= 0) return kNoLimit;
    return ms.count() >= static_cast<long long>(kNoLimit) ? kNoLimit - 1 : static_cast<DWORD>(ms.count());
}

void set_option(HINTERNET h, DWORD option, DWORD value) { ::InternetSetOptionW(h, option, &value, sizeof value); }

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

// Status line and header fields of the final answer.
void read_headers(HINTERNET request, HttpResponse& response) {
    DWORD size = 0;
    ::HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &size, nullptr);
    if (size == 0) return;
    std::string raw(size, '\0');
    if (!::HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, raw.data(), &size, nullptr)) return;
    raw.resize(std::min<size_t>(size, raw.size()));
    size_t start = 0;
    bool first = true;
    while (start < raw.size()) {
        size_t end = raw.find('\n', start);
        if (end == std::string::npos) end = raw.size();
        const std::string_view line = trim(std::string_view(raw).substr(start, end - start));
        start = end + 1;
        if (line.empty()) continue;
        if (first) {
            first = false;
            response.status_line = std::string(line);
            // "HTTP/1.1 404 Not Found": the reason phrase follows the second blank.
            const auto a = line.find(' ');
            const auto b = a == std::string_view::npos ? a : line.find(' ', a + 1);
            if (b != std::string_view::npos) response.reason = std::string(trim(line.substr(b + 1)));
            continue;
        }
        if (const auto colon = line.find(':'); colon != std::string_view::npos)
            response.headers.emplace_back(std::string(trim(line.substr(0, colon))),
                                          std::string(trim(line.substr(colon + 1))));
    }
}

// ---- multipart/form-data --------------------------------------------------------------

// Quotes and line breaks in a name or file name, percent-encoded as browsers do.
std::string disposition_value(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '"') out += "%22";
        else if (c == '\r') out += "%0D";
        else if (c == '\n') out += "%0A";
        else out += c;
    }
    return out;
}

// The content type a file name suggests; nullptr when its extension says nothing.
const char* type_of_name(const std::string& name) {
    static const struct {
        const char* extension;
        const char* type;
    } kTypes[] = {{".gif", "image/gif"},  {".jpg", "image/jpeg"},     {".jpeg", "image/jpeg"},
                  {".png", "image/png"},  {".svg", "image/svg+xml"},  {".txt", "text/plain"},
                  {".htm", "text/html"},  {".html", "text/html"},     {".pdf", "application/pdf"},
                  {".xml", "application/xml"}};
    for (const auto& t : kTypes) {
        const size_t n = std::char_traits<char>::length(t.extension);
        if (name.size() < n) continue;
        bool same = true;
        for (size_t i = 0; i < n && same; ++i) {
            char c = name[name.size() - n + i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            same = c == t.extension[i];
        }
        if (same) return t.type;
    }
    return nullptr;
}

struct FormBody {
    std::string boundary;
    std::vector<std::string> heads;  // per part: boundary line and part headers
    std::vector<FileHandle> files;   // per part: the open file of a file part
    std::vector<std::uint64_t> sizes;
    std::string tail;
    std::uint64_t total = 0;
};

std::string new_boundary() {
    static std::atomic<unsigned> counter{0};
    LARGE_INTEGER ticks{};
    ::QueryPerformanceCounter(&ticks);
    char text[64];
    std::snprintf(text, sizeof text, "------------------------vorla%08lx%08lx%04x",
                  static_cast<unsigned long>(ticks.LowPart), static_cast<unsigned long>(::GetCurrentProcessId()),
                  counter++ & 0xFFFFu);
    return text;
}

// Opens every file of the form first: a file that cannot be opened fails the
// request before anything is sent.
bool prepare_form(const HttpForm& form, FormBody& body, std::string& error) {
    body.boundary = new_boundary();
    for (const HttpFormPart& part : form) {
        std::string head = "--" + body.boundary + "\r\nContent-Disposition: form-data; name=\"" +
                           disposition_value(part.name) + "\"";
        if (!part.filename.empty()) head += "; filename=\"" + disposition_value(part.filename) + "\"";
        head += "\r\n";
        const char* type = part.content_type.empty() ? nullptr : part.content_type.c_str();
        if (!type) type = type_of_name(part.filename);
        if (!type && !part.file_path.empty()) type = type_of_name(part.file_path);
        if (!type && !part.file_path.empty() && !part.filename.empty()) type = "application/octet-stream";
        if (type) head += std::string("Content-Type: ") + type + "\r\n";
        head += "\r\n";

        FileHandle file;
        std::uint64_t size = part.data.size();
        if (!part.file_path.empty()) {
            file.h = ::CreateFileW(win32::widen(part.file_path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
            LARGE_INTEGER file_size{};
            if (file.h == INVALID_HANDLE_VALUE || !::GetFileSizeEx(file.h, &file_size)) {
                error = "cannot open file \"" + utf8_of(part.file_path) + "\": " + utf8_of(win32::error_text(::GetLastError()));
                return false;
            }
            size = static_cast<std::uint64_t>(file_size.QuadPart);
        }
        body.total += head.size() + size + 2;  // the part's CR LF
        body.heads.push_back(std::move(head));
        body.files.push_back(std::move(file));
        body.sizes.push_back(size);
    }
    body.tail = "--" + body.boundary + "--\r\n";
    body.total += body.tail.size();
    return true;
}

bool write_bytes(HINTERNET request, const char* data, size_t size) {
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 20));
        if (!::InternetWriteFile(request, data, chunk, &written) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

// Writes the form after HttpSendRequestEx; false with `code` set on a failure.
bool send_form(HINTERNET request, const HttpForm& form, FormBody& body, DWORD& code, std::string& error) {
    std::vector<char> buffer(64 * 1024);
    for (size_t i = 0; i < form.size(); ++i) {
        if (!write_bytes(request, body.heads[i].data(), body.heads[i].size())) return code = ::GetLastError(), false;
        if (body.files[i].h == INVALID_HANDLE_VALUE) {
            if (!write_bytes(request, form[i].data.data(), form[i].data.size())) return code = ::GetLastError(), false;
        } else {
            std::uint64_t left = body.sizes[i];
            while (left > 0) {
                DWORD got = 0;
                const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(left, buffer.size()));
                if (!::ReadFile(body.files[i].h, buffer.data(), want, &got, nullptr) || got == 0) {
                    error = "cannot read file \"" + utf8_of(form[i].file_path) + "\"";
                    return false;
                }
                if (!write_bytes(request, buffer.data(), got)) return code = ::GetLastError(), false;
                left -= got;
            }
        }
        if (!write_bytes(request, "\r\n", 2)) return code = ::GetLastError(), false;
    }
    if (!write_bytes(request, body.tail.data(), body.tail.size())) return code = ::GetLastError(), false;
    return true;
}


bool is_redirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// "scheme://host:port" of a URL, host in lower case; "" when it cannot be read.
std::string origin_of(const std::string& utf8_url) {
    const std::wstring url = win32::widen(utf8_url, CP_UTF8);
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;
    if (url.empty() || !::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return {};
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return {};
    std::string host = win32::narrow(std::wstring(parts.lpszHostName, parts.dwHostNameLength), CP_UTF8);
    for (char& c : host)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return std::string(parts.nScheme == INTERNET_SCHEME_HTTPS ? "https" : "http") + "://" + host + ":" +
           std::to_string(parts.nPort);
}

// `reference` (a Location value) resolved against `base`.
std::string combine_url(const std::string& base, const std::string& reference) {
    const std::wstring b = win32::widen(base, CP_UTF8), r = win32::widen(reference, CP_UTF8);
    DWORD size = 0;
    ::InternetCombineUrlW(b.c_str(), r.c_str(), nullptr, &size, ICU_NO_ENCODE);
    if (size == 0) return reference;
    std::wstring out(size + 1, L'\0');
    if (!::InternetCombineUrlW(b.c_str(), r.c_str(), out.data(), &size, ICU_NO_ENCODE)) return reference;
    out.resize(size);
    return win32::narrow(out, CP_UTF8);
}

// One request to `url` without following redirects; `location` gets the
// absolute target of a redirect answer.
HttpResponse perform(const HttpRequest& request, const std::string& request_url, const std::string& request_method,
                     Clock::time_point started, std::string& location) {
    HttpResponse response;
    const auto fail = [&response](std::string text) {
        response.ok = false;
        response.status = 0;
        response.body.clear();
        response.error = std::move(text);
        return response;
    };
    // The URL: http:// or https:// only.
    const std::wstring url = win32::widen(request_url, CP_UTF8);
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
    parts.dwUserNameLength = parts.dwPasswordLength = 1;
    if (url.empty() || !::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts))
        return fail("the URL is invalid: " + request_url);
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
        return fail("unsupported URL scheme: " + request_url);
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring object(parts.lpszUrlPath, parts.dwUrlPathLength);
    object.append(parts.lpszExtraInfo ? std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength) : std::wstring());
    if (object.empty() || object[0] != L'/') object.insert(object.begin(), L'/');
    if (const auto hash = object.find(L'#'); hash != std::wstring::npos) object.erase(hash);
    const std::wstring user = parts.lpszUserName ? std::wstring(parts.lpszUserName, parts.dwUserNameLength) : L"";
    const std::wstring password = parts.lpszPassword ? std::wstring(parts.lpszPassword, parts.dwPasswordLength) : L"";

    // Multipart files are opened before anything goes out.
    const bool multipart = request_method == "POST" && !request.form.empty();
    FormBody form;
    if (multipart) {
        std::string error;
        if (!prepare_form(request.form, form, error)) return fail(error);
    }

    // The process-wide time-outs (options 5 and 6 on no handle), then the session.
    const DWORD limit = limit_of(request.timeout);
    const DWORD receive_limit =
        request.read_timeout.count() > 0 ? std::min(limit, limit_of(request.read_timeout)) : limit;
    set_option(nullptr, INTERNET_OPTION_SEND_TIMEOUT, limit);
    set_option(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, limit);

    InternetHandle session(::InternetOpenW(L"vorla", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return fail(failure_text(::GetLastError()));
    set_option(session.h, INTERNET_OPTION_CONNECT_TIMEOUT, limit);
    set_option(session.h, INTERNET_OPTION_SEND_TIMEOUT, limit);
    set_option(session.h, INTERNET_OPTION_RECEIVE_TIMEOUT, receive_limit);

    InternetHandle connection(::InternetConnectW(session.h, host.c_str(), parts.nPort,
                                                 user.empty() ? nullptr : user.c_str(),
                                                 password.empty() ? nullptr : password.c_str(), INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return fail(failure_text(::GetLastError()));

    const std::wstring method = win32::widen(request_method.empty() ? std::string("GET") : request_method, CP_UTF8);
    const wchar_t* accept[] = {L"*/*", nullptr};
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                  INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT;
    if (secure) flags |= INTERNET_FLAG_SECURE;
    InternetHandle http(
        ::HttpOpenRequestW(connection.h, method.c_str(), object.c_str(), nullptr, nullptr, accept, flags, 0));
    if (!http) return fail(failure_text(::GetLastError()));
    set_option(http.h, INTERNET_OPTION_SEND_TIMEOUT, limit);
    set_option(http.h, INTERNET_OPTION_RECEIVE_TIMEOUT, receive_limit);

    // Header lines as given, after the transport's own.
    // "Connection: close" on every request: WinInet keeps no connection, so it
    // never re-sends a request on a kept connection that turned out dead.
    std::string headers = "Connection: close\r\n";
    if (multipart) headers += "Content-Type: multipart/form-data; boundary=" + form.boundary + "\r\n";
    for (const auto& [name, value] : request.headers) headers += name + ": " + value + "\r\n";

    bool sent = false;
    if (multipart) {
        if (!headers.empty())
            ::HttpAddRequestHeadersA(http.h, headers.c_str(), static_cast<DWORD>(headers.size()),
                                     HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
        if (form.total > 0xFFFFFFFFull) return fail("the multipart body is too large");
        INTERNET_BUFFERSW buffers{};
        buffers.dwStructSize = sizeof buffers;
        buffers.dwBufferTotal = static_cast<DWORD>(form.total);
        if (::HttpSendRequestExW(http.h, &buffers, nullptr, 0, 0)) {
            DWORD code = 0;
            std::string error;
            if (!send_form(http.h, request.form, form, code, error)) {
                return fail(error.empty() ? failure_text(code) : error);
            }
            sent = ::HttpEndRequestW(http.h, nullptr, 0, 0);
        }
    } else {
        const bool post = request_method == "POST";
        sent = ::HttpSendRequestA(http.h, headers.empty() ? nullptr : headers.c_str(), static_cast<DWORD>(headers.size()),
                                  post ? const_cast<char*>(request.body.data()) : nullptr,
                                  post ? static_cast<DWORD>(request.body.size()) : 0);
    }
    if (!sent) return fail(failure_text(::GetLastError()));

    DWORD status = 0, size = sizeof status;
    if (!::HttpQueryInfoW(http.h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return fail(failure_text(::GetLastError()));
    read_headers(http.h, response);
    // A connection closed before any status line came is no answer.
    if (status < 100 || status > 999 || response.status_line.empty())
        return fail(failure_text(ERROR_HTTP_INVALID_SERVER_RESPONSE));

    std::vector<char> buffer(64 * 1024);
    while (true) {
        if (request.timeout.count() > 0 && Clock::now() - started > request.timeout)
            return fail(failure_text(ERROR_INTERNET_TIMEOUT));
        DWORD got = 0;
        if (!::InternetReadFile(http.h, buffer.data(), static_cast<DWORD>(buffer.size()), &got))
            return fail(failure_text(::GetLastError()));
        if (got == 0) break;
        if (got > request.answer_limit - std::min(request.answer_limit, response.body.size()))
            return fail("the answer is larger than " + std::to_string(request.answer_limit) + " bytes");
        response.body.append(buffer.data(), got);
    }
    response.ok = true;
    response.status = static_cast<int>(status);
    if (is_redirect(status)) {
        DWORD length = 0;
        ::HttpQueryInfoA(http.h, HTTP_QUERY_LOCATION, nullptr, &length, nullptr);
        if (length > 0) {
            std::string target(length, '\0');
            if (::HttpQueryInfoA(http.h, HTTP_QUERY_LOCATION, target.data(), &length, nullptr)) {
                target.resize(length);
                location = combine_url(request_url, target);
            }
        }
    }
    return response;
}

}  // namespace

HttpResponse http_request(const HttpRequest& request) {
    const Clock::time_point started = Clock::now();
    std::string url = request.url;
    std::string method = request.method;
    for (int redirects = 0;; ++redirects) {
        std::string location;
        HttpResponse response = perform(request, url, method, started, location);
        if (!response.ok || location.empty()) return response;
        const auto refuse = [](std::string text) {
            HttpResponse r;
            r.error = std::move(text);
            return r;
        };
        if (redirects == 10) return refuse("too many redirects (more than 10) from " + request.url);
        if (origin_of(location).empty()) return refuse("redirect to an unsupported URL: " + location);
        if (request.redirects == Redirects::same_origin && origin_of(location) != origin_of(url))
            return refuse("redirect refused: " + url + " points to " + location + ", on another scheme, host or port");
        if (response.status == 303 && method != "GET") method = "GET";
        url = std::move(location);
    }
}

void http_close_kept_connections() {}

}  // namespace vorla::platform
