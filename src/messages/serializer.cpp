#include "messages/serializer.h"

#include <pugixml.hpp>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "common/text.h"
#include "messages/envelope.h"
#include "platform/platform.h"

namespace vorla {
namespace {

using detail::BeanRef;
using detail::FieldRef;
using detail::RecordRef;

// ---- small text helpers ----------------------------------------------------------

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    return true;
}

bool istarts_with(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && iequals(s.substr(0, prefix.size()), prefix);
}

bool is_xml_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool all_digits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// ---- write -------------------------------------------------------------------------

void append_escaped(std::string& out, std::string_view s) { append_xml_escaped(out, s); }

void append_element(std::string& out, std::string_view name, std::string_view content) {
    out += '<';
    out += name;
    out += '>';
    out += content;
    out += "</";
    out += name;
    out += '>';
}

void append_fields(std::string& out, RecordRef fields) {
    for (const FieldRef& f : fields) {
        switch (f.kind) {
            case FieldKind::Text: {
                const auto& s = *static_cast<const std::string*>(f.value);
                if (s.empty()) break;
                out += '<';
                out += f.name;
                out += '>';
                append_escaped(out, s);
                out += "</";
                out += f.name;
                out += '>';
                break;
            }
            case FieldKind::Integer: {
                const std::int32_t v = *static_cast<const std::int32_t*>(f.value);
                if (v != kNoValue) append_element(out, f.name, std::to_string(v));
                break;
            }
            case FieldKind::Decimal: {
                const double v = *static_cast<const double*>(f.value);
                if (v != 0) append_element(out, f.name, decimal_text(v));
                break;
            }
            case FieldKind::Date: {
                const std::string text = date_text(*static_cast<const DateValue*>(f.value));
                if (!text.empty()) append_element(out, f.name, text);
                break;
            }
        }
    }
}

// A record's element, left out when none of its fields is written. Written in
// place: the start tag is taken back when nothing followed it.
void append_record(std::string& out, std::string_view name, RecordRef fields) {
    const size_t start = out.size();
    out += '<';
    out += name;
    out += '>';
    const size_t inner = out.size();
    append_fields(out, fields);
    if (out.size() == inner) {
        out.resize(start);
        return;
    }
    out += "</";
    out += name;
    out += '>';
}

// ---- read: locating the parts --------------------------------------------------------

constexpr auto kParseOptions = pugi::parse_default | pugi::parse_ws_pcdata_single;

// Offset of the root start tag when the text opens with the declaration and the
// root start tag is <DATA> (letters in any case); npos otherwise.
size_t envelope_root(std::string_view text) {
    if (!istarts_with(text, kXmlDeclaration)) return std::string_view::npos;
    size_t i = kXmlDeclaration.size();
    while (i < text.size() && is_xml_blank(text[i])) ++i;
    return istarts_with(text.substr(i), "<DATA>") ? i : std::string_view::npos;
}

// Whether an end tag "</name>" (blanks allowed before ">") starts at p.
bool end_tag_at(std::string_view text, std::string_view name, size_t p, bool any_case) {
    if (p + 1 >= text.size() || text[p] != '<' || text[p + 1] != '/') return false;
    std::string_view tag = text.substr(p + 2, name.size());
    if (any_case ? !iequals(tag, name) : tag != name) return false;
    size_t q = p + 2 + name.size();
    while (q < text.size() && is_xml_blank(text[q])) ++q;
    return q < text.size() && text[q] == '>';
}

// Offset of the first end tag "</name>" (blanks allowed before ">") at or after
// `from`, npos when there is none.
size_t find_end_tag(std::string_view text, std::string_view name, size_t from, bool any_case) {
    // A plain loop: the tags of a document lie a few bytes apart, where a search
    // call per tag costs more than it saves.
    for (size_t p = from; p + 1 < text.size(); ++p)
        if (end_tag_at(text, name, p, any_case)) return p;
    return std::string_view::npos;
}

// Whether an end tag "</name>" (any letter case, blanks allowed before ">")
// lies at or after `from`; looked for from the text's end, where it normally is.
// Each position is looked at once (and only the blanks of a tag beyond it), so a
// text without the tag costs one pass, not one pass per end tag in it.
bool has_end_tag(std::string_view text, std::string_view name, size_t from) {
    for (size_t p = text.size(); p-- > from;)
        if (end_tag_at(text, name, p, true)) return true;
    return false;
}

// End of the end tag that starts at p.
size_t end_tag_end(std::string_view text, size_t p) {
    size_t q = text.find('>', p);
    return q == std::string_view::npos ? text.size() : q + 1;
}

pugi::xml_node child_any_case(pugi::xml_node parent, std::string_view name) {
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && iequals(c.name(), name)) return c;
    return {};
}

