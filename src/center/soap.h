// The SOAP side of the center link: the center's service description, the
// `sbiz` request envelope and its answer.
//
// The center is a SOAP 1.1 document/literal (wrapped) service: the request
// element `sbiz` is in the service's namespace, its members `arg0`..`arg4` are
// qualified or not as the schema's elementFormDefault says (unqualified when
// the schema does not say or cannot be read), the answer `sbizResponse` has one
// member `return`. Texts travel in UTF-8.
#pragma once

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/http.h"

namespace vorla::center {

// The service's target namespace: what the simulator declares, and what the
// client uses when a description names none.
inline constexpr std::string_view kCenterNamespace = "http://center.vorla.local/";
inline constexpr std::string_view kServiceName = "RemoteFacedeBeanService";
inline constexpr std::string_view kPortName = "RemoteFacedeBean";
inline constexpr std::string_view kOperation = "sbiz";
// Path of the service on the center's host; the description is this path with
// the query "WSDL".
inline constexpr std::string_view kServicePath = "/RemoteFacedeBean/RemoteFacedeBeanService";

// A failure of the SOAP exchange; what() is a GBK text (a SOAP fault's
// faultstring, the transport's message, or what was wrong with an answer).
struct SoapError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What the client takes from the description.
struct ServiceDescription {
    std::string endpoint;                     // soap:address of the port
    std::string request_namespace;            // namespace of the request element
    std::string request_element = "sbiz";
    std::string soap_action;                  // of the binding's operation, "" when none
    bool qualified_members = false;           // elementFormDefault="qualified"
    std::string schema_location;              // absolute URL of an imported schema
                                              // declaring the request, "" when none
};

// Reads a description (WSDL 1.1) fetched from `url`. Throws SoapError when it is
// not one or lacks port RemoteFacedeBean of service RemoteFacedeBeanService.
ServiceDescription read_service_description(std::string_view wsdl, std::string_view url);

// elementFormDefault of a schema document: true for "qualified"; nullopt when
// the text is not a schema.
std::optional<bool> read_schema_qualified(std::string_view xsd);

// The five members of the request, UTF-8.
struct SbizArguments {
    std::string arg0, arg1, arg2, arg3, arg4;
};

// The SOAP 1.1 envelope of the request.
std::string sbiz_envelope(const ServiceDescription& service, const SbizArguments& utf8);

// The text of the answer's `return` element, UTF-8 ("" when the element is
// absent or empty). Throws SoapError with the fault's text for a SOAP fault, and
// for a failed transport, an HTTP failure status or an answer that is not SOAP.
std::string read_sbiz_answer(const platform::HttpResponse& response);

// One call of `sbiz` on the center whose description is at `center_address`
// (GBK), with the time-out for every HTTP request of the call. The description
// is fetched on the first call for an address and kept for later calls.
// Arguments and result are GBK. Throws SoapError.
std::string call_sbiz(std::string_view center_address, const SbizArguments& gbk_arguments,
                      std::chrono::milliseconds timeout);

// Drops what is kept of the description at `center_address` (after any failure
// of an exchange with it), or of every address.
void forget_service_description(std::string_view center_address);
void forget_service_descriptions();

// `reference` resolved against `base` (absolute URL, absolute path or relative path).
std::string resolve_url(std::string_view base, std::string_view reference);

// Escapes &, <, > and CR for XML character data (and " for attribute values).
std::string xml_escape(std::string_view text);

}  // namespace vorla::center
