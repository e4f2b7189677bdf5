// The social security card reader (reader 8): the card driver, the two-step HSM
// read, the out-of-region check at the authentication service, and the PIN.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cards/card_record.h"
#include "cards/drivers.h"
#include "interceptor/http_helpers.h"

namespace vorla::cards {

// What the reader talks to. default_ss_card_context() binds the loaded card
// driver, the form POST and the configured authentication service address;
// tests put in their own.
struct SsCardContext {
    const CardDriverApi* driver = nullptr;  // nullptr: not available, see driver_error
    std::string driver_error;               // text for the cashier when driver is nullptr
    std::function<http::Result(std::string_view url, std::string_view body)> form_post;
    std::string auth_address;
};
SsCardContext default_ss_card_context();

// Statuses of iReadCardBas that send the read down the HSM path.
inline constexpr int kHsmStatuses[] = {-24, -2201, -2202, -2203, -27272};

// Reads the card into the record (ResultCode, ErrorText and the card's fields).
// A card text with fewer than eleven items, a step-1 text with fewer than eight
// or an authentication answer without result_data/head raises CardReadError.
void ReadSsCard(bool pinRequired, TCardOut& record);
void ReadSsCard(const SsCardContext& context, bool pinRequired, TCardOut& record);

// The items of a driver text: split at "|" and at line ends; a trailing
// separator adds no empty item, two adjacent ones give an empty item.
std::vector<std::string> split_card_text(std::string_view text);

// Fills the record from a driver card text: ResultCode 1 first, then the items
// 0..10, CardId (items 3, 6, 0, 5 each followed by "|"), BirthDate and Sex
// decoded from IdNumber. Throws CardReadError at the first missing item; the
// fields taken up to then stay set.
void ParseCardRecordText(std::string_view text, TCardOut& record);

// yd_1903: HSM authentication data for the step-1 text in CardId. True with
// CardId = nbrzjbsj + "|" + wbrzjbsj + "|"; false with the record failed.
bool FetchHsmAuthData(const SsCardContext& context, TCardOut& record);
// yd_1904: the authentication service accepts a card of another region. The
// outcome is in the record (ResultCode 1 or -1, ErrorText = tsxx).
bool CheckRemoteCard(const SsCardContext& context, TCardOut& record);

// The request texts of yd_1903 and yd_1904 (GBK, compact JSON, values escaped).
std::string hsm_auth_request(std::string_view step1_text);
std::string remote_card_request(const TCardOut& record);

struct PinResult {
    int status = 0;    // 0 accepted / changed
    std::string text;  // the driver's text when status is not 0
};
PinResult VerifyPin(const SsCardContext& context);
PinResult ChangePin();
PinResult ChangePin(const SsCardContext& context);

}  // namespace vorla::cards
