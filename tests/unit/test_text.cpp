// The GBK text module: whole-character split, find, replace, cut, and the XML
// and JSON escaping, with characters whose second byte is "|", "\" or "^".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/json.h"
#include "common/text.h"

namespace vorla {
namespace {

// 珅 AB 7C, 東 96 7C: second byte "|". 誠 D5 5C: second byte "\". 癪 B0 5E: "^".
const std::string kBar = gbk("珅"), kEast = gbk("東"), kSlash = gbk("誠"), kHat = gbk("癪");

TEST(GbkText, FixturesEndInTheAsciiBytes) {
    EXPECT_EQ(kBar, "\xAB|");
    EXPECT_EQ(kEast, "\x96|");
    EXPECT_EQ(kSlash, "\xD5\\");
    EXPECT_EQ(kHat, "\xB0^");
}

TEST(GbkText, CharacterRule) {
    EXPECT_EQ(gbk_char_length("\x81\x40", 0), 2u);
    EXPECT_EQ(gbk_char_length("\xFE\xFE", 0), 2u);
    EXPECT_EQ(gbk_char_length("\x81\x7F", 0), 1u) << "0x7F is no trail byte";
    EXPECT_EQ(gbk_char_length("\x81\x3F", 0), 1u);
    EXPECT_EQ(gbk_char_length("\x81\xFF", 0), 1u);
    EXPECT_EQ(gbk_char_length("\x80\x40", 0), 1u);
    EXPECT_EQ(gbk_char_length("\x81", 0), 1u) << "a lead byte at the end";
    EXPECT_EQ(gbk_char_length("a", 1), 0u);
}

TEST(GbkText, SplitFindAndReplaceOnWholeCharacters) {
    struct Split {
        std::string text;
        char separator;
        std::vector<std::string> pieces;
    } splits[] = {
        {"a|" + kBar + "|b|", '|', {"a", kBar, "b", ""}},
        {kEast + kBar, '|', {kEast + kBar}},
        {"x^" + kHat + "^y", '^', {"x", kHat, "y"}},
        {kSlash + "\\" + kSlash, '\\', {kSlash, kSlash}},
        {"", ',', {""}},
        {"a\x81|b", '|', {"a\x81|b"}},  // 0x81 0x7C is one character
    };
    for (const Split& c : splits) {
        const auto got = gbk_split(c.text, c.separator);
        EXPECT_EQ(std::vector<std::string>(got.begin(), got.end()), c.pieces) << c.text;
    }
    EXPECT_EQ(gbk_find_char(kBar + "|", '|'), 2u);
    EXPECT_EQ(gbk_find(kBar, "|"), std::string::npos);
    EXPECT_EQ(gbk_find("A" + kBar + "Bc", "bC", 0, true), 3u);
    EXPECT_EQ(gbk_replace_all(kBar + "|" + kEast + "|", "|", "$"), kBar + "$" + kEast + "$");
    EXPECT_EQ(gbk_replace_all("a,b" + kSlash + ",", ",", ";"), "a;b" + kSlash + ";");
    EXPECT_EQ(remove_all("http://h/WS?wsdl/x", "/ws?WSDL", true), "http://h/x");
}

TEST(GbkText, CutNeverHalvesACharacter) {
    const std::string s = "ab" + kBar + kSlash;  // 6 bytes
    EXPECT_EQ(cut_bytes(s, 6), s);
    EXPECT_EQ(cut_bytes(s, 5), "ab" + kBar);
    EXPECT_EQ(cut_bytes(s, 3), "ab");
    EXPECT_EQ(cut_bytes(s, 0), "");
    EXPECT_EQ(first_chars(s, 3), "ab" + kBar);
    EXPECT_EQ(last_chars(s, 1), kSlash);
    EXPECT_EQ(gbk_char_count(s), 4u);
}

TEST(GbkText, XmlEscaping) {
    EXPECT_EQ(xml_escaped("<a>&\"'" + kSlash), "&lt;a&gt;&amp;&quot;&apos;" + kSlash);
    EXPECT_EQ(xml_escaped("a\nb\r\nc\rd"), "a\r\nb\r\nc&#13;d");
    EXPECT_EQ(xml_escaped(gbk("王珅")), gbk("王珅"));
}

TEST(GbkText, OneJsonEscapePolicy) {
    EXPECT_EQ(json_escaped(std::string("a\0b", 3)), "a\\u0000b");
    EXPECT_EQ(json_escaped("\"\\/"), "\\\"\\\\/");
    EXPECT_EQ(json_escaped("\t\n\x1f\x7f"), "\\u0009\\u000a\\u001f\x7f");
    EXPECT_EQ(json_escaped(kSlash + "\\"), kSlash + "\\\\") << "a trail byte 0x5C is no backslash";
    EXPECT_EQ(json_escaped("x\x81"), "x\x81");
    EXPECT_EQ(json_escaped_utf8("\xE8\xAA\xA0\\"), "\xE8\xAA\xA0\\\\");

    json::Writer w;
    w.begin_object().member("k", kSlash + "\"").name("list").begin_array().string("a").raw("1").end_array();
    w.end_object();
    EXPECT_EQ(w.take(), "{\"k\":\"" + kSlash + "\\\"\",\"list\":[\"a\",1]}");
    const auto parsed = json::parse_lenient(R"({"a":[1,"x\ny",null,true],"b":{}})");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(json::compact(*parsed), R"({"a":[1,"x\u000ay",null,true],"b":{}})");
}

}  // namespace
}  // namespace vorla
