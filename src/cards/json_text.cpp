#include "cards/json_text.h"

#include "platform/platform.h"

namespace vorla::cards {
namespace {

constexpr char kHex[] = "0123456789abcdef";

bool is_gbk_lead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Escapes UTF-8 or GBK text byte by byte; `gbk` keeps double-byte characters whole.
std::string quote(std::string_view text, bool gbk) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (gbk && is_gbk_lead(c) && i + 1 < text.size()) {
            out += text[i];
            out += text[++i];
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += text[i];
        }
    }
    return out + "\"";
}

void write_compact(const json::Value& v, std::string& out) {
    switch (v.kind) {
        case json::Value::Kind::Null:
            out += "null";
            break;
        case json::Value::Kind::Boolean:
        case json::Value::Kind::Number:
            out += v.text;
            break;
        case json::Value::Kind::String:
            out += quote(v.text, false);
            break;
        case json::Value::Kind::Array: {
            out += '[';
            bool first = true;
            for (const auto& item : v.items) {
                if (!first) out += ',';
                first = false;
                write_compact(item, out);
            }
            out += ']';
            break;
        }
        case json::Value::Kind::Object: {
            out += '{';
            bool first = true;
            for (const auto& [name, item] : v.members) {
                if (!first) out += ',';
                first = false;
                out += quote(name, false);
                out += ':';
                write_compact(item, out);
            }
            out += '}';
            break;
        }
    }
}

}  // namespace

std::string json_quote(std::string_view gbk_text) { return quote(gbk_text, true); }

std::string json_text_object(const std::vector<std::pair<std::string, std::string>>& members) {
    std::string out = "{";
    bool first = true;
    for (const auto& [key, value] : members) {
        if (!first) out += ',';
        first = false;
        out += json_quote(key);
        out += ':';
        out += json_quote(value);
    }
    return out + "}";
}

std::optional<json::Value> parse_gbk_json(std::string_view gbk_text) {
    return json::parse_lenient(platform::gbk_to_utf8(gbk_text));
}

std::string compact_json(const json::Value& value) {
    std::string out;
    write_compact(value, out);
    return out;
}

std::string text_of(const json::Value* value) {
    if (!value) return {};
    if (value->kind == json::Value::Kind::Object || value->kind == json::Value::Kind::Array)
        return platform::utf8_to_gbk(compact_json(*value));
    return platform::utf8_to_gbk(value->as_text());
}

std::optional<json::Value> object_member(const json::Value& parent, std::string_view name) {
    const json::Value* m = parent.member(name);
    if (!m) return std::nullopt;
    if (m->kind == json::Value::Kind::Object) return *m;
    if (m->kind == json::Value::Kind::String) {
        auto inner = json::parse_lenient(m->text);
        if (inner && inner->kind == json::Value::Kind::Object) return inner;
    }
    return std::nullopt;
}

}  // namespace vorla::cards
