// The center link's parts: packing, the check of the routing parameters, the
// error mapping, time-outs, serials, the client information and the SOAP texts.
#include <gtest/gtest.h>
#include <zlib.h>

#include <regex>

#include "center/center_client.h"
#include "center/client_info.h"
#include "center/packing.h"
#include "center/soap.h"
#include "common/base64.h"
#include "common/text.h"
#include "messages/envelope.h"

namespace vorla::center {
namespace {

using namespace std::chrono_literals;

// Bytes that do not compress: a simple linear congruential sequence.
std::string noise(size_t n) {
    std::string out(n, '\0');
    std::uint32_t x = 12345;
    for (char& c : out) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return out;
}

std::string sample_document() {
    std::string d = R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>E1</APP></HEAD><MSG>)";
    for (int i = 0; i < 500; ++i)
        d += "<DETAIL><XMBM>" + std::to_string(100000 + i) + "</XMBM><XMMC>" + gbk("阿莫西林胶囊") +
             "</XMMC></DETAIL>";
    return d + "</MSG></DATA>";
}

std::string replace_all(std::string s, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size()) s.replace(at, from.size(), to);
    return s;
}

// ---- packing ------------------------------------------------------------------

TEST(CenterPacking, PackIsZlibAtDefaultLevelInBase64Lines) {
    const std::string doc = sample_document();
    uLongf size = compressBound(static_cast<uLong>(doc.size()));
    std::string reference(size, '\0');
    ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(reference.data()), &size,
                        reinterpret_cast<const Bytef*>(doc.data()), static_cast<uLong>(doc.size()),
                        Z_DEFAULT_COMPRESSION),
              Z_OK);
    reference.resize(size);
    const std::string packed = pack(doc);
    EXPECT_EQ(packed, base64_encode_lines(reference));
    EXPECT_EQ(unpack(packed), doc);
}

TEST(CenterPacking, LinesOf76CharactersEndedByCrLf) {
    // 570 bytes of noise compress to a little more than 570 bytes: several lines.
    const std::string packed = pack(noise(570));
    size_t start = 0;
    int full_lines = 0;
    while (start < packed.size()) {
        const size_t end = packed.find("\r\n", start);
        if (end == std::string::npos) {
            EXPECT_LE(packed.size() - start, 76u) << "last line";
            break;
        }
        EXPECT_EQ(end - start, 76u) << "line starting at " << start;
        ++full_lines;
        start = end + 2;
    }
    EXPECT_GE(full_lines, 10);
    EXPECT_EQ(packed.find('\n', 0) , 77u);
}

TEST(CenterPacking, OneLongLineAndLfOnlyUnpackTheSame) {
    const std::string doc = sample_document();
    const std::string packed = pack(doc);
    ASSERT_NE(packed.find("\r\n"), std::string::npos);
    EXPECT_EQ(unpack(replace_all(packed, "\r\n", "")), doc);
    EXPECT_EQ(unpack(replace_all(packed, "\r\n", "\n")), doc);
    EXPECT_EQ(unpack("  " + replace_all(packed, "\r\n", " \t") + "\n"), doc);
}

TEST(CenterPacking, LargeAnswerComesBackWhole) {
    // Several 16384-byte pieces of output.
    const std::string doc = noise(100000) + gbk("结算") + noise(33);
    EXPECT_EQ(unpack(pack(doc)), doc);
}

TEST(CenterPacking, ChineseDocumentRoundTrip) {
    const std::string doc = gbk(R"(<?xml version="1.0" encoding="GBK"?><DATA><MSG>张三 职工基本医疗保险</MSG></DATA>)");
    EXPECT_EQ(unpack(pack(doc)), doc);
    EXPECT_EQ(unpack(pack("")), "");
}

TEST(CenterPacking, EmptyResultIsAnEmptyAnswer) {
    EXPECT_EQ(unpack(""), "");
    EXPECT_EQ(unpack("\r\n \n"), "");
}

