// The report model and the template loader.
#include "report/report.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "common/text.h"
#include "platform/fs.h"
#include "platform/platform.h"

namespace vorla::report {
namespace {

constexpr std::size_t kMaxTemplateBytes = 16 * 1024 * 1024;
constexpr double kMaxPageSize = 2000;  // mm
constexpr double kMaxFontSize = 500;   // points

// Texts of the template in GBK: converted from UTF-8 unless the template
// declares a GBK encoding.
class Loader {
public:
    Loader(std::string_view text, std::string origin) : text_(text), origin_(std::move(origin)) {}

    void run(std::string& title, std::vector<Page>& pages, std::vector<Variable>& variables) {
        const std::string encoding = declared_encoding();
        if (encoding.empty() || encoding == "utf-8" || encoding == "utf8") {
            gbk_source_ = false;
        } else if (encoding == "gbk" || encoding == "gb2312" || encoding == "gb18030" || encoding == "cp936") {
            gbk_source_ = true;
        } else {
            fail(0, "unsupported encoding \"" + encoding + "\" (UTF-8 or GBK)");
        }

        pugi::xml_document doc;
        const unsigned flags = pugi::parse_default | pugi::parse_ws_pcdata_single;
        const pugi::xml_parse_result parsed =
            doc.load_buffer(text_.data(), text_.size(), flags, pugi::encoding_utf8);
        if (!parsed) fail(static_cast<std::ptrdiff_t>(parsed.offset), std::string("malformed XML: ") + parsed.description());

        const pugi::xml_node root = doc.document_element();
        if (std::string_view(root.name()) != "report") fail(root, "the root element must be <report>");
        check_attributes(root, {"title", "version", "font", "size"});
        if (const auto v = root.attribute("version"); v && std::string_view(v.value()) != "1")
            fail(root, "version \"" + std::string(v.value()) + "\" is not supported (1)");
        title = text_of(root.attribute("title").value());
        Font defaults;
        if (const auto f = root.attribute("font")) defaults.family = f.value();
        if (root.attribute("size")) defaults.size = positive(root, "size", kMaxFontSize);

        std::set<std::string> view_names, variable_names;
        for (pugi::xml_node node : root.children()) {
            if (node.type() != pugi::node_element) {
                if (node.type() == pugi::node_pcdata && !blank(node.value()))
                    fail(node, "text outside of a view");
                continue;
            }
            const std::string_view name = node.name();
            if (name == "variable") {
                Variable v = read_variable(node);
                if (!variable_names.insert(v.name).second) fail(node, "variable \"" + v.name + "\" is declared twice");
                variables.push_back(std::move(v));
            } else if (name == "page") {
                pages.push_back(read_page(node, defaults, view_names));
            } else {
                fail(node, "unknown element <" + std::string(name) + "> (variable or page)");
            }
        }
        if (pages.empty()) fail(root, "the report has no <page>");
    }

private:
    [[noreturn]] void fail(std::ptrdiff_t offset, const std::string& what) const {
        std::string where = origin_;
        if (offset >= 0) {
            const auto end = text_.begin() + std::min<std::ptrdiff_t>(offset, static_cast<std::ptrdiff_t>(text_.size()));
            where += ":" + std::to_string(1 + std::count(text_.begin(), end, '\n'));
        }
        throw ReportError(where + ": " + what);
    }
    [[noreturn]] void fail(const pugi::xml_node& node, const std::string& what) const {
        fail(node.offset_debug(), what);
    }

    static bool blank(std::string_view s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
    }

    std::string declared_encoding() const {
        if (!text_.starts_with("<?xml")) return {};
        const std::size_t end = text_.find("?>");
        const std::string_view decl = text_.substr(0, end);
        const std::size_t at = decl.find("encoding");
        if (at == std::string_view::npos) return {};
        const std::size_t q = decl.find_first_of("\"'", at);
        if (q == std::string_view::npos) return {};
        const std::size_t q2 = decl.find(decl[q], q + 1);
        if (q2 == std::string_view::npos) return {};
        std::string enc(decl.substr(q + 1, q2 - q - 1));
        for (char& c : enc) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return enc;
    }

