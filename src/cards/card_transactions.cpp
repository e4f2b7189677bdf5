#include "cards/card_transactions.h"

#include "cards/card_dialog.h"
#include "cards/card_record.h"
#include "cards/data_packet.h"
#include "cards/evoucher.h"
#include "cards/readers.h"
#include "common/text.h"
#include "journal/journal.h"
#include "messages/catalogue.h"
#include "messages/serializer.h"

namespace vorla::cards {
namespace {

std::optional<int> digits_of(std::string_view s) {
    if (s.empty()) return std::nullopt;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

enum class Kind { J1, J8 };

// J1 and J8, identical but for the read.
void card_transaction(const InvokeRequest& request, std::string& out, Kind kind) {
    const std::string hid = request.param("hid");
    const std::string indata = request.param("indata");

    TJ1InBean in;
    read_bean(indata, in);
    TJ1OutBean answer;
    answer.HEAD.VER = in.HEAD.VER;
    answer.HEAD.APP = in.HEAD.APP;
    answer.HEAD.WorkDate = in.HEAD.WorkDate;
    answer.HEAD.Reserve = in.HEAD.Reserve;
    answer.HEAD.ErrCode = "-1";
    answer.HEAD.ErrDetail = in.HEAD.ErrDetail;
    const bool pinRequired = in.MSG.HEAD.PWD == "0";

    TCardOut record;
    try {
        journal::trace(gbk("开始读卡"));
        if (kind == Kind::J8) {
            ReadSocialCard(hid, pinRequired, record);
        } else {
            ChooseCardAndRead(hid, pinRequired, record);
            if (record.CardType == kCardTypeECard) ResolveECardCode(record);
        }
        journal::trace(gbk("结束读卡"));
    } catch (const std::exception& e) {
        answer.HEAD.ErrCode = "-1";
        record.ErrorText = e.what();
    } catch (...) {
        answer.HEAD.ErrCode = "-1";
        record.ErrorText = gbk("读卡异常");
    }

    if (record.ResultCode == 1) {
        answer.HEAD.ErrCode = "0";
        TJ1OutHead& h = answer.MSG.HEAD;
        h.DKLX = record.CardType;
        h.SBKID = record.CardId;
        h.SBKH = record.CardNo;
        h.FKRQ = ParseCardDate(record.IssueDate);
        h.SFZH = record.IdNumber;
        h.RYXM = record.PersonName;
        h.RYXB = record.Sex;
        h.CSRQ = ParseCardDate(record.BirthDate);
    } else {
        answer.HEAD.ErrCode = "-1";
        answer.HEAD.ErrDetail = record.ErrorText;
    }
    out = write_bean(answer);
}

}  // namespace

DateValue ParseCardDate(std::string_view text) {
    const auto year = digits_of(text.substr(0, 4));
    const auto month = text.size() > 4 ? digits_of(text.substr(4, 2)) : std::nullopt;
    const auto day = text.size() > 6 ? digits_of(text.substr(6, 2)) : std::nullopt;
    if (year && month && day)
        if (const auto date = try_encode_date(*year, *month, *day)) return *date;
    throw CardDateError(gbk("无效的日期:") + std::string(text));
}

void handle_j1(const InvokeRequest& request, std::string& out) { card_transaction(request, out, Kind::J1); }

void handle_j8(const InvokeRequest& request, std::string& out) { card_transaction(request, out, Kind::J8); }

void handle_j0(const InvokeRequest& request, std::string& out) {
    std::string j1;
    handle_j1(request, j1);
    TJ1OutBean answer;
    read_bean(j1, answer);
    out = card_holder_packet(answer);
}

}  // namespace vorla::cards
