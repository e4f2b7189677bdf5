// Simulated e-voucher component (libNationECCode.so): NationEcTrans answering
// from the scenario. See README.md.
#include <stdexcept>
#include <string>

#include "cards/driver_api.h"
#include "scenario.h"

using namespace vorla::drivers;

namespace {
constexpr std::size_t kArea = 1024;
constexpr const char* kSampleAnswer =
    R"({"code":0,"message":"成功","data":{"idNo":"640102199203035512","ecToken":"EC-TOKEN-0001","userName":"王五","gender":"1"}})";
}  // namespace

VORLA_DRIVER_EXPORT const char* VORLA_DRIVER_CALL NationEcTrans(const char* address, const char* input, char* out) {
    const int call =
        record_call("NationEcTrans", {gbk_to_utf8(address ? address : ""), gbk_to_utf8(input ? input : "")});
    // The component failing inside (no network): the error leaves the function.
    if (const auto failure = value("NationEcTrans", call, "raise")) throw std::runtime_error(*failure);
    static std::string code;
    const auto c = value("NationEcTrans", call, "code");
    code = c ? *c : "0";
    const auto answer = value("NationEcTrans", call, "answer");
    put_text(out, kArea, utf8_to_gbk(answer ? *answer : std::string(code == "0" ? kSampleAnswer : "")));
    return code.c_str();
}
