// The HTTP operations of every exchange that is not the SOAP call to the center:
// the monitoring POST, text POSTs (JSON and form) and the file upload. Texts are
// GBK inside and UTF-8 on the wire; each call is self-contained (own client, no
// retry), follows redirects (keeping the method and the body; a 303 turns into a
// GET), waits at most 10 s for the next byte and ends after an overall deadline:
// kTextDeadline for the text POSTs, kUploadDeadline for the upload.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace vorla::http {

struct Result {
    bool ok = false;
    std::string text;  // the answer, or the failure text
};

// Monitoring POST (application/json): the service's answer on success, otherwise
// "医保监控请求失败:" + the error message. Writes the diagnostic-log lines of the
// exchange. Throws only when the failure line cannot be logged.
std::string monitoring_post(std::string_view url, std::string_view json_gbk);

// POST of a text: success when the final status is 200 (answer converted to GBK);
// otherwise "调用接口错误:" + the error message. An empty content type means
// "application/x-www-form-urlencoded".
Result post_text(std::string_view url, std::string_view body_gbk, std::string_view content_type = {});
Result json_post(std::string_view url, std::string_view json_gbk);
Result form_post(std::string_view url, std::string_view body_gbk);

// multipart/form-data upload: field "fileName" = name, file part "file". Success
// on any 2xx status; the answer is returned byte for byte, a failure as the
// error message alone.
Result upload_file(std::string_view url, std::string_view path, std::string_view name_gbk);

// ---- parts, for tests ---------------------------------------------------------

// The file's own name: `path` without its directories ("/" or the platform's
// separator).
std::string file_name_of(std::string_view path);

// The Content-Type registered for the extension of the file name (letter case
// ignored): a small table of common document, image, text and archive types;
// "application/octet-stream" for any other extension and for none.
std::string content_type_for(std::string_view path);

// The read time-out of every operation: 10 s without a byte moving once the
// connection is up. Tests only may shorten it (the transport checks it about
// once a second); zero or less restores 10 s.
void set_read_timeout(std::chrono::milliseconds timeout);
std::chrono::milliseconds read_timeout();

// The overall deadline of a whole exchange (connecting, redirects, sending,
// receiving), whatever the peer does. 30 s for the monitoring, JSON and form
// POSTs: an audit request holds the settlement at the counter, and a service
// that has not answered in 30 s is not going to; 10 minutes for the upload of a
// file, which may be large and go over a slow line.
inline constexpr std::chrono::milliseconds kTextDeadline{30 * 1000};
inline constexpr std::chrono::milliseconds kUploadDeadline{10 * 60 * 1000};
// Tests only may shorten them; zero or less restores the default.
void set_deadlines(std::chrono::milliseconds text, std::chrono::milliseconds upload);
std::chrono::milliseconds text_deadline();
std::chrono::milliseconds upload_deadline();

}  // namespace vorla::http
