#include "common/text.h"

#include <algorithm>

namespace vorla {
namespace {

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Byte offsets of every character start, with s.size() appended.
std::vector<std::size_t> boundaries(std::string_view s) {
    std::vector<std::size_t> out;
    for (std::size_t at = 0; at < s.size(); at += gbk_char_length(s, at)) out.push_back(at);
    out.push_back(s.size());
    return out;
}

// Whether `what` matches at the character boundary `at` and ends on one.
bool matches_at(std::string_view s, std::size_t at, std::string_view what, bool ignore_case) {
    if (s.size() - at < what.size()) return false;
    std::size_t i = 0;
    while (i < what.size()) {
        // Character by character, so that case folding never touches a trail byte
        // and the occurrence covers whole characters of s.
        const std::size_t len = gbk_char_length(s, at + i);
        if (len != gbk_char_length(what, i)) return false;
        if (len == 1) {
            const char a = s[at + i], b = what[i];
            if (ignore_case ? fold(a) != fold(b) : a != b) return false;
        } else if (s.substr(at + i, 2) != what.substr(i, 2)) {
            return false;
        }
        i += len;
    }
    return true;
}

constexpr char kHex[] = "0123456789abcdef";

// One single-byte character of a JSON string's contents.
void append_json_byte(std::string& out, char c) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
        out += '\\';
        out += c;
    } else if (b < 0x20) {
        out += "\\u00";
        out += kHex[b >> 4];
        out += kHex[b & 15];
    } else {
        out += c;
    }
}

}  // namespace

bool is_gbk_lead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
bool is_gbk_trail(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

std::size_t gbk_char_length(std::string_view s, std::size_t at) {
    if (at >= s.size()) return 0;
    if (is_gbk_lead(static_cast<unsigned char>(s[at])) && at + 1 < s.size() &&
        is_gbk_trail(static_cast<unsigned char>(s[at + 1])))
        return 2;
    return 1;
}

std::size_t gbk_char_count(std::string_view s) {
    std::size_t n = 0;
    for (std::size_t at = 0; at < s.size(); at += gbk_char_length(s, at)) ++n;
    return n;
}

std::string first_chars(std::string_view s, std::size_t n) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < n && at < s.size(); ++i) at += gbk_char_length(s, at);
    return std::string(s.substr(0, at));
}

std::string last_chars(std::string_view s, std::size_t n) {
    const auto b = boundaries(s);
    const std::size_t count = b.size() - 1;
    return std::string(s.substr(b[count > n ? count - n : 0]));
}

std::string_view cut_bytes(std::string_view s, std::size_t max_bytes) {
    std::size_t at = 0;
    while (at < s.size()) {
        const std::size_t len = gbk_char_length(s, at);
        if (at + len > max_bytes) break;
        at += len;
    }
    return s.substr(0, at);
}

std::size_t gbk_find(std::string_view s, std::string_view what, std::size_t from, bool ignore_ascii_case) {
    if (what.empty()) return from <= s.size() ? from : std::string_view::npos;
    for (std::size_t at = 0; at < s.size(); at += gbk_char_length(s, at))
        if (at >= from && matches_at(s, at, what, ignore_ascii_case)) return at;
    return std::string_view::npos;
}

std::size_t gbk_find_char(std::string_view s, char c, std::size_t from) {
    return gbk_find(s, std::string_view(&c, 1), from);
}

std::vector<std::string_view> gbk_split(std::string_view s, char separator) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (std::size_t at = 0; at < s.size();) {
        const std::size_t len = gbk_char_length(s, at);
        if (len == 1 && s[at] == separator) {
            out.push_back(s.substr(start, at - start));
            start = at + 1;
        }
        at += len;
    }
    out.push_back(s.substr(start));
    return out;
}

std::string gbk_replace_all(std::string_view s, std::string_view what, std::string_view with,
                            bool ignore_ascii_case) {
    if (what.empty()) return std::string(s);
    std::string out;
    std::size_t at = 0;
    for (;;) {
        const std::size_t hit = gbk_find(s, what, at, ignore_ascii_case);
        if (hit == std::string_view::npos) break;
        out.append(s.substr(at, hit - at));
        out.append(with);
        at = hit + what.size();
    }
    out.append(s.substr(at));
    return out;
}

std::string remove_all(std::string_view s, std::string_view what, bool ignore_ascii_case) {
    return gbk_replace_all(s, what, {}, ignore_ascii_case);
}

std::string code_part(std::string_view s) {
    const std::size_t at = gbk_find_char(s, '^');
    return at == std::string_view::npos ? std::string() : std::string(s.substr(0, at));
}

std::string name_part(std::string_view s) {
    const std::size_t at = gbk_find_char(s, '^');
    return at == std::string_view::npos ? std::string(s) : std::string(s.substr(at + 1));
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20) s.remove_suffix(1);
    return s;
}

void append_xml_escaped(std::string& out, std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        switch (c) {
            case '"': out += "&quot;"; break;
            case '&': out += "&amp;"; break;
            case '\'': out += "&apos;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '\n':
                // A line feed goes out as CR LF; one that already follows a CR is not doubled.
                if (i == 0 || s[i - 1] != '\r') out += '\r';
                out += '\n';
                break;
            case '\r':
                // A CR of its own would come back as a line feed from any reader:
                // it goes out as a character reference. One before an LF stays.
                if (i + 1 < s.size() && s[i + 1] == '\n')
                    out += '\r';
                else
                    out += "&#13;";
                break;
            default: out += c;
        }
    }
}

std::string xml_escaped(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    append_xml_escaped(out, s);
    return out;
}

std::string json_escaped(std::string_view gbk_text) {
    std::string out;
    out.reserve(gbk_text.size() + 8);
    for (std::size_t at = 0; at < gbk_text.size();) {
        const std::size_t len = gbk_char_length(gbk_text, at);
        if (len == 2)
            out.append(gbk_text.substr(at, 2));
        else
            append_json_byte(out, gbk_text[at]);
        at += len;
    }
    return out;
}

std::string json_escaped_utf8(std::string_view utf8_text) {
    std::string out;
    out.reserve(utf8_text.size() + 8);
    for (char c : utf8_text) append_json_byte(out, c);
    return out;
}

std::string pad(int v, int width) {
    std::string digits = std::to_string(v < 0 ? -static_cast<long long>(v) : v);
    std::string out = v < 0 ? "-" : "";
    if (static_cast<int>(digits.size()) < width) out.append(static_cast<size_t>(width) - digits.size(), '0');
    return out + digits;
}

std::string format_yyyymmdd(const platform::LocalTime& t) {
    return pad(t.year, 4) + pad(t.month, 2) + pad(t.day, 2);
}

std::string format_hhnnsszz(const platform::LocalTime& t) {
    return pad(t.hour, 2) + pad(t.minute, 2) + pad(t.second, 2) + pad(t.millisecond, 2);
}

}  // namespace vorla
