// The lenient JSON reader: a hand-written recursive descent over the UTF-8 text.
//
// Recursion is bounded by kMaxDepth (every object or array opens one level and
// is refused beyond the limit), every read is bounds-checked, and the reader
// stops right after the top-level value without looking at what follows.
#include "common/json.h"

#include "common/text.h"

#include <cstddef>
#include <cstdint>

namespace vorla::json {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\b';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A character that may continue a number or literal token. A token followed by
// one of these ("12ab", "truex", "1.2.3") is malformed rather than cut short.
bool continues_token(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || is_digit(c) || c == '_' ||
           c == '.' || c == '+' || c == '-' || u >= 0x80;
}

// Ends an unquoted member name that has not reached its colon: the name is
// malformed (a missing colon, as in {a,b:1} or {a 1}).
bool ends_unquoted_name(char c) {
    return c == '{' || c == '}' || c == '[' || c == ']' || c == ',';
}

void append_utf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

class Reader {
public:
    explicit Reader(std::string_view text) : s_(text) {}

    void skip_bom() {
        if (s_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
    }

    // Blanks and comments between tokens. An unterminated /* comment runs to
    // the end of the text.
    void skip_blanks() {
        while (pos_ < s_.size()) {
            const char c = s_[pos_];
            if (is_blank(c)) {
                ++pos_;
            } else if (c == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '*') {
                const auto end = s_.find("*/", pos_ + 2);
                pos_ = end == std::string_view::npos ? s_.size() : end + 2;
            } else if (c == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '/') {
                const auto end = s_.find_first_of("\r\n", pos_ + 2);
                pos_ = end == std::string_view::npos ? s_.size() : end + 1;
            } else {
                return;
            }
        }
    }

    // A value starting at the current position (blanks already skipped).
    // `depth` is the number of objects and arrays enclosing it.
    bool value(Value& out, int depth) {
        if (pos_ >= s_.size()) return false;
        switch (s_[pos_]) {
            case '{':
                return object(out, depth + 1);
            case '[':
                return array(out, depth + 1);
            case '"':
            case '\'':
                out.kind = Value::Kind::String;
                return quoted(out.text);
            case 't':
                out.kind = Value::Kind::Boolean;
                out.text = "true";
                return literal("true");
            case 'f':
                out.kind = Value::Kind::Boolean;
                out.text = "false";
                return literal("false");
            case 'n':
                out.kind = Value::Kind::Null;
                return literal("null");
            default:
                out.kind = Value::Kind::Number;
                return number(out.text);
        }
    }

private:
    bool at(char c) const { return pos_ < s_.size() && s_[pos_] == c; }

    bool object(Value& out, int level) {
        if (level > kMaxDepth) return false;
        out.kind = Value::Kind::Object;
        ++pos_;  // '{'
        skip_blanks();
        if (at('}')) {
            ++pos_;
            return true;
        }
        for (;;) {
            std::string name;
            if (!member_name(name)) return false;
            skip_blanks();
            if (!at(':')) return false;
            ++pos_;
            skip_blanks();
            Value item;
            if (!value(item, level)) return false;
            out.members.emplace_back(std::move(name), std::move(item));
            skip_blanks();
            if (at(',')) {
                ++pos_;
                skip_blanks();
            } else if (at('}')) {
                ++pos_;
                return true;
            } else {
                return false;
            }
        }
    }

    bool array(Value& out, int level) {
        if (level > kMaxDepth) return false;
        out.kind = Value::Kind::Array;
        ++pos_;  // '['
        skip_blanks();
        if (at(']')) {
            ++pos_;
            return true;
        }
        for (;;) {
            Value item;
            if (!value(item, level)) return false;
            out.items.push_back(std::move(item));
            skip_blanks();
            if (at(',')) {
                ++pos_;
                skip_blanks();
            } else if (at(']')) {
                ++pos_;
                return true;
            } else {
                return false;
            }
        }
    }

    // A quoted name, or an unquoted one: every character from the first up to
    // the colon (left in place for the caller), blanks and all.
    bool member_name(std::string& out) {
        if (pos_ >= s_.size()) return false;
        if (s_[pos_] == '"' || s_[pos_] == '\'') return quoted(out);
        const std::size_t start = pos_;
        while (pos_ < s_.size() && s_[pos_] != ':') {
            if (ends_unquoted_name(s_[pos_])) return false;
            ++pos_;
        }
        if (pos_ >= s_.size() || pos_ == start) return false;
        out.assign(s_.substr(start, pos_ - start));
        return true;
    }

    // Exactly n hexadecimal digits at the current position.
    bool hex_digits(int n, std::uint32_t& out) {
        if (s_.size() - pos_ < static_cast<std::size_t>(n)) return false;
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            const int h = hex_value(s_[pos_ + static_cast<std::size_t>(i)]);
            if (h < 0) return false;
            v = v * 16 + static_cast<std::uint32_t>(h);
        }
        pos_ += static_cast<std::size_t>(n);
        out = v;
        return true;
    }

    // After "\u" and its four digits: a high surrogate followed at once by an
    // escaped low surrogate makes one character; any other surrogate is "?".
    void unicode_escape(std::uint32_t unit, std::string& out) {
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (s_.size() - pos_ >= 6 && s_[pos_] == '\\' && s_[pos_ + 1] == 'u') {
                const std::size_t saved = pos_;
                pos_ += 2;
                std::uint32_t low = 0;
                if (hex_digits(4, low) && low >= 0xDC00 && low <= 0xDFFF) {
                    append_utf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                    return;
                }
                pos_ = saved;  // read the next escape on its own
            }
            out.push_back('?');
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            out.push_back('?');
        } else {
            append_utf8(out, unit);
        }
    }