    std::string text_of(std::string_view source) const {
        return gbk_source_ ? std::string(source) : platform::utf8_to_gbk(source);
    }

    void check_attributes(const pugi::xml_node& node, std::initializer_list<std::string_view> allowed) const {
        for (const pugi::xml_attribute a : node.attributes())
            if (std::find(allowed.begin(), allowed.end(), std::string_view(a.name())) == allowed.end())
                fail(node, "<" + std::string(node.name()) + ">: unknown attribute \"" + a.name() + "\"");
    }

    double number(const pugi::xml_node& node, const char* name, bool required, double fallback = 0) const {
        const pugi::xml_attribute a = node.attribute(name);
        if (!a) {
            if (required) fail(node, label(node) + ": attribute \"" + name + "\" is missing");
            return fallback;
        }
        const std::string_view s = a.value();
        double v = 0;
        const auto r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::fixed);
        if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(v))
            fail(node, label(node) + ": attribute \"" + name + "\" is not a number: \"" + std::string(s) + "\"");
        return v;
    }
    double non_negative(const pugi::xml_node& node, const char* name, bool required, double fallback = 0) const {
        const double v = number(node, name, required, fallback);
        if (v < 0) fail(node, label(node) + ": attribute \"" + name + "\" must not be negative");
        return v;
    }
    double positive(const pugi::xml_node& node, const char* name, double limit) const {
        const double v = number(node, name, true);
        if (v <= 0) fail(node, label(node) + ": attribute \"" + name + "\" must be greater than 0");
        if (v > limit)
            fail(node, label(node) + ": attribute \"" + name + "\" must not exceed " + std::to_string(int(limit)));
        return v;
    }

    bool flag(const pugi::xml_node& node, const char* name, bool fallback) const {
        const pugi::xml_attribute a = node.attribute(name);
        if (!a) return fallback;
        const std::string_view s = a.value();
        if (s == "true" || s == "yes" || s == "1") return true;
        if (s == "false" || s == "no" || s == "0") return false;
        fail(node, label(node) + ": attribute \"" + name + "\" must be true or false, not \"" + std::string(s) + "\"");
    }

    std::string label(const pugi::xml_node& node) const {
        const pugi::xml_attribute n = node.attribute("name");
        return "<" + std::string(node.name()) + (n ? " name=\"" + std::string(n.value()) + "\"" : std::string()) + ">";
    }

    Variable read_variable(const pugi::xml_node& node) const {
        check_attributes(node, {"name", "kind", "value"});
        Variable v;
        v.name = text_of(node.attribute("name").value());
        if (v.name.empty()) fail(node, "<variable>: attribute \"name\" is missing or empty");
        const std::string_view kind = node.attribute("kind") ? node.attribute("kind").value() : "text";
        const bool has_value = static_cast<bool>(node.attribute("value"));
        const std::string value = has_value ? node.attribute("value").value() : node.text().get();
        if (has_value && !std::string_view(node.text().get()).empty())
            fail(node, label(node) + ": give the value either as attribute or as content");
        if (kind == "text") {
            v.kind = Variable::Kind::Text;
            v.text = text_of(value);
        } else if (kind == "number") {
            v.kind = Variable::Kind::Number;
            if (!value.empty()) {
                const auto r = std::from_chars(value.data(), value.data() + value.size(), v.number,
                                               std::chars_format::general);
                if (r.ec != std::errc() || r.ptr != value.data() + value.size() || !std::isfinite(v.number))
                    fail(node, label(node) + ": \"" + value + "\" is not a number");
            }
        } else if (kind == "date") {
            v.kind = Variable::Kind::Date;
            if (!value.empty()) v.date = read_date(node, value);
        } else {
            fail(node, label(node) + ": kind must be text, number or date, not \"" + std::string(kind) + "\"");
        }
        return v;
    }

