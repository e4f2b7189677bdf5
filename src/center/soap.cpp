#include "center/soap.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <pugixml.hpp>

#include "platform/platform.h"

namespace vorla::center {
namespace {

constexpr std::string_view kSoapEnvelopeNamespace = "http://schemas.xmlsoap.org/soap/envelope/";

std::string_view local_name(std::string_view qname) {
    const auto colon = qname.find(':');
    return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

std::string_view prefix_of(std::string_view qname) {
    const auto colon = qname.find(':');
    return colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
}

bool is(const pugi::xml_node& node, std::string_view local) {
    return node.type() == pugi::node_element && local_name(node.name()) == local;
}

// The first child element with that local name (and, when given, that name attribute).
pugi::xml_node child(const pugi::xml_node& parent, std::string_view local, std::string_view name = {}) {
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
        if (is(c, local) && (name.empty() || name == c.attribute("name").value())) return c;
    return {};
}

// The namespace bound to `prefix` where `node` stands ("" prefix: the default namespace).
std::string namespace_of(pugi::xml_node node, std::string_view prefix) {
    const std::string attribute = prefix.empty() ? std::string("xmlns") : "xmlns:" + std::string(prefix);
    for (; node; node = node.parent())
        if (pugi::xml_attribute a = node.attribute(attribute.c_str())) return a.value();
    return {};
}

// Character data of an element: its text and CDATA children, concatenated.
std::string text_of(const pugi::xml_node& node) {
    std::string out;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) out += c.value();
    return out;
}

std::string gbk_of(std::string_view utf8) { return platform::utf8_to_gbk(utf8); }

std::string status_text(const platform::HttpResponse& r) {
    std::string out = "HTTP " + std::to_string(r.status);
    if (!r.reason.empty()) out += " " + r.reason;
    return out;
}

// The fault's text (SOAP 1.1 faultstring, or SOAP 1.2 Reason/Text).
std::string fault_text(const pugi::xml_node& fault) {
    if (pugi::xml_node s = child(fault, "faultstring")) return text_of(s);
    if (pugi::xml_node reason = child(fault, "Reason"))
        if (pugi::xml_node t = child(reason, "Text")) return text_of(t);
    if (pugi::xml_node code = child(fault, "faultcode")) return "SOAP fault " + text_of(code);
    return "SOAP fault";
}

std::string attribute_escape(std::string_view text) {
    std::string out;
    for (char c : xml_escape(text)) {
        if (c == '"')
            out += "&quot;";
        else
            out += c;
    }
    return out;
}

std::mutex g_cache_mutex;
std::map<std::string, ServiceDescription, std::less<>> g_cache;

// Requests to the center follow redirects only within the same scheme, host
// and port: the call carries the institution's key, which goes nowhere else.
platform::HttpResponse center_get(const std::string& url, std::chrono::milliseconds timeout) {
    platform::HttpRequest request;
    request.url = url;
    request.timeout = timeout;
    request.redirects = platform::Redirects::same_origin;
    return platform::http_request(request);
}

ServiceDescription fetch_description(const std::string& url, std::chrono::milliseconds timeout) {
    const platform::HttpResponse r = center_get(url, timeout);
    if (!r.ok) throw SoapError(gbk_of(r.error));
    if (r.status < 200 || r.status > 299)
        throw SoapError(gbk_of("service description " + url + ": " + status_text(r)));
    ServiceDescription service = read_service_description(r.body, url);
    if (!service.schema_location.empty()) {
        // A schema that cannot be read leaves the usual unqualified members.
        const platform::HttpResponse s = center_get(service.schema_location, timeout);
        if (s.ok && s.status >= 200 && s.status <= 299)
            if (auto qualified = read_schema_qualified(s.body)) service.qualified_members = *qualified;
    }
    return service;
}

}  // namespace

std::string xml_escape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '\r': out += "&#13;"; break;  // kept through the receiver's line-end normalisation
            default: out += c;
        }
    }
    return out;
}

