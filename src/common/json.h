// The lenient JSON reader used for invoke requests and service answers.
//
// Accepts conforming JSON and also: member names in single quotes or without
// quotes (an unquoted name is everything up to the colon, blanks included);
// strings in single quotes; the escapes \b \f \n \r \t \uXXXX \xXX, a backslash
// before any other character standing for that character; numbers, true, false,
// null, objects and arrays nested up to 30 levels; blanks, tabs, CR, LF, FF and BS
// between tokens; /* */ and // comments; any text after the top-level value.
//
// Input and every text in the tree are UTF-8; callers convert at the boundary.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorla::json {

struct Value {
    enum class Kind { Null, Boolean, Number, String, Array, Object };
    Kind kind = Kind::Null;
    // String: the decoded text. Number: the literal as written. Boolean: "true"/"false".
    std::string text;
    std::vector<std::pair<std::string, Value>> members;  // Object, in document order
    std::vector<Value> items;                              // Array

    // Declared here and defaulted in json.cpp: with Clang and libstdc++, the
    // implicit members would need std::pair<std::string, Value> complete while
    // Value itself is still incomplete.
    Value();
    Value(const Value&);
    Value(Value&&) noexcept;
    Value& operator=(const Value&);
    Value& operator=(Value&&) noexcept;
    ~Value();

    // The member of that exact name (case-sensitive; the last one when repeated),
    // nullptr when absent or when this is not an object.
    const Value* member(std::string_view name) const;
    // The value read as text: a string's text, a number's or literal's text as
    // written ("123" for 123), "" for null, objects and arrays.
    std::string as_text() const;
};

inline constexpr int kMaxDepth = 30;

// The parsed top-level value, or nullopt when the text is not a value.
//
// Details of the accepted syntax:
// - A leading UTF-8 byte order mark is skipped.
// - An unquoted member name is never empty and ends only at its colon; a { } [ ]
//   or comma before that colon makes the text malformed (a missing colon).
//   Comment marks inside an unquoted name belong to the name.
// - \uXXXX gives a UTF-16 code unit: a high surrogate followed at once by an
//   escaped low surrogate gives one character; any other surrogate gives "?".
//   \xXX gives the character U+00XX. \u or \x without its four or two
//   hexadecimal digits makes the text malformed.
// - A number is -? digits (. digits)? ([eE] [+-]? digits)?, leading zeros
//   allowed; a number or literal running straight into a letter, digit, dot,
//   sign or non-ASCII character ("12ab", "truex") is malformed.
// - Any other character before a string's closing quote, control characters and
//   invalid UTF-8 included, is copied unchanged.
// Malformed: empty text, an unterminated string, a missing colon or comma,
// unbalanced brackets, a trailing comma, nesting deeper than kMaxDepth.
std::optional<Value> parse_lenient(std::string_view utf8);

}  // namespace vorla::json
