#include "cards/readers.h"

#include "cards/evoucher.h"
#include "cards/id_card.h"
#include "cards/ss_card.h"
#include "common/text.h"
#include "journal/journal.h"
#include "platform/platform.h"

namespace vorla::cards {
namespace {

// A decimal integer of digits only; nullopt for anything else.
std::optional<int> digits_value(std::string_view s) {
    if (s.empty() || s.size() > 9) return std::nullopt;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

void read_typed(std::string_view text, std::string_view card_type, TCardOut& record) {
    record.IdNumber = std::string(text);
    record.CardType = std::string(card_type);
    const std::string today = today_yyyymmdd();
    record.IssueDate = today;
    record.BirthDate = today;
    record.ResultCode = 1;
}

}  // namespace

std::string today_yyyymmdd() { return format_yyyymmdd(platform::local_now()); }

std::string yyyymmdd_of(DateValue value) {
    const DateParts p = decode_date_time(value);
    return pad(p.year, 4) + pad(p.month, 2) + pad(p.day, 2);
}

void ReadTypedNumber(std::string_view text, TCardOut& record) { read_typed(text, kCardTypeTypedNumber, record); }

void ReadECardCode(std::string_view code, TCardOut& record) { read_typed(code, kCardTypeECard, record); }

DecodedId DecodeIdNumber(std::string_view id) {
    const DecodedId fallback{encode_date(1997, 1, 1), "1"};
    if (id.size() < 17) return fallback;
    const auto year = digits_value(id.substr(6, 4));
    const auto month = digits_value(id.substr(10, 2));
    const auto day = digits_value(id.substr(12, 2));
    const auto sex = digits_value(id.substr(16, 1));
    if (!year || !month || !day || !sex) return fallback;
    const auto birth = try_encode_date(*year, *month, *day);
    if (!birth) return fallback;
    return {*birth, *sex % 2 == 1 ? "1" : "2"};
}

void TraceCardRecord(const TCardOut& record) {
    try {
        journal::trace(gbk("读卡返回返回结果:\t") + std::to_string(record.ResultCode));
        journal::trace(gbk("读卡返回异常消息:\t") + record.ErrorText);
        journal::trace(gbk("读卡返回读卡类型:\t") + record.CardType);
        journal::trace(gbk("读卡返回社保卡ID:\t") + record.CardId);
        journal::trace(gbk("读卡返回社保卡号:\t") + record.CardNo);
        journal::trace(gbk("读卡返回发卡日期:\t") + record.IssueDate);
        journal::trace(gbk("读卡返回身份证号:\t") + record.IdNumber);
        journal::trace(gbk("读卡返回人员姓名:\t") + record.PersonName);
        journal::trace(gbk("读卡返回出生日期:\t") + record.BirthDate);
    } catch (...) {
        // The trace never disturbs a read.
    }
}

void ReadCard(int readerNumber, std::string_view data, bool pinRequired, TCardOut& record) {
    record.ResultCode = -1;
    journal::trace("");
    journal::trace(gbk("输入参数:读卡类别\t") + std::to_string(readerNumber));
    journal::trace(pinRequired ? gbk("输入参数:密码验证\t需要输入密码") : gbk("输入参数:密码验证\t不需要输入密码"));
    switch (readerNumber) {
        case 1:
        case 2:
        case 3:
        case 4:
            record.ErrorText = gbk("读卡未实现");
            break;
        case kReaderECardCode:
            ReadECardCode(data, record);
            break;
        case kReaderIdCard:
            ReadIdCard(record);
            break;
        case kReaderTypedNumber:
            ReadTypedNumber(data, record);
            break;
        case kReaderSocialCard:
            ReadSsCard(pinRequired, record);
            break;
        case kReaderEVoucher:
            ParseEVoucherResult(data, record);
            break;
        default:
            break;
    }
    TraceCardRecord(record);
}

void ReadSocialCard(std::string_view /*hid*/, bool pinRequired, TCardOut& record) {
    ReadCard(kReaderSocialCard, "", pinRequired, record);
}

}  // namespace vorla::cards
