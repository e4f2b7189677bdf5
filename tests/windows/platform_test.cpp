// The Win32 platform layer through the boundary's own headers, run under
// Windows (Wine): code page 936 at its edges, profiles, directories and shared
// files, the "saveLog" event with its bounded wait, loading DLLs, host facts,
// the host lookup, the wait cursor and the WinInet transport against vorla-sim's generic HTTP
// endpoint (statuses, redirects, bodies, multipart, time-outs, failures).
//
// Environment: VORLA_WINTEST_PORT, the port of vorla-sim on 127.0.0.1.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "check.h"
#include "platform/dialogs.h"
#include "platform/fs.h"
#include "platform/http.h"
#include "platform/library_dir.h"
#include "platform/net.h"
#include "platform/platform.h"
#include "platform/printing.h"
#include "platform/win32/win32.h"

namespace {

using namespace wintest;
using namespace std::chrono_literals;
namespace p = vorla::platform;

const std::string kWork = "C:\\vorla-platform";

void check_code_pages() {
    const std::string chinese = gbk("中文：医保");
    check(p::gbk_to_utf8(chinese) == "中文：医保", "GBK to UTF-8");
    check(p::utf8_to_gbk("中文：医保") == chinese, "UTF-8 to GBK");
    check(p::gbk_to_utf8("a\xFF" "b") == "a\xEF\xBF\xBD" "b", "a byte GBK does not have becomes U+FFFD");
    check(p::gbk_to_utf8(gbk("中") + "\x81") == "中\xEF\xBF\xBD", "a lead byte without its trail byte becomes U+FFFD");
    check(p::utf8_to_gbk("x\xE4\xB8" "y") == "x??y", "each byte of a cut UTF-8 character becomes a replacement character",
          hex(p::utf8_to_gbk("x\xE4\xB8" "y")));
    check(p::utf8_to_gbk("x\xC0\xAF" "y") == "x?y", "an overlong UTF-8 form is one replacement, not a slash",
          hex(p::utf8_to_gbk("x\xC0\xAF" "y")));
    check(p::utf8_to_gbk("a\xF0\x9F\x98\x80z", '#') == "a#z", "a character GBK lacks becomes the given replacement",
          hex(p::utf8_to_gbk("a\xF0\x9F\x98\x80z", '#')));
    check(p::utf8_to_gbk("\xC3\xA4") == "?", "no look-alike for a character GBK lacks (a with diaeresis)");
    // A GBK character whose trail byte is the backslash's code stays one character.
    const std::string trail_5c = "\x95\x5C";
    check(p::utf8_to_gbk(p::gbk_to_utf8(trail_5c)) == trail_5c, "a character with trail byte 0x5C survives the round trip");
    check(p::win32::directory_of("C:\\a\\" + trail_5c + ".txt") == "C:\\a",
          "a trail byte 0x5C in a file name is no path separator");
    std::string all;
    for (int lead = 0xB0; lead <= 0xF7; lead += 7)
        for (int trail = 0xA1; trail <= 0xFE; trail += 5) all += static_cast<char>(lead), all += static_cast<char>(trail);
    check(p::utf8_to_gbk(p::gbk_to_utf8(all)) == all, "GB2312 characters survive GBK -> UTF-8 -> GBK");
}

void check_host_facts() {
    char buf[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, buf, sizeof buf);
    const std::string exe = buf;
    check(p::host_executable_path() == exe, "the host executable is GetModuleFileName(NULL)", p::host_executable_path());
    check(p::host_executable_directory() == exe.substr(0, exe.rfind('\\')), "its directory has no trailing separator");
    const auto size = p::file_size(exe);
    check(size && *size == read_file(exe).size(), "the size of the running executable can be read");
    check(!p::file_size(kWork + "\\missing"), "no size for a missing file");
    check(!p::file_size("C:\\windows"), "no size for a directory");
    GetSystemDirectoryA(buf, sizeof buf);
    check(p::system_directory() == buf, "the system directory is the system's", p::system_directory());
    check(p::path_separator() == '\\' && p::default_journal_root() == "c:\\logs", "separator and journal root");
    const p::LocalTime t = p::local_now();
    SYSTEMTIME s{};
    GetLocalTime(&s);
    check(t.year == s.wYear && t.month == s.wMonth && t.day == s.wDay, "the clock is the local time");
    check(p::card_trace_directory() == "C:\\ReadCard", "the card-read trace lives in C:\\ReadCard");
}

void check_profiles() {
    const std::string path = kWork + "\\profile.ini";
    DeleteFileA(path.c_str());
    {
        p::Profile missing(path);
        check(missing.read("a", "b").empty(), "a missing file reads as empty values");
    }
    write_file(path, gbk("; comment\r\n[医保监控]\r\n是否启用医保监控=true\r\nOther=1\r\n"));
    p::Profile ini(path);
    check(ini.read(gbk("医保监控"), gbk("是否启用医保监控")) == "true", "a GBK section and key are read");
    check(ini.read(gbk("医保监控"), "OTHER") == "1", "keys match without regard to letter case");
    ini.write(gbk("医保电子凭证"), gbk("科室名称"), gbk("结算处"));
    ini.write(gbk("医保监控"), "other", "2");
    const std::string text = read_file(path);
    check(contains(text, "; comment") && contains(text, gbk("[医保电子凭证]")) && contains(text, gbk("科室名称=结算处")),
          "writes add the section and key and keep the other lines", shown(text));
    check(ini.read(gbk("医保监控"), "Other") == "2", "a write replaces the value of a key in another letter case");
    check(ini.read("s", std::string(3000, 'k')).empty(), "a key that is not there reads as empty");
    ini.write("long", "v", std::string(3000, 'x'));
    check(ini.read("long", "v") == std::string(2047, 'x'), "values are read up to 2047 characters");

    // Writing what the file holds writes nothing: no write permission is needed.
    write_file(path, "[k]\r\nempty=\r\nfull = 1\r\n");  // a rewrite would normalise "full = 1"
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string before = read_file(path);
    bool unchanged_write_failed = false;
    try {
        p::Profile same(path);
        same.write("k", "empty", "");
        same.write("K", "FULL", "1");
    } catch (const p::ProfileWriteError&) {
        unchanged_write_failed = true;
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    check(!unchanged_write_failed && read_file(path) == before, "writing the values a file already holds leaves it alone");
    p::Profile added(path);
    added.write("k", "new", "");
    check(contains(read_file(path), "new="), "an empty value for a missing key is written");

    // (A read-only file would do on Windows; Wine running as root writes it anyway.)
    const std::string unwritable = kWork + "\\no-such-dir\\vorla.ini";
    std::string message;
    try {
        p::Profile(unwritable).write("x", "y", "z");
    } catch (const p::ProfileWriteError& e) {
        message = e.what();
    }
    check(message == "Unable to write to " + unwritable, "a failed write says \"Unable to write to <path>\"", message);
}

void check_files() {
    const std::string deep = kWork + "\\a\\\\" + gbk("医院") + "\\c";
    bool created = false;
    try {
        p::create_directories(deep);
        created = p::is_directory(deep);
        p::create_directories(deep);  // existing: fine
    } catch (const p::FsError& e) {
        check(false, "create_directories", e.what());
    }
    check(created, "directories are created with all missing parents, doubled separators and GBK names included");
    write_file(kWork + "\\plain", "x");
    std::string error;
    try {
        p::create_directories(kWork + "\\plain\\sub");
    } catch (const p::FsError& e) {
        error = e.what();
    }
    check(contains(error, kWork + "\\plain\\sub"), "a file in the way fails with the path named", error);
    error.clear();
    try {
        p::create_directory(kWork + "\\no\\such\\parent");
    } catch (const p::FsError& e) {
        error = e.what();
    }
    check(!error.empty(), "one directory level needs its parent");

    const std::string file = deep + "\\" + gbk("日志") + ".txt";
    p::append_to_file(file, "one\r\n");
    p::append_to_file(file, gbk("二\r\n"));
    check(read_file(file) == "one\r\n" + gbk("二\r\n"), "append_to_file creates, then appends");
    error.clear();
    try {
        p::append_to_file(kWork + "\\missing-dir\\f.txt", "x");
    } catch (const p::FsError& e) {
        error = e.what();
    }
    check(contains(error, "missing-dir"), "appending where the directory is missing fails with the path", error);

    const std::string log = kWork + "\\logs\\day.log";
    {
        p::SharedAppendFile a, b;
        a.open(log, "----header----\r\n");
        b.open(log, "----header----\r\n");  // exists now: no second header
        a.append("line 1\r\n");
        b.append("line 2\r\n");
        a.append("line 3\r\n");
        check(a.is_open() && a.path() == log, "a shared append file stays open");
    }
    check(read_file(log) == "----header----\r\nline 1\r\nline 2\r\nline 3\r\n",
          "two writers of one file append in turn after a single first line", read_file(log));
}

void check_journal_lock() {
    HANDLE other = CreateEventA(nullptr, FALSE, TRUE, "saveLog");
    WaitForSingleObject(other, 0);  // another writer holds it
    const auto start = std::chrono::steady_clock::now();
    {
        p::JournalLock lock(300ms);
        const auto waited = std::chrono::steady_clock::now() - start;
        check(!lock.held() && waited >= 280ms && waited < 5s, "a held saveLog is waited for up to the bound, then not held");
    }
    check(WaitForSingleObject(other, 0) == WAIT_OBJECT_0, "after a wait that ran out the event is signalled again");
    SetEvent(other);  // (the check took it)
    {
        p::JournalLock lock(300ms);
        check(lock.held(), "a free saveLog is taken");
        check(WaitForSingleObject(other, 0) == WAIT_TIMEOUT, "while it is held another writer has to wait");
    }
    check(WaitForSingleObject(other, 0) == WAIT_OBJECT_0, "released when the holder ends");
    SetEvent(other);
    CloseHandle(other);

    p::ProcessMutex mutex;
    int counter = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            for (int n = 0; n < 10000; ++n) {
                mutex.lock();
                ++counter;
                mutex.unlock();
            }
        });
    for (auto& t : threads) t.join();
    check(counter == 40000, "the process mutex keeps threads apart");
}

