// The Windows test host: a 32-bit console program that loads vorla.dll with
// LoadLibrary, as the hospital's program does, and checks it through its
// exports only: the export table (names, ordinals, the stdcall convention),
// the buffer contracts, vorla.ini in the system directory, the parameter
// checks, relayed transactions against vorla-sim with the journal, the
// cross-process journal event, WinInet's time-outs, J4, J10, J1 with the
// simulated card driver and the scripted cashier, monitoring with the SQLite
// store and the audit request, and the diagnostic log.
//
// Environment (tests/windows/run.sh sets it):
//   VORLA_WINTEST_PORT      port of vorla-sim on 127.0.0.1
//   VORLA_WINTEST_SCENARIO  the simulator's scenario directory (a Windows path)
//   VORLA_WINTEST_RECORD    the simulator's record directory (a Windows path)
//
// Prints one line per check and a summary; the exit code is 0 when every
// check passed.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "check.h"
#include "vorla/vorla.h"

namespace {

using namespace wintest;

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::string> files_matching(const std::string& pattern) {
    std::vector<std::string> out;
    WIN32_FIND_DATAA data{};
    HANDLE h = FindFirstFileA(pattern.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) out.push_back(data.cFileName);
    } while (FindNextFileA(h, &data));
    FindClose(h);
    return out;
}

void remove_tree(const std::string& dir) {
    WIN32_FIND_DATAA data{};
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &data);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) remove_tree(dir + "\\" + name);
            else DeleteFileA((dir + "\\" + name).c_str());
        } while (FindNextFileA(h, &data));
        FindClose(h);
    }
    RemoveDirectoryA(dir.c_str());
}

std::string module_path(HMODULE module) {
    char buf[MAX_PATH * 2] = {};
    const DWORD n = GetModuleFileNameA(module, buf, sizeof buf);
    return std::string(buf, n);
}

std::string directory_of(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

std::string system_directory() {
    char buf[MAX_PATH] = {};
    const UINT n = GetSystemDirectoryA(buf, sizeof buf);
    return std::string(buf, n);
}

// ---- the simulator's record ------------------------------------------------------------------

// One line of requests.jsonl: a flat JSON object of texts and numbers.
std::map<std::string, std::string> parse_record(const std::string& line) {
    std::map<std::string, std::string> out;
    size_t i = 0;
    auto skip = [&] {
        while (i < line.size() && (line[i] == ' ' || line[i] == ',' || line[i] == '{' || line[i] == '}' || line[i] == ':'))
            ++i;
    };
    auto string_at = [&]() {
        std::string s;
        ++i;  // opening quote
        while (i < line.size() && line[i] != '"') {
            char c = line[i++];
            if (c != '\\' || i >= line.size()) {
                s += c;
                continue;
            }
            c = line[i++];
            switch (c) {
                case 'n': s += '\n'; break;
                case 'r': s += '\r'; break;
                case 't': s += '\t'; break;
                case 'b': s += '\b'; break;
                case 'f': s += '\f'; break;
                case 'u': {
                    unsigned cp = std::strtoul(line.substr(i, 4).c_str(), nullptr, 16);
                    i += 4;
                    if (cp >= 0xD800 && cp <= 0xDBFF && line.compare(i, 2, "\\u") == 0) {
                        const unsigned low = std::strtoul(line.substr(i + 2, 4).c_str(), nullptr, 16);
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                        i += 6;
                    }
                    if (cp < 0x80) s += static_cast<char>(cp);
                    else if (cp < 0x800) s += static_cast<char>(0xC0 | (cp >> 6)), s += static_cast<char>(0x80 | (cp & 63));
                    else if (cp < 0x10000)
                        s += static_cast<char>(0xE0 | (cp >> 12)), s += static_cast<char>(0x80 | ((cp >> 6) & 63)),
                            s += static_cast<char>(0x80 | (cp & 63));
                    else
                        s += static_cast<char>(0xF0 | (cp >> 18)), s += static_cast<char>(0x80 | ((cp >> 12) & 63)),
                            s += static_cast<char>(0x80 | ((cp >> 6) & 63)), s += static_cast<char>(0x80 | (cp & 63));
                    break;
                }
                default: s += c;
            }
        }
        ++i;  // closing quote
        return s;
    };
    while (true) {
        skip();
        if (i >= line.size() || line[i] != '"') break;
        const std::string key = string_at();
        skip();
        if (i < line.size() && line[i] == '"') {
            out[key] = string_at();
        } else {
            const size_t end = line.find_first_of(",}", i);
            out[key] = line.substr(i, end - i);
            i = end;
        }
    }
    return out;
}

class Simulator {
public:
    Simulator() : port_(env("VORLA_WINTEST_PORT")), scenario_(env("VORLA_WINTEST_SCENARIO")), record_(env("VORLA_WINTEST_RECORD")) {}
    bool ready() const { return !port_.empty() && !scenario_.empty() && !record_.empty(); }
    std::string base_url() const { return "http://127.0.0.1:" + port_; }
    std::string center_address() const { return base_url() + "/RemoteFacedeBean/RemoteFacedeBeanService?WSDL"; }
    void scenario(const std::string& name, const std::string& bytes) const { write_file(scenario_ + "\\" + name, bytes); }
    void clear_scenario(const std::string& name) const { DeleteFileA((scenario_ + "\\" + name).c_str()); }
    std::vector<std::map<std::string, std::string>> records() const {
        std::vector<std::map<std::string, std::string>> out;
        const std::string all = read_file(record_ + "\\requests.jsonl");
        size_t start = 0;
        while (start < all.size()) {
            size_t end = all.find('\n', start);
            if (end == std::string::npos) end = all.size();
            if (end > start) out.push_back(parse_record(all.substr(start, end - start)));
            start = end + 1;
        }
        return out;
    }
    // The records of SOAP calls (POSTs to the center).
    std::vector<std::map<std::string, std::string>> center_calls() const {
        std::vector<std::map<std::string, std::string>> out;
        for (auto& r : records())
            if (r["method"] == "POST" && contains(r["path"], "RemoteFacedeBean")) out.push_back(r);
        return out;
    }

private:
    std::string port_, scenario_, record_;
};

// ---- the library ----------------------------------------------------------------------------------

using InvokeFn = void(__stdcall*)(const char* const*, char* const*);
using TembroFn = void(__stdcall*)(const char*, char*);
using NodeFn = void(__stdcall*)(const char*, char* const*);

struct Library {
    HMODULE module = nullptr;
    InvokeFn invoke = nullptr;
    TembroFn tembro = nullptr;
    NodeFn node = nullptr;
    NodeFn nodeaddon = nullptr;
};
Library g_lib;

void* export_named(const char* name) { return reinterpret_cast<void*>(GetProcAddress(g_lib.module, name)); }

std::string call_invoke(const std::string& request, size_t buffer_size = 1 << 20) {
    std::vector<char> buf(buffer_size, '#');
    const char* req = request.c_str();
    char* out = buf.data();
    g_lib.invoke(&req, &out);
    const auto zero = std::find(buf.begin(), buf.end(), '\0');
    return zero == buf.end() ? std::string("<no terminating zero>") : std::string(buf.begin(), zero);
}

// A GBK text inside a single-quoted string of the request: backslashes and
// quotes escaped, the trail bytes of two-byte characters left alone.
std::string quoted(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x81 && c <= 0xFE && i + 1 < text.size()) {
            out += text[i];
            out += text[++i];
        } else {
            if (c == '\\' || c == '\'') out += '\\';
            out += text[i];
        }
    }
    return out;
}

