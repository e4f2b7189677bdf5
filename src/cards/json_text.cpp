#include "cards/json_text.h"

#include "common/text.h"
#include "platform/platform.h"

namespace vorla::cards {
std::string json_quote(std::string_view gbk_text) { return '"' + json_escaped(gbk_text) + '"'; }

std::string json_text_object(const std::vector<std::pair<std::string, std::string>>& members) {
    return json::text_object(members);
}

std::optional<json::Value> parse_gbk_json(std::string_view gbk_text) {
    return json::parse_lenient(platform::gbk_to_utf8(gbk_text));
}

std::string compact_json(const json::Value& value) { return json::compact(value); }

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