TEST(CenterPacking, GarbageGivesTheDecompressorsMessage) {
    try {
        unpack(base64_encode("hello world"));
        FAIL() << "no error";
    } catch (const UnpackError& e) {
        EXPECT_STREQ(e.what(), "incorrect header check");
    }
    // A stream cut short.
    const std::string compressed = base64_decode(pack(noise(5000)));
    EXPECT_THROW(unpack(base64_encode(compressed.substr(0, compressed.size() / 2))), UnpackError);
    // A stream whose checksum is wrong.
    std::string damaged = base64_decode(pack("abcdefgh"));
    damaged.back() = static_cast<char>(damaged.back() ^ 1);
    try {
        unpack(base64_encode(damaged));
        FAIL() << "no error";
    } catch (const UnpackError& e) {
        EXPECT_STREQ(e.what(), "incorrect data check");
    }
}

// ---- check of the routing parameters --------------------------------------------

TEST(CenterCheck, Table) {
    struct Case {
        std::string hid, biztype, ip;
        std::optional<std::string> failure;
    } cases[] = {
        {"", "C0", "10.1.1.1", gbk("医疗机构代码不能为空!")},
        {"|12345678", "C0", "10.1.1.1", gbk("医疗机构代码不能为空!")},
        {"", "", "", gbk("医疗机构代码不能为空!")},
        {"12345678", "", "10.1.1.1", gbk("交易类型不能为空!")},
        {"12345678", "C0", "", gbk("发起Ip不能为空!")},
        {"12345678", "C0", "1", gbk("发起IP位数不合法!")},
        {"12345678", "C0", "10", std::nullopt},
        {"12345678|abc", "C0", "1", gbk("发起IP位数不合法!")},  // checked as the eight digits
        {"12345678|abc", "C0", "10.1.1.1", std::nullopt},
        {"12345678abc", "C0", "10.1.1.1", gbk("输入参数医疗机构不合法")},
        {"1234567X", "C0", "10", std::nullopt},  // the last character is not examined
        {"123A5678", "C0", "10", gbk("输入参数医疗机构不合法")},
        {"1234A678", "C0", "10", gbk("输入参数医疗机构不合法")},
        {"1234567", "C0", "1", std::nullopt},  // seven characters: the IP length is not checked
        {"123456789", "C0", "1", std::nullopt},
        {"H0001", "C0", "10", gbk("输入参数医疗机构不合法")},  // five characters: from the first
        {"10001", "C0", "10", std::nullopt},
        {"1234", "C0", "10", std::nullopt},
        {"123X", "C0", "10", gbk("输入参数医疗机构不合法")},  // four or fewer: the last one counts too
        {"7", "C0", "1", std::nullopt},
        {"1-234X", "C0", "10", std::nullopt},  // "-234" reads as an integer
        {"1234+67", "C0", "10", gbk("输入参数医疗机构不合法")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(check_parameters(c.hid, c.biztype, c.ip), c.failure) << c.hid << " / " << c.ip;
    }
}

TEST(CenterCheck, CountsGbkCharactersNotBytes) {
    // Eight characters, ten bytes: the IP length rule applies.
    EXPECT_EQ(check_parameters(gbk("院1234567"), "C0", "1"), gbk("发起IP位数不合法!"));
    // A caller IP of one Chinese character is one character.
    EXPECT_EQ(check_parameters("12345678", "C0", gbk("甲")), gbk("发起IP位数不合法!"));
    EXPECT_EQ(check_parameters("12345678", "C0", gbk("甲乙")), std::nullopt);
}

// ---- error mapping ---------------------------------------------------------------

TEST(CenterErrors, MappingTable) {
    const std::string net = gbk("中心通讯失败，请检查网络是否连接！");
    const std::string rollback =
        "Error committing transaction:; nested exception is: "
        "weblogic.transaction.internal.AppSetRollbackOnlyException";
    const std::string app = "EJB Exception: ; nested exception is: com.tembro.frontendsettle.exception.AppException: ";
    const std::string ejb = "EJB Exception: ; nested exception is: javax.ejb.EJBTransactionRolledbackException: ";
    struct Case {
        std::string message, mapped;
    } cases[] = {
        {rollback, net + gbk("数据库事物提交失败")},
        {rollback + " ", net + rollback + " "},  // only the exact text
        {"error committing transaction:; nested exception is: "
         "weblogic.transaction.internal.appsetrollbackonlyexception",
         net +
             "error committing transaction:; nested exception is: "
             "weblogic.transaction.internal.appsetrollbackonlyexception"},
        {app + gbk("个人账户余额不足"), net + gbk("个人账户余额不足")},
        {"ejb exception: ; NESTED EXCEPTION IS: COM.TEMBRO.FRONTENDSETTLE.EXCEPTION.APPEXCEPTION: x", net + "x"},
        {ejb + "rolled back", net + "rolled back"},
        {"A" + app + "B" + app + "C", net + "ABC"},
        {app + ejb + gbk("重复结算"), net + gbk("重复结算")},
        {gbk("XML 文档只能有一个顶层元素。"), gbk("XML 文档只能有一个顶层元素。")},
        {app + gbk("只能有一个顶层元素"), gbk("只能有一个顶层元素")},
        {"Connection refused", net + "Connection refused"},
        {"", net},
    };
    for (const Case& c : cases) EXPECT_EQ(map_error_message(c.message), c.mapped) << c.message;
}

TEST(CenterErrors, CaseFoldingLeavesDoubleByteCharactersAlone) {
    // "誠" is D5 5C and "乗" is 81 5C: trail bytes in the ASCII range.
    const std::string net = gbk("中心通讯失败，请检查网络是否连接！");
    EXPECT_EQ(map_error_message(gbk("誠乗")), net + gbk("誠乗"));
    // 81 45 is one character whose trail byte is "E": no "EJB Exception" starts inside it.
    const std::string app = "EJB Exception: ; nested exception is: com.tembro.frontendsettle.exception.AppException: ";
    EXPECT_EQ(map_error_message("\x81" + app + "x"), net + "\x81" + app + "x");
    EXPECT_EQ(map_error_message("\x81\x45" + app + "x"), net + "\x81\x45x");
}

TEST(CenterErrors, CleanResult) {
    EXPECT_EQ(clean_result("<return>eJy</return>"), "eJy");
    EXPECT_EQ(clean_result("<RETURN>a</Return>&LT;b&gt;&Gt;"), "a<b>>");
    EXPECT_EQ(clean_result("&amp;lt;"), "&amp;lt;");
    EXPECT_EQ(clean_result(""), "");
}

// ---- time-outs and serial ------------------------------------------------------

TEST(CenterTimeouts, ByBusinessType) {
    for (const char* t : {"E1", "E2", "F1", "G1"}) EXPECT_EQ(timeout_for(t), 1800000ms) << t;
    for (const char* t : {"C0", "J2", "D1", "I1", "e1", "E1 ", "", "E"}) EXPECT_EQ(timeout_for(t), 600000ms) << t;
}

TEST(CenterTimeouts, TransportTimeoutIsKeptUntilSetAgain) {
    set_transport_timeout(1234ms);
    EXPECT_EQ(transport_timeout(), 1234ms);
    set_transport_timeout(timeout_for("G1"));
    EXPECT_EQ(transport_timeout(), 1800000ms);
}

TEST(CenterSerial, Format) {
    EXPECT_EQ(make_serial(platform::LocalTime{2024, 1, 31, 9, 3, 5, 7}, 12), "090305070012");
    EXPECT_EQ(make_serial(platform::LocalTime{2024, 1, 31, 23, 59, 59, 123}, 999), "2359591230999");
    EXPECT_EQ(make_serial(platform::LocalTime{2024, 1, 31, 0, 0, 0, 0}, 0), "000000000000");
    const std::regex shape("[0-2][0-9][0-5][0-9][0-5][0-9][0-9]{2,3}0[0-9]{3}");
    for (int i = 0; i < 20; ++i) {
        platform::LocalTime start;
        const std::string serial = new_serial(start);
        EXPECT_TRUE(std::regex_match(serial, shape)) << serial;
        EXPECT_GT(start.year, 2000);
    }
}

// ---- client information and local address ----------------------------------

TEST(CenterClientInformation, MembersSortedAndEscaped) {
    ClientInformation info;
    info.dllver = "2.2020.12.6";
    info.seed = "103456789";
    info.bussid = "98765";
    info.exename = gbk("C:\\医院系统\\\"his\".exe");
    info.exesize = 1048576;
    info.ip = "10.2.3.4";
    EXPECT_EQ(client_information_text(info),
              R"({"bussid":"98765","dllver":"2.2020.12.6","exename":"C:\\)" + gbk("医院系统") +
                  R"(\\\"his\".exe","exesize":"1048576","ip":"10.2.3.4","seed":"103456789"})");
}

