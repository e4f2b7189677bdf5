// The business dispatcher: the function "bizbuss".
#pragma once

#include <string>
#include <string_view>

#include "entry/invoke_request.h"

namespace vorla {

// Every handler has this shape: the parsed invoke request in, the answer (a
// transaction document) left in `out`.
using Handler = void (*)(const InvokeRequest& request, std::string& out);

// Checks the four parameters, routes by business type and leaves the answer in
// `out`. Never throws. May be entered again from a handler on the same thread.
void bizbuss(const InvokeRequest& request, std::string& out);

// A `hid` without "|" is replaced as a whole by the configured institution key.
std::string normalize_institution(std::string_view hid);

}  // namespace vorla
