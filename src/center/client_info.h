// The client information sent with every relayed transaction, and the local
// address of the workstation.
#pragma once

#include <cstdint>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorla::center {

struct ClientInformation {
    std::string dllver;
    std::string seed;
    std::string bussid;
    std::string exename;                 // GBK path of the host executable
    std::optional<std::uint64_t> exesize;  // left out when unknown
    std::optional<std::string> ip;         // left out when unknown
};

// The compact JSON text: members in ascending order of their names by character
// code (bussid, dllver, exename, exesize, ip, seed), every value a quoted text.
// GBK in, GBK out.
std::string client_information_text(const ClientInformation& info);

// The client information of this call: client version, the current call token,
// host executable path and size, local address.
ClientInformation gather_client_information();

// The local address from the result of the host lookup: the last of the list's
// first eleven addresses (the last address of a list of up to eleven; a host with
// more addresses still gets one instead of a failure); "" when the lookup failed
// or gave none.
std::string pick_local_address(const std::optional<std::vector<std::string>>& addresses);

// How long local_address() keeps the answer of a host lookup.
inline constexpr std::chrono::seconds kLocalAddressKept{5};

// The workstation's IPv4 address: its host name looked up, then
// pick_local_address. "" when the host name cannot be resolved. The answer is
// kept for kLocalAddressKept.
std::string local_address();

}  // namespace vorla::center
