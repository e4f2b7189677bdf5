// The insured-person query: J2 (card, I1 query, settlement choices) and J11
// (an electronic social security card code, I1 query, no dialogs).
//
// Neither calls the center itself: the I1 request is written as an invoke
// request text and handed to the dispatcher, which checks, relays and journals
// it like a request from the HIS (the dispatcher is entered again on the same
// thread; each entry keeps its own values).
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "cards/card_record.h"
#include "entry/invoke_request.h"
#include "messages/catalogue.h"

namespace vorla::query {

// VER of the J2 request once read, of every I1 request and of every J2 failure answer.
inline constexpr std::string_view kQueryVersion = "01.01";

// What the handlers use from the rest of the library; tests replace parts.
struct QueryServices {
    // The card type dialog and the chosen reader (cards::ChooseCardAndRead).
    std::function<void(std::string_view hid, bool pinRequired, cards::TCardOut& record)> choose_card_and_read;
    // The electronic social security card code in IdNumber resolved at the center.
    std::function<void(cards::TCardOut& record)> resolve_ecard_code;
    // The workstation's IPv4 address; "" when it has none.
    std::function<std::string()> local_address;
    // The dispatcher ("bizbuss").
    std::function<void(const InvokeRequest& request, std::string& out)> dispatch;
    // The settlement choices dialog over a successful I1 answer.
    std::function<std::string(std::string_view i1_answer)> choices_step;
};
QueryServices default_query_services();

// The I1 request of a J2 request (whose VER is already "01.01") and a card record:
// head VER from the J2 request, APP "I1", the rest of the head copied; message
// head from the J2 request and the card; PRV2 the e-voucher token for card type
// "5" only.
TI1InBean build_i1_request(const TJ2InBean& j2, const cards::TCardOut& card);

// The I1 sender: builds the I1 request, hands it to the dispatcher as
//   {functionname:'bizbuss',params:{hid:'<hid>',biztype: 'I1',ip:'<local address>' ,indata:'<I1 document>' }}
// and leaves the center's answer in `out`; unless DKXXBZ is "99", an answer
// with ErrCode "0" then goes through the settlement choices dialog and `out`
// holds the dialog's result. A failure of the dialog step escapes with the
// center's answer already in `out`.
void send_i1(std::string_view hid, const TJ2InBean& j2, const cards::TCardOut& card, std::string& out,
             const QueryServices& services);

// The settlement choices dialog over a successful I1 answer: the answer reduced
// to the cashier's choices (OK), with ErrCode "1" and "用户放弃" (Cancel), or with
// ErrCode "-1" and the reason when the dialog cannot be shown or answered.
// Throws when the answer cannot fill the dialog (a CBRQ that is no date) and on
// OK without any insurance type.
std::string choices_step(std::string_view i1_answer);

// The caller tags that receive the card type in the answer: "CORVANT",
// "MERIXA", "TALVIK", "OTHER", "SENTRA" (exact).
bool is_dklx_caller(std::string_view from);

// The DKLX insertion. For the five caller tags: the answer trimmed, its line
// feeds removed, every run of six blanks and then every pair of blanks removed
// (a run of n blanks keeps (n mod 6) mod 2), and "<DKLX>card type</DKLX>"
// put right after the first "<MSG><HEAD>". Any other tag, or an answer without
// "<MSG><HEAD>" after the squeeze, gives the answer unchanged, byte for byte.
std::string insert_dklx(std::string_view from, std::string_view answer, std::string_view card_type);

// The J2 failure answer before any work: VER "01.01", APP, WorkDate, Reserve
// and ErrDetail of the J2 request, ErrCode "-1", no message.
TJ2OutBean j2_failure(const TJ2InBean& j2);

// The handlers of the dispatcher.
void handle_j2(const InvokeRequest& request, std::string& out);
void handle_j11(const InvokeRequest& request, std::string& out);

// The same with the services given.
void run_j2(const InvokeRequest& request, std::string& out, const QueryServices& services);
void run_j11(const InvokeRequest& request, std::string& out, const QueryServices& services);

}  // namespace vorla::query