std::string bizbuss(const std::string& hid, const std::string& biztype, const std::string& ip, const std::string& indata) {
    return "{functionname:'bizbuss',params:{hid:'" + hid + "',biztype:'" + biztype + "',ip:'" + ip + "',indata:'" +
           quoted(indata) + "'}}";
}

std::string document(const std::string& biztype, const std::string& msg_utf8) {
    return gbk(R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>)" + biztype +
               "</APP><WorkDate>20240131</WorkDate><Reserve></Reserve><ErrCode></ErrCode><ErrDetail></ErrDetail>"
               "</HEAD><MSG>" + msg_utf8 + "</MSG></DATA>");
}

std::string answer_document(const std::string& biztype, const std::string& msg_utf8) {
    return gbk(R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>)" + biztype +
               "</APP><WorkDate>20240131</WorkDate><Reserve></Reserve><ErrCode>0</ErrCode><ErrDetail>" +
               "交易成功</ErrDetail></HEAD><MSG>" + msg_utf8 + "</MSG></DATA>");
}

std::string error_document(const std::string& biztype, const std::string& detail_utf8) {
    return gbk(R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>)" + biztype + "</APP><WorkDate>" +
               today() + "</WorkDate><Reserve></Reserve><ErrCode>-1</ErrCode><ErrDetail>" + detail_utf8 +
               "</ErrDetail></HEAD></DATA>");
}

const std::string kRejection = gbk("{returnCode:0,exception:'非法的函数名'}");

// ---- vorla.ini -----------------------------------------------------------------------------------

#ifndef VORLA_DEFAULT_SERVICE_HOST
#define VORLA_DEFAULT_SERVICE_HOST "http://127.0.0.1:7001"
#endif

struct Setting {
    const char* section;
    const char* key;
    std::string value;
};

const char* const kSaveModeKey =
    "医保交易保存模式(0 路径\\\\医院代码\\\\日期\\\\发起IP\\\\交易时间.txt , 1 路径\\\\医院代码\\\\日期\\\\发起IP\\\\日期.txt , "
    "2 路径\\\\医院代码\\\\日期.TXT )";

std::vector<Setting> default_settings() {
    const std::string host = VORLA_DEFAULT_SERVICE_HOST;
    return {
        {"读卡调试模式", "读卡调试模式(true调试,false不调试)", "false"},
        {"医保交易地址", "医保交易地址", host + "/RemoteFacedeBean/RemoteFacedeBeanService?WSDL"},
        {"鉴权系统地址", "鉴权系统地址", host + "/galdo_mis_outland/outland/biz"},
        {"医保监控", "医保监控地址", host + "/his/realcheck/audit"},
        {"医保监控", "是否启用医保监控", "false"},
        {"医保交易日志", "医保交易保存路径", "c:\\logs"},
        {"医保交易日志", kSaveModeKey, "-1"},
        {"医疗机构信息", "医疗机构密钥", "11112222|3"},
        {"医保电子凭证", "请求地址", host + "/localcfc/api/hsecfc/localQrCodeQuery"},
        {"医保电子凭证", "机构ID", ""},
        {"医保电子凭证", "用码类型", "01101"},
        {"医保电子凭证", "科室ID", "01"},
        {"医保电子凭证", "科室名称", "结算处"},
        {"医保电子凭证", "操作员ID", "0001"},
        {"医保电子凭证", "操作员姓名", "收费员"},
    };
}

std::string ini_path() { return system_directory() + "\\vorla.ini"; }

