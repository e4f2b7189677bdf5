// The lenient JSON reader: accepted syntaxes with their trees, rejected texts,
// the nesting limit, member lookup and reading values as text.
#include "common/json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace vorla::json {
namespace {

using namespace std::string_literals;

// A quoted text with '"' and '\' escaped and control bytes as \xNN; other bytes
// (UTF-8 included) as they are.
std::string show_text(std::string_view s) {
    std::string out = "\"";
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// The tree in a compact form that shows every kind:
// null, b:true, n:12.5, s:"text", [item,item], {"name"=value,"name"=value}.
std::string show(const Value& v) {
    switch (v.kind) {
        case Value::Kind::Null:
            return v.text.empty() ? "null" : "null(" + show_text(v.text) + ")";
        case Value::Kind::Boolean:
            return "b:" + v.text;
        case Value::Kind::Number:
            return "n:" + v.text;
        case Value::Kind::String:
            return "s:" + show_text(v.text);
        case Value::Kind::Array: {
            std::string out = "[";
            for (std::size_t i = 0; i < v.items.size(); ++i) {
                if (i > 0) out += ',';
                out += show(v.items[i]);
            }
            return out + "]";
        }
        case Value::Kind::Object: {
            std::string out = "{";
            for (std::size_t i = 0; i < v.members.size(); ++i) {
                if (i > 0) out += ',';
                out += show_text(v.members[i].first) + "=" + show(v.members[i].second);
            }
            return out + "}";
        }
    }
    return "?";
}

struct Accepted {
    std::string input;
    std::string tree;
};

TEST(JsonAccepted, TableOfSyntaxes) {
    const Accepted table[] = {
        // Member names and strings in every quoting.
        {R"({"functionname":"bizbuss"})", R"({"functionname"=s:"bizbuss"})"},
        {R"({'functionname':'bizbuss'})", R"({"functionname"=s:"bizbuss"})"},
        {R"({functionname:'bizbuss'})", R"({"functionname"=s:"bizbuss"})"},
        {R"({"a":1,'b':2,c:3})", R"({"a"=n:1,"b"=n:2,"c"=n:3})"},
        {R"({'a"b':"c'd"})", R"({"a\"b"=s:"c'd"})"},
        {R"({"":'',' ':" "})", R"({""=s:""," "=s:" "})"},
        // Unquoted names run to the colon, inner and trailing blanks included.
        {"{ a b :1}", R"({"a b "=n:1})"},
        {"{\t\r\n a\tb\x20\x20:1}", R"({"a\x09b  "=n:1})"},
        {"{1a:2, b-c.d:3}", R"({"1a"=n:2,"b-c.d"=n:3})"},
        {"{a'b\"c:1}", R"({"a'b\"c"=n:1})"},
        {"{a/*x*/:1}", R"({"a/*x*/"=n:1})"},
        {"{\xE5\x90\x8D:1}", "{\"\xE5\x90\x8D\"=n:1}"},
        // The invoke request as hosts send it.
        {R"({functionname:'bizbuss',params:{hid:'4401|01',biztype:'J2',ip:'10.1.2.3',)"
         R"(indata:'<?xml version="1.0" encoding="GBK"?><DATA><HEAD/></DATA>'}})",
         R"({"functionname"=s:"bizbuss","params"={"hid"=s:"4401|01","biztype"=s:"J2",)"
         R"("ip"=s:"10.1.2.3","indata"=s:"<?xml version=\"1.0\" encoding=\"GBK\"?><DATA><HEAD/></DATA>"}})"},
        // A web service answer: conforming JSON.
        {R"({"code":0,"msg":"\u6210\u529f","data":{"list":[{"id":"7","ok":true}],"next":null}})",
         "{\"code\"=n:0,\"msg\"=s:\"\xE6\x88\x90\xE5\x8A\x9F\",\"data\"={\"list\"=[{\"id\"=s:\"7\","
         "\"ok\"=b:true}],\"next\"=null}}"},
        // Escapes.
        {R"("\b\f\n\r\t")", R"(s:"\x08\x0C\x0A\x0D\x09")"},
        {R"('\'\"\\\/')", R"(s:"'\"\\/")"},
        {R"("\"'" )", R"(s:"\"'")"},
        {R"('it\'s')", R"(s:"it's")"},
        {R"("\q\a\z\0\ ")", R"(s:"qaz0 ")"},
        {"\"\\\xE4\xB8\xAD\"", "s:\"\xE4\xB8\xAD\""},
        {R"("\x41\x7a\x00")", R"(s:"Az\x00")"},
        {R"("\xe9\xFF")", "s:\"\xC3\xA9\xC3\xBF\""},
        {R"("\u0041\u00e9\u4E2D\uFFFF")", "s:\"A\xC3\xA9\xE4\xB8\xAD\xEF\xBF\xBF\""},
        {R"("\u0000")", R"(s:"\x00")"},
        {R"("\u07FF\u0800")", "s:\"\xDF\xBF\xE0\xA0\x80\""},
        // Surrogate pairs make one character; any other surrogate is "?".
        {R"("\uD83D\uDE00")", "s:\"\xF0\x9F\x98\x80\""},
        {R"("\ud800\udc00\uDBFF\uDFFF")", "s:\"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF\""},
        {R"("a\uD83Db")", R"(s:"a?b")"},
        {R"("\uDE00")", R"(s:"?")"},
        {R"("\uDE00\uD83D")", R"(s:"??")"},
        {R"("\uD83D\uD83D\uDE00")", "s:\"?\xF0\x9F\x98\x80\""},
        {R"("\uD83D\u0041")", R"(s:"?A")"},
        {R"("\uD83D\n")", R"(s:"?\x0A")"},
        {R"("\uD83D\\uDE00")", R"(s:"?\\uDE00")"},
        // Other bytes inside a string are copied as they are.
        {"'line\r\none\ttab'", R"(s:"line\x0D\x0Aone\x09tab")"},
        {"'\xE4\xB9\x97/* not a comment */'", "s:\"\xE4\xB9\x97/* not a comment */\""},
        // Blanks and comments between tokens.
        {" \t\r\n\f\b[ \t\r\n\f\b1 \t\r\n\f\b, \t\r\n\f\b2 \t\r\n\f\b] ", "[n:1,n:2]"},
        {"/*x*/{//y\n\"a\"/*z*/:/*w*/1/*v*/,//u\r b:2//t\n}", R"({"a"=n:1,"b"=n:2})"},
        {"{a:/* } ' \" */1}", R"({"a"=n:1})"},
        {"/** x **/[/**/1]", "[n:1]"},
        {"[1//c\n,2]", "[n:1,n:2]"},
        // Numbers and literals keep their text.
        {"[0,-1,12.50,1e5,1E+05,-0.5e-3,007,-0]",
         "[n:0,n:-1,n:12.50,n:1e5,n:1E+05,n:-0.5e-3,n:007,n:-0]"},
        {"[true,false,null]", "[b:true,b:false,null]"},
        {"{a:1,b:true,c:null}", R"({"a"=n:1,"b"=b:true,"c"=null})"},
        {"123", "n:123"},
        {"'x'", R"(s:"x")"},
        {"null", "null"},
        {"false", "b:false"},
        // Nesting.
        {"{}", "{}"},
        {"[]", "[]"},
        {"[[],{},[[]]]", "[[],{},[[]]]"},
        {"{a:{b:[1,{c:[]}],d:{}},e:'x'}", R"({"a"={"b"=[n:1,{"c"=[]}],"d"={}},"e"=s:"x"})"},
        // Repeated names are all kept, in document order.
        {"{a:1,a:2,A:3}", R"({"a"=n:1,"a"=n:2,"A"=n:3})"},
        // Text after the complete top-level value is ignored, whatever it is.
        {"{a:1} trailing", R"({"a"=n:1})"},
        {"{a:1}}", R"({"a"=n:1})"},
        {"{a:1}{b:", R"({"a"=n:1})"},
        {"[1]'unterminated", "[n:1]"},
        {"'x' \"y", R"(s:"x")"},
        {"{a:1}/* unterminated", R"({"a"=n:1})"},
        {"{a:1}\0garbage"s, R"({"a"=n:1})"},
        {"1 2", "n:1"},
        {"1,", "n:1"},
        {"true]", "b:true"},
        // A leading UTF-8 byte order mark.
        {"\xEF\xBB\xBF{a:1}", R"({"a"=n:1})"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(show_text(row.input));
        const auto parsed = parse_lenient(row.input);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(show(*parsed), row.tree);
    }
}

TEST(JsonRejected, TableOfMalformedTexts) {
    const std::string table[] = {
        // Nothing there.
        "", "   ", "\t\r\n", "/* only a comment */", "// only a comment", "/* unterminated",
        // Unbalanced or crossed brackets.
        "{", "[", "{a:1", "{a:1,", "[1,2", "[1,", "}", "]", "[}", "{]", "{a:[1}", "[{]}",
        "{a:{b:1}", "[[1]",
        // Missing colon, comma or value.
        R"({"a" 1})", R"({'a' 'b'})", "{a 1}", "{a}", "{a,b:1}", "{a:1,b}", "{a[0]:1}",
        "{a:1 b:2}", "[1 2]", "{a:}", "{a:,b:1}", "[,1]", "[1,,2]", "{,}",
        // Trailing commas and empty names.
        "{a:1,}", "[1,]", "{:1}",
        // Unterminated strings.
        R"("abc)", "'abc", "{a:'abc}", "{'a:1}", R"("abc\")", R"('abc\')", "\"abc\\",
        "'mixed\"", "{\"a\":\"b}",
        // Escapes without their digits.
        R"("\u12")", R"("\u12G4")", R"("\u")", R"("\x4")", R"("\xG1")", R"("\x")",
        R"("\uD83D\u12")", R"("\uD83D\uZZZZ")",
        // Numbers.
        "-", "1.", ".5", "+1", "1e", "1e+", "1E-", "12ab", "1.2.3", "0x10", "--1", "1-2",
        "[01.]", "{a:1.}", "[1e5e5]", "1\xE4\xB8\x80",
        // Literals and bare words.
        "tru", "True", "NULL", "nul", "truex", "nullnull", "false_", "NaN", "Infinity",
        "{a:bizbuss}", "[yes]",
        // Other characters that start no value.
        "/", "/ {a:1}", "@", "\v1", "\0{a:1}"s, "{a:\0 1}"s, "\xEF\xBB{a:1}",
    };
    for (const auto& input : table) {
        SCOPED_TRACE(show_text(input));
        const auto parsed = parse_lenient(input);
        EXPECT_FALSE(parsed.has_value()) << show(*parsed);
    }
}

// Levels of nested arrays around a number: [[[1]]] has three.
std::string nested_arrays(int levels) {
    return std::string(static_cast<std::size_t>(levels), '[') + "1" +
           std::string(static_cast<std::size_t>(levels), ']');
}

// Levels of nested objects: {a:{a:{}}} has three.
std::string nested_objects(int levels) {
    std::string s;
    for (int i = 1; i < levels; ++i) s += "{a:";
    s += "{}";
    s += std::string(static_cast<std::size_t>(levels - 1), '}');
    return s;
}

// Levels of alternating objects and arrays: {a:[{a:[…]}]}.
std::string nested_mixed(int levels) {
    std::string open, close;
    for (int i = 0; i < levels; ++i) {
        const bool object = i % 2 == 0;
        open += object ? "{a:" : "[";
        close.insert(0, object ? "}" : "]");
    }
    return open + "0" + close;
}

int depth_of(const Value& v) {
    int deepest = 0;
    for (const auto& item : v.items) deepest = std::max(deepest, depth_of(item));
    for (const auto& member : v.members) deepest = std::max(deepest, depth_of(member.second));
    const bool container = v.kind == Value::Kind::Array || v.kind == Value::Kind::Object;
    return deepest + (container ? 1 : 0);
}

TEST(JsonDepth, ThirtyLevelsAcceptedThirtyOneRejected) {
    ASSERT_EQ(kMaxDepth, 30);
    for (const auto make : {nested_arrays, nested_objects, nested_mixed}) {
        const std::string ok = make(30);
        SCOPED_TRACE(ok);
        const auto parsed = parse_lenient(ok);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(depth_of(*parsed), 30);
        EXPECT_FALSE(parse_lenient(make(31)).has_value());
    }
}

TEST(JsonDepth, LevelsCountAlongOnePathNotAcrossSiblings) {
    // Thirty levels deep twice side by side, inside one more level: 31 deep.
    const std::string two = "[" + nested_arrays(29) + "," + nested_objects(29) + "]";
    const auto parsed = parse_lenient(two);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(depth_of(*parsed), 30);
    EXPECT_FALSE(parse_lenient("[" + nested_arrays(29) + "," + nested_objects(30) + "]").has_value());
}

TEST(JsonDepth, VeryDeepTextIsRejectedWithoutExhaustingTheStack) {
    EXPECT_FALSE(parse_lenient(std::string(1'000'000, '[')).has_value());
    EXPECT_FALSE(parse_lenient(nested_arrays(100'000)).has_value());
    std::string objects;
    for (int i = 0; i < 100'000; ++i) objects += "{a:";
    EXPECT_FALSE(parse_lenient(objects).has_value());
}

TEST(JsonMember, LookupIsExactAndCaseSensitive) {
    const auto v = parse_lenient("{functionname:'bizbuss', 'FunctionName':'other', a b :'blank'}");
    ASSERT_TRUE(v.has_value());
    ASSERT_NE(v->member("functionname"), nullptr);
    EXPECT_EQ(v->member("functionname")->as_text(), "bizbuss");
    ASSERT_NE(v->member("FunctionName"), nullptr);
    EXPECT_EQ(v->member("FunctionName")->as_text(), "other");
    EXPECT_EQ(v->member("FUNCTIONNAME"), nullptr);
    EXPECT_EQ(v->member("functionname "), nullptr);
    EXPECT_EQ(v->member("function"), nullptr);
    EXPECT_EQ(v->member("a b"), nullptr);
    ASSERT_NE(v->member("a b "), nullptr);
    EXPECT_EQ(v->member("a b ")->as_text(), "blank");
}

TEST(JsonMember, RepeatedNameGivesTheLastOne) {
    const auto v = parse_lenient("{biztype:'J1',other:1,biztype:'J2'}");
    ASSERT_TRUE(v.has_value());
    ASSERT_NE(v->member("biztype"), nullptr);
    EXPECT_EQ(v->member("biztype")->as_text(), "J2");
}

TEST(JsonMember, NestedLookupAndNonObjects) {
    const auto v = parse_lenient("{params:{hid:'h',n:[{x:1}]}}");
    ASSERT_TRUE(v.has_value());
    const Value* params = v->member("params");
    ASSERT_NE(params, nullptr);
    ASSERT_NE(params->member("hid"), nullptr);
    EXPECT_EQ(params->member("hid")->as_text(), "h");
    EXPECT_EQ(v->member("hid"), nullptr);  // not looked for below the top level

    const Value* array = params->member("n");
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array->member("x"), nullptr);  // an array has no members
    ASSERT_EQ(array->items.size(), 1u);
    EXPECT_EQ(params->member("hid")->member("h"), nullptr);  // nor has a string
}

TEST(JsonText, ValuesReadAsText) {
    const auto v = parse_lenient("{s:'abc',n:123,f:-1.50e3,t:true,x:false,z:null,o:{a:1},a:[1],e:''}");
    ASSERT_TRUE(v.has_value());
    const auto text = [&](std::string_view name) {
        const Value* m = v->member(name);
        return m ? m->as_text() : "<absent>";
    };
    EXPECT_EQ(text("s"), "abc");
    EXPECT_EQ(text("n"), "123");
    EXPECT_EQ(text("f"), "-1.50e3");
    EXPECT_EQ(text("t"), "true");
    EXPECT_EQ(text("x"), "false");
    EXPECT_EQ(text("z"), "");
    EXPECT_EQ(text("o"), "");
    EXPECT_EQ(text("a"), "");
    EXPECT_EQ(text("e"), "");
}

TEST(JsonText, GbkCharacterEndingInBackslashCodeIsNotAnEscape) {
    // 乗 is 0x81 0x5C in GBK; the request is decoded before it is parsed, so its
    // second byte cannot escape the closing quote.
    const std::string request = "{indata:'\x81\x5C',biztype:'J1'}";
    const auto v = parse_lenient(platform::gbk_to_utf8(request));
    ASSERT_TRUE(v.has_value());
    ASSERT_NE(v->member("indata"), nullptr);
    EXPECT_EQ(v->member("indata")->as_text(), "\xE4\xB9\x97");
    ASSERT_NE(v->member("biztype"), nullptr);
    EXPECT_EQ(v->member("biztype")->as_text(), "J1");
}

}  // namespace
}  // namespace vorla::json