// The text content of an element: every text and CDATA inside it, in order.
void append_content(std::string& out, pugi::xml_node n);

// The same, without a copy when the element holds one text or nothing at all
// (`storage` keeps the content otherwise).
std::string_view content_of(pugi::xml_node n, std::string& storage) {
    const pugi::xml_node first = n.first_child();
    if (!first) return {};
    if (!first.next_sibling() && (first.type() == pugi::node_pcdata || first.type() == pugi::node_cdata))
        return first.value();
    storage.clear();
    append_content(storage, n);
    return storage;
}

void append_content(std::string& out, pugi::xml_node n) {
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata)
            out += c.value();
        else if (c.type() == pugi::node_element)
            append_content(out, c);
    }
}

// ---- read: values ----------------------------------------------------------------------

std::int32_t read_integer(std::string_view content) {
    std::string_view s = content;
    if (!s.empty() && s.front() == '+' && s.size() > 1 && s[1] != '-') s.remove_prefix(1);
    std::int32_t v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size())
        throw BeanReadError("Invalid integer value (" + platform::utf8_to_gbk(content) + ").");
    return v;
}

double read_decimal(std::string_view content) {
    std::string_view s = content;
    while (!s.empty() && is_xml_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_xml_blank(s.back())) s.remove_suffix(1);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return 0;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+')) return 0;
    double v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return 0;
    return v;
}

// Characters `first` (1-based) to `first + count - 1` of a UTF-8 text, as far as there are any.
std::string_view characters(std::string_view s, const std::vector<size_t>& starts, size_t first,
                            size_t count) {
    if (first - 1 >= starts.size()) return {};
    const size_t b = starts[first - 1];
    const size_t last = first - 1 + count;
    const size_t e = last >= starts.size() ? s.size() : starts[last];
    return s.substr(b, e - b);
}

bool part(std::string_view s, int& out) {
    if (!all_digits(s)) return false;
    out = 0;
    for (char c : s) out = out * 10 + (c - '0');
    return true;
}

std::optional<DateValue> read_date(std::string_view content) {
    if (content.empty()) return encode_date(1899, 1, 1);
    std::vector<size_t> starts;
    for (size_t i = 0; i < content.size(); ++i)
        if ((static_cast<unsigned char>(content[i]) & 0xC0) != 0x80) starts.push_back(i);
    int y = 0, m = 0, d = 0, h = 0, n = 0, sec = 0;
    if (!part(characters(content, starts, 1, 4), y) || !part(characters(content, starts, 5, 2), m) ||
        !part(characters(content, starts, 7, 2), d))
        return std::nullopt;
    if (starts.size() == 8) return try_encode_date(y, m, d);
    if (!part(characters(content, starts, 9, 2), h) || !part(characters(content, starts, 11, 2), n) ||
        !part(characters(content, starts, 13, 2), sec))
        return std::nullopt;
    return try_encode_date_time(y, m, d, h, n, sec);
}

void read_fields(pugi::xml_node record, RecordRef fields, platform::Utf8ToGbk& to_gbk) {
    // The first child element of each field's name, found in one walk over the children.
    constexpr size_t kOnStack = 64;
    std::array<pugi::xml_node, kOnStack> on_stack{};
    std::vector<pugi::xml_node> on_heap(fields.size() > kOnStack ? fields.size() : 0);
    pugi::xml_node* elements = fields.size() > kOnStack ? on_heap.data() : on_stack.data();
    for (pugi::xml_node c = record.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element) continue;
        const std::string_view name = c.name();
        size_t i = 0;
        for (const FieldRef& f : fields) {
            if (!elements[i] && iequals(name, f.name)) {
                elements[i] = c;
                break;
            }
            ++i;
        }
    }
    size_t index = 0;
    std::string storage;
    bool date_format_set = false;
    for (const FieldRef& f : fields) {
        const pugi::xml_node element = elements[index++];
        const std::string_view content = element ? content_of(element, storage) : std::string_view();
        switch (f.kind) {
            case FieldKind::Text:
                *static_cast<std::string*>(f.value) = element ? to_gbk(content) : std::string();
                break;
            case FieldKind::Integer:
                *static_cast<std::int32_t*>(f.value) = element ? read_integer(content) : kNoValue;
                break;
            case FieldKind::Decimal:
                *static_cast<double*>(f.value) = element ? read_decimal(content) : 0.0;
                break;
            case FieldKind::Date: {
                auto& v = *static_cast<DateValue*>(f.value);
                if (!element) {
                    v = DateValue{};
                    break;
                }
                if (!date_format_set) set_short_date_format("yyyy-mm-dd", '-');
                date_format_set = true;
                std::optional<DateValue> date = read_date(content);
                if (!date) throw BeanReadError("Error in datetime property " + std::string(f.name));
                v = *date;
                break;
            }
        }
    }
}

