#include "cards/evoucher.h"

#include <cctype>
#include <charconv>
#include <optional>

#include "cards/drivers.h"
#include "cards/json_text.h"
#include "cards/notice.h"
#include "cards/readers.h"
#include "common/text.h"
#include "platform/dialogs.h"

namespace vorla::cards {
namespace {

constexpr std::size_t kAnswerArea = 1024;
constexpr std::string_view kQrcodeAction = "/tembroweb/action/qrcode.do";

// A decimal int32 with an optional sign; nullopt for anything else.
std::optional<int> integer_of(std::string_view s) {
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty() || s.front() == '+') return std::nullopt;
    int v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return v;
}

// The status rule: 0 gives 1 (read), a negative code itself, a positive code its negation.
int status_of(int code) { return code == 0 ? 1 : (code < 0 ? code : -code); }

// The host of an address ("http://10.1.2.3:8080/x" gives "10.1.2.3").
std::string host_of(std::string_view url) {
    const auto scheme = url.find("://");
    if (scheme != std::string_view::npos) url.remove_prefix(scheme + 3);
    url = url.substr(0, url.find_first_of("/?#"));
    if (const auto at = url.rfind('@'); at != std::string_view::npos) url.remove_prefix(at + 1);
    if (!url.empty() && url.front() == '[') return std::string(url.substr(0, url.find(']') + 1));
    return std::string(url.substr(0, url.find(':')));
}

}  // namespace

std::string evoucher_input_text(const Configuration& s) {
    return R"({"data":{"businessType":)" + json_quote(s.evoucher_use_type) + R"(,"officeId":)" +
           json_quote(s.evoucher_dept_id) + R"(,"officeName":)" + json_quote(s.evoucher_dept_name) +
           R"(,"operatorId":)" + json_quote(s.evoucher_operator_id) + R"(,"operatorName":)" +
           json_quote(s.evoucher_operator_name) + R"(,"orgId":)" + json_quote(s.evoucher_org_id) + R"(},"orgId":)" +
           json_quote(s.evoucher_org_id) + R"(,"transType":"ec.query"})";
}

EVoucherContext default_evoucher_context() {
    EVoucherContext c;
    if (platform::DynamicLibrary* lib = evoucher_component()) {
        c.component_loaded = true;
        c.trans = reinterpret_cast<NationEcTrans_fn>(lib->symbol("NationEcTrans"));
    }
    c.address = config().evoucher_address;
    c.input = evoucher_input_text(config());
    c.network_failure = [](std::string_view text) { show_message(text, gbk("提示")); };
    return c;
}

std::string QueryEVoucher() { return QueryEVoucher(default_evoucher_context()); }

std::string QueryEVoucher(const EVoucherContext& context) {
    std::string code = "0";
    std::string answer;
    if (!context.component_loaded) {
        code = "-8";
        answer = gbk("NationECCode.dll不存在");
    } else if (!context.trans) {
        code = "-7";
        answer = gbk("函数NationEcTrans不存在");
    } else {
        bool failed = false;
        {
            platform::WaitCursor busy;
            DriverArea out(kAnswerArea);
            try {
                code = driver_text(context.trans(context.address.c_str(), context.input.c_str(), out.data()));
                answer = out.text();
            } catch (...) {
                failed = true;
            }
        }
        if (failed) {
            code = "-10";
            answer = gbk("医保电子凭证网络不通，请ping测") + host_of(context.address);
            if (context.network_failure) context.network_failure(answer);
        }
    }
    return code + "^^" + answer;
}

void ParseEVoucherResult(std::string_view data, TCardOut& record) {
    const auto mark = data.find("^^");
    if (mark == std::string_view::npos) {
        record.ResultCode = -1;
        record.ErrorText = gbk("返回报文格式错误[-9]");
        return;
    }
    const std::string_view code_text = data.substr(0, mark);
    const std::string_view answer = data.substr(mark + 2);
    const auto code = integer_of(code_text);
    if (!code) {
        record.ResultCode = -1;
        throw CardReadError(gbk("医保电子凭证返回码错误:") + std::string(code_text));
    }
    record.ResultCode = status_of(*code);
    record.CardType = std::string(kCardTypeEVoucher);
    const std::string today = today_yyyymmdd();
    record.IssueDate = today;
    record.BirthDate = today;
    record.ValidUntil = today;
    if (*code != 0) {
        record.ErrorText = std::string(answer) + "[" + std::string(code_text) + "]";
        return;
    }
    // Until the answer has been read the voucher does not count as read.
    record.ResultCode = -1;
    const auto json = parse_gbk_json(answer);
    const json::Value* code_member = json ? json->member("code") : nullptr;
    const auto answer_code = code_member ? integer_of(text_of(code_member)) : std::nullopt;
    if (!answer_code) throw CardReadError(gbk("医保电子凭证返回报文格式错误"));
    record.ResultCode = status_of(*answer_code);
    if (*answer_code != 0) {
        record.ErrorText = *answer_code == 2000
                               ? gbk("医保电子凭证请求超时[2000]")
                               : text_of(json->member("message")) + "[" + text_of(code_member) + "]";
        return;
    }
    const json::Value* d = json->member("data");
    if (!d || d->kind != json::Value::Kind::Object) return;
    record.IdNumber = text_of(d->member("idNo"));
    record.CardNo.clear();
    record.CardId = text_of(d->member("ecToken"));
    record.PersonName = text_of(d->member("userName"));
    record.ResetInfo = record.CardId;
    record.SpecVersion.clear();
    record.Sex = text_of(d->member("gender"));
    record.TerminalNo.clear();
    record.DeviceNo.clear();
}

std::string qrcode_address(std::string_view center) {
    return center_web_base(center) + std::string(kQrcodeAction);
}

std::string qrcode_request(std::string_view code) { return R"({"appid": "", "qrcode":)" + json_quote(code) + "}"; }

void ResolveECardCode(TCardOut& record) {
    ResolveECardCode(record, config().center_address,
                     [](std::string_view url, std::string_view body) { return http::json_post(url, body); });
}

void ResolveECardCode(TCardOut& record, std::string_view center_address,
                      const std::function<http::Result(std::string_view url, std::string_view body)>& json_post) {
    const http::Result posted = json_post(qrcode_address(center_address), qrcode_request(record.IdNumber));
    if (!posted.ok) {
        record.ResultCode = -1;
        record.ErrorText = posted.text;
        return;
    }
    // An answer that cannot be read leaves the code unresolved: the read fails.
    const auto unreadable = [&record] {
        record.ResultCode = -1;
        record.ErrorText = gbk("电子社保卡解码返回报文错误");
    };
    const auto answer = parse_gbk_json(posted.text);
    if (!answer || answer->kind != json::Value::Kind::Object) return unreadable();
    if (text_of(answer->member("result_code")) != "100") {
        const auto exception = object_member(*answer, "result_exception");
        const json::Value* message = exception ? exception->member("message") : nullptr;
        // A refusal without words would leave the cashier an empty failure text.
        if (!message || text_of(message).empty()) return unreadable();
        record.ResultCode = -1;
        record.ErrorText = text_of(message);
        return;
    }
    const auto data = object_member(*answer, "result_data");
    const auto head = data ? object_member(*data, "head") : std::nullopt;
    if (!head) return unreadable();
    record.ResultCode = 1;
    record.CardId = text_of(head->member("sbkid"));
    record.RegionCode = text_of(head->member("fkxzqh"));
    record.CardNo = text_of(head->member("sbkh"));
    record.IdNumber = text_of(head->member("sfzh"));
    record.PersonName = text_of(head->member("ryxm"));
}

}  // namespace vorla::cards