TEST(CenterClientInformation, MissingSizeAndAddressAreLeftOut) {
    ClientInformation info{"2.2020.12.6", "10000000", "1", gbk("/opt/收费/his"), std::nullopt, std::nullopt};
    EXPECT_EQ(client_information_text(info), R"({"bussid":"1","dllver":"2.2020.12.6","exename":")" +
                                                 gbk("/opt/收费/his") + R"(","seed":"10000000"})");
}

TEST(CenterClientInformation, Escapes) {
    EXPECT_EQ(json_escaped(std::string("a\0b", 3)), "a\\u0000b");
    EXPECT_EQ(json_escaped("\"\\/"), "\\\"\\\\/");
    EXPECT_EQ(json_escaped("\t\n\x1f"), "\\u0009\\u000a\\u001f");
    // GBK characters whose trail byte is 0x5C are not backslashes.
    EXPECT_EQ(json_escaped(gbk("誠錦") + "\\"), gbk("誠錦") + "\\\\");
    // A lone lead byte at the end stays as it is.
    EXPECT_EQ(json_escaped("x\x81"), "x\x81");
}

TEST(CenterLocalAddress, LastOfTheFirstEleven) {
    using List = std::vector<std::string>;
    EXPECT_EQ(pick_local_address(std::nullopt), "");
    EXPECT_EQ(pick_local_address(List{}), "");
    EXPECT_EQ(pick_local_address(List{"10.0.0.1"}), "10.0.0.1");
    EXPECT_EQ(pick_local_address(List{"10.0.0.1", "192.168.1.9"}), "192.168.1.9");
    List many;
    for (int i = 1; i <= 10; ++i) many.push_back("10.0.0." + std::to_string(i));
    EXPECT_EQ(pick_local_address(many), "10.0.0.10");
    // Mend: eleven addresses and more no longer fail; the eleventh is taken.
    many.push_back("10.0.0.11");
    EXPECT_EQ(pick_local_address(many), "10.0.0.11");
    many.push_back("10.0.0.12");
    EXPECT_EQ(pick_local_address(many), "10.0.0.11");
    for (int i = 13; i <= 40; ++i) many.push_back("10.0.0." + std::to_string(i));
    EXPECT_NO_THROW(pick_local_address(many));
    EXPECT_EQ(pick_local_address(many), "10.0.0.11");
}

