#include "query/insured_query.h"

#include <array>
#include <exception>

#include "cards/card_dialog.h"
#include "cards/evoucher.h"
#include "center/client_info.h"
#include "common/text.h"
#include "entry/dispatcher.h"
#include "journal/log4me.h"
#include "messages/envelope.h"
#include "messages/serializer.h"
#include "platform/platform.h"
#include "query/settlement_choices.h"
#include "ui/settlement_view.h"

namespace vorla::query {
namespace {

// The local address; a host whose address cannot be determined has none.
std::string local_address_or_none() {
    try {
        return center::local_address();
    } catch (const std::exception&) {
        return {};
    }
}

void log_error(const std::string& message) {
    try {
        log4me::error(log4me::stamp_serial() + "\t" + message);
    } catch (...) {
        // The answer does not depend on the diagnostic log.
    }
}

// Runs a card step; an error that escapes it fails the record with its text.
template <class F>
void card_step(cards::TCardOut& card, F&& step) {
    try {
        step();
    } catch (const std::exception& e) {
        card.ResultCode = -1;
        card.ErrorText = e.what();
    }
}

// The failure answer takes the I1 answer's code and text. An answer without a
// code (the center sent nothing readable) keeps "-1": a failure answer always
// says that it is one.
void take_failure(TJ2OutBean& failure, const TI1OutBean& answer) {
    if (!answer.HEAD.ErrCode.empty()) failure.HEAD.ErrCode = answer.HEAD.ErrCode;
    failure.HEAD.ErrDetail = answer.HEAD.ErrDetail;
}

std::string replace_all(std::string text, std::string_view what) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    for (std::size_t hit; (hit = text.find(what, pos)) != std::string::npos; pos = hit + what.size())
        out.append(text, pos, hit - pos);
    out.append(text, pos, std::string::npos);
    return out;
}

}  // namespace

QueryServices default_query_services() {
    QueryServices s;
    s.choose_card_and_read = [](std::string_view hid, bool pin, cards::TCardOut& record) {
        cards::ChooseCardAndRead(hid, pin, record);
    };
    s.resolve_ecard_code = [](cards::TCardOut& record) { cards::ResolveECardCode(record); };
    s.local_address = &local_address_or_none;
    s.dispatch = [](const InvokeRequest& request, std::string& out) { bizbuss(request, out); };
    s.choices_step = [](std::string_view answer) { return choices_step(answer); };
    return s;
}

TI1InBean build_i1_request(const TJ2InBean& j2, const cards::TCardOut& card) {
    TI1InBean i1;
    i1.HEAD = j2.HEAD;
    i1.HEAD.APP = "I1";
    const TJ2InHead& in = j2.MSG.HEAD;
    TI1InHead& h = i1.MSG.HEAD;
    h.YLJGDM = in.YLJGDM;
    h.DKLX = card.CardType;
    h.SBKID = card.CardId;
    h.SBKH = card.CardNo;
    h.FKRQ = card.IssueDate;
    h.SFZH = card.IdNumber;
    h.RYXM = card.PersonName;
    h.JYRQ = in.JYRQ;
    h.MZZYBZ = in.MZZYBZ;
    h.ZXBXBZ = in.ZXBXBZ;
    h.ZHCXBZ = in.ZHCXBZ;
    if (card.CardType == cards::kCardTypeEVoucher) h.PRV2 = card.ResetInfo;
    return i1;
}

void send_i1(std::string_view hid, const TJ2InBean& j2, const cards::TCardOut& card, std::string& out,
             const QueryServices& services) {
    const std::string text =
        InvokeRequest::make_text(hid, "I1", services.local_address(), write_bean(build_i1_request(j2, card)));
    const std::optional<InvokeRequest> request = InvokeRequest::parse(text);
    if (!request) {
        // make_text always gives a readable request; should it not, the query fails.
        out = error_document("I1", -1, "invalid I1 invoke request");
        return;
    }
    std::string answer;
    services.dispatch(*request, answer);
    out = answer;
    if (j2.MSG.HEAD.DKXXBZ == "99") return;
    TI1OutBean result;
    read_bean(out, result);
    if (result.HEAD.ErrCode == "0") out = services.choices_step(out);
}

std::string choices_step(std::string_view i1_answer) {
    TF_display form(i1_answer);
    const ui::DialogOutcome outcome = ui::show_settlement_dialog(form);
    switch (outcome.closed) {
        case ui::DialogClose::Ok:
            return form.ok_answer();
        case ui::DialogClose::Cancel:
            return form.cancel_answer();
        case ui::DialogClose::Unavailable:
            break;
    }
    const std::string detail = gbk("无法显示结算选择窗口:") + outcome.error;
    log_error(detail);
    return form.unavailable_answer(detail);
}

