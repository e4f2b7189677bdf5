#include <gtest/gtest.h>

#include <vector>

#include "common/base64.h"
#include "common/text.h"
#include "entry/answer_buffer.h"

namespace vorla {
namespace {

std::vector<char> filled(size_t n, char c = '#') { return std::vector<char>(n, c); }

TEST(AnswerBuffer, InvokeWritesSpacesThenTheAnswerAndOneZero) {
    struct Case {
        std::string answer;
        std::string expected_prefix;  // the bytes the buffer starts with
    } cases[] = {
        {"", std::string("\0   #", 5)},
        {"ab", std::string("ab\0 #", 5)},
        {"abc", std::string("abc\0#", 5)},
        {"abcdef", std::string("abcdef\0#", 8)},
    };
    for (const Case& c : cases) {
        auto buf = filled(16);
        write_invoke_answer(buf.data(), c.answer);
        EXPECT_EQ(std::string(buf.data(), c.expected_prefix.size()), c.expected_prefix) << c.answer;
    }
}

TEST(AnswerBuffer, NodeEncodesTheGbkAnswerUpToItsZero) {
    EXPECT_EQ(node_answer(""), "");
    EXPECT_EQ(node_answer("abc"), "YWJj");
    EXPECT_EQ(node_answer(std::string("ab\0cd", 5)), "YWI=");
    const std::string big(10000, 'x');
    EXPECT_EQ(node_answer(big).size(), 4u * ((10000 + 2) / 3));
    EXPECT_EQ(base64_decode(node_answer(big)), big);
}

TEST(AnswerBuffer, NodeAddonEncodesUtf8AndTheZero) {
    // Three ASCII bytes and the zero: eight characters, the last two padding.
    EXPECT_EQ(nodeaddon_answer("abc"), "YWJjAA==");
    // Every two-byte GBK character becomes three UTF-8 bytes before encoding.
    const std::string chinese = gbk("非法的函数名");
    ASSERT_EQ(chinese.size(), 12u);
    const std::string decoded = base64_decode(nodeaddon_answer(chinese));
    EXPECT_EQ(decoded, std::string("非法的函数名") + '\0');
    EXPECT_EQ(decoded.size(), 19u);

    auto buf = filled(16);
    write_nodeaddon_answer(buf.data(), "YWJjAA==");
    EXPECT_EQ(std::string(buf.data(), 10), "YWJjAA==##");
}

TEST(AnswerBuffer, Base64) {
    struct Case {
        std::string plain, encoded;
    } cases[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
                 {std::string("\xff\xfe\x00", 3), "//4A"}};
    for (const Case& c : cases) {
        EXPECT_EQ(base64_encode(c.plain), c.encoded);
        EXPECT_EQ(base64_decode(c.encoded), c.plain);
    }
    // Lines of 76 characters with CR LF, also after the last full line.
    const std::string bytes(57 * 2, 'a');  // 152 characters: two full lines
    const std::string lines = base64_encode_lines(bytes);
    EXPECT_EQ(lines.size(), 152u + 4u);
    EXPECT_EQ(lines.substr(76, 2), "\r\n");
    EXPECT_EQ(lines.substr(154), "\r\n");
    EXPECT_EQ(base64_decode(lines), bytes);
    // Decoding skips blanks and line breaks of any kind.
    EXPECT_EQ(base64_decode("Zm9v\nYm Fy\r\n"), "foobar");
}

}  // namespace
}  // namespace vorla
