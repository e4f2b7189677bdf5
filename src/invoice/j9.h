// J9: the invoice of a finished settlement. The settlement record is fetched
// from the center's invoice service (a JSON text sent as a form POST to the
// execute action), filled into the outpatient or inpatient invoice template and
// printed (DISPLAY "0", print dialog first) or previewed (any other DISPLAY).
#pragma once

#include <string>
#include <string_view>

#include "entry/invoke_request.h"
#include "messages/catalogue.h"
#include "report/report.h"

namespace vorla::invoice {

inline constexpr std::string_view kInvoiceProtocolVersion = "20180605.01";
inline constexpr std::string_view kExecuteAction = "/tembroweb/action/execute.do";

// The execute action's address: the center address with every
// "/RemoteFacedeBean/RemoteFacedeBeanService?WSDL" removed (any letter case),
// followed by "/tembroweb/action/execute.do".
std::string invoice_service_address(std::string_view center_address);

// The invoice query's JSON text (GBK). The values are escaped as JSON string
// contents (double quote, backslash, control characters), whole GBK characters
// left as they are, so that no value can break the text.
std::string invoice_query_body(std::string_view akb020, std::string_view akc190, std::string_view akc191,
                               std::string_view bka135, std::string_view ver = kInvoiceProtocolVersion);

// Fetches the settlement record of the request and fills `report` with the
// invoice of its kind (result_data's aae601 "0": outpatient, else inpatient).
// False with `failure` (GBK) when the query, the service or the filling fails;
// `failure` is empty for a failure the service or the filling gives no text for.
bool fetch_and_fill(const TJ9InBean& request, report::Report& report, std::string& failure);

// The J9 handler of the dispatcher.
void handle_j9(const InvokeRequest& request, std::string& out);

}  // namespace vorla::invoice