void check_libraries() {
    std::string error;
    auto missing = p::DynamicLibrary::open("vorla-no-such.dll", error);
    check(!missing && contains(error, "vorla-no-such.dll"), "a missing DLL is reported by name", error);
    auto kernel = p::DynamicLibrary::open("kernel32.dll", error);
    check(kernel && kernel->symbol("GetTickCount") && !kernel->symbol("NoSuchFunction"), "functions are found by name");
    check(p::component_file_name("SSCardDriver") == "SSCardDriver.dll", "components are DLLs by their stem");
    check(p::library_directory() == p::host_executable_directory(), "linked into an executable, the code lives there");
    auto none = p::open_component("vorla-no-such-driver", error);
    check(!none && contains(error, "vorla-no-such-driver.dll"), "a missing component is reported", error);
}

void check_network() {
    const auto name = p::host_name();
    check(name && !name->empty(), "the host has a name");
    const auto local = p::lookup_ipv4("localhost");
    bool loopback = false;
    if (local)
        for (const auto& a : *local) loopback = loopback || a == "127.0.0.1";
    check(loopback, "localhost resolves to 127.0.0.1");
    check(!p::lookup_ipv4("no-such-host.invalid"), "a name that cannot be resolved gives nothing");
}

void check_http(const std::string& base) {
    using p::HttpRequest;
    auto r = p::http_get(base + "/http/status/404", 10s);
    check(r.ok && r.status == 404 && r.reason == "Not Found" && r.status_line == "HTTP/1.1 404 Not Found" &&
              r.body == "vorla-sim: HTTP 404",
          "an error status is an answer: status, reason, status line and body", r.status_line + " " + r.error);
    bool has_type = false;
    for (const auto& [n, v] : r.headers) has_type = has_type || (n == "Content-Type" && contains(v, "text/plain"));
    check(has_type, "header fields of the answer are read");

    r = p::http_get(base + "/http/redirect/302?to=/http/status/201", 10s);
    check(r.ok && r.status == 201 && r.status_line == "HTTP/1.1 201 Created", "redirects are followed", r.status_line);

    // A redirected POST keeps its method and body (303 alone turns into a GET).
    for (const char* code : {"301", "302", "307", "308"}) {
        r = p::http_post(base + "/http/redirect/" + code + "?to=/http/echo", {{"Content-Type", "text/plain"}}, "audit",
                         10s);
        check(r.ok && r.status == 200 && contains(r.body, "\"method\":\"POST\"") &&
                  contains(r.body, "\"body_base64\":\"" + base64_encode("audit") + "\""),
              std::string("a POST redirected with ") + code + " keeps its method and body", r.body.substr(0, 300));
    }
    r = p::http_post(base + "/http/redirect/303?to=/http/echo", {{"Content-Type", "text/plain"}}, "audit", 10s);
    check(r.ok && r.status == 200 && contains(r.body, "\"method\":\"GET\""), "a POST redirected with 303 is a GET",
          r.body.substr(0, 300));
    {
        p::HttpRequest center;
        center.method = "POST";
        center.url = base + "/http/redirect/307?to=" + "http://localhost:1/elsewhere";
        center.body = "sbiz";
        center.timeout = 10s;
        center.redirects = p::Redirects::same_origin;
        r = p::http_request(center);
        check(!r.ok && contains(r.error, "redirect refused"), "a redirect to another host is refused when asked",
              r.error);
        center.answer_limit = 4;
        center.url = base + "/http/echo";
        r = p::http_request(center);
        check(!r.ok && contains(r.error, "larger than 4 bytes"), "an answer beyond the limit fails the request",
              r.error);
    }

    std::string binary("a\0b\r\n\xFF" "c", 7);
    binary += gbk("中文");
    r = p::http_post(base + "/http/echo", {{"Content-Type", "application/octet-stream"}, {"X-Vorla", "yes"}}, binary, 10s);
    check(r.ok && r.status == 200 && contains(r.body, "\"body_base64\":\"" + base64_encode(binary) + "\"") &&
              contains(r.body, "\"X-Vorla\":\"yes\"") && contains(r.body, "\"method\":\"POST\""),
          "a POST body goes out byte for byte with the caller's header fields", r.body.substr(0, 300));

    const std::string file = kWork + "\\" + gbk("上传") + ".pdf";
    std::string content = "%PDF";
    for (int i = 0; i < 100000; ++i) content += static_cast<char>((i * 31) & 0xFF);
    write_file(file, content);
    p::HttpForm form(3);
    form[0].name = "fileName";
    form[0].data = gbk("门诊");
    form[1].name = "file";
    form[1].file_path = file;
    form[1].filename = "upload.pdf";
    form[1].content_type = "application/pdf";
    form[2].name = "note\"x";
    form[2].data = "plain";
    r = p::http_post_multipart(base + "/http/echo", form, 10s);
    check(r.ok && r.status == 200 && contains(r.body, "\"name\":\"fileName\",\"filename\":\"\",\"content_type\":\"\"") &&
              contains(r.body, "\"content_base64\":\"" + base64_encode(gbk("门诊")) + "\"") &&
              contains(r.body, "\"name\":\"file\",\"filename\":\"upload.pdf\",\"content_type\":\"application/pdf\"") &&
              contains(r.body, "\"content_base64\":\"" + base64_encode(content) + "\"") &&
              contains(r.body, "\"name\":\"note%22x\""),
          "a multipart body carries every part in order, the file read from a GBK path", r.body.substr(0, 400));

    form[1].file_path = kWork + "\\missing.pdf";
    r = p::http_post_multipart(base + "/http/echo", form, 10s);
    check(!r.ok && contains(r.error, "missing.pdf"), "a file part that cannot be opened fails before anything is sent", r.error);

    auto start = std::chrono::steady_clock::now();
    HttpRequest slow;
    slow.url = base + "/http/delay/4000";
    slow.timeout = 20s;
    slow.read_timeout = 700ms;
    r = p::http_request(slow);
    auto took = std::chrono::steady_clock::now() - start;
    check(!r.ok && took < 3500ms, "the read time-out ends an answer that does not come",
          std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()) + " ms, " + r.error);
    start = std::chrono::steady_clock::now();
    r = p::http_get(base + "/http/delay/4000", 800ms);
    took = std::chrono::steady_clock::now() - start;
    check(!r.ok && took < 3500ms, "the time-out limits the exchange", r.error);
    r = p::http_get(base + "/http/delay/100", 10s);
    check(r.ok && r.status == 200, "an answer within the time-out arrives");

    r = p::http_get(base + "/http/drop", 10s);
    check(!r.ok && !r.error.empty(), "a dropped connection is a failure with a message",
          r.error + " status " + std::to_string(r.status) + " body " + r.body.substr(0, 100));
    r = p::http_get("http://127.0.0.1:1/", 10s);
    check(!r.ok && !r.error.empty(), "a closed port is a failure with a message", r.error);
    r = p::http_get("ftp://127.0.0.1/x", 10s);
    check(!r.ok && contains(r.error, "ftp://127.0.0.1/x"), "only http and https are served", r.error);
}

