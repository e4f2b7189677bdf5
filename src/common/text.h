// Small GBK text helpers shared by every concern.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace vorla {

// Removes leading and trailing blanks and control characters (bytes <= 0x20),
// like the trim of the settings reader. GBK trail bytes are never <= 0x20.
std::string_view trim(std::string_view s);

// Zero-padded decimal of v in at least `width` digits.
std::string pad(int v, int width);

// Date and time texts of a local time.
std::string format_yyyymmdd(const platform::LocalTime& t);
// hhnnsszz: hour, minute, second, then the milliseconds with at least two digits.
std::string format_hhnnsszz(const platform::LocalTime& t);

// GBK text from UTF-8 source text (tests and fixed Chinese texts).
inline std::string gbk(std::string_view utf8) { return platform::utf8_to_gbk(utf8); }
inline std::string gbk(std::u8string_view utf8) {
    return platform::utf8_to_gbk(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

}  // namespace vorla
