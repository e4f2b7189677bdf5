// The insurance e-voucher (through the e-voucher component, reader 9) and the
// electronic social security card code (resolved at the insurance center).
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "cards/card_record.h"
#include "cards/driver_api.h"
#include "entry/config.h"
#include "interceptor/http_helpers.h"

namespace vorla::cards {

// What QueryEVoucher talks to. default_evoucher_context() binds the component
// (loaded once and kept), the configured settings and a message box.
struct EVoucherContext {
    bool component_loaded = false;
    NationEcTrans_fn trans = nullptr;  // nullptr: the component lacks NationEcTrans
    std::string address;               // "请求地址"
    std::string input;                 // evoucher_input_text()
    // Shows the network failure text (GBK) to the cashier.
    std::function<void(std::string_view text)> network_failure;
};
EVoucherContext default_evoucher_context();

// The input text of NationEcTrans: compact JSON, values escaped:
// {"data":{"businessType":…,"officeId":…,"officeName":…,"operatorId":…,
// "operatorName":…,"orgId":…},"orgId":…,"transType":"ec.query"}
std::string evoucher_input_text(const Configuration& settings);

// The e-voucher result text: code, "^^", answer. "-8^^NationECCode.dll不存在",
// "-7^^函数NationEcTrans不存在", "-10^^医保电子凭证网络不通，请ping测<host>" when
// the component fails (the cashier is shown that text too), otherwise the
// component's code and answer.
std::string QueryEVoucher();
std::string QueryEVoucher(const EVoucherContext& context);

// Reader 9: fills the record from an e-voucher result text. A text without
// "^^" fails with "返回报文格式错误[-9]"; a code that is not an integer or an
// answer that cannot be read raises CardReadError with the record failed.
void ParseEVoucherResult(std::string_view data, TCardOut& record);

// The qrcode action's address: the center address without its service path
// "/RemoteFacedeBean/RemoteFacedeBeanService?WSDL" (any letter case), followed
// by "/tembroweb/action/qrcode.do".
std::string qrcode_address(std::string_view center_address);
// {"appid": "", "qrcode":"<code, escaped>"}
std::string qrcode_request(std::string_view code);

// Completes a record whose IdNumber holds an electronic social security card
// code (CardType "4") from the insurance center's qrcode action.
void ResolveECardCode(TCardOut& record);
void ResolveECardCode(TCardOut& record, std::string_view center_address,
                      const std::function<http::Result(std::string_view url, std::string_view body)>& json_post);

}  // namespace vorla::cards
