#include "report/layout.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "common/text.h"
#include "messages/serializer.h"
#include "platform/platform.h"

namespace vorla::report {
namespace {

}  // namespace

std::string format_fixed(double v, int decimals, bool grouping) {
    if (!std::isfinite(v)) return {};
    decimals = std::clamp(decimals, 0, 10);
    char buf[64];
    const auto written = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, 14);
    const std::string_view s(buf, static_cast<std::size_t>(written.ptr - buf));
    const std::size_t e_pos = s.find('e');
    std::string digits;
    for (char c : s.substr(0, e_pos))
        if (c != '.') digits += c;
    const int point = std::atoi(std::string(s.substr(e_pos + 1)).c_str()) + 1;
    std::string integer, fraction;
    if (point <= 0) {
        integer = "0";
        fraction = std::string(static_cast<std::size_t>(-point), '0') + digits;
    } else if (static_cast<std::size_t>(point) >= digits.size()) {
        integer = digits + std::string(static_cast<std::size_t>(point) - digits.size(), '0');
    } else {
        integer = digits.substr(0, static_cast<std::size_t>(point));
        fraction = digits.substr(static_cast<std::size_t>(point));
    }
    const std::size_t keep = static_cast<std::size_t>(decimals);
    if (fraction.size() < keep + 1) fraction.append(keep + 1 - fraction.size(), '0');
    std::string kept = integer + fraction.substr(0, keep);
    if (fraction[keep] >= '5') {
        std::size_t i = kept.size();
        for (;;) {
            if (i == 0) {
                kept.insert(kept.begin(), '1');
                break;
            }
            --i;
            if (kept[i] == '9') {
                kept[i] = '0';
            } else {
                ++kept[i];
                break;
            }
        }
    }
    std::string int_part = kept.substr(0, kept.size() - keep);
    const std::string frac_part = kept.substr(kept.size() - keep);
    const std::size_t nz = int_part.find_first_not_of('0');
    int_part = nz == std::string::npos ? "0" : int_part.substr(nz);
    if (grouping)
        for (std::size_t at = int_part.size(); at > 3; at -= 3) int_part.insert(at - 3, ",");
    std::string out = int_part + (keep ? "." + frac_part : std::string());
    if (v < 0 && out.find_first_not_of("0.,") != std::string::npos) out.insert(out.begin(), '-');
    return out;
}

namespace {

std::string number_text(double v, std::string_view format) {
    if (format.empty()) return std::isfinite(v) ? decimal_text(v) : std::string();
    const std::size_t dot = format.find('.');
    int decimals = 0;
    if (dot != std::string_view::npos)
        for (std::size_t i = dot + 1; i < format.size() && (format[i] == '0' || format[i] == '#'); ++i) ++decimals;
    return format_fixed(v, decimals, format.find(',') != std::string_view::npos);
}

std::string date_text_of(DateValue v, std::string_view format) {
    if (v.is_zero() || !is_in_range(v)) return {};
    const DateParts p = decode_date_time(v);
    if (format.empty()) {
        std::string out = format_short_date(v);
        if (p.hour || p.minute || p.second)
            out += " " + pad(p.hour, 2) + ":" + pad(p.minute, 2) + ":" + pad(p.second, 2);
        return out;
    }
    std::string out;
    for (std::size_t i = 0; i < format.size();) {
        const char c = static_cast<char>(format[i] | 0x20);
        if (c == 'y' || c == 'm' || c == 'd' || c == 'h' || c == 'n' || c == 's') {
            std::size_t n = 1;
            while (i + n < format.size() && static_cast<char>(format[i + n] | 0x20) == c) ++n;
            int value = 0;
            switch (c) {
                case 'y': value = p.year; break;
                case 'm': value = p.month; break;
                case 'd': value = p.day; break;
                case 'h': value = p.hour; break;
                case 'n': value = p.minute; break;
                default: value = p.second; break;
            }
            if (c == 'y') out += n <= 2 ? pad(value % 100, 2) : pad(value, 4);
            else out += pad(value, n >= 2 ? 2 : 1);
            i += n;
        } else {
            out += format[i++];
        }
    }
    return out;
}

}  // namespace

std::string display_text(const Variable& v, std::string_view format) {
    switch (v.kind) {
        case Variable::Kind::Text: return v.text;
        case Variable::Kind::Number: return number_text(v.number, format);
        case Variable::Kind::Date: return date_text_of(v.date, format);
    }
    return {};
}

std::string resolve_text(const Report& report, const View& memo) {
    if (memo.literal) return memo.text;
    const std::string& s = memo.text;
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        if (gbk_char_length(s, i) == 2) {  // a two-byte GBK character: copied whole
            out.append(s, i, 2);
            i += 2;
            continue;
        }
        if (s[i] != '[') {
            out += s[i++];
            continue;
        }
        if (i + 1 < s.size() && s[i + 1] == '[') {
            out += '[';
            i += 2;
            continue;
        }
        // The closing "]" is a character of its own, never a GBK trail byte.
        std::size_t close = i + 1;
        close = gbk_find_char(s, ']', close);
        if (close == std::string::npos) close = s.size();
        if (close >= s.size()) {
            out += s[i++];
            continue;
        }
        const std::string_view inner(s.data() + i + 1, close - i - 1);
        const std::size_t colon = inner.find(':');
        const std::string_view name = inner.substr(0, colon);
        const std::string_view format = colon == std::string_view::npos ? std::string_view() : inner.substr(colon + 1);
        if (const Variable* v = report.variable(name)) out += display_text(*v, format);
        i = close + 1;
    }
    return out;
}

bool memo_visible(const Report& report, const View& memo) {
    auto has_text = [&](const std::string& name) {
        const Variable* v = report.variable(name);
        return v && !display_text(*v).empty();
    };
    if (!memo.show_when.empty() && !has_text(memo.show_when)) return false;
    if (!memo.hide_when.empty() && has_text(memo.hide_when)) return false;
    return true;
}

PreparedReport prepare(const Report& report) {
    PreparedReport out;
    out.title = platform::gbk_to_utf8(report.title());
    for (const Page& page : report.pages()) {
        PreparedPage p;
        p.width = page.width;
        p.height = page.height;
        p.margins = page.margins;
        for (const View& v : page.views) {
            if (v.is_memo() && !memo_visible(report, v)) continue;
            PreparedPage::Item item{v, v.is_memo() ? platform::gbk_to_utf8(resolve_text(report, v)) : std::string()};
            item.view.text.clear();
            p.items.push_back(std::move(item));
        }
        out.pages.push_back(std::move(p));
    }
    return out;
}

}  // namespace vorla::report
