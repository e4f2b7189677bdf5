#include "query/code_name.h"

#include "common/text.h"

namespace vorla::query {
std::size_t find_char(std::string_view text, char c, std::size_t from) { return gbk_find_char(text, c, from); }

std::string_view code_of(std::string_view text) { return text.substr(0, find_char(text, '^')); }

std::vector<std::string_view> split_items(std::string_view text, char separator) {
    std::vector<std::string_view> out;
    for (std::string_view part : gbk_split(text, separator))
        if (!part.empty()) out.push_back(part);
    return out;
}

std::string_view prefix_bytes(std::string_view text, std::size_t max_bytes) { return cut_bytes(text, max_bytes); }

}  // namespace vorla::query