std::string resolve_url(std::string_view base, std::string_view reference) {
    if (reference.find("://") != std::string_view::npos) return std::string(reference);
    const auto scheme_end = base.find("://");
    const size_t authority_start = scheme_end == std::string_view::npos ? 0 : scheme_end + 3;
    const auto path_start = std::min(base.find('/', authority_start), base.size());
    const std::string_view origin = base.substr(0, path_start);
    std::string_view path = base.substr(path_start);
    path = path.substr(0, path.find_first_of("?#"));
    if (path.empty()) path = "/";
    if (!reference.empty() && reference.front() == '/') return std::string(origin).append(reference);
    if (!reference.empty() && reference.front() == '?')
        return std::string(origin).append(path).append(reference);
    return std::string(origin).append(path.substr(0, path.rfind('/') + 1)).append(reference);
}

ServiceDescription read_service_description(std::string_view wsdl, std::string_view url) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(wsdl.data(), wsdl.size());
    if (!parsed) throw SoapError(std::string("the service description is not XML: ") + parsed.description());
    const pugi::xml_node definitions = doc.document_element();
    if (!is(definitions, "definitions")) throw SoapError("the center's answer is not a service description");

    const std::string missing = "port " + std::string(kPortName) + " of service " + std::string(kServiceName) +
                                " is not in the service description";
    const pugi::xml_node service = child(definitions, "service", kServiceName);
    const pugi::xml_node port = service ? child(service, "port", kPortName) : pugi::xml_node();
    if (!port) throw SoapError(missing);
    std::string endpoint;
    for (pugi::xml_node c = port.first_child(); c && endpoint.empty(); c = c.next_sibling())
        if (is(c, "address")) endpoint = c.attribute("location").value();
    if (endpoint.empty()) throw SoapError(missing + " with an address");

    ServiceDescription out;
    out.endpoint = resolve_url(url, endpoint);
    out.request_namespace = definitions.attribute("targetNamespace").value();
    if (out.request_namespace.empty()) out.request_namespace = kCenterNamespace;

    // The SOAP action of the operation in the port's binding.
    const std::string_view binding_name = local_name(port.attribute("binding").value());
    if (pugi::xml_node binding = child(definitions, "binding", binding_name))
        if (pugi::xml_node operation = child(binding, "operation", kOperation))
            if (pugi::xml_node soap_operation = child(operation, "operation"))
                out.soap_action = soap_operation.attribute("soapAction").value();

    // The request element: the part of the operation's input message.
    for (pugi::xml_node port_type = child(definitions, "portType"); port_type;
         port_type = port_type.next_sibling()) {
        if (!is(port_type, "portType")) continue;
        const pugi::xml_node operation = child(port_type, "operation", kOperation);
        const pugi::xml_node input = operation ? child(operation, "input") : pugi::xml_node();
        if (!input) continue;
        const pugi::xml_node message = child(definitions, "message", local_name(input.attribute("message").value()));
        const pugi::xml_node part = message ? child(message, "part") : pugi::xml_node();
        const std::string_view element = part ? part.attribute("element").value() : "";
        if (!element.empty()) {
            out.request_element = std::string(local_name(element));
            const std::string ns = namespace_of(part, prefix_of(element));
            if (!ns.empty()) out.request_namespace = ns;
        }
        break;
    }

    // The schema of the request element: inline, or imported from elsewhere.
    if (pugi::xml_node types = child(definitions, "types")) {
        for (pugi::xml_node schema = types.first_child(); schema; schema = schema.next_sibling()) {
            if (!is(schema, "schema")) continue;
            if (out.request_namespace == schema.attribute("targetNamespace").value() &&
                child(schema, "element", out.request_element)) {
                out.qualified_members = std::string_view(schema.attribute("elementFormDefault").value()) == "qualified";
                out.schema_location.clear();
                break;
            }
            for (pugi::xml_node import = schema.first_child(); import; import = import.next_sibling()) {
                if (is(import, "import") && out.request_namespace == import.attribute("namespace").value() &&
                    *import.attribute("schemaLocation").value() && out.schema_location.empty())
                    out.schema_location = resolve_url(url, import.attribute("schemaLocation").value());
            }
        }
    }
    return out;
}