std::string ini_read(const std::string& section_utf8, const std::string& key_utf8) {
    char buf[4096] = {};
    const DWORD n = GetPrivateProfileStringA(gbk(section_utf8).c_str(), gbk(key_utf8).c_str(), "\x01", buf, sizeof buf,
                                             ini_path().c_str());
    return std::string(buf, n);
}

void ini_write(const std::string& section_utf8, const std::string& key_utf8, const std::string& value_gbk) {
    WritePrivateProfileStringA(gbk(section_utf8).c_str(), gbk(key_utf8).c_str(), value_gbk.c_str(), ini_path().c_str());
}

// ---- checks ----------------------------------------------------------------------------------------

const std::string kHid = "12345678";
const std::string kIp = "10.1.1.1";
const std::string kJournalRoot = "C:\\vorla-journal";

// The bytes of the PE export directory of the loaded module.
void check_export_table(HMODULE module) {
    auto* base = reinterpret_cast<const unsigned char*>(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    check(nt->FileHeader.Machine == IMAGE_FILE_MACHINE_I386, "vorla.dll is a 32-bit x86 DLL");
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (!check(dir.VirtualAddress != 0, "vorla.dll has an export directory")) return;
    auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    check(exports->Base == 1 && exports->NumberOfFunctions == 4,
          "the export table holds ordinals 1 to 4 and nothing else",
          "base " + std::to_string(exports->Base) + ", " + std::to_string(exports->NumberOfFunctions) + " functions");
    std::string names;
    auto* name_rvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) names += std::string(reinterpret_cast<const char*>(base + name_rvas[i])) + " ";
    check(names == "invoke node_invoke nodeaddon_invoke tembro_invoke ",
          "exactly the four undecorated names are exported", names);
    check(std::string(reinterpret_cast<const char*>(base + exports->Name)) == "vorla.dll", "the DLL names itself vorla.dll");
}

// Calls fn(a, b) and returns how far the stack pointer moved over the call:
// 0 when the callee removed its two arguments (stdcall), 8 when it left them.
__attribute__((noinline)) long stack_left_by(void* fn, const void* a, const void* b) {
    long left;
    void* f = fn;
    const void* x = a;
    const void* y = b;
    asm volatile(
        "movl %%esp, %%esi\n\t"
        "pushl %[y]\n\t"
        "pushl %[x]\n\t"
        "call *%[f]\n\t"
        "movl %%esi, %%eax\n\t"
        "subl %%esp, %%eax\n\t"
        "movl %%esi, %%esp\n\t"
        : "=a"(left), [f] "+D"(f), [x] "+b"(x), [y] "+c"(y)
        :
        : "edx", "esi", "memory", "cc");
    return left;
}

// The version resource of vorla.dll: numbers and texts from the library's version.
std::string version_text(const std::vector<char>& info, const char* name) {
    void* value = nullptr;
    UINT size = 0;
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(info.data(), path.c_str(), &value, &size) || !value || size == 0) return {};
    return std::string(static_cast<const char*>(value));
}

void check_version_resource() {
    const std::string dll = module_path(g_lib.module);
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(dll.c_str(), &handle);
    std::vector<char> info(size);
    if (!check(size > 0 && GetFileVersionInfoA(dll.c_str(), 0, size, info.data()),
               "vorla.dll carries a version resource", "error " + std::to_string(GetLastError())))
        return;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixed_size = 0;
    const bool has_fixed = VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixed_size) &&
                           fixed && fixed_size >= sizeof(VS_FIXEDFILEINFO);
    const DWORD ms = (VORLA_VERSION_MAJOR << 16) | VORLA_VERSION_MINOR;
    const DWORD ls = static_cast<DWORD>(VORLA_VERSION_PATCH) << 16;
    check(has_fixed && fixed->dwSignature == 0xFEEF04BD && fixed->dwFileVersionMS == ms &&
              fixed->dwFileVersionLS == ls && fixed->dwProductVersionMS == ms && fixed->dwProductVersionLS == ls &&
              fixed->dwFileType == VFT_DLL,
          "the fixed file and product versions are " VORLA_VERSION ".0 and the file type a DLL",
          has_fixed ? std::to_string(fixed->dwFileVersionMS >> 16) + "." + std::to_string(fixed->dwFileVersionMS & 0xFFFF) +
                          "." + std::to_string(fixed->dwFileVersionLS >> 16) + "." +
                          std::to_string(fixed->dwFileVersionLS & 0xFFFF)
                    : "no fixed part");
    const std::string file_version = version_text(info, "FileVersion");
    const std::string product_version = version_text(info, "ProductVersion");
    const std::string description = version_text(info, "FileDescription");
    const std::string original = version_text(info, "OriginalFilename");
    check(file_version == VORLA_VERSION && product_version == VORLA_VERSION,
          "FileVersion and ProductVersion are " VORLA_VERSION, file_version + " / " + product_version);
    check(description == "vorla medical-insurance front-end library" && original == "vorla.dll",
          "the description names the library and the original file name is vorla.dll", description + " / " + original);
}