    // yyyy-mm-dd or yyyy-mm-dd hh:nn:ss
    DateValue read_date(const pugi::xml_node& node, const std::string& s) const {
        auto num = [&](std::size_t at, std::size_t len, int& out) {
            if (at + len > s.size()) return false;
            const auto r = std::from_chars(s.data() + at, s.data() + at + len, out);
            return r.ec == std::errc() && r.ptr == s.data() + at + len;
        };
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
        bool ok = (s.size() == 10 || s.size() == 19) && num(0, 4, y) && s[4] == '-' && num(5, 2, mo) &&
                  s[7] == '-' && num(8, 2, d);
        if (ok && s.size() == 19)
            ok = s[10] == ' ' && num(11, 2, h) && s[13] == ':' && num(14, 2, mi) && s[16] == ':' && num(17, 2, se);
        const auto v = ok ? try_encode_date_time(y, mo, d, h, mi, se) : std::nullopt;
        if (!v) fail(node, label(node) + ": \"" + s + "\" is not a date (yyyy-mm-dd or yyyy-mm-dd hh:nn:ss)");
        return *v;
    }

    Page read_page(const pugi::xml_node& node, const Font& defaults, std::set<std::string>& names) const {
        check_attributes(node, {"width", "height", "margin-left", "margin-top", "margin-right", "margin-bottom"});
        Page page;
        page.width = positive(node, "width", kMaxPageSize);
        page.height = positive(node, "height", kMaxPageSize);
        page.margins.left = non_negative(node, "margin-left", false);
        page.margins.top = non_negative(node, "margin-top", false);
        page.margins.right = non_negative(node, "margin-right", false);
        page.margins.bottom = non_negative(node, "margin-bottom", false);
        if (page.margins.left + page.margins.right >= page.width ||
            page.margins.top + page.margins.bottom >= page.height)
            fail(node, "<page>: the margins leave no room on the page");
        for (pugi::xml_node child : node.children()) {
            if (child.type() != pugi::node_element) {
                if (child.type() == pugi::node_pcdata && !blank(child.value())) fail(child, "text outside of a view");
                continue;
            }
            View view = read_view(child, defaults);
            if (!view.name.empty() && !names.insert(view.name).second)
                fail(child, "view \"" + std::string(child.attribute("name").value()) + "\" is named twice");
            page.views.push_back(std::move(view));
        }
        return page;
    }

    View read_view(const pugi::xml_node& node, const Font& defaults) const {
        const std::string_view kind = node.name();
        View v;
        if (kind == "memo") {
            check_attributes(node, {"name", "x", "y", "width", "height", "font", "size", "bold", "italic", "align",
                                    "valign", "wrap", "shrink", "padding", "border", "line-width", "show-when",
                                    "hide-when"});
            v.kind = ViewKind::Memo;
        } else if (kind == "line") {
            check_attributes(node, {"name", "x1", "y1", "x2", "y2", "line-width"});
            v.kind = ViewKind::Line;
        } else if (kind == "box") {
            check_attributes(node, {"name", "x", "y", "width", "height", "line-width"});
            v.kind = ViewKind::Box;
        } else {
            fail(node, "unknown element <" + std::string(kind) + "> (memo, line or box)");
        }
        v.name = text_of(node.attribute("name").value());
        v.line_width = non_negative(node, "line-width", false, 0.2);
        if (v.kind == ViewKind::Line) {
            const double x1 = number(node, "x1", true), y1 = number(node, "y1", true);
            v.rect = {x1, y1, number(node, "x2", true) - x1, number(node, "y2", true) - y1};
            return v;
        }
        v.rect = {number(node, "x", true), number(node, "y", true), non_negative(node, "width", true),
                  non_negative(node, "height", true)};
        if (v.kind == ViewKind::Box) return v;

        for (pugi::xml_node c : node.children())
            if (c.type() == pugi::node_element) fail(c, label(node) + ": a memo holds text only, not <" + c.name() + ">");
        v.text = text_of(node.text().get());
        v.font = defaults;
        if (const auto f = node.attribute("font")) v.font.family = f.value();
        if (node.attribute("size")) v.font.size = positive(node, "size", kMaxFontSize);
        v.font.bold = flag(node, "bold", false);
        v.font.italic = flag(node, "italic", false);
        v.wrap = flag(node, "wrap", true);
        v.shrink = flag(node, "shrink", false);
        v.padding = non_negative(node, "padding", false, 0.5);
        const std::string_view align = node.attribute("align") ? node.attribute("align").value() : "left";
        if (align == "left") v.align = HAlign::Left;
        else if (align == "center") v.align = HAlign::Center;
        else if (align == "right") v.align = HAlign::Right;
        else fail(node, label(node) + ": align must be left, center or right, not \"" + std::string(align) + "\"");
        const std::string_view valign = node.attribute("valign") ? node.attribute("valign").value() : "top";
        if (valign == "top") v.valign = VAlign::Top;
        else if (valign == "middle") v.valign = VAlign::Middle;
        else if (valign == "bottom") v.valign = VAlign::Bottom;
        else fail(node, label(node) + ": valign must be top, middle or bottom, not \"" + std::string(valign) + "\"");
        v.borders = read_borders(node);
        v.show_when = text_of(node.attribute("show-when").value());
        v.hide_when = text_of(node.attribute("hide-when").value());
        return v;
    }

