// Command-line helpers shared by vorla-cli and vorla-sim: whole decimal numbers
// within a range, nothing else accepted.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>

namespace vorla::tools {

// The value of `text` when it is a plain decimal number (digits only, no sign,
// no blanks, no suffix) within [min, max]; nullopt otherwise.
inline std::optional<unsigned long long> parse_number(const std::string& text, unsigned long long min,
                                                      unsigned long long max) {
    if (text.empty() || text.size() > 19) return std::nullopt;
    for (char ch : text)
        if (ch < '0' || ch > '9') return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < min || value > max) return std::nullopt;
    return value;
}

}  // namespace vorla::tools
