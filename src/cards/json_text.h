// JSON texts of the card readers' exchanges: GBK values quoted for the bodies
// the library writes, and answers read with the lenient reader.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/json.h"

namespace vorla::cards {

// A JSON string literal of a GBK text, quotes included, still GBK, escaped
// like every JSON text the library writes (json_escaped in common/text.h).
std::string json_quote(std::string_view gbk_text);

// A compact JSON object of text members, in the given order:
// {"k1":"v1","k2":"v2"} (keys and values GBK, values escaped).
std::string json_text_object(const std::vector<std::pair<std::string, std::string>>& members);

// Parses a GBK answer; nullopt when it is not JSON.
std::optional<json::Value> parse_gbk_json(std::string_view gbk_text);

// A value read as text, GBK: a string's text, a number or literal as written,
// "" for null or a missing value, an object or array as its compact JSON text.
std::string text_of(const json::Value* value);

// The compact JSON text of a value (UTF-8).
std::string compact_json(const json::Value& value);

// A member that is an object, or a string that holds one ("read as text, then
// parsed"); nullopt otherwise.
std::optional<json::Value> object_member(const json::Value& parent, std::string_view name);

}  // namespace vorla::cards
