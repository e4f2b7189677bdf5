// The center client: carries one transaction document to the insurance center's
// SOAP service and brings the answer back, journalling both, and turns every
// failure into a center error document.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace vorla::center {

// Call center: request block, check of the routing parameters, exchange, answer
// block. Leaves the center's answer document, or a center error document, in
// `out`; raises nothing of its own. All texts GBK; `hid` exactly as received.
void call_center(std::string_view center_address, std::string_view hid, std::string_view biztype,
                 std::string_view caller_ip, std::string_view document, std::string_view client_information,
                 std::string& out);

// The exchange: sets the transport time-out for the business type and runs
// exchange_with_current_timeout.
std::string exchange(std::string_view center_address, std::string_view hid, std::string_view biztype,
                     std::string_view caller_ip, std::string_view document,
                     std::string_view client_information);

// Packs the document, calls `sbiz` with the transport time-out as it stands,
// cleans and unpacks the result. Returns the unpacked answer, or the center
// error document with the mapped message of whatever failed.
std::string exchange_with_current_timeout(std::string_view center_address, std::string_view hid,
                                          std::string_view biztype, std::string_view caller_ip,
                                          std::string_view document, std::string_view client_information);

// ---- the parts, for tests --------------------------------------------------

// Check of the routing parameters: nullopt when they pass, else the failure text.
std::optional<std::string> check_parameters(std::string_view hid, std::string_view biztype,
                                            std::string_view caller_ip);

// The cashier's words for a failure message M (rollback text, the two exception
// prefixes removed, the network prefix unless M names "一个顶层元素").
std::string map_error_message(std::string message);

// The time-out of an exchange for the business type: 30 minutes for E1, E2, F1
// and G1, 10 minutes for every other.
std::chrono::milliseconds timeout_for(std::string_view biztype);

// The process-wide time-out of the transport: set before every exchange, used by
// every request of it, kept until the next exchange sets it again.
void set_transport_timeout(std::chrono::milliseconds timeout);
std::chrono::milliseconds transport_timeout();

// Exchange step 4: every "<return>" and "</return>" removed, then "&lt;" and
// "&gt;" replaced by "<" and ">" (letter case ignored).
std::string clean_result(std::string_view result);

// The client's transaction serial: hhnnsszz of `t`, then `number` (0..999) in
// four digits.
std::string make_serial(const platform::LocalTime& t, int number);
// A new serial from the current time and a fresh random number; `start` gets the
// date and time taken right after it.
std::string new_serial(platform::LocalTime& start);

// Prefixes of the cashier's texts.
std::string network_prefix();  // "中心通讯失败，请检查网络是否连接！"
std::string journal_prefix();  // "日志错误:"

}  // namespace vorla::center
