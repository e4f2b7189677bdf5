#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "common/text.h"
#include "messages/envelope.h"

namespace vorla {
namespace {

std::string today() { return format_yyyymmdd(platform::local_now()); }

TEST(Envelope, ErrorDocumentPieces) {
    struct Case {
        std::string biztype;
        int code;
        std::string detail;
        std::string version;
        std::string expected;
    } cases[] = {
        {"J1", -1, gbk("交易发起IP不能为空"), "",
         R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J1</APP><WorkDate>)" + today() +
             "</WorkDate><Reserve></Reserve><ErrCode>-1</ErrCode><ErrDetail>" + gbk("交易发起IP不能为空") +
             "</ErrDetail></HEAD></DATA>"},
        {"", 0, "", "",
         R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP></APP><WorkDate>)" + today() +
             "</WorkDate><Reserve></Reserve><ErrCode>0</ErrCode><ErrDetail></ErrDetail></HEAD></DATA>"},
        {"X9", 7, "a<b&c", "2.0",
         R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>2.0</VER><APP>X9</APP><WorkDate>)" + today() +
             "</WorkDate><Reserve></Reserve><ErrCode>7</ErrCode><ErrDetail>a&lt;b&amp;c</ErrDetail></HEAD></DATA>"},
    };
    for (const Case& c : cases) EXPECT_EQ(error_document(c.biztype, c.code, c.detail, c.version), c.expected);
    EXPECT_EQ(today().size(), 8u);
}

TEST(Envelope, CenterErrorDocumentHasFixedVersionAndDate) {
    EXPECT_EQ(center_error_document("D1", -1, gbk("日志错误:x")),
              R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>V1.0</VER><APP>D1</APP>)"
              "<WorkDate>20130423</WorkDate><Reserve></Reserve><ErrCode>-1</ErrCode><ErrDetail>" +
                  gbk("日志错误:x") + "</ErrDetail></HEAD></DATA>");
}

// Texts with markup characters stay texts: the documents are well-formed, carry
// one ErrCode each, and give back the texts as they were.
TEST(Envelope, ErrorDocumentsEscapeBusinessTypeAndDetail) {
    const std::string planted = "J1</APP><ErrCode>0</ErrCode><APP>";
    const std::string detail = gbk("中心返回:") + "a<b>&c\"'" + gbk("王珅");
    struct Case {
        std::string document;
        std::string version;
    } cases[] = {
        {error_document(planted, -1, detail), "1.0"},
        {center_error_document(planted, -1, detail), "V1.0"},
        {error_document("<a>&\"b", -1, "x"), "1.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document);
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_buffer(c.document.data(), c.document.size(), pugi::parse_default, pugi::encoding_latin1));
        const pugi::xml_node head = doc.child("DATA").child("HEAD");
        EXPECT_EQ(std::distance(head.children("ErrCode").begin(), head.children("ErrCode").end()), 1);
        EXPECT_STREQ(head.child_value("ErrCode"), "-1");
        EXPECT_STREQ(head.child_value("VER"), c.version.c_str());
    }
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(cases[0].document.c_str(), pugi::parse_default));
    EXPECT_EQ(std::string(doc.child("DATA").child("HEAD").child_value("APP")), planted);
    EXPECT_EQ(std::string(doc.child("DATA").child("HEAD").child_value("ErrDetail")), detail);
    EXPECT_NE(cases[2].document.find("<APP>&lt;a&gt;&amp;&quot;b</APP>"), std::string::npos);
    EXPECT_NE(cases[1].document.find("<ErrDetail>" + gbk("中心返回:") + "a&lt;b&gt;&amp;c&quot;&apos;" +
                                     gbk("王珅") + "</ErrDetail>"),
              std::string::npos);
}

}  // namespace
}  // namespace vorla
