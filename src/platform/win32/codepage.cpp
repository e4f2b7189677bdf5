// GBK (code page 936) <-> UTF-16 <-> UTF-8 through MultiByteToWideChar and
// WideCharToMultiByte.
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace vorla::platform {
namespace win32 {
namespace {

constexpr wchar_t kReplacementCharacter = 0xFFFD;

bool is_gbk_lead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool is_gbk_trail(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// Strict conversion of a whole piece; false when the code page rejects a byte.
bool widen_strict(std::string_view bytes, UINT code_page, std::wstring& out) {
    if (bytes.empty()) return true;
    const int size = static_cast<int>(bytes.size());
    const int n = ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (n <= 0) return false;
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(n));
    ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), size, out.data() + at, n);
    return true;
}

// Length of the UTF-8 character at the start of `s` when it is well formed
// (shortest form, no surrogates, at most U+10FFFF); 0 otherwise.
size_t utf8_length(std::string_view s) {
    const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = b(0);
    size_t len = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (len == 0 || len > s.size()) return 0;
    for (size_t i = 1; i < len; ++i)
        if ((b(i) & 0xC0) != 0x80) return 0;
    if (len == 3 && lead == 0xE0 && b(1) < 0xA0) return 0;  // overlong
    if (len == 3 && lead == 0xED && b(1) >= 0xA0) return 0;  // surrogate
    if (len == 4 && lead == 0xF0 && b(1) < 0x90) return 0;  // overlong
    if (len == 4 && lead == 0xF4 && b(1) >= 0x90) return 0;  // beyond U+10FFFF
    return len;
}

}  // namespace

std::wstring widen(std::string_view bytes, UINT code_page) {
    std::wstring out;
    out.reserve(bytes.size());
    if (widen_strict(bytes, code_page, out)) return out;
    out.clear();
    if (code_page == CP_UTF8) {
        // Valid characters in runs; an invalid sequence gives one U+FFFD, and is
        // skipped whole when its continuation bytes are there (as the POSIX
        // build does), otherwise one byte at a time.
        size_t run = 0, i = 0;
        while (i < bytes.size()) {
            const size_t len = utf8_length(bytes.substr(i));
            if (len > 0) {
                i += len;
                continue;
            }
            widen_strict(bytes.substr(run, i - run), CP_UTF8, out);
            out.push_back(kReplacementCharacter);
            const unsigned char lead = static_cast<unsigned char>(bytes[i]);
            const size_t want = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            size_t n = 1;
            while (n < want && i + n < bytes.size() && (static_cast<unsigned char>(bytes[i + n]) & 0xC0) == 0x80) ++n;
            i += n == want ? want : 1;
            run = i;
        }
        widen_strict(bytes.substr(run), CP_UTF8, out);
        return out;
    }
    // GBK, one character at a time: ASCII, or a lead byte with its trail byte.
    size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        size_t len = 1;
        if (is_gbk_lead(c) && i + 1 < bytes.size() && is_gbk_trail(static_cast<unsigned char>(bytes[i + 1]))) len = 2;
        if (!widen_strict(bytes.substr(i, len), code_page, out)) out.push_back(kReplacementCharacter);
        i += len;
    }
    return out;
}

std::string narrow(std::wstring_view wide, UINT code_page, char replacement) {
    if (wide.empty()) return {};
    const bool utf8 = code_page == CP_UTF8;
    std::wstring collapsed;
    if (!utf8) {
        // GBK has no character outside the basic plane: a surrogate pair is one
        // character it lacks, and gives one replacement.
        collapsed.reserve(wide.size());
        for (size_t i = 0; i < wide.size(); ++i) {
            const wchar_t c = wide[i];
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
                collapsed.push_back(kReplacementCharacter);
                ++i;
            } else {
                collapsed.push_back(c);
            }
        }
        wide = collapsed;
    }
    const int size = static_cast<int>(wide.size());
    // Characters GBK lacks become the replacement, never a look-alike.
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char default_char[2] = {replacement, '\0'};
    const char* use_default = utf8 ? nullptr : default_char;
    const int n = ::WideCharToMultiByte(code_page, flags, wide.data(), size, nullptr, 0, use_default, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(code_page, flags, wide.data(), size, out.data(), n, use_default, nullptr);
    return out;
}

std::string error_text(DWORD code, HMODULE module) {
    wchar_t* buffer = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                        (module ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
    const DWORD n = ::FormatMessageW(flags, module, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n > 0 && buffer ? std::wstring(buffer, n) : std::wstring();
    if (buffer) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' || text.back() == L'.'))
        text.pop_back();
    if (text.empty()) return "error " + std::to_string(code);
    return narrow(text);
}

std::string module_path(HMODULE module) {
    std::vector<wchar_t> buffer(MAX_PATH);
    while (true) {
        const DWORD n = ::GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return narrow(std::wstring_view(buffer.data(), n));
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string directory_of(const std::string& path) {
    // A GBK trail byte may be 0x5C: only a backslash outside a character counts.
    size_t last = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (is_gbk_lead(c) && i + 1 < path.size() && is_gbk_trail(static_cast<unsigned char>(path[i + 1]))) {
            ++i;
            continue;
        }
        if (c == '\\' || c == '/') last = i;
    }
    return last == std::string::npos ? std::string() : path.substr(0, last);
}

}  // namespace win32

std::string gbk_to_utf8(std::string_view gbk) { return win32::narrow(win32::widen(gbk, win32::kGbk), CP_UTF8); }

std::string utf8_to_gbk(std::string_view utf8, char replacement) {
    return win32::narrow(win32::widen(utf8, CP_UTF8), win32::kGbk, replacement);
}

// The system's conversion functions need no set-up: nothing to keep.
Utf8ToGbk::Utf8ToGbk() = default;
Utf8ToGbk::~Utf8ToGbk() = default;
std::string Utf8ToGbk::operator()(std::string_view utf8, char replacement) { return utf8_to_gbk(utf8, replacement); }

}  // namespace vorla::platform
