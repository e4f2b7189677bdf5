// The GBK text module: every character-wise operation on GBK texts, and the
// escaping of texts the library writes into XML and JSON.
//
// A GBK character is one byte, or a lead byte 0x81-0xFE followed by a trail
// byte 0x40-0x7E or 0x80-0xFE. Trail bytes include "|", "^", "$", "\", ","
// and the ASCII letters, so every split, search, replace and cut goes by whole
// characters, never by bytes. A lead byte without a valid trail byte (or at the
// end of the text) counts as a character of its own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace vorla {

// ---- characters -------------------------------------------------------------

bool is_gbk_lead(unsigned char b);
bool is_gbk_trail(unsigned char b);

// Byte length of the character that starts at `at` (1 or 2; 0 at or past the end).
std::size_t gbk_char_length(std::string_view s, std::size_t at);

// Number of characters.
std::size_t gbk_char_count(std::string_view s);

// The first / last n characters (the whole text when it has fewer).
std::string first_chars(std::string_view s, std::size_t n);
std::string last_chars(std::string_view s, std::size_t n);

// The longest prefix of at most `max_bytes` bytes that ends on a character
// boundary: a double-byte character is never halved.
std::string_view cut_bytes(std::string_view s, std::size_t max_bytes);

// Byte offset of the first occurrence of `what` that starts on a character
// boundary at or after `from` and covers whole characters; npos when none.
// ASCII letters of single-byte characters compare without regard to case when
// `ignore_ascii_case`.
std::size_t gbk_find(std::string_view s, std::string_view what, std::size_t from = 0,
                     bool ignore_ascii_case = false);
// Byte offset of the first single-byte character `c` at or after `from`; npos when none.
std::size_t gbk_find_char(std::string_view s, char c, std::size_t from = 0);

// The pieces between the character-aligned occurrences of `separator`
// ("a|b|" gives "a", "b", ""; "" gives one empty piece).
std::vector<std::string_view> gbk_split(std::string_view s, char separator);

// `s` with every character-aligned occurrence of `what` replaced by `with`.
std::string gbk_replace_all(std::string_view s, std::string_view what, std::string_view with,
                            bool ignore_ascii_case = false);
// `s` with every character-aligned occurrence of `what` removed.
std::string remove_all(std::string_view s, std::string_view what, bool ignore_ascii_case = false);

// Code-and-name texts ("310^职工基本医疗保险"): the code part is everything
// before the first "^", the name part everything after it. Without "^" the code
// part is empty and the whole text is the name part.
std::string code_part(std::string_view s);
std::string name_part(std::string_view s);

// Removes leading and trailing blanks and control characters (bytes <= 0x20),
// like the trim of the settings reader. GBK trail bytes are never <= 0x20.
std::string_view trim(std::string_view s);

// ---- escaping ---------------------------------------------------------------

// Appends the text as XML character data or attribute value: " & ' < > as
// entities, a line feed as CR LF (one already after a CR is not doubled), a CR
// that is not before a line feed as "&#13;". GBK trail bytes are never one of
// these characters, so the text may be GBK or UTF-8.
void append_xml_escaped(std::string& out, std::string_view s);
std::string xml_escaped(std::string_view s);

// The contents of a JSON string for a GBK text (no quotes): the quote and the
// backslash as \" and \\, the control characters 0x00-0x1F as \u00XX, every
// other byte unchanged; double-byte characters are kept whole, so a trail byte
// 0x5C is never taken for a backslash.
std::string json_escaped(std::string_view gbk_text);
// The same for a UTF-8 text (every byte >= 0x80 is part of a character).
std::string json_escaped_utf8(std::string_view utf8_text);

// ---- numbers and dates ------------------------------------------------------

// Zero-padded decimal of v in at least `width` digits.
std::string pad(int v, int width);

// Date and time texts of a local time.
std::string format_yyyymmdd(const platform::LocalTime& t);
// hhnnsszz: hour, minute, second, then the milliseconds with at least two digits.
std::string format_hhnnsszz(const platform::LocalTime& t);

// GBK text from UTF-8 source text (tests and fixed Chinese texts).
inline std::string gbk(std::string_view utf8) { return platform::utf8_to_gbk(utf8); }
inline std::string gbk(std::u8string_view utf8) {
    return platform::utf8_to_gbk(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

}  // namespace vorla