TEST(CenterClientInformation, GatheredForThisProcess) {
    const ClientInformation info = gather_client_information();
    EXPECT_EQ(info.dllver, "2.2020.12.6");
    EXPECT_EQ(info.exename, gbk(platform::host_executable_path()));
    EXPECT_EQ(info.exesize, platform::file_size(platform::host_executable_path()));
    ASSERT_TRUE(info.exesize.has_value());
    EXPECT_GT(*info.exesize, 0u);
}

// ---- SOAP texts ---------------------------------------------------------------

constexpr const char* kInlineDescription =
    R"(<?xml version="1.0" encoding="UTF-8"?>
<wsdl:definitions xmlns:wsdl="http://schemas.xmlsoap.org/wsdl/" xmlns:soap="http://schemas.xmlsoap.org/wsdl/soap/"
    xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:c="urn:center:x" targetNamespace="urn:defs">
  <wsdl:types>
    <xs:schema targetNamespace="urn:center:x" elementFormDefault="qualified">
      <xs:element name="sbiz"/>
    </xs:schema>
  </wsdl:types>
  <wsdl:message name="sbizIn"><wsdl:part name="parameters" element="c:sbiz"/></wsdl:message>
  <wsdl:portType name="RemoteFacede"><wsdl:operation name="sbiz"><wsdl:input message="c:sbizIn"/></wsdl:operation></wsdl:portType>
  <wsdl:binding name="B" type="c:RemoteFacede">
    <wsdl:operation name="sbiz"><soap:operation soapAction="urn:sbiz"/></wsdl:operation>
  </wsdl:binding>
  <wsdl:service name="Other"><wsdl:port name="RemoteFacedeBean" binding="c:B"><soap:address location="http://wrong/"/></wsdl:port></wsdl:service>
  <wsdl:service name="RemoteFacedeBeanService">
    <wsdl:port name="Other" binding="c:B"><soap:address location="http://wrong/"/></wsdl:port>
    <wsdl:port name="RemoteFacedeBean" binding="c:B"><soap:address location="/ws/center"/></wsdl:port>
  </wsdl:service>