void check_exports() {
    const char* names[] = {"nodeaddon_invoke", "node_invoke", "tembro_invoke", "invoke"};
    for (int ordinal = 1; ordinal <= 4; ++ordinal) {
        FARPROC by_name = GetProcAddress(g_lib.module, names[ordinal - 1]);
        FARPROC by_ordinal = GetProcAddress(g_lib.module, MAKEINTRESOURCEA(ordinal));
        check(by_name != nullptr && by_name == by_ordinal,
              std::string(names[ordinal - 1]) + " resolves by name and as ordinal " + std::to_string(ordinal));
    }
    check(GetProcAddress(g_lib.module, MAKEINTRESOURCEA(5)) == nullptr, "no function has ordinal 5");
    for (const char* decorated : {"invoke@8", "_invoke@8", "tembro_invoke@8", "_tembro_invoke@8", "node_invoke@8",
                                  "_node_invoke@8", "nodeaddon_invoke@8", "_nodeaddon_invoke@8", "_invoke"})
        check(GetProcAddress(g_lib.module, decorated) == nullptr, std::string("the decorated name ") + decorated + " does not resolve");
    check_export_table(g_lib.module);

    // stdcall: every export removes its two arguments from the stack.
    const std::string request = "{functionname:'nobody'}";
    std::vector<char> buf(256, '#');
    const char* req = request.c_str();
    char* out = buf.data();
    check(stack_left_by(reinterpret_cast<void*>(g_lib.invoke), &req, &out) == 0, "invoke is stdcall");
    check(stack_left_by(reinterpret_cast<void*>(g_lib.tembro), req, out) == 0, "tembro_invoke is stdcall");
    check(stack_left_by(reinterpret_cast<void*>(g_lib.node), req, &out) == 0, "node_invoke is stdcall");
    check(stack_left_by(reinterpret_cast<void*>(g_lib.nodeaddon), req, &out) == 0, "nodeaddon_invoke is stdcall");
}

void check_buffers() {
    const std::string request = "{functionname:'BizBuss',params:{}}";
    std::vector<char> a(256, '#'), b(256, '#');
    const char* req = request.c_str();
    char* out = a.data();
    g_lib.invoke(&req, &out);
    check(std::string(a.data(), 39) == kRejection && a[39] == '\0' && a[40] == '#',
          "a function name other than bizbuss gets the 39-byte rejection text and one zero byte",
          shown(std::string(a.data(), 40)));
    g_lib.tembro(request.c_str(), b.data());
    check(a == b, "tembro_invoke leaves the same bytes as invoke");

    std::vector<char> n(256, '#');
    char* np = n.data();
    g_lib.node(request.c_str(), &np);
    const std::string encoded = base64_encode(kRejection);
    check(std::string(n.data(), encoded.size()) == encoded && n[encoded.size()] == '#',
          "node_invoke writes the Base64 of the GBK answer and nothing after it");

    std::vector<char> u(256, '#');
    char* up = u.data();
    g_lib.nodeaddon(request.c_str(), &up);
    const std::string encoded_utf8 = base64_encode(utf8_of(kRejection) + std::string(1, '\0'));
    check(std::string(u.data(), encoded_utf8.size()) == encoded_utf8 && u[encoded_utf8.size()] == '#',
          "nodeaddon_invoke writes the Base64 of the UTF-8 answer and its zero byte");

    std::vector<char> z(64, '#');
    char* zp = z.data();
    g_lib.invoke(nullptr, &zp);
    check(std::string(z.data()) == kRejection, "a null request pointer is answered with the rejection text");
    g_lib.invoke(nullptr, nullptr);
    g_lib.tembro(nullptr, nullptr);
    g_lib.node(nullptr, nullptr);
    g_lib.nodeaddon(nullptr, nullptr);
    const std::string garbage = "\xff\xfe{'\\x";
    check(call_invoke(garbage) == kRejection && call_invoke(request) == kRejection,
          "null answer pointers and an unreadable request return normally, and the next call is served");
}

void check_configuration_file(bool existed_before) {
    check(!existed_before, "no vorla.ini in the system directory before the first call");
    const std::string text = read_file(ini_path());
    check(!text.empty(), "the first call creates " + ini_path());
    int keys = 0;
    for (const Setting& s : default_settings()) {
        const std::string value = ini_read(s.section, s.key);
        keys += value == gbk(s.value) ? 1 : 0;
        check(value == gbk(s.value), std::string("vorla.ini [") + s.section + "] " + s.key + " holds its default",
              "read \"" + shown(value) + "\"");
    }
    size_t lines = 0;
    for (size_t at = text.find('='); at != std::string::npos; at = text.find('=', at + 1)) ++lines;
    check(lines == 15, "vorla.ini lists exactly the fifteen settings", std::to_string(lines) + " entries");
    check(!exists("c:\\logs"), "with the default save mode -1 no journal directory is created");
}

void check_parameters() {
    const std::string doc = document("I1", "<SHBZH>1</SHBZH>");
    struct Case {
        std::string request, expected, what;
    } cases[] = {
        {bizbuss("", "I1", kIp, doc), error_document("", "医疗机构代码不能为空"), "an empty hid"},
        {bizbuss(kHid, "", kIp, doc), error_document("", "医疗机构编码"), "an empty biztype"},
        {bizbuss(kHid, "I1", "", doc), error_document("I1", "交易发起IP不能为空"), "an empty ip"},
        {bizbuss(kHid, "I1", kIp, ""), error_document("I1", "发起报文XML不能为空"), "an empty indata"},
        {"{functionname:'bizbuss'}", error_document("", "医疗机构代码不能为空"), "no params object"},
    };
    for (const Case& c : cases) {
        const std::string answer = call_invoke(c.request);
        check(answer == c.expected, c.what + " is answered with its error document", shown(answer));
    }
}

std::string journal_day_directory() { return kJournalRoot + "\\" + kHid + "\\" + kIp + "\\" + today(); }

