// Code-and-name texts ("310^职工基本医疗保险": the code before the first "^",
// the name after it) and list texts (items separated by "$", item parts by "|").
//
// Every text is GBK. "^" (0x5E) and "|" (0x7C) can be the trail byte of a
// double-byte character, so the searches here walk whole characters: a name
// such as one containing 鎈 never splits inside its character.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vorla::query {

// Byte position of the first single-byte character `c` at or after `from`
// (a character boundary), npos when there is none.
std::size_t find_char(std::string_view text, char c, std::size_t from = 0);

// The code of a code-and-name text: the part before the first "^"; the whole
// text when there is no "^".
std::string_view code_of(std::string_view text);

// The text split at every `separator`; empty parts are dropped ("" gives none).
std::vector<std::string_view> split_items(std::string_view text, char separator);

// The longest prefix of at most `max_bytes` bytes that ends on a character
// boundary (a double-byte character is never cut in half).
std::string_view prefix_bytes(std::string_view text, std::size_t max_bytes);

}  // namespace vorla::query
