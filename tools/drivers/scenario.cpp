#include "scenario.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace vorla::drivers {
namespace {

std::string scenario_path() {
    const char* p = std::getenv("VORLA_DRIVER_SCENARIO");
    return p && *p ? p : std::string();
}

std::string trim(std::string s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// key = value lines; "#" starts a comment line; a value in double quotes keeps
// its blanks (the quotes are dropped).
std::map<std::string, std::string> load() {
    std::map<std::string, std::string> out;
    const std::string path = scenario_path();
    if (path.empty()) return out;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        const std::string t = trim(line);
        if (t.empty() || t[0] == '#') continue;
        const auto eq = t.find('=');
        if (eq == std::string::npos) continue;
        std::string key = trim(t.substr(0, eq));
        std::string val = trim(t.substr(eq + 1));
        if (val.size() >= 2 && val.front() == '"' && val.back() == '"') val = val.substr(1, val.size() - 2);
        out[key] = val;
    }
    return out;
}

#ifdef _WIN32
// The Windows build (a driver DLL for 32-bit Windows): code pages 65001 and 936.
UINT code_page_of(const char* name) { return std::string_view(name) == "GBK" ? 936 : CP_UTF8; }

std::string convert(std::string_view text, const char* to, const char* from) {
    if (text.empty()) return {};
    const UINT in_cp = code_page_of(from), out_cp = code_page_of(to);
    const int n = ::MultiByteToWideChar(in_cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(in_cp, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    const int m = ::WideCharToMultiByte(out_cp, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(m), '\0');
    ::WideCharToMultiByte(out_cp, 0, wide.data(), n, out.data(), m, nullptr, nullptr);
    return out;
}
#else
std::string convert(std::string_view text, const char* to, const char* from) {
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text);
    std::string out;
    std::string in(text);
    char* src = in.data();
    std::size_t left = in.size();
    char buf[256];
    while (left > 0) {
        char* dst = buf;
        std::size_t room = sizeof buf;
        const std::size_t r = ::iconv(cd, &src, &left, &dst, &room);
        out.append(buf, static_cast<std::size_t>(dst - buf));
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            out += '?';  // a byte that does not convert
            ++src;
            --left;
        }
    }
    ::iconv_close(cd);
    return out;
}
#endif

}  // namespace

std::optional<std::string> value(std::string_view function, int call, std::string_view field) {
    const auto values = load();
    const std::string f(function);
    const std::string k(field);
    if (auto it = values.find(f + "." + std::to_string(call) + "." + k); it != values.end()) return it->second;
    if (auto it = values.find(f + "." + k); it != values.end()) return it->second;
    return std::nullopt;
}

int record_call(std::string_view function, const std::vector<std::string>& arguments) {
    const std::string path = scenario_path();
    if (path.empty()) return 1;
    const std::string calls = path + ".calls";
    const std::string prefix = std::string(function) + "\t";
    int before = 0;
    {
        std::ifstream in(calls, std::ios::binary);
        for (std::string line; std::getline(in, line);)
            if (line.compare(0, prefix.size(), prefix) == 0 || line == function) ++before;
    }
    std::string line(function);
    for (const auto& a : arguments) line += "\t" + a;
    line += "\n";
    if (std::FILE* f = std::fopen(calls.c_str(), "ab")) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fclose(f);
    }
    return before + 1;
}

int int_value(const std::optional<std::string>& v, int fallback) {
    if (!v || v->empty()) return fallback;
    char* end = nullptr;
    const long n = std::strtol(v->c_str(), &end, 10);
    return end && *end == '\0' ? static_cast<int>(n) : fallback;
}

std::string utf8_to_gbk(std::string_view utf8) { return convert(utf8, "GBK", "UTF-8"); }
std::string gbk_to_utf8(std::string_view gbk) { return convert(gbk, "UTF-8", "GBK"); }

void put_text(char* area, std::size_t size, std::string_view text) {
    if (!area || size == 0) return;
    const std::size_t n = text.size() < size ? text.size() : size - 1;
    std::memcpy(area, text.data(), n);
    area[n] = '\0';
}

}  // namespace vorla::drivers