// The journal file of the only exchange of `biztype` (save mode 0: BIZ-serial.txt).
std::string journal_of(const std::string& biztype) {
    const auto files = files_matching(journal_day_directory() + "\\" + biztype + "-*.txt");
    return files.size() == 1 ? read_file(journal_day_directory() + "\\" + files[0]) : std::string();
}

// WinInet's process-wide value of a time-out option; false where the system
// cannot report it (Wine keeps no process-wide send and receive time-outs).
bool wininet_option(DWORD option, DWORD& value) {
    DWORD size = sizeof value;
    value = 0;
    return InternetQueryOptionA(nullptr, option, &value, &size) != FALSE;
}

void check_timeouts(const std::string& biztype, DWORD expected) {
    DWORD send = 0, receive = 0;
    if (!wininet_option(INTERNET_OPTION_SEND_TIMEOUT, send) || !wininet_option(INTERNET_OPTION_RECEIVE_TIMEOUT, receive)) {
        std::printf("skipped %s: WinInet here does not report its process-wide time-outs\n", biztype.c_str());
        return;
    }
    check(send == expected && receive == expected,
          biztype + " sets WinInet's process-wide send and receive time-outs to " + std::to_string(expected) + " ms",
          std::to_string(send) + "/" + std::to_string(receive));
}

std::string local_address() {
    WSADATA data{};
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return {};
    char name[64] = {};
    std::string out;
    if (gethostname(name, sizeof name) == 0) {
        if (const hostent* h = gethostbyname(name)) {
            for (char** a = h->h_addr_list; a && *a; ++a) {
                in_addr address;
                std::memcpy(&address, *a, 4);
                out = inet_ntoa(address);
            }
        }
    }
    WSACleanup();
    return out;
}

void check_relay(const Simulator& sim) {
    ini_write("医保交易地址", "医保交易地址", sim.center_address());
    ini_write("医保交易日志", "医保交易保存路径", kJournalRoot);
    ini_write("医保交易日志", kSaveModeKey, "0");
    remove_tree(kJournalRoot);

    const std::string indata = document("I1", "<SHBZH>110101199001011234</SHBZH><XM>张三</XM>");
    const std::string answer = answer_document("I1", "<GRXX><XM>张三</XM><YE>12.50</YE></GRXX>");
    sim.scenario("I1.xml", answer);
    const size_t calls = sim.center_calls().size();
    const std::string got = call_invoke(bizbuss(kHid + "|abc", "I1", kIp, indata));
    check(got == answer, "a relayed I1 comes back as the center answered it", shown(got));

    const auto records = sim.center_calls();
    if (check(records.size() == calls + 1, "the center got one sbiz call for I1")) {
        auto r = records.back();
        check(r["operation"] == "sbiz" && r["arg0"] == kHid + "|abc" && r["arg1"] == "I1" && r["arg2"] == kIp,
              "arg0 to arg2 carry hid, business type and caller IP");
        check(base64_decode(r["document_base64"]) == indata, "the center unpacks the request document byte for byte");
        const std::string info = gbk(r["arg4"]);
        std::string exe = module_path(nullptr), escaped;
        for (char c : exe) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
        const std::string size = std::to_string(read_file(exe).size());
        std::string expected_start = "{\"bussid\":\"";
        check(info.rfind(expected_start, 0) == 0 && contains(info, "\"dllver\":\"2.2020.12.6\"") &&
                  contains(info, "\"exename\":\"" + escaped + "\",\"exesize\":\"" + size + "\""),
              "the client information names the host executable (backslashes doubled) and its size", shown(info));
        const std::string ip = local_address();
        check(ip.empty() ? !contains(info, "\"ip\":") : contains(info, "\"ip\":\"" + ip + "\",\"seed\":\""),
              "the client information carries the workstation's address from the Windows Sockets lookup",
              "expected " + (ip.empty() ? std::string("none") : ip));
    }
    check_timeouts("I1", 600000);

    const std::string journal = journal_of("I1");
    const std::string request_block = gbk("\r\n\r\n医疗机构交易申请\r\n通讯时间:      ");
    const std::string answer_title = gbk("\r\n\r\n医疗机构交易返回\r\n");
    check(journal.rfind(request_block, 0) == 0 && contains(journal, gbk("交易码:        I1\r\n")) &&
              contains(journal, indata + answer_title) && journal.size() >= answer.size() &&
              journal.compare(journal.size() - answer.size(), answer.size(), answer) == 0,
          "the journal (save mode 0) holds the request block and the answer block under " + journal_day_directory(),
          shown(journal.substr(0, 300)));

    // D1 and E1 are relayed like every other code (monitoring is off); E1 gets 30 minutes.
    const std::string d1 = answer_document("D1", "<MZH>0001</MZH>");
    sim.scenario("D1.xml", d1);
    check(call_invoke(bizbuss(kHid, "D1", kIp, document("D1", "<MZH>0001</MZH>"))) == d1, "a relayed D1 comes back as the center answered it");
    check(!journal_of("D1").empty(), "D1 is journalled");
    check(call_invoke(bizbuss(kHid, "E1", kIp, document("E1", "<MZH>0001</MZH>"))).find("<ErrCode>0</ErrCode>") != std::string::npos,
          "a relayed E1 is answered");
    check_timeouts("E1", 1800000);
}