void check_printing() {
    std::string error;
    check(p::media_name(210, 297) == "A4" && p::media_name(297.5, 210) == "A4" && p::media_name(100, 50) == "Custom.100x50mm",
          "media names");
    const std::string out = kWork + "\\" + gbk("发票") + ".pdf";
    check(p::write_document_file(out, "%PDF-1", error) && read_file(out) == "%PDF-1", "a document file is written", error);
    check(p::write_document_file(out, "%PDF-2", error) && read_file(out) == "%PDF-2", "and replaced", error);
    check(!p::write_document_file(kWork + "\\no-dir\\x.pdf", "x", error) && !error.empty(),
          "a document file that cannot be written is a failure");
}

// (With a window the cursor changes; Wine without a display creates none.)
void check_wait_cursor() {
    const HCURSOR arrow = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    SetCursor(arrow);
    {
        p::WaitCursor busy;
        check(GetCursor() == arrow, "without a window of the thread the wait cursor changes nothing");
    }
}

}  // namespace

int main() {
    std::printf("the Win32 platform layer (ANSI code page %u)\n", GetACP());
    CreateDirectoryA(kWork.c_str(), nullptr);
    check_code_pages();
    check_host_facts();
    check_profiles();
    check_files();
    check_journal_lock();
    check_libraries();
    check_network();
    const std::string port = env("VORLA_WINTEST_PORT");
    if (check(!port.empty(), "vorla-sim is named by VORLA_WINTEST_PORT")) check_http("http://127.0.0.1:" + port);
    check_printing();
    check_wait_cursor();
    return summary("platform");
}