// Every DETAIL element of the stretch is one row, in order; a self-closing one is
// none, and other elements are skipped.
// The rows of a plain stretch, parsed in one go instead of row by row: every
// "<DETAIL" in it opens a "<DETAIL>" element at the stretch's top level (none
// nested, none self-closing, no attributes), every "</DETAIL" is a plain
// "</DETAIL>", there is no comment, CDATA, declaration or processing
// instruction, and the whole stretch parses. Row by row would then read exactly
// the same elements. False, with nothing read, for any other stretch.
bool read_plain_rows(std::string_view stretch, detail::RowListRef& rows, platform::Utf8ToGbk& to_gbk) {
    static constexpr std::string_view kName = "DETAIL";
    size_t opens = 0, closes = 0;
    const size_t n = stretch.size();
    for (size_t p = 0; p < n; ++p) {  // one pass over the tags
        if (stretch[p] != '<') continue;
        if (p + 1 >= n) return false;
        const char first = stretch[p + 1];
        if (first == '!' || first == '?') return false;
        const bool end_tag = first == '/';
        const size_t name_at = p + (end_tag ? 2 : 1);
        if (stretch.compare(name_at, kName.size(), kName) != 0) continue;
        const size_t after = name_at + kName.size();
        if (after >= n) return false;
        const char next = stretch[after];
        if (next == '>')
            ++(end_tag ? closes : opens);
        else if (is_xml_blank(next) || (!end_tag && next == '/'))
            return false;
    }
    if (opens == 0 || opens != closes) return false;
    pugi::xml_document doc;
    if (doc.load_buffer(stretch.data(), stretch.size(), kParseOptions | pugi::parse_fragment, pugi::encoding_utf8)
            .status != pugi::status_ok)
        return false;
    std::vector<pugi::xml_node> elements;
    elements.reserve(opens);
    for (pugi::xml_node c = doc.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && std::string_view(c.name()) == "DETAIL") elements.push_back(c);
    if (elements.size() != opens) return false;
    rows.reserve(rows.size() + elements.size());
    for (const pugi::xml_node& row : elements) read_fields(row, rows.append(), to_gbk);
    return true;
}

void read_rows(std::string_view stretch, detail::RowListRef& rows, platform::Utf8ToGbk& to_gbk) {
    if (read_plain_rows(stretch, rows, to_gbk)) return;
    static constexpr std::string_view kOpen = "<DETAIL";
    pugi::xml_document doc;  // each row is parsed on its own, into the same document
    for (size_t p = stretch.find(kOpen); p != std::string_view::npos; p = stretch.find(kOpen, p)) {
        const size_t after_name = p + kOpen.size();
        if (after_name < stretch.size() && stretch[after_name] != '>' && stretch[after_name] != '/' &&
            !is_xml_blank(stretch[after_name])) {
            p = after_name;  // another element whose name starts with DETAIL
            continue;
        }
        const size_t tag_end = stretch.find('>', after_name);
        if (tag_end != std::string_view::npos && stretch[tag_end - 1] == '/') {
            p = tag_end + 1;
            continue;
        }
        const size_t close =
            tag_end == std::string_view::npos ? tag_end : find_end_tag(stretch, "DETAIL", tag_end + 1, false);
        const size_t stop = close == std::string_view::npos ? stretch.size() : end_tag_end(stretch, close);
        std::string_view row = stretch.substr(p, stop - p);
        doc.load_buffer(row.data(), row.size(), kParseOptions, pugi::encoding_utf8);
        read_fields(doc.document_element(), rows.append(), to_gbk);
        p = stop;
    }
}

}  // namespace

// ---- value texts -----------------------------------------------------------------------

