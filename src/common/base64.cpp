#include "common/base64.h"

namespace vorla {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int value_of(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

std::string encode(std::string_view in, size_t line_length) {
    std::string out;
    size_t chars = (in.size() + 2) / 3 * 4;
    out.reserve(chars + (line_length ? chars / line_length * 2 : 0));
    size_t col = 0;
    auto put = [&](char c) {
        out.push_back(c);
        if (line_length && ++col == line_length) {
            out += "\r\n";
            col = 0;
        }
    };
    size_t i = 0;
    for (; i + 3 <= in.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(in[i]) << 16 | static_cast<unsigned char>(in[i + 1]) << 8 |
                     static_cast<unsigned char>(in[i + 2]);
        put(kAlphabet[v >> 18 & 63]);
        put(kAlphabet[v >> 12 & 63]);
        put(kAlphabet[v >> 6 & 63]);
        put(kAlphabet[v & 63]);
    }
    size_t rest = in.size() - i;
    if (rest) {
        unsigned v = static_cast<unsigned char>(in[i]) << 16;
        if (rest == 2) v |= static_cast<unsigned char>(in[i + 1]) << 8;
        put(kAlphabet[v >> 18 & 63]);
        put(kAlphabet[v >> 12 & 63]);
        put(rest == 2 ? kAlphabet[v >> 6 & 63] : '=');
        put('=');
    }
    return out;
}

}  // namespace

std::string base64_encode(std::string_view bytes) { return encode(bytes, 0); }

std::string base64_encode_lines(std::string_view bytes) { return encode(bytes, 76); }

std::string base64_decode(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3);
    unsigned acc = 0;
    int n = 0;
    for (unsigned char c : text) {
        if (c == '=') {
            // Padding closes the current group; the complete bytes in it are kept.
            if (n == 2) out.push_back(static_cast<char>(acc >> 4 & 0xFF));
            if (n == 3) {
                out.push_back(static_cast<char>(acc >> 10 & 0xFF));
                out.push_back(static_cast<char>(acc >> 2 & 0xFF));
            }
            acc = 0;
            n = 0;
            continue;
        }
        int v = value_of(c);
        if (v < 0) continue;
        acc = acc << 6 | static_cast<unsigned>(v);
        if (++n == 4) {
            out.push_back(static_cast<char>(acc >> 16 & 0xFF));
            out.push_back(static_cast<char>(acc >> 8 & 0xFF));
            out.push_back(static_cast<char>(acc & 0xFF));
            acc = 0;
            n = 0;
        }
    }
    // A trailing group without padding keeps its complete bytes.
    if (n == 2) out.push_back(static_cast<char>(acc >> 4 & 0xFF));
    if (n == 3) {
        out.push_back(static_cast<char>(acc >> 10 & 0xFF));
        out.push_back(static_cast<char>(acc >> 2 & 0xFF));
    }
    return out;
}

}  // namespace vorla