</wsdl:definitions>)";

TEST(CenterSoap, DescriptionWithInlineQualifiedSchema) {
    const ServiceDescription d = read_service_description(kInlineDescription, "https://center:8443/a/b?WSDL");
    EXPECT_EQ(d.endpoint, "https://center:8443/ws/center");
    EXPECT_EQ(d.request_namespace, "urn:center:x");
    EXPECT_EQ(d.request_element, "sbiz");
    EXPECT_EQ(d.soap_action, "urn:sbiz");
    EXPECT_TRUE(d.qualified_members);
    EXPECT_EQ(d.schema_location, "");
}

TEST(CenterSoap, DescriptionWithImportedSchema) {
    const std::string wsdl =
        R"(<definitions xmlns="http://schemas.xmlsoap.org/wsdl/" xmlns:soap="http://schemas.xmlsoap.org/wsdl/soap/" )"
        R"(xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:tns="http://c/" targetNamespace="http://c/">)"
        R"(<types><xsd:schema><xsd:import namespace="http://c/" schemaLocation="S?xsd=1"/></xsd:schema></types>)"
        R"(<service name="RemoteFacedeBeanService"><port name="RemoteFacedeBean" binding="tns:B">)"
        R"(<soap:address location="http://h:1/E"/></port></service></definitions>)";
    const ServiceDescription d = read_service_description(wsdl, "http://h:1/x/S?WSDL");
    EXPECT_EQ(d.endpoint, "http://h:1/E");
    EXPECT_EQ(d.request_namespace, "http://c/");
    EXPECT_EQ(d.soap_action, "");
    EXPECT_FALSE(d.qualified_members);
    EXPECT_EQ(d.schema_location, "http://h:1/x/S?xsd=1");
    EXPECT_EQ(read_schema_qualified(R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"/>)"), false);
    EXPECT_EQ(read_schema_qualified(R"(<schema elementFormDefault="qualified"/>)"), true);
    EXPECT_EQ(read_schema_qualified("<html/>"), std::nullopt);
}

TEST(CenterSoap, DescriptionWithoutThePortFails) {
    EXPECT_THROW(read_service_description("<definitions/>", "http://h/"), SoapError);
    EXPECT_THROW(read_service_description("not xml", "http://h/"), SoapError);
    EXPECT_THROW(read_service_description("<html><body>login</body></html>", "http://h/"), SoapError);
    const std::string no_address =
        R"(<definitions><service name="RemoteFacedeBeanService"><port name="RemoteFacedeBean"/></service></definitions>)";
    EXPECT_THROW(read_service_description(no_address, "http://h/"), SoapError);
}

