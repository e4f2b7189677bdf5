#include "cards/ss_card.h"

#include <algorithm>

#include "cards/json_text.h"
#include "cards/readers.h"
#include "common/text.h"
#include "entry/config.h"
#include "journal/journal.h"

namespace vorla::cards {
namespace {

constexpr std::size_t kDriverArea = 1024;
constexpr std::string_view kLocalRegionPrefix = "64";

void fail(TCardOut& record, std::string text) {
    record.ResultCode = -1;
    record.ErrorText = std::move(text);
}

const std::string& item(const std::vector<std::string>& items, std::size_t i, std::string_view what) {
    if (i >= items.size())
        throw CardReadError(gbk("读卡返回信息不完整:") + std::string(what) + gbk("缺少第") + std::to_string(i) +
                            gbk("项"));
    return items[i];
}

// Posts a request to the authentication service and gives result_data.head, or
// nullopt with the record failed. Throws CardReadError when a successful answer
// has no result_data/head objects.
std::optional<json::Value> ask_auth_service(const SsCardContext& context, const std::string& request,
                                            TCardOut& record) {
    const http::Result posted = context.form_post(context.auth_address, request);
    if (!posted.ok) {
        fail(record, posted.text);
        return std::nullopt;
    }
    const auto answer = parse_gbk_json(posted.text);
    if (!answer || answer->kind != json::Value::Kind::Object)
        throw CardReadError(gbk("鉴权系统返回报文格式错误"));
    if (text_of(answer->member("result_code")) != "100") {
        fail(record, text_of(answer->member("result_data")));
        return std::nullopt;
    }
    const auto data = object_member(*answer, "result_data");
    const auto head = data ? object_member(*data, "head") : std::nullopt;
    if (!head) throw CardReadError(gbk("鉴权系统返回报文缺少result_data/head"));
    return head;
}

std::string auth_request(std::string_view method, std::string_view code,
                         const std::vector<std::pair<std::string, std::string>>& head) {
    return R"({"methodName":")" + std::string(method) + R"(","params":{"bizCode":")" + std::string(code) +
           R"(","bizData":{"head":)" + json_text_object(head) + "}}}";
}

}  // namespace

SsCardContext default_ss_card_context() {
    SsCardContext c;
    c.driver = card_driver(c.driver_error);
    c.form_post = [](std::string_view url, std::string_view body) { return http::form_post(url, body); };
    c.auth_address = config().auth_address;
    return c;
}

std::vector<std::string> split_card_text(std::string_view text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    bool open = false;  // a line has begun and not yet ended
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len = gbk_char_length(text, i);
        const char c = text[i];
        if (len == 1 && (c == '|' || c == '\n' || c == '\r')) {
            items.emplace_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = i + 1;
            open = false;
        } else {
            open = true;
        }
        i += len;
    }
    if (open) items.emplace_back(text.substr(start));
    return items;
}

void ParseCardRecordText(std::string_view text, TCardOut& record) {
    const std::vector<std::string> items = split_card_text(text);
    const std::string what = gbk("卡信息");
    record.ResultCode = 1;
    record.RegionCode = item(items, 0, what);
    record.IdNumber = item(items, 1, what);
    record.CardNo = item(items, 2, what);
    record.PersonName = item(items, 4, what);
    record.ResetInfo = item(items, 5, what);
    record.SpecVersion = item(items, 6, what);
    record.IssueDate = item(items, 7, what);
    record.ValidUntil = item(items, 8, what);
    record.TerminalNo = item(items, 9, what);
    record.DeviceNo = item(items, 10, what);
    record.CardId = items[3] + "|" + items[6] + "|" + items[0] + "|" + items[5] + "|";
    const DecodedId decoded = DecodeIdNumber(record.IdNumber);
    record.BirthDate = yyyymmdd_of(decoded.birthDate);
    record.Sex = decoded.sex;
}

std::string hsm_auth_request(std::string_view step1_text) {
    const std::vector<std::string> items = split_card_text(step1_text);
    const std::string what = gbk("HSM第一步");
    static constexpr const char* kKeys[] = {"kfwxx",    "sfbs",          "sbkid",        "nbrzgcyz",
                                            "nbrzjbsxdysxx", "wbrzgcyz", "wbrzjbsxdysxx"};
    std::vector<std::pair<std::string, std::string>> head;
    for (std::size_t i = 1; i <= 7; ++i) head.emplace_back(kKeys[i - 1], item(items, i, what));
    return auth_request("yd_1903", "1903", head);
}