    Borders read_borders(const pugi::xml_node& node) const {
        Borders b;
        std::istringstream words(node.attribute("border").value());
        for (std::string w; words >> w;) {
            if (w == "none") continue;
            if (w == "all") b = {true, true, true, true};
            else if (w == "left") b.left = true;
            else if (w == "top") b.top = true;
            else if (w == "right") b.right = true;
            else if (w == "bottom") b.bottom = true;
            else fail(node, label(node) + ": border takes none, all, left, top, right, bottom, not \"" + w + "\"");
        }
        return b;
    }

    std::string_view text_;
    std::string origin_;
    bool gbk_source_ = false;
};

}  // namespace

void View::set_text(std::string gbk) {
    if (!is_memo()) throw ReportError("view \"" + platform::gbk_to_utf8(name) + "\" is not a memo view");
    text = std::move(gbk);
    literal = true;
}

void Report::load(const std::string& path) {
    title_.clear();
    pages_.clear();
    variables_.clear();
    std::ifstream in(platform::native_path(path), std::ios::binary);
    if (!in) throw ReportError(path + ": the template file cannot be opened");
    std::string text;
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        text.append(buf, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kMaxTemplateBytes) throw ReportError(path + ": the template file is too large");
    }
    if (in.bad()) throw ReportError(path + ": the template file cannot be read");
    load_text(text, path);
}

void Report::load_text(std::string_view text, const std::string& origin) {
    title_.clear();
    pages_.clear();
    variables_.clear();
    try {
        Loader(text, origin).run(title_, pages_, variables_);
    } catch (...) {
        title_.clear();
        pages_.clear();
        variables_.clear();
        throw;
    }
}

View* Report::find_view(std::string_view name) {
    if (name.empty()) return nullptr;
    for (Page& p : pages_)
        for (View& v : p.views)
            if (v.name == name) return &v;
    return nullptr;
}

const View* Report::find_view(std::string_view name) const { return const_cast<Report*>(this)->find_view(name); }

void Report::set_memo_text(std::string_view name, std::string gbk) {
    View* v = find_view(name);
    if (!v) throw ReportError("the report has no view \"" + platform::gbk_to_utf8(name) + "\"");
    v->set_text(std::move(gbk));
}

Variable& Report::slot(std::string_view name) {
    for (Variable& v : variables_)
        if (v.name == name) return v;
    Variable& v = variables_.emplace_back();
    v.name = std::string(name);
    return v;
}

void Report::set_text(std::string_view name, std::string gbk) {
    Variable& v = slot(name);
    v.kind = Variable::Kind::Text;
    v.text = std::move(gbk);
    v.number = 0;
    v.date = {};
}

void Report::set_value(std::string_view name, double number) {
    Variable& v = slot(name);
    v.kind = Variable::Kind::Number;
    v.text.clear();
    v.number = number;
    v.date = {};
}

void Report::set_value(std::string_view name, DateValue date) {
    Variable& v = slot(name);
    v.kind = Variable::Kind::Date;
    v.text.clear();
    v.number = 0;
    v.date = date;
}

const Variable* Report::variable(std::string_view name) const {
    for (const Variable& v : variables_)
        if (v.name == name) return &v;
    return nullptr;
}

}  // namespace vorla::report
