#include "query/code_name.h"

namespace vorla::query {
namespace {

// Length of the GBK character starting at `i`: two for a lead byte with a
// trail byte after it, one otherwise.
std::size_t char_length(std::string_view text, std::size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    return c >= 0x81 && c <= 0xFE && i + 1 < text.size() ? 2 : 1;
}

}  // namespace

std::size_t find_char(std::string_view text, char c, std::size_t from) {
    for (std::size_t i = from; i < text.size(); i += char_length(text, i))
        if (text[i] == c) return i;
    return std::string_view::npos;
}

std::string_view code_of(std::string_view text) { return text.substr(0, find_char(text, '^')); }

std::vector<std::string_view> split_items(std::string_view text, char separator) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = find_char(text, separator, start);
        const std::string_view part = text.substr(start, end == std::string_view::npos ? end : end - start);
        if (!part.empty()) out.push_back(part);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return out;
}

std::string_view prefix_bytes(std::string_view text, std::size_t max_bytes) {
    if (text.size() <= max_bytes) return text;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t n = char_length(text, i);
        if (i + n > max_bytes) break;
        i += n;
    }
    return text.substr(0, i);
}

}  // namespace vorla::query
