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

// The compact JSON writer of every body the library writes: no white space
// between tokens, members in the order written. Texts are escaped with one
// policy (see json_escaped in common/text.h): the quote and the backslash
// with a backslash, control characters 0x00-0x1F as \u00XX. In GBK mode (the
// default) double-byte characters are kept whole; in UTF-8 mode every byte
// >= 0x80 is left as it is.
class Writer {
public:
    enum class Encoding { Gbk, Utf8 };
    explicit Writer(Encoding encoding = Encoding::Gbk) : encoding_(encoding) {}

    Writer& begin_object() { return open('{'); }
    Writer& end_object() { return close('}'); }
    Writer& begin_array() { return open('['); }
    Writer& end_array() { return close(']'); }
    // The name of the next member; its value follows.
    Writer& name(std::string_view member);
    // A string value.
    Writer& string(std::string_view value);
    // A value written as it stands (a number, a literal, a compact JSON text).
    Writer& raw(std::string_view json_text);
    Writer& member(std::string_view member, std::string_view value) { return name(member).string(value); }
    // A parsed value (texts UTF-8), written compactly.
    Writer& value(const Value& v);

    const std::string& text() const { return out_; }
    std::string take() { return std::move(out_); }

private:
    Writer& open(char c);
    Writer& close(char c);
    void separate();
    void quoted(std::string_view text, Encoding encoding);

    Encoding encoding_;
    std::string out_;
    std::vector<bool> first_;
    bool after_name_ = false;
};

// A compact JSON object of text members, in the given order (GBK in, GBK out).
std::string text_object(const std::vector<std::pair<std::string, std::string>>& members);

// The compact JSON text of a parsed value (UTF-8 in, UTF-8 out).
std::string compact(const Value& value);

}  // namespace vorla::json
