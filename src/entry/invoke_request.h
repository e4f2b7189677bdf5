// The invoke request: {functionname:'bizbuss',params:{hid:'…',biztype:'…',ip:'…',indata:'…'}}
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/json.h"

namespace vorla {

class InvokeRequest {
public:
    // Parses GBK request text leniently; nullopt when it is not a JSON value.
    static std::optional<InvokeRequest> parse(std::string_view gbk_text);

    // `functionname` as GBK text ("" when absent).
    std::string functionname() const;
    // A member of `params` as GBK text: "" when there is no `params` object or no
    // such member; a number or literal gives its text. Names are case-sensitive.
    std::string param(std::string_view name) const;

    // The text of an invoke request for "bizbuss" with these parameters (GBK):
    //   {functionname:'bizbuss',params:{hid:'<hid>',biztype: '<biztype>',ip:'<ip>' ,indata:'<indata>' }}
    // byte for byte, blanks included. A quote or backslash inside a value is
    // escaped with a backslash (a GBK trail byte is never taken for one), so that
    // parse() gives the same values back whatever they hold.
    static std::string make_text(std::string_view hid, std::string_view biztype, std::string_view ip,
                                 std::string_view indata);

private:
    explicit InvokeRequest(json::Value root) : root_(std::move(root)) {}
    json::Value root_;
};

// Answer to a request whose function is not "bizbuss" (39 bytes in GBK).
std::string rejection_text();

}  // namespace vorla