TEST(CenterSoap, ResolveUrl) {
    EXPECT_EQ(resolve_url("http://h:7/a/b?WSDL", "http://x/y"), "http://x/y");
    EXPECT_EQ(resolve_url("http://h:7/a/b?WSDL", "/c"), "http://h:7/c");
    EXPECT_EQ(resolve_url("http://h:7/a/b?WSDL", "c?xsd=1"), "http://h:7/a/c?xsd=1");
    EXPECT_EQ(resolve_url("http://h:7/a/b?WSDL", "?xsd=1"), "http://h:7/a/b?xsd=1");
    EXPECT_EQ(resolve_url("http://h:7", "c"), "http://h:7/c");
}

TEST(CenterSoap, EnvelopeCarriesTheFiveMembersEscaped) {
    ServiceDescription d;
    d.request_namespace = "urn:a&b";
    const std::string unqualified = sbiz_envelope(d, {"H1|<x>", "C0", "10.0.0.1", "AB\r\nCD", "{\"a\":\"&\"}"});
    EXPECT_NE(unqualified.find("xmlns:tns=\"urn:a&amp;b\""), std::string::npos);
    EXPECT_NE(unqualified.find("<tns:sbiz><arg0>H1|&lt;x&gt;</arg0><arg1>C0</arg1><arg2>10.0.0.1</arg2>"
                               "<arg3>AB&#13;\nCD</arg3><arg4>{\"a\":\"&amp;\"}</arg4></tns:sbiz>"),
              std::string::npos)
        << unqualified;
    d.qualified_members = true;
    const std::string qualified = sbiz_envelope(d, {"a", "b", "c", "d", "e"});
    EXPECT_NE(qualified.find("<tns:arg0>a</tns:arg0><tns:arg1>b</tns:arg1>"), std::string::npos) << qualified;
}

platform::HttpResponse answer(int status, std::string body, std::string reason = "OK") {
    platform::HttpResponse r;
    r.ok = true;
    r.status = status;
    r.reason = std::move(reason);
    r.body = std::move(body);
    return r;
}

std::string soap(const std::string& body) {
    return R"(<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body>)" + body +
           "</soap:Body></soap:Envelope>";
}

TEST(CenterSoap, AnswerReturnText) {
    EXPECT_EQ(read_sbiz_answer(answer(200, soap(R"(<ns2:sbizResponse xmlns:ns2="x"><return>eJ&#13;
w=</return></ns2:sbizResponse>)"))),
              "eJ\r\nw=");
    EXPECT_EQ(read_sbiz_answer(answer(200, soap(R"(<r:sbizResponse xmlns:r="x"><return><![CDATA[ab]]>cd</return></r:sbizResponse>)"))),
              "abcd");
    EXPECT_EQ(read_sbiz_answer(answer(200, soap(R"(<r:sbizResponse xmlns:r="x"/>)"))), "");
}

TEST(CenterSoap, FaultsAndFailures) {
    auto message = [](const platform::HttpResponse& r) {
        try {
            read_sbiz_answer(r);
        } catch (const SoapError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message(answer(500, soap("<soap:Fault><faultcode>soap:Server</faultcode><faultstring>" +
                                         platform::gbk_to_utf8(gbk("余额不足 &amp; 其他")) +
                                         "</faultstring></soap:Fault>"))),
              gbk("余额不足 & 其他"));
    EXPECT_EQ(message(answer(500, "<html>oops</html>", "Internal Server Error")), "HTTP 500 Internal Server Error");
    EXPECT_EQ(message(answer(404, "", "")), "HTTP 404");
    // A SOAP answer that is no fault, with a failure status.
    EXPECT_EQ(message(answer(503, soap("<x/>"), "Service Unavailable")), "HTTP 503 Service Unavailable");
    EXPECT_NE(message(answer(200, "not xml at all")).find("not XML"), std::string::npos);
    platform::HttpResponse failed;
    failed.error = "Failed to connect to 127.0.0.1 port 1: Connection refused";
    EXPECT_EQ(message(failed), failed.error);
}

}  // namespace
}  // namespace vorla::center
