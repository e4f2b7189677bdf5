#include "invoice/gbk_chars.h"

#include <vector>

namespace vorla::invoice {
namespace {

bool is_lead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
bool is_trail(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Byte offsets of every character start, with s.size() appended.
std::vector<std::size_t> boundaries(std::string_view s) {
    std::vector<std::size_t> out;
    for (std::size_t at = 0; at < s.size(); at += gbk_char_length(s, at)) out.push_back(at);
    out.push_back(s.size());
    return out;
}

bool matches_at(std::string_view s, std::size_t at, std::string_view what, bool ignore_case) {
    if (s.size() - at < what.size()) return false;
    for (std::size_t i = 0; i < what.size();) {
        // Compare character by character so that case folding never touches a trail byte.
        const std::size_t len = gbk_char_length(what, i);
        if (len == 1) {
            const char a = s[at + i], b = what[i];
            if (ignore_case ? fold(a) != fold(b) : a != b) return false;
        } else if (s.substr(at + i, len) != what.substr(i, len)) {
            return false;
        }
        i += len;
    }
    return true;
}

}  // namespace

std::size_t gbk_char_length(std::string_view s, std::size_t at) {
    if (at >= s.size()) return 0;
    const auto b = static_cast<unsigned char>(s[at]);
    if (is_lead(b) && at + 1 < s.size() && is_trail(static_cast<unsigned char>(s[at + 1]))) return 2;
    return 1;
}

std::size_t gbk_char_count(std::string_view s) { return boundaries(s).size() - 1; }

std::string first_chars(std::string_view s, std::size_t n) {
    const auto b = boundaries(s);
    return std::string(s.substr(0, b[std::min(n, b.size() - 1)]));
}

std::string last_chars(std::string_view s, std::size_t n) {
    const auto b = boundaries(s);
    const std::size_t count = b.size() - 1;
    return std::string(s.substr(b[count > n ? count - n : 0]));
}

std::size_t find_chars(std::string_view s, std::string_view what, std::size_t from, bool ignore_ascii_case) {
    if (what.empty()) return from <= s.size() ? from : std::string_view::npos;
    const auto b = boundaries(s);
    for (std::size_t i = 0; i + 1 < b.size(); ++i) {
        if (b[i] < from) continue;
        if (!matches_at(s, b[i], what, ignore_ascii_case)) continue;
        // The occurrence must cover whole characters of s: its end is a boundary.
        const std::size_t end = b[i] + what.size();
        bool aligned = false;
        for (std::size_t j = i + 1; j < b.size() && b[j] <= end; ++j)
            if (b[j] == end) aligned = true;
        if (aligned) return b[i];
    }
    return std::string_view::npos;
}

std::string remove_all(std::string_view s, std::string_view what, bool ignore_ascii_case) {
    if (what.empty()) return std::string(s);
    std::string out;
    std::size_t at = 0;
    for (;;) {
        const std::size_t hit = find_chars(s, what, at, ignore_ascii_case);
        if (hit == std::string_view::npos) break;
        out.append(s.substr(at, hit - at));
        at = hit + what.size();
    }
    out.append(s.substr(at));
    return out;
}

std::string code_part(std::string_view s) {
    const std::size_t at = find_chars(s, "^");
    return at == std::string_view::npos ? std::string() : std::string(s.substr(0, at));
}

std::string name_part(std::string_view s) {
    const std::size_t at = find_chars(s, "^");
    return at == std::string_view::npos ? std::string(s) : std::string(s.substr(at + 1));
}

}  // namespace vorla::invoice