std::optional<bool> read_schema_qualified(std::string_view xsd) {
    pugi::xml_document doc;
    if (!doc.load_buffer(xsd.data(), xsd.size())) return std::nullopt;
    const pugi::xml_node schema = doc.document_element();
    if (!is(schema, "schema")) return std::nullopt;
    return std::string_view(schema.attribute("elementFormDefault").value()) == "qualified";
}

std::string sbiz_envelope(const ServiceDescription& service, const SbizArguments& a) {
    const std::string member_prefix = service.qualified_members ? "tns:" : "";
    std::string out = R"(<?xml version="1.0" encoding="UTF-8"?>)";
    out += "<soapenv:Envelope xmlns:soapenv=\"";
    out += kSoapEnvelopeNamespace;
    out += "\" xmlns:tns=\"" + attribute_escape(service.request_namespace) + "\"><soapenv:Body>";
    out += "<tns:" + service.request_element + ">";
    const std::string* members[] = {&a.arg0, &a.arg1, &a.arg2, &a.arg3, &a.arg4};
    for (int i = 0; i < 5; ++i) {
        const std::string tag = member_prefix + "arg" + std::to_string(i);
        out += "<" + tag + ">" + xml_escape(*members[i]) + "</" + tag + ">";
    }
    out += "</tns:" + service.request_element + "></soapenv:Body></soapenv:Envelope>";
    return out;
}

std::string read_sbiz_answer(const platform::HttpResponse& r) {
    if (!r.ok) throw SoapError(gbk_of(r.error));
    const bool success = r.status >= 200 && r.status <= 299;
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(r.body.data(), r.body.size());
    const pugi::xml_node envelope = doc.document_element();
    const pugi::xml_node body = is(envelope, "Envelope") ? child(envelope, "Body") : pugi::xml_node();
    if (!parsed || !body) {
        if (!success) throw SoapError(gbk_of(status_text(r)));
        throw SoapError(parsed ? "the center's answer is not a SOAP message"
                               : std::string("the center's answer is not XML: ") + parsed.description());
    }
    pugi::xml_node answer = body.first_child();
    while (answer && answer.type() != pugi::node_element) answer = answer.next_sibling();
    if (is(answer, "Fault")) throw SoapError(gbk_of(fault_text(answer)));
    if (!success) throw SoapError(gbk_of(status_text(r)));
    if (!answer) throw SoapError("the center's answer has an empty SOAP body");
    const pugi::xml_node result = child(answer, "return");
    return result ? text_of(result) : std::string();
}

std::string call_sbiz(std::string_view center_address, const SbizArguments& gbk_arguments,
                      std::chrono::milliseconds timeout) {
    std::optional<ServiceDescription> service;
    {
        std::lock_guard lock(g_cache_mutex);
        if (auto it = g_cache.find(center_address); it != g_cache.end()) service = it->second;
    }
    if (!service) {
        service = fetch_description(platform::gbk_to_utf8(center_address), timeout);
        std::lock_guard lock(g_cache_mutex);
        g_cache.insert_or_assign(std::string(center_address), *service);
    }
    SbizArguments utf8{platform::gbk_to_utf8(gbk_arguments.arg0), platform::gbk_to_utf8(gbk_arguments.arg1),
                       platform::gbk_to_utf8(gbk_arguments.arg2), gbk_arguments.arg3,
                       platform::gbk_to_utf8(gbk_arguments.arg4)};
    platform::HttpRequest request;
    request.method = "POST";
    request.url = service->endpoint;
    request.headers = {{"Content-Type", "text/xml; charset=UTF-8"}, {"SOAPAction", "\"" + service->soap_action + "\""}};
    request.body = sbiz_envelope(*service, utf8);
    request.timeout = timeout;
    request.redirects = platform::Redirects::same_origin;
    const platform::HttpResponse r = platform::http_request(request);
    return gbk_of(read_sbiz_answer(r));
}

void forget_service_description(std::string_view center_address) {
    std::lock_guard lock(g_cache_mutex);
    if (auto it = g_cache.find(center_address); it != g_cache.end()) g_cache.erase(it);
}

void forget_service_descriptions() {
    std::lock_guard lock(g_cache_mutex);
    g_cache.clear();
}

}  // namespace vorla::center