    // A string in double or single quotes; the other quote is an ordinary
    // character inside it. Bytes other than the backslash are copied unchanged.
    bool quoted(std::string& out) {
        const char quote = s_[pos_++];
        while (pos_ < s_.size()) {
            const char c = s_[pos_++];
            if (c == quote) return true;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (pos_ >= s_.size()) return false;
            const char e = s_[pos_++];
            std::uint32_t v = 0;
            switch (e) {
                case 'b': out.push_back('\b'); break;
                case 'f': out.push_back('\f'); break;
                case 'n': out.push_back('\n'); break;
                case 'r': out.push_back('\r'); break;
                case 't': out.push_back('\t'); break;
                case 'u':
                    if (!hex_digits(4, v)) return false;
                    unicode_escape(v, out);
                    break;
                case 'x':
                    if (!hex_digits(2, v)) return false;
                    append_utf8(out, v);
                    break;
                default:
                    // Any other character stands for itself; for a multi-byte
                    // character the rest of its bytes follow as ordinary bytes.
                    out.push_back(e);
                    break;
            }
        }
        return false;  // unterminated
    }

    bool token_ends_here() const { return pos_ >= s_.size() || !continues_token(s_[pos_]); }

    bool literal(std::string_view word) {
        if (s_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return token_ends_here();
    }

    // -? digits (. digits)? ([eE] [+-]? digits)?, kept as written. Leading
    // zeros are accepted.
    bool number(std::string& out) {
        const std::size_t start = pos_;
        if (at('-')) ++pos_;
        if (!digits()) return false;
        if (at('.')) {
            ++pos_;
            if (!digits()) return false;
        }
        if (at('e') || at('E')) {
            ++pos_;
            if (at('+') || at('-')) ++pos_;
            if (!digits()) return false;
        }
        if (!token_ends_here()) return false;
        out.assign(s_.substr(start, pos_ - start));
        return true;
    }

    // One or more decimal digits.
    bool digits() {
        const std::size_t start = pos_;
        while (pos_ < s_.size() && is_digit(s_[pos_])) ++pos_;
        return pos_ > start;
    }

    std::string_view s_;
    std::size_t pos_ = 0;
};

}  // namespace

Value::Value() = default;
Value::Value(const Value&) = default;
Value::Value(Value&&) noexcept = default;
Value& Value::operator=(const Value&) = default;
Value& Value::operator=(Value&&) noexcept = default;
Value::~Value() = default;

const Value* Value::member(std::string_view name) const {
    if (kind != Kind::Object) return nullptr;
    for (auto it = members.rbegin(); it != members.rend(); ++it) {
        if (it->first == name) return &it->second;
    }
    return nullptr;
}

std::string Value::as_text() const {
    switch (kind) {
        case Kind::String:
        case Kind::Number:
        case Kind::Boolean:
            return text;
        case Kind::Null:
        case Kind::Array:
        case Kind::Object:
            break;
    }
    return {};
}

std::optional<Value> parse_lenient(std::string_view utf8) {
    Reader reader(utf8);
    reader.skip_bom();
    reader.skip_blanks();
    Value root;
    if (!reader.value(root, 0)) return std::nullopt;
    return root;
}

// ---- writer ----------------------------------------------------------------

Writer& Writer::open(char c) {
    separate();
    out_ += c;
    first_.push_back(true);
    return *this;
}

Writer& Writer::close(char c) {
    out_ += c;
    if (!first_.empty()) first_.pop_back();
    return *this;
}

// The comma before a value or member, except the first of its container and a
// value that follows its name.
void Writer::separate() {
    if (after_name_) {
        after_name_ = false;
        return;
    }
    if (first_.empty()) return;
    if (!first_.back()) out_ += ',';
    first_.back() = false;
}

void Writer::quoted(std::string_view text, Encoding encoding) {
    out_ += '"';
    out_ += encoding == Encoding::Gbk ? json_escaped(text) : json_escaped_utf8(text);
    out_ += '"';
}

Writer& Writer::name(std::string_view member) {
    separate();
    quoted(member, encoding_);
    out_ += ':';
    after_name_ = true;
    return *this;
}

Writer& Writer::string(std::string_view value) {
    separate();
    quoted(value, encoding_);
    return *this;
}

Writer& Writer::raw(std::string_view json_text) {
    separate();
    out_ += json_text;
    return *this;
}

Writer& Writer::value(const Value& v) {
    switch (v.kind) {
        case Value::Kind::Null: return raw("null");
        case Value::Kind::Boolean:
        case Value::Kind::Number: return raw(v.text);
        case Value::Kind::String:
            separate();
            quoted(v.text, Encoding::Utf8);
            return *this;
        case Value::Kind::Array:
            begin_array();
            for (const Value& item : v.items) value(item);
            return end_array();
        case Value::Kind::Object:
            begin_object();
            for (const auto& [member_name, item] : v.members) {
                separate();
                quoted(member_name, Encoding::Utf8);
                out_ += ':';
                after_name_ = true;
                value(item);
            }
            return end_object();
    }
    return *this;
}

std::string text_object(const std::vector<std::pair<std::string, std::string>>& members) {
    Writer w;
    w.begin_object();
    for (const auto& [key, value] : members) w.member(key, value);
    return w.end_object().take();
}

std::string compact(const Value& value) { return Writer(Writer::Encoding::Utf8).value(value).take(); }

}  // namespace vorla::json
