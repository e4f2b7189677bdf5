// Simulated card driver (libSSCardDriver.so): the five functions of the card
// driver, answering from the scenario. See README.md.
#include <string>

#include "cards/driver_api.h"
#include "scenario.h"

using namespace vorla::drivers;

namespace {

constexpr std::size_t kArea = 1024;

// A local card of a woman born on 1 January 1990.
constexpr const char* kSampleCard =
    "640100|640102199001011223|C64000001|K6400000001|张三|A1B2C3D4|3.00|20180101|20280101|T0001|D0001|";
constexpr const char* kSampleStep1 = "S1|KFWXX|SFBS|K6400000001|NB-FACTOR|NB-DATA|WB-FACTOR|WB-DATA|";

// status and text of one call; the text goes into the area.
int answer(const char* function, int call, char* out, const char* default_text) {
    const int status = int_value(value(function, call, "status"), 0);
    const auto text = value(function, call, "text");
    // Without a text of its own a failing call writes nothing.
    put_text(out, kArea, utf8_to_gbk(text ? *text : std::string(status == 0 ? default_text : "")));
    return status;
}

}  // namespace

VORLA_DRIVER_EXPORT int VORLA_DRIVER_CALL iReadCardBas(int mode, char* out) {
    const int call = record_call("iReadCardBas", {std::to_string(mode)});
    return answer("iReadCardBas", call, out, kSampleCard);
}

VORLA_DRIVER_EXPORT int VORLA_DRIVER_CALL iReadCardBas_HSM_Step1(int mode, char* out) {
    const int call = record_call("iReadCardBas_HSM_Step1", {std::to_string(mode)});
    return answer("iReadCardBas_HSM_Step1", call, out, kSampleStep1);
}

VORLA_DRIVER_EXPORT int VORLA_DRIVER_CALL iReadCardBas_HSM_Step2(char* auth_data, char* out) {
    const int call = record_call("iReadCardBas_HSM_Step2", {gbk_to_utf8(auth_data ? auth_data : "")});
    // Without a text of its own, step 2 gives the card of iReadCardBas.
    const auto card = value("iReadCardBas", 1, "text");
    const std::string fallback = card ? *card : std::string(kSampleCard);
    return answer("iReadCardBas_HSM_Step2", call, out, fallback.c_str());
}

VORLA_DRIVER_EXPORT int VORLA_DRIVER_CALL iVerifyPIN(int mode, char* out) {
    const int call = record_call("iVerifyPIN", {std::to_string(mode)});
    return answer("iVerifyPIN", call, out, "");
}

VORLA_DRIVER_EXPORT int VORLA_DRIVER_CALL iChangePIN(int mode, char* out) {
    const int call = record_call("iChangePIN", {std::to_string(mode)});
    return answer("iChangePIN", call, out, "");
}