void check_center_failures(const Simulator& sim) {
    sim.scenario("G1.fault", gbk("EJB Exception: ; nested exception is: com.tembro.frontendsettle.exception.AppException: 卡已挂失"));
    const std::string got = call_invoke(bizbuss(kHid, "G1", kIp, document("G1", "")));
    const std::string expected =
        gbk(R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>V1.0</VER><APP>G1</APP><WorkDate>20130423</WorkDate>)"
            "<Reserve></Reserve><ErrCode>-1</ErrCode><ErrDetail>中心通讯失败，请检查网络是否连接！卡已挂失</ErrDetail></HEAD></DATA>");
    check(got == expected, "a SOAP fault becomes the center error document with the mapped text", shown(got));

    // Nothing listens on port 1: WinInet fails, the call still answers.
    ini_write("医保交易地址", "医保交易地址", "http://127.0.0.1:1/RemoteFacedeBean/RemoteFacedeBeanService?WSDL");
    const std::string unreachable = call_invoke(bizbuss(kHid, "K1", kIp, document("K1", "")));
    check(unreachable.rfind(gbk(R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>V1.0</VER><APP>K1</APP>)"), 0) == 0 &&
              contains(unreachable, gbk("<ErrDetail>中心通讯失败，请检查网络是否连接！")),
          "an unreachable center gives the center error document with the network prefix", shown(unreachable));
    ini_write("医保交易地址", "医保交易地址", sim.center_address());
}

struct Releaser {
    HANDLE event;
    DWORD delay_ms;
};

DWORD WINAPI release_later(void* data) {
    auto* r = static_cast<Releaser*>(data);
    Sleep(r->delay_ms);
    SetEvent(r->event);
    return 0;
}

void check_journal_event(const Simulator& sim) {
    // Another writer holds "saveLog": the library waits until it is signalled.
    HANDLE event = CreateEventA(nullptr, FALSE, TRUE, "saveLog");
    if (!check(event != nullptr, "the test host opens the named event saveLog")) return;
    check(WaitForSingleObject(event, 0) == WAIT_OBJECT_0, "saveLog is signalled while nobody writes");
    sim.scenario("C0.xml", answer_document("C0", ""));
    Releaser releaser{event, 1500};
    HANDLE thread = CreateThread(nullptr, 0, release_later, &releaser, 0, nullptr);
    const DWORD start = GetTickCount();
    const std::string got = call_invoke(bizbuss(kHid, "C0", kIp, document("C0", "")));
    const DWORD elapsed = GetTickCount() - start;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    check(elapsed >= 1400 && elapsed < 25000, "a journal writer waits for the event another process holds",
          std::to_string(elapsed) + " ms");
    check(contains(got, "<ErrCode>0</ErrCode>") && !journal_of("C0").empty(), "and then writes its blocks");
    check(WaitForSingleObject(event, 0) == WAIT_OBJECT_0, "the library signals saveLog again after writing");
    CloseHandle(event);
}

void check_gbk_answers(const Simulator& sim) {
    const std::string answer = answer_document("C0", "<GRXX><XM>李四</XM><DW>第一人民医院</DW></GRXX>");
    sim.scenario("C0.xml", answer);
    const std::string request = bizbuss(kHid, "C0", kIp, document("C0", "<XM>李四</XM>"));

    std::vector<char> u(65536, '\0');
    char* up = u.data();
    g_lib.nodeaddon(request.c_str(), &up);
    const std::string decoded = base64_decode(std::string(u.data()));
    check(decoded == utf8_of(answer) + std::string(1, '\0'),
          "nodeaddon_invoke gives the GBK answer as UTF-8 with its zero byte", decoded.substr(0, 200));

    std::vector<char> n(65536, '\0');
    char* np = n.data();
    g_lib.node(request.c_str(), &np);
    check(base64_decode(std::string(n.data())) == answer, "node_invoke gives the GBK answer in Base64");
}

