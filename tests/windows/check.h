// What the Windows test programs share: the check lines and their summary,
// GBK and UTF-8 texts, Base64, files through the ANSI functions.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace wintest {

inline int g_passed = 0;
inline int g_failed = 0;

inline bool check(bool ok, const std::string& what, const std::string& detail = {}) {
    if (ok) {
        ++g_passed;
        std::printf("ok      %s\n", what.c_str());
    } else {
        ++g_failed;
        std::printf("FAILED  %s%s%s\n", what.c_str(), detail.empty() ? "" : ": ", detail.c_str());
    }
    std::fflush(stdout);
    return ok;
}

// ---- texts -----------------------------------------------------------------------------

inline std::string convert(const std::string& in, UINT from, UINT to) {
    if (in.empty()) return {};
    const int n = MultiByteToWideChar(from, 0, in.data(), static_cast<int>(in.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(from, 0, in.data(), static_cast<int>(in.size()), wide.data(), n);
    const int m = WideCharToMultiByte(to, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(m), '\0');
    WideCharToMultiByte(to, 0, wide.data(), n, out.data(), m, nullptr, nullptr);
    return out;
}

// This file is UTF-8; the library speaks GBK.
inline std::string gbk(const std::string& utf8) { return convert(utf8, CP_UTF8, 936); }
inline std::string utf8_of(const std::string& gbk_text) { return convert(gbk_text, 936, CP_UTF8); }

// Shown in a failure line: the text as UTF-8, cut.
inline std::string shown(const std::string& gbk_text) {
    std::string s = utf8_of(gbk_text);
    return s.size() > 400 ? s.substr(0, 400) + "..." : s;
}

inline constexpr const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

inline std::string base64_encode(const std::string& in) {
    std::string out;
    size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(in[i]) << 16) | (static_cast<unsigned char>(in[i + 1]) << 8) |
                           static_cast<unsigned char>(in[i + 2]);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (i + 1 == in.size()) {
        const unsigned v = static_cast<unsigned char>(in[i]) << 16;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == in.size()) {
        const unsigned v = (static_cast<unsigned char>(in[i]) << 16) | (static_cast<unsigned char>(in[i + 1]) << 8);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

inline std::string base64_decode(const std::string& in) {
    std::string out;
    unsigned v = 0;
    int bits = 0;
    for (char c : in) {
        const char* p = std::strchr(kAlphabet, c);
        if (!p || !c) continue;
        v = (v << 6) | static_cast<unsigned>(p - kAlphabet);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((v >> bits) & 0xFF);
        }
    }
    return out;
}

inline std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

inline std::string today() {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04u%02u%02u", t.wYear, t.wMonth, t.wDay);
    return buf;
}

// Bytes as hex, for failure lines.
inline std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
        out += ' ';
    }
    return out;
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// ---- files -----------------------------------------------------------------------------

// Files through the ANSI functions: names are GBK under code page 936, as the
// hospital's program passes them.
inline std::string read_file(const std::string& path) {
    std::string out;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    char buf[65536];
    DWORD n = 0;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
    CloseHandle(h);
    return out;
}

inline bool write_file(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    return CloseHandle(h) && ok;
}

inline int summary(const char* program) {
    std::printf("%s: %d passed, %d failed\n", program, g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}

}  // namespace wintest
