// The invoice query of J9: the execute action's address and the request text.
#include <gtest/gtest.h>

#include <string>

#include "common/json.h"
#include "common/text.h"
#include "invoice/j9.h"
#include "invoice/record.h"
#include "platform/platform.h"

namespace vorla::invoice {
namespace {

TEST(InvoiceQuery, ServiceAddress) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://10.1.2.3:7001/RemoteFacedeBean/RemoteFacedeBeanService?WSDL",
         "http://10.1.2.3:7001/tembroweb/action/execute.do"},
        {"http://h:1/remotefacedebean/REMOTEFACEDEBEANSERVICE?wsdl", "http://h:1/tembroweb/action/execute.do"},
        {"https://center.example:8443", "https://center.example:8443/tembroweb/action/execute.do"},
        {"http://h/RemoteFacedeBean/RemoteFacedeBeanService?WSDL/RemoteFacedeBean/RemoteFacedeBeanService?WSDL",
         "http://h/tembroweb/action/execute.do"},
        {"", "/tembroweb/action/execute.do"},
    };
    for (const auto& [center, expected] : cases) EXPECT_EQ(invoice_service_address(center), expected) << center;
}

TEST(InvoiceQuery, BodyInTheServicesLayout) {
    EXPECT_EQ(invoice_query_body("H1", "S2", "Y3", "0"),
              R"({"serviceName": "com.tembro.frontendsettle.service.medical.fpdy.InvoiceInfoService", )"
              R"("methodName": "queryInvoiceInfoByAkc190", "params": [ )"
              R"({"paramName": "akb020", "paramType": "String", "paramIndex": "0", "paramValue":"H1"},)"
              R"({"paramName": "akc190", "paramType": "String", "paramIndex": "1", "paramValue":"S2"},)"
              R"({"paramName": "akc191", "paramType": "String", "paramIndex": "2", "paramValue":"Y3"},)"
              R"({"paramName": "bka135", "paramType": "String", "paramIndex": "3", "paramValue":"0"},)"
              R"({"paramName": "ver", "paramType": "String", "paramIndex": "4", "paramValue":"20180605.01"} ] })");
}

TEST(InvoiceQuery, ValuesCannotBreakTheText) {
    // "癨" is 0xB0 0x5C in GBK: its trail byte is a backslash and must stay as it is.
    const std::string backslash_trail = gbk("癨");
    ASSERT_EQ(backslash_trail[1], '\\');
    const std::string values[] = {
        R"(A"B)", R"(C:\D)", "line\nbreak\ttab", "\"},{\"paramName\": \"x", backslash_trail + "\"" + gbk("院"), "",
    };
    for (const std::string& v : values) {
        const std::string body = invoice_query_body(v, "S", "Y", "1");
        const auto parsed = json::parse_lenient(platform::gbk_to_utf8(body));
        ASSERT_TRUE(parsed) << body;
        const json::Value* params = parsed->member("params");
        ASSERT_NE(params, nullptr);
        ASSERT_EQ(params->items.size(), 5u) << body;
        EXPECT_EQ(platform::utf8_to_gbk(params->items[0].member("paramValue")->text), v) << body;
        EXPECT_EQ(params->items[1].member("paramValue")->text, "S");
    }
    EXPECT_NE(invoice_query_body(backslash_trail, "", "", "").find("\"paramValue\":\"" + backslash_trail + "\""),
              std::string::npos);
    EXPECT_NE(invoice_query_body("\x01", "", "", "").find(R"("paramValue":"\u0001")"), std::string::npos);
}

TEST(InvoiceQuery, ValuesReadAsText) {
    auto text_of = [](const char* json_text) {
        const auto v = json::parse_lenient(json_text);
        EXPECT_TRUE(v) << json_text;
        return v ? value_text(&*v) : std::string("<invalid>");
    };
    EXPECT_EQ(text_of("1234.50"), "1234.5");
    EXPECT_EQ(text_of("100.00"), "100");
    EXPECT_EQ(text_of("-7"), "-7");
    EXPECT_EQ(text_of("1e2"), "100");
    EXPECT_EQ(text_of("0.1"), "0.1");
    EXPECT_EQ(text_of("\"12.50\""), "12.50");
    EXPECT_EQ(text_of("null"), "");
    EXPECT_EQ(text_of("true"), "true");
    EXPECT_EQ(text_of(R"({"a":[1,"x\"y"],"b":{}})"), R"({"a":[1,"x\"y"],"b":{}})");
    EXPECT_EQ(text_of("\"\\u5f20\""), gbk("张"));
    EXPECT_EQ(value_text(nullptr), "");
    EXPECT_EQ(value_number(nullptr), 0);
}

}  // namespace
}  // namespace vorla::invoice