std::string decimal_text(double v) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
    if (v == 0) return "0";
    // 15 significant digits, correctly rounded and independent of the locale:
    // d.dddddddddddddde[+-]xx
    char buf[40];
    const auto written = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
    std::string_view s(buf, static_cast<size_t>(written.ptr - buf));
    const bool negative = s.front() == '-';
    if (negative) s.remove_prefix(1);
    const size_t e_pos = s.find('e');
    std::string digits;
    for (char c : s.substr(0, e_pos))
        if (c != '.') digits += c;
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    const int exponent = std::atoi(std::string(s.substr(e_pos + 1)).c_str());

    std::string out = negative ? "-" : "";
    if (exponent >= -5 && exponent < 15) {
        if (exponent < 0) {
            out += "0.";
            out.append(static_cast<size_t>(-exponent - 1), '0');
            out += digits;
        } else {
            const size_t int_digits = static_cast<size_t>(exponent) + 1;
            if (digits.size() <= int_digits) {
                out += digits;
                out.append(int_digits - digits.size(), '0');
            } else {
                out += digits.substr(0, int_digits);
                out += '.';
                out += digits.substr(int_digits);
            }
        }
    } else {
        out += digits.front();
        if (digits.size() > 1) {
            out += '.';
            out += digits.substr(1);
        }
        out += 'E';
        out += std::to_string(exponent);
    }
    return out;
}

std::string date_text(DateValue v) {
    if (v.is_zero() || !is_in_range(v)) return {};
    const DateParts p = decode_date_time(v);
    // Every part is within its range here (years 1 to 9999): plain digits.
    char buf[16];
    auto put = [&buf](size_t at, int value, int width) {
        for (int i = width - 1; i >= 0; --i, value /= 10) buf[at + static_cast<size_t>(i)] = static_cast<char>('0' + value % 10);
    };
    if (millisecond_of_day(v) != 0 && day_count(v) == 0) {
        put(0, p.hour, 2);
        buf[2] = ':';
        put(3, p.minute, 2);
        buf[5] = ':';
        put(6, p.second, 2);
        buf[8] = '.';
        put(9, p.millisecond, 3);
        return std::string(buf, 12);
    }
    put(0, p.year, 4);
    put(4, p.month, 2);
    put(6, p.day, 2);
    if (millisecond_of_day(v) == 0) return std::string(buf, 8);
    put(8, p.hour, 2);
    put(10, p.minute, 2);
    put(12, p.second, 2);
    return std::string(buf, 14);
}

// ---- the core ------------------------------------------------------------------------------

namespace detail {

std::string write_document(const BeanRef& bean) {
    std::string out(kXmlDeclaration);
    out += "<DATA>";
    append_record(out, "HEAD", bean.head);
    const size_t msg_start = out.size();
    out += "<MSG>";
    const size_t msg_inner = out.size();
    append_record(out, "HEAD", bean.msg_head);
    if (bean.rows) {
        for (size_t i = 0; i < bean.rows->size(); ++i) {
            // A row always gives its element, even with nothing inside.
            out += "<DETAIL>";
            append_fields(out, bean.rows->row(i));
            out += "</DETAIL>";
        }
    }
    if (out.size() == msg_inner)
        out.resize(msg_start);  // no MSG element without content
    else
        out += "</MSG>";
    out += "</DATA>";
    return out;
}

void read_document(std::string_view gbk, const BeanRef& bean) {
    const std::string text = platform::gbk_to_utf8(gbk);
    const size_t root = envelope_root(text);
    // The root must be DATA from its start tag to its end tag: a text without
    // "</DATA>" is not a transaction document and is not read at all.
    if (root == std::string_view::npos || !has_end_tag(text, "DATA", root)) return;
    const std::string_view body = std::string_view(text).substr(root);

    // The row list: from the first literal <DETAIL> up to MSG's end tag. The heads
    // are read from what remains.
    std::string_view stretch;
    std::string rest;
    const size_t first_row = body.find("<DETAIL>");
    if (first_row == std::string_view::npos) {
        rest.assign(body);
    } else {
        const size_t msg_end = find_end_tag(body, "MSG", first_row, true);
        const size_t stretch_end = msg_end == std::string_view::npos ? body.size() : msg_end;
        stretch = body.substr(first_row, stretch_end - first_row);
        rest.assign(body.substr(0, first_row));
        rest.append(body.substr(stretch_end));
    }

    // A parse error leaves what was parsed before it; that is what is read.
    pugi::xml_document doc;
    doc.load_buffer(rest.data(), rest.size(), kParseOptions, pugi::encoding_utf8);
    const pugi::xml_node data = doc.document_element();
    platform::Utf8ToGbk to_gbk;
    read_fields(child_any_case(data, "HEAD"), bean.head, to_gbk);
    read_fields(child_any_case(child_any_case(data, "MSG"), "HEAD"), bean.msg_head, to_gbk);

    if (bean.rows) {
        bean.rows->clear();
        if (first_row != std::string_view::npos) read_rows(stretch, *bean.rows, to_gbk);
    }
}

}  // namespace detail
}  // namespace vorla
