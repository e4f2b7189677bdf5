#include <gtest/gtest.h>

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
             "</WorkDate><Reserve></Reserve><ErrCode>7</ErrCode><ErrDetail>a<b&c</ErrDetail></HEAD></DATA>"},
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

}  // namespace
}  // namespace vorla
