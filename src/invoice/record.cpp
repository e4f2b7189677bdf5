#include "invoice/record.h"

#include <charconv>
#include <cmath>

#include "common/text.h"
#include "invoice/amounts.h"
#include "platform/platform.h"

namespace vorla::invoice {
namespace {

bool is_integer_literal(std::string_view s) {
    if (!s.empty() && s.front() == '-') s.remove_prefix(1);
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

double literal_number(std::string_view s) {
    double v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (r.ec != std::errc() || !std::isfinite(v)) return 0;
    return v;
}

}  // namespace

std::string json_text(const json::Value& v) { return json::compact(v); }

std::string value_text(const json::Value* v) {
    if (!v) return {};
    switch (v->kind) {
        case json::Value::Kind::Null: return {};
        case json::Value::Kind::Boolean: return v->text;
        case json::Value::Kind::String: return platform::utf8_to_gbk(v->text);
        case json::Value::Kind::Number:
            return is_integer_literal(v->text) ? v->text : general_text(literal_number(v->text));
        case json::Value::Kind::Array:
        case json::Value::Kind::Object: return platform::utf8_to_gbk(json_text(*v));
    }
    return {};
}

double value_number(const json::Value* v) {
    if (!v) return 0;
    if (v->kind == json::Value::Kind::Number) return literal_number(v->text);
    if (v->kind == json::Value::Kind::String) return number_from_text(v->text);
    return 0;
}

SettlementRecord::SettlementRecord(const json::Value& object) : object_(object) {
    if (object.kind != json::Value::Kind::Object) throw RecordError("the settlement record is not a JSON object");
}

const json::Value& SettlementRecord::list(std::string_view key) const {
    const json::Value* v = object_.member(key);
    if (!v || v->kind != json::Value::Kind::Array)
        throw RecordError("the settlement record has no list " + std::string(key));
    return *v;
}

}  // namespace vorla::invoice