void check_auxiliary(const Simulator& sim) {
    const std::string j4 = call_invoke(bizbuss(kHid, "J4", kIp, document("J4", "<HEAD><YLJGDM>1</YLJGDM></HEAD>")));
    const std::string ip = local_address();
    check(contains(j4, "<ErrCode>0</ErrCode>") && contains(j4, "<IP>" + ip + "</IP>"),
          "J4 answers with the workstation's address (" + ip + ")", shown(j4));

    // J10: a file with a Chinese name goes up as multipart/form-data through WinInet.
    const std::string dir = "C:\\vorla-upload";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string name = gbk("发票") + "-1.pdf";
    std::string content = "%PDF-1.4\r\n";
    for (int i = 0; i < 20000; ++i) content += static_cast<char>(i * 7 + 3);
    write_file(dir + "\\" + name, content);
    sim.scenario("upload.answer", gbk(R"({"code":"200","data":"http://files.example/门诊/)") + name + R"(","error":""})");
    const auto before = sim.records().size();
    const std::string msg = "<HEAD><POSTURL>" + sim.base_url() + "/upload</POSTURL><FILENAME>" + dir + "\\" + utf8_of(name) +
                            "</FILENAME><NAME>门诊发票</NAME></HEAD>";
    const std::string j10 = call_invoke(bizbuss(kHid, "J10", kIp, document("J10", msg)));
    check(contains(j10, "<ErrCode>0</ErrCode>") && contains(j10, gbk("<URL>http://files.example/门诊/") + name + "</URL>"),
          "J10 uploads the file and answers with the stored URL", shown(j10));
    auto records = sim.records();
    if (check(records.size() == before + 1 && records.back()["service"] == "upload", "the upload endpoint got one request")) {
        auto r = records.back();
        check(r["part_names"] == "fileName,file" && r["fileName"] == "门诊发票" && r["file_filename"] == utf8_of(name) &&
                  r["file_content_type"] == "application/pdf" && base64_decode(r["file_base64"]) == content &&
                  contains(r["content_type"], "multipart/form-data; boundary="),
              "the multipart body carries the name field and the file's bytes", r["part_names"] + " " + r["file_filename"]);
    }
    const std::string missing_msg = "<HEAD><POSTURL>" + sim.base_url() + "/upload</POSTURL><FILENAME>" + dir +
                                    "\\missing.pdf</FILENAME><NAME>x</NAME></HEAD>";
    const auto before_missing = sim.records().size();
    const std::string j10_missing = call_invoke(bizbuss(kHid, "J10", kIp, document("J10", missing_msg)));
    check(contains(j10_missing, "<ErrCode>-1</ErrCode>") && !contains(j10_missing, "<ErrDetail></ErrDetail>") &&
              sim.records().size() == before_missing,
          "J10 with a missing file fails with the file error and sends nothing", shown(j10_missing));
}

// J1 with the simulated card driver (SSCardDriver.dll beside vorla.dll) and the
// scripted cashier choosing the social security card.
void check_card_reading(const Simulator& sim, const std::string& host_dir) {
    const std::string scenario = host_dir + "\\drivers.scenario";
    write_file(scenario,
               "iReadCardBas.status = 0\n"
               "iReadCardBas.text = 640100|640102199001011223|C0001|K0001|张三|A1|V3|20180101|20280101|T1|D1|\n");
    DeleteFileA((scenario + ".calls").c_str());
    write_file(host_dir + "\\cashier.script", "card_type ok\n");
    _putenv_s("VORLA_DRIVER_SCENARIO", scenario.c_str());
    _putenv_s("VORLA_CASHIER", (host_dir + "\\cashier.script").c_str());
    ini_write("读卡调试模式", "读卡调试模式(true调试,false不调试)", "true");
    ini_write("鉴权系统地址", "鉴权系统地址", sim.base_url() + "/galdo_mis_outland/outland/biz");

    const std::string request = R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J1</APP>)"
                                "<WorkDate>20240131</WorkDate></HEAD><MSG><HEAD><PWD>1</PWD></HEAD></MSG></DATA>";
    const std::string answer = call_invoke(bizbuss(kHid, "J1", kIp, request));
    const std::string expected =
        gbk(R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J1</APP><WorkDate>20240131</WorkDate>)"
            "<ErrCode>0</ErrCode></HEAD><MSG><HEAD><DKLX>1</DKLX><SBKID>K0001|V3|640100|A1|</SBKID>"
            "<SBKH>C0001</SBKH><FKRQ>20180101</FKRQ><SFZH>640102199001011223</SFZH><RYXM>张三</RYXM>"
            "<RYXB>2</RYXB><CSRQ>19900101</CSRQ></HEAD></MSG></DATA>");
    check(answer == expected, "J1 reads the card through SSCardDriver.dll, chosen by the scripted cashier", shown(answer));
    check(read_file(scenario + ".calls") == "iReadCardBas\t1\n", "the driver was called once, for the card's basic data",
          read_file(scenario + ".calls"));
    char cwd[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof cwd, cwd);
    check(read_file(std::string(cwd) + "\\list.file") == "0\r\n", "the chosen card type is remembered in list.file");
    SYSTEMTIME t{};
    GetLocalTime(&t);
    char trace_name[64];
    std::snprintf(trace_name, sizeof trace_name, "C:\\ReadCard\\%04u%02uvorla.txt", t.wYear, t.wMonth);
    const std::string trace = read_file(trace_name);
    check(contains(trace, gbk("\t开始读卡\r\n")) && contains(trace, gbk("\t结束读卡\r\n")),
          std::string("the card-read trace goes to ") + trace_name, shown(trace.substr(0, 200)));
    check(!journal_of("J1").empty(), "J1 is journalled");

    _putenv_s("VORLA_CASHIER", "");
    _putenv_s("VORLA_DRIVER_SCENARIO", "");
    ini_write("读卡调试模式", "读卡调试模式(true调试,false不调试)", "false");
}

