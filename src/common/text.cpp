#include "common/text.h"

namespace vorla {

std::string_view trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20) s.remove_suffix(1);
    return s;
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