bool is_dklx_caller(std::string_view from) {
    static constexpr std::array<std::string_view, 5> kTags = {"CORVANT", "MERIXA", "TALVIK", "OTHER", "SENTRA"};
    for (std::string_view tag : kTags)
        if (from == tag) return true;
    return false;
}

std::string insert_dklx(std::string_view from, std::string_view answer, std::string_view card_type) {
    if (!is_dklx_caller(from)) return std::string(answer);
    // Blanks and line feeds are single bytes that never belong to a GBK character.
    std::string text(trim(answer));
    std::erase(text, '\n');
    text = replace_all(std::move(text), "      ");
    text = replace_all(std::move(text), "  ");
    constexpr std::string_view kMarker = "<MSG><HEAD>";
    const std::size_t p = text.find(kMarker);
    if (p == std::string::npos) return std::string(answer);
    const std::size_t end = p + kMarker.size();
    return text.substr(0, end) + "<DKLX>" + std::string(card_type) + "</DKLX>" + text.substr(end);
}

TJ2OutBean j2_failure(const TJ2InBean& j2) {
    TJ2OutBean out;
    out.HEAD.VER = std::string(kQueryVersion);
    out.HEAD.APP = j2.HEAD.APP;
    out.HEAD.WorkDate = j2.HEAD.WorkDate;
    out.HEAD.Reserve = j2.HEAD.Reserve;
    out.HEAD.ErrCode = "-1";
    out.HEAD.ErrDetail = j2.HEAD.ErrDetail;
    return out;
}

void run_j2(const InvokeRequest& request, std::string& out, const QueryServices& services) {
    const std::string hid = normalize_institution(request.param("hid"));
    TJ2InBean j2;
    read_bean(request.param("indata"), j2);
    j2.HEAD.VER = std::string(kQueryVersion);
    TJ2OutBean failure = j2_failure(j2);
    const bool pin = j2.MSG.HEAD.PWD == "1";
    const std::string from = j2.MSG.HEAD.FROM;

    cards::TCardOut card;
    card_step(card, [&] { services.choose_card_and_read(j2.MSG.HEAD.YLJGDM, pin, card); });
    if (card.ResultCode == 1 && card.CardType == cards::kCardTypeECard)
        card_step(card, [&] { services.resolve_ecard_code(card); });
    if (card.ResultCode != 1) {
        failure.HEAD.ErrDetail = card.ErrorText;
        out = write_bean(failure);
        return;
    }

    send_i1(hid, j2, card, out, services);
    TI1OutBean answer;
    read_bean(out, answer);
    if (answer.HEAD.ErrCode != "0") {
        take_failure(failure, answer);
        out = write_bean(failure);
        return;
    }
    out = insert_dklx(from, out, card.CardType);
}

void run_j11(const InvokeRequest& request, std::string& out, const QueryServices& services) {
    const std::string hid = normalize_institution(request.param("hid"));
    TJ11InBean j11;
    read_bean(request.param("indata"), j11);
    const TJ11InHead& in = j11.MSG.HEAD;
    if (in.BIZ != "BIZ001") {
        out.clear();
        return;
    }

    TJ2InBean j2;
    j2.HEAD.VER = std::string(kQueryVersion);
    TJ2OutBean failure = j2_failure(j2);

    cards::TCardOut card;
    card.CardType = std::string(cards::kCardTypeECard);
    card.IdNumber = in.V1;
    const std::string jyrq = in.V3.empty() ? format_yyyymmdd(platform::local_now()) + "000000" : in.V3;
    card_step(card, [&] { services.resolve_ecard_code(card); });
    if (card.ResultCode != 1) {
        failure.HEAD.ErrDetail = card.ErrorText;
        out = write_bean(failure);
        return;
    }

    TJ2InHead& h = j2.MSG.HEAD;
    h.YLJGDM = in.YLJGDM;
    h.JYRQ = jyrq;
    h.MZZYBZ = in.V2;
    h.ZXBXBZ = "0";
    h.ZHCXBZ = "1";
    h.DKXXBZ = "99";
    send_i1(hid, j2, card, out, services);
    TI1OutBean answer;
    read_bean(out, answer);
    if (answer.HEAD.ErrCode == "0") return;  // the center's answer as received
    take_failure(failure, answer);
    out = write_bean(failure);
}

void handle_j2(const InvokeRequest& request, std::string& out) { run_j2(request, out, default_query_services()); }

void handle_j11(const InvokeRequest& request, std::string& out) {
    run_j11(request, out, default_query_services());
}

}  // namespace vorla::query