// Monitoring on: D1 and E1 go into ybjkInterceptor.db (SQLite in the system
// directory), F1 sends its audit request before the settlement is relayed.
void check_monitoring(const Simulator& sim) {
    const std::string store = system_directory() + "\\ybjkInterceptor.db";
    DeleteFileA(store.c_str());
    ini_write("医保监控", "医保监控地址", sim.base_url() + "/his/realcheck/audit");
    ini_write("医保监控", "是否启用医保监控", " true ");
    const std::string hid = "10010001|H0001";
    const std::string d1 = document(
        "D1", "<HEAD><YLJGDM>H0001</YLJGDM><YYLSH>ZY0001</YYLSH><SHBZH>S001</SHBZH><SBKH>A0000001</SBKH>"
              "<SFZH>000000198503120011</SFZH><RYXM>张三</RYXM><CSRQ>19850312</CSRQ><MZZYBZ>0</MZZYBZ><XZDM>310</XZDM>"
              "<YLLB>21</YLLB><RYRQ>20240120093000</RYRQ><RYZDBM>I10</RYZDBM><RYZDMC>高血压</RYZDMC><KSDM>12</KSDM>"
              "<YSDM>D001</YSDM><BZBM>M01,M02</BZBM><CZYXM>王五</CZYXM></HEAD>");
    const std::string e1 = document(
        "E1", "<HEAD><YLJGDM>H0001</YLJGDM><YYLSH>ZY0001</YYLSH><YBLSH>YB0001</YBLSH></HEAD>"
              "<DETAIL><MXLSH>1</MXLSH><XMBJ>1</XMBJ><YBXMDM>X1</YBXMDM><FYDJ>12.5</FYDJ><FYSL>2</FYSL><FYJE>25</FYJE></DETAIL>"
              "<DETAIL><MXLSH>2</MXLSH><XMBJ>0</XMBJ><YBXMDM>X2</YBXMDM><FYDJ>3</FYDJ><FYSL>1</FYSL><FYJE>3</FYJE></DETAIL>");
    const std::string f1 =
        document("F1", "<HEAD><YLJGDM>H0001</YLJGDM><YYLSH>ZY0001</YYLSH><YBLSH>YB0001</YBLSH><CZYXM>李四</CZYXM></HEAD>");
    const std::string d1_answer = answer_document("D1", "<HEAD><YBLSH>YB0001</YBLSH></HEAD>");
    const std::string e1_answer = answer_document("E1", "<HEAD><YBLSH>YB0001</YBLSH></HEAD>");
    const std::string f1_answer = answer_document("F1", "<HEAD><JSJE>100</JSJE></HEAD>");
    sim.scenario("D1.xml", d1_answer);
    sim.scenario("E1.xml", e1_answer);
    sim.scenario("F1.xml", f1_answer);
    const size_t first = sim.records().size();

    check(call_invoke(bizbuss(hid, "D1", kIp, d1)) == d1_answer, "with monitoring on, D1 still gets the center's answer");
    check(call_invoke(bizbuss(hid, "E1", kIp, e1)) == e1_answer, "and E1");
    check(call_invoke(bizbuss(hid, "F1", kIp, f1)) == f1_answer, "and F1");
    const std::string db = read_file(store);
    check(db.rfind(std::string("SQLite format 3\0", 16), 0) == 0, "the interceptor store is a SQLite file in " + store);

    std::string order;
    std::map<std::string, std::string> audit;
    auto records = sim.records();
    for (size_t i = first; i < records.size(); ++i) {
        auto& r = records[i];
        if (r["service"] == "monitor") {
            order += "monitor ";
            audit = r;
        } else if (r["operation"] == "sbiz") {
            order += "center:" + r["arg1"] + " ";
        }
    }
    check(order == "center:D1 center:E1 monitor center:F1 ", "the audit request goes out before F1 is relayed", order);
    const std::string body = audit["body"];
    check(audit["path"] == "/his/realcheck/audit" && audit["content_type"] == "application/json" &&
              contains(body, "\"auth_token\":\"QZV\"") && contains(body, "\"org_code\":\"10010001|H0001\"") &&
              contains(body, "张三") && contains(body, "X1"),
          "the audit request carries the stored registration and fee details (UTF-8 JSON)", body.substr(0, 300));
    ini_write("医保监控", "是否启用医保监控", "false");
}

}  // namespace

int main() {
    std::printf("vorla.dll under Windows (ANSI code page %u)\n", GetACP());
    const Simulator sim;
    const std::string host_dir = directory_of(module_path(nullptr));

    // The diagnostic log beside the host executable.
    write_file(host_dir + "\\log4me.ini", "[log4me]\r\npath=logs\r\nlevel=info\r\n");
    SYSTEMTIME t{};
    GetLocalTime(&t);
    char day[32];
    std::snprintf(day, sizeof day, "%04u-%02u-%02u.log", t.wYear, t.wMonth, t.wDay);
    const std::string log_file = host_dir + "\\logs\\" + day;
    DeleteFileA(log_file.c_str());
    const bool ini_existed = exists(ini_path());

    g_lib.module = LoadLibraryA("vorla.dll");
    if (!check(g_lib.module != nullptr, "LoadLibrary finds vorla.dll beside the host", "error " + std::to_string(GetLastError()))) {
        return summary("wintest");
    }
    g_lib.invoke = reinterpret_cast<InvokeFn>(export_named("invoke"));
    g_lib.tembro = reinterpret_cast<TembroFn>(export_named("tembro_invoke"));
    g_lib.node = reinterpret_cast<NodeFn>(export_named("node_invoke"));
    g_lib.nodeaddon = reinterpret_cast<NodeFn>(export_named("nodeaddon_invoke"));
    if (!check(g_lib.invoke && g_lib.tembro && g_lib.node && g_lib.nodeaddon, "the four exports resolve by name")) {
        return summary("wintest");
    }
    const std::string start_log = read_file(log_file);
    check(start_log.rfind("----", 0) == 0 && contains(start_log, "info :log4me:application starting....\r\n"),
          "loading writes the diagnostic log's start line beside the host", shown(start_log));

    check_version_resource();
    check_exports();
    check_buffers();
    check_configuration_file(ini_existed);
    check_parameters();
    if (check(sim.ready(), "vorla-sim is named by VORLA_WINTEST_PORT, _SCENARIO and _RECORD")) {
        check_relay(sim);
        check_center_failures(sim);
        check_journal_event(sim);
        check_gbk_answers(sim);
        check_auxiliary(sim);
        check_card_reading(sim, host_dir);
        check_monitoring(sim);
    }

    FreeLibrary(g_lib.module);
    const std::string stop_log = read_file(log_file);
    const std::string stop_line = "log4me:application stoping....\r\n";
    check(stop_log.size() >= stop_line.size() && stop_log.compare(stop_log.size() - stop_line.size(), stop_line.size(), stop_line) == 0,
          "unloading writes the stop line last");

    return summary("wintest");
}