std::string remote_card_request(const TCardOut& record) {
    const std::vector<std::string> id_items = split_card_text(record.CardId);
    return auth_request("yd_1904", "1904",
                        {{"sfzh", record.IdNumber},
                         {"gr_ic", record.CardNo},
                         {"sbkid", id_items.empty() ? std::string() : id_items[0]},
                         {"gr_xm", record.PersonName}});
}

bool FetchHsmAuthData(const SsCardContext& context, TCardOut& record) {
    const auto head = ask_auth_service(context, hsm_auth_request(record.CardId), record);
    if (!head) return false;
    const std::string inner = text_of(head->member("nbrzjbsj"));
    const std::string outer = text_of(head->member("wbrzjbsj"));
    if (inner == "-1") {
        fail(record, outer);
        return false;
    }
    record.ResultCode = 1;
    record.ErrorText.clear();
    record.CardId = inner + "|" + outer + "|";
    return true;
}

bool CheckRemoteCard(const SsCardContext& context, TCardOut& record) {
    // The card counts as read only once the service accepted it: an answer that
    // cannot be read must not leave the record marked read.
    record.ResultCode = -1;
    const auto head = ask_auth_service(context, remote_card_request(record), record);
    if (!head) return false;
    const bool accepted = text_of(head->member("cgbz")) == "1";
    record.ResultCode = accepted ? 1 : -1;
    record.ErrorText = text_of(head->member("tsxx"));
    return accepted;
}

PinResult VerifyPin(const SsCardContext& context) {
    if (!context.driver) return {-1, context.driver_error};
    if (!context.driver->iVerifyPIN) return {-1, missing_function_text("iVerifyPIN")};
    DriverArea out(kDriverArea);
    const int status = context.driver->iVerifyPIN(1, out.data());
    if (status != 0) return {status, out.text()};
    return {0, {}};
}

PinResult ChangePin(const SsCardContext& context) {
    if (!context.driver) return {-1, context.driver_error};
    if (!context.driver->iChangePIN) return {-1, missing_function_text("iChangePIN")};
    DriverArea out(kDriverArea);
    const int status = context.driver->iChangePIN(1, out.data());
    if (status != 0) return {status, out.text()};
    return {0, {}};
}

PinResult ChangePin() { return ChangePin(default_ss_card_context()); }

void ReadSsCard(bool pinRequired, TCardOut& record) { ReadSsCard(default_ss_card_context(), pinRequired, record); }

void ReadSsCard(const SsCardContext& context, bool pinRequired, TCardOut& record) {
    const CardDriverApi* driver = context.driver;
    if (!driver) {
        fail(record, context.driver_error);
        return;
    }
    if (!driver->iReadCardBas) {
        fail(record, missing_function_text("iReadCardBas"));
        return;
    }
    DriverArea out(kDriverArea);
    const int rc = driver->iReadCardBas(1, out.data());
    journal::trace(gbk("读卡硬件返回结果:\t") + std::to_string(rc));

    if (rc == 0) {
        ParseCardRecordText(out.text(), record);
    } else if (std::find(std::begin(kHsmStatuses), std::end(kHsmStatuses), rc) != std::end(kHsmStatuses)) {
        if (!driver->iReadCardBas_HSM_Step1) return fail(record, missing_function_text("iReadCardBas_HSM_Step1"));
        if (!driver->iReadCardBas_HSM_Step2) return fail(record, missing_function_text("iReadCardBas_HSM_Step2"));
        DriverArea step1(kDriverArea);
        const int rc1 = driver->iReadCardBas_HSM_Step1(1, step1.data());
        record.CardId = step1.text();
        if (rc1 != 0) return fail(record, record.CardId);
        if (!FetchHsmAuthData(context, record)) return;
        // The driver takes the authentication data as a writable text: hand it a
        // copy in an area of its own.
        DriverArea auth_data(std::max(kDriverArea, record.CardId.size() + 1));
        std::copy(record.CardId.begin(), record.CardId.end(), auth_data.data());
        DriverArea step2(kDriverArea);
        const int rc2 = driver->iReadCardBas_HSM_Step2(auth_data.data(), step2.data());
        record.CardId = step2.text();
        if (rc2 != 0) return fail(record, record.CardId);
        ParseCardRecordText(record.CardId, record);
    } else {
        return fail(record, gbk("读卡异常:") + std::to_string(rc));
    }

    if (record.RegionCode.substr(0, 2) != kLocalRegionPrefix) {
        CheckRemoteCard(context, record);
        return;
    }
    if (pinRequired) {
        const PinResult pin = VerifyPin(context);
        if (pin.status != 0) fail(record, pin.text);
    }
}

}  // namespace vorla::cards
