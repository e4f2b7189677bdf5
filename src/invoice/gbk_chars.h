// Character-wise work on GBK texts for the invoice: a GBK character is one
// byte (0x00-0x80, 0xFF) or a lead byte 0x81-0xFE followed by a trail byte
// 0x40-0xFE other than 0x7F. Trail bytes include "^", "\" and the ASCII
// letters, so searching, cutting and splitting must go by characters, never by
// bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vorla::invoice {

// Byte length of the character that starts at `at` (1 or 2; a lead byte without
// a valid trail byte counts as a character of its own).
std::size_t gbk_char_length(std::string_view s, std::size_t at);

// Number of characters.
std::size_t gbk_char_count(std::string_view s);

// The first / last n characters (the whole text when it has fewer).
std::string first_chars(std::string_view s, std::size_t n);
std::string last_chars(std::string_view s, std::size_t n);

// Byte offset of the first occurrence of `what` that starts on a character
// boundary at or after `from`, npos when none. ASCII letters compare without
// regard to case when `ignore_ascii_case` (only in single-byte characters).
std::size_t find_chars(std::string_view s, std::string_view what, std::size_t from = 0,
                       bool ignore_ascii_case = false);

// `s` with every character-aligned occurrence of `what` removed.
std::string remove_all(std::string_view s, std::string_view what, bool ignore_ascii_case = false);

// Code-and-name texts ("310^职工基本医疗保险"): the code part is everything
// before the first "^", the name part everything after it. Without "^" the code
// part is empty and the whole text is the name part.
std::string code_part(std::string_view s);
std::string name_part(std::string_view s);

}  // namespace vorla::invoice
