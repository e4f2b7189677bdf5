// The insurance center: its service description, the schema it imports, and the
// SOAP endpoint with the one operation `sbiz`.
#include <pugixml.hpp>

#include <cctype>
#include <chrono>
#include <cstdlib>

#include "center/packing.h"
#include "center/soap.h"
#include "common/base64.h"
#include "common/text.h"
#include "platform/platform.h"
#include "sim.h"

namespace vorla::sim {
namespace {

const std::string kNamespace(center::kCenterNamespace);
const std::string kPath(center::kServicePath);

std::string replace_all(std::string text, std::string_view from, std::string_view to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// The description in the shape a Java web service publishes: the schema is
// imported from "?xsd=1", the endpoint is this server.
std::string default_description() {
    return R"(<?xml version="1.0" encoding="UTF-8"?>)"
           R"(<definitions xmlns="http://schemas.xmlsoap.org/wsdl/" xmlns:soap="http://schemas.xmlsoap.org/wsdl/soap/" )"
           R"(xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:tns="${namespace}" targetNamespace="${namespace}" )"
           R"(name="RemoteFacedeBeanService">)"
           R"(<types><xsd:schema><xsd:import namespace="${namespace}" schemaLocation="${endpoint}?xsd=1"/></xsd:schema></types>)"
           R"(<message name="sbiz"><part name="parameters" element="tns:sbiz"/></message>)"
           R"(<message name="sbizResponse"><part name="parameters" element="tns:sbizResponse"/></message>)"
           R"(<portType name="RemoteFacede"><operation name="sbiz"><input message="tns:sbiz"/>)"
           R"(<output message="tns:sbizResponse"/></operation></portType>)"
           R"(<binding name="RemoteFacedeBeanPortBinding" type="tns:RemoteFacede">)"
           R"(<soap:binding transport="http://schemas.xmlsoap.org/soap/http" style="document"/>)"
           R"(<operation name="sbiz"><soap:operation soapAction=""/><input><soap:body use="literal"/></input>)"
           R"(<output><soap:body use="literal"/></output></operation></binding>)"
           R"(<service name="RemoteFacedeBeanService"><port name="RemoteFacedeBean" binding="tns:RemoteFacedeBeanPortBinding">)"
           R"(<soap:address location="${endpoint}"/></port></service></definitions>)";
}

std::string default_schema() {
    std::string members;
    for (int i = 0; i < 5; ++i)
        members += R"(<xs:element name="arg)" + std::to_string(i) + R"(" type="xs:string" minOccurs="0"/>)";
    return R"(<?xml version="1.0" encoding="UTF-8"?>)"
           R"(<xs:schema xmlns:tns="${namespace}" xmlns:xs="http://www.w3.org/2001/XMLSchema" version="1.0" )"
           R"(targetNamespace="${namespace}">)"
           R"(<xs:element name="sbiz" type="tns:sbiz"/><xs:element name="sbizResponse" type="tns:sbizResponse"/>)"
           R"(<xs:complexType name="sbiz"><xs:sequence>)" +
           members +
           R"(</xs:sequence></xs:complexType>)"
           R"(<xs:complexType name="sbizResponse"><xs:sequence><xs:element name="return" type="xs:string" minOccurs="0"/>)"
           R"(</xs:sequence></xs:complexType></xs:schema>)";
}

std::string fill(std::string text, const Context& context) {
    text = replace_all(std::move(text), "${endpoint}", context.base_url + kPath);
    text = replace_all(std::move(text), "${base}", context.base_url);
    return replace_all(std::move(text), "${namespace}", kNamespace);
}

std::string_view local_name(std::string_view qname) {
    const auto colon = qname.find(':');
    return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

pugi::xml_node child(const pugi::xml_node& parent, std::string_view local) {
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && local_name(c.name()) == local) return c;
    return {};
}

std::string namespace_of(pugi::xml_node node) {
    const std::string_view qname = node.name();
    const auto colon = qname.find(':');
    const std::string attribute =
        colon == std::string_view::npos ? std::string("xmlns") : "xmlns:" + std::string(qname.substr(0, colon));
    for (; node; node = node.parent())
        if (pugi::xml_attribute a = node.attribute(attribute.c_str())) return a.value();
    return {};
}

std::string text_of(const pugi::xml_node& node) {
    std::string out;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) out += c.value();
    return out;
}

std::string envelope(const std::string& body) {
    return R"(<?xml version="1.0" encoding="UTF-8"?><S:Envelope xmlns:S="http://schemas.xmlsoap.org/soap/envelope/">)"
           "<S:Body>" +
           body + "</S:Body></S:Envelope>";
}

void answer_fault(httplib::Response& res, std::string_view utf8_text) {
    res.status = 500;
    res.set_content(envelope("<S:Fault><faultcode>S:Server</faultcode><faultstring>" +
                             center::xml_escape(utf8_text) + "</faultstring></S:Fault>"),
                    "text/xml; charset=utf-8");
}

void answer_return(httplib::Response& res, std::string_view utf8_text) {
    res.status = 200;
    res.set_content(envelope("<ns2:sbizResponse xmlns:ns2=\"" + kNamespace + "\"><return>" +
                             center::xml_escape(utf8_text) + "</return></ns2:sbizResponse>"),
                    "text/xml; charset=utf-8");
}

// Packed like a Java center packs: Base64 in lines of 76 with LF only.
std::string pack_lf(std::string_view gbk_document) { return replace_all(center::pack(gbk_document), "\r\n", "\n"); }

std::string default_answer(std::string_view biztype) {
    const platform::LocalTime now = platform::local_now();
    return std::string(R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>)") +
           std::string(biztype) + "</APP><WorkDate>" + format_yyyymmdd(now) +
           "</WorkDate><Reserve></Reserve><ErrCode>0</ErrCode><ErrDetail>" + gbk("交易成功") +
           "</ErrDetail></HEAD><MSG></MSG></DATA>";
}

void serve_description(const Context& context, const httplib::Request& req, httplib::Response& res) {
    if (context.recorder) context.recorder->record(request_fields(req));
    bool wsdl = false;
    for (const auto& [key, value] : req.params) {
        std::string lower = key;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower == "wsdl") wsdl = true;
        if (lower == "xsd") {
            res.set_content(fill(scenario_file(context, "service.xsd").value_or(default_schema()), context),
                            "text/xml; charset=utf-8");
            return;
        }
    }
    if (!wsdl) {
        res.status = 404;
        res.set_content("ask for ?WSDL", "text/plain");
        return;
    }
    res.set_content(fill(scenario_file(context, "service.wsdl").value_or(default_description()), context),
                    "text/xml; charset=utf-8");
}

void serve_call(const Context& context, const httplib::Request& req, httplib::Response& res) {
    auto fields = request_fields(req);
    fields.emplace_back("soap_action", req.get_header_value("SOAPAction"));
    fields.emplace_back("content_type", req.get_header_value("Content-Type"));

    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(req.body.data(), req.body.size());
    const pugi::xml_node body = parsed ? child(doc.document_element(), "Body") : pugi::xml_node();
    pugi::xml_node operation = body ? body.first_child() : pugi::xml_node();
    while (operation && operation.type() != pugi::node_element) operation = operation.next_sibling();
    if (!operation) {
        fields.emplace_back("error", "not a SOAP request");
        if (context.recorder) context.recorder->record(std::move(fields));
        answer_fault(res, "not a SOAP request");
        return;
    }
    const std::string name(local_name(operation.name()));
    fields.emplace_back("operation", name);
    fields.emplace_back("operation_namespace", namespace_of(operation));

    std::string args[5];
    for (int i = 0; i < 5; ++i) {
        const std::string member = "arg" + std::to_string(i);
        const pugi::xml_node node = child(operation, member);
        args[i] = text_of(node);
        fields.emplace_back(member, args[i]);
        if (i == 0) fields.emplace_back("member_namespace", node ? namespace_of(node) : "");
    }
    std::string document;
    std::string unpack_error;
    try {
        document = center::unpack(args[3]);
    } catch (const std::exception& e) {
        unpack_error = e.what();
    }
    fields.emplace_back("document_base64", base64_encode(document));
    fields.emplace_back("document", platform::gbk_to_utf8(document));
    if (!unpack_error.empty()) fields.emplace_back("unpack_error", unpack_error);
    if (context.recorder) context.recorder->record(std::move(fields));

    if (name != "sbiz") {
        answer_fault(res, "Cannot find dispatch method for {" + namespace_of(operation) + "}" + name);
        return;
    }
    const std::string stem = scenario_stem(args[1]);
    if (const auto delay = scenario_file(context, stem + ".delay")) {
        wait_for(req, std::chrono::milliseconds(std::atoll(delay->c_str())));
    }
    if (scenario_file(context, stem + ".drop")) {
        drop_connection(req);
        return;
    }
    if (const auto fault = scenario_file(context, stem + ".fault")) {
        answer_fault(res, platform::gbk_to_utf8(*fault));
        return;
    }
    if (const auto http = scenario_file(context, stem + ".http")) {
        res.status = std::atoi(http->c_str());
        if (res.status < 100 || res.status > 599) res.status = 500;
        res.set_content("vorla-sim: HTTP " + std::to_string(res.status), "text/plain");
        return;
    }
    if (const auto raw_return = scenario_file(context, stem + ".raw")) {
        answer_return(res, platform::gbk_to_utf8(*raw_return));
        return;
    }
    if (const auto answer = scenario_file(context, stem + ".xml")) {
        answer_return(res, pack_lf(*answer));
        return;
    }
    if (!unpack_error.empty()) {
        answer_fault(res, "arg3 cannot be unpacked: " + unpack_error);
        return;
    }
    answer_return(res, pack_lf(default_answer(platform::utf8_to_gbk(args[1]))));
}

}  // namespace

void add_center_service(httplib::Server& server, Context& context) {
    server.Get(kPath, [&context](const httplib::Request& req, httplib::Response& res) {
        serve_description(context, req, res);
    });
    server.Post(kPath, [&context](const httplib::Request& req, httplib::Response& res) {
        serve_call(context, req, res);
    });
}

}  // namespace vorla::sim
