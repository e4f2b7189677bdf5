// The relay: every business type that the library does not handle itself goes
// to the insurance center unchanged, and the center's answer comes back.
#pragma once

#include <string>
#include <string_view>

namespace vorla {

void relay(std::string_view center_address, std::string_view hid, std::string_view biztype,
           std::string_view caller_ip, std::string_view document, std::string& out);

}  // namespace vorla
