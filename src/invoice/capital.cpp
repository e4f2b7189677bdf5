// The rewriting works on a UTF-32 text, one element per character, so that no
// mark is ever found across two characters; the result is converted to GBK.
#include "invoice/capital.h"

#include <cmath>
#include <string_view>

#include "common/text.h"
#include "invoice/amounts.h"

namespace vorla::invoice {
namespace {

constexpr std::u32string_view kDigits = U"零壹贰叁肆伍陆柒捌玖";
constexpr std::u32string_view kUnits = U"分角元拾佰仟万拾佰仟亿拾";

// Replaces the first occurrence of `from` by `to`.
void replace_first(std::u32string& s, std::u32string_view from, std::u32string_view to) {
    const std::size_t at = s.find(from);
    if (at != std::u32string::npos) s.replace(at, from.size(), to);
}

std::string to_utf8(std::u32string_view s) {
    std::string out;
    for (char32_t c : s) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace

std::string capital_amount(double x) {
    if (!std::isfinite(x)) return {};
    if (x > -0.01 && x < 0.01) return gbk("零元整");

    const std::string t = fixed2(std::fabs(x));
    // Twelve units reach 10^10 yuan; a larger amount has no capital form and
    // is given in figures rather than as a capital text that reads like a
    // smaller amount.
    if (t.size() - 1 > kUnits.size()) return x < 0 ? "-" + t : t;
    std::u32string r;
    std::size_t k = 0;  // position from the right, the "." not counted
    for (auto it = t.rbegin(); it != t.rend(); ++it) {
        if (*it == '.') continue;
        const int digit = *it - '0';
        std::u32string piece(1, kDigits[static_cast<std::size_t>(digit)]);
        if (k < kUnits.size()) {
            const char32_t unit = kUnits[k];
            const bool droppable = unit == U'拾' || unit == U'佰' || unit == U'仟' || unit == U'角';
            if (!(digit == 0 && droppable)) piece += unit;
        }
        r.insert(0, piece);
        ++k;
    }

    replace_first(r, U"零元", U"元零");
    for (std::size_t at; (at = r.find(U"零零")) != std::u32string::npos;) r.replace(at, 2, U"零");
    replace_first(r, U"零亿", U"亿");
    replace_first(r, U"零万", U"万");
    replace_first(r, U"零元", U"元");
    replace_first(r, U"零分", U"整");

    if (x < 0) return gbk(to_utf8(U"负" + r));

    if (r.starts_with(U"元零")) r.insert(0, U"零");
    const std::size_t yuan = r.find(U'元');
    const std::size_t jiao = r.find(U'角');
    if (yuan != std::u32string::npos && jiao != std::u32string::npos && jiao == yuan + 3) r.erase(yuan + 1, 1);
    return gbk(to_utf8(r));
}

}  // namespace vorla::invoice
