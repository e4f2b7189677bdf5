#include "invoice/amounts.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "messages/serializer.h"
#include "report/layout.h"

namespace vorla::invoice {

std::string fixed2(double v) { return report::format_fixed(v, 2); }

std::string total_text(double v) { return v == 0 ? std::string("0") : fixed2(v); }

std::string general_text(double v) {
    if (!std::isfinite(v)) return {};
    return decimal_text(v);
}

double number_from_text(std::string_view text) {
    std::size_t a = 0, b = text.size();
    while (a < b && static_cast<unsigned char>(text[a]) <= 0x20) ++a;
    while (b > a && static_cast<unsigned char>(text[b - 1]) <= 0x20) --b;
    text = text.substr(a, b - a);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return 0;
    double v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v)) return 0;
    return v;
}

}  // namespace vorla::invoice
