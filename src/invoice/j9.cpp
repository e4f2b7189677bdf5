#include "invoice/j9.h"

#include <new>

#include "common/json.h"
#include "common/text.h"
#include "entry/config.h"
#include "interceptor/http_helpers.h"
#include "invoice/filling.h"
#include "common/text.h"
#include "invoice/record.h"
#include "journal/log4me.h"
#include "messages/serializer.h"
#include "platform/platform.h"
#include "report/present.h"

namespace vorla::invoice {
namespace {


void log_quietly(std::string_view gbk_text) {
    try {
        log4me::error(log4me::stamp_serial() + "\t" + std::string(gbk_text));
    } catch (...) {
        // The answer does not depend on the diagnostic log.
    }
}

// The failure text of an answer whose result_code is not "100".
std::string service_failure(const json::Value& answer) {
    const json::Value* exception = answer.member("result_exception");
    if (exception) {
        std::string text = value_text(exception);
        if (!text.empty()) return text;
        if (exception->kind == json::Value::Kind::Object)
            if (const json::Value* message = exception->member("message")) return value_text(message);
    }
    return value_text(answer.member("result_data"));
}

}  // namespace

std::string invoice_service_address(std::string_view center_address) {
    return center_web_base(center_address) + std::string(kExecuteAction);
}

std::string invoice_query_body(std::string_view akb020, std::string_view akc190, std::string_view akc191,
                               std::string_view bka135, std::string_view ver) {
    std::string body =
        R"({"serviceName": "com.tembro.frontendsettle.service.medical.fpdy.InvoiceInfoService", )"
        R"("methodName": "queryInvoiceInfoByAkc190", "params": [ )";
    body += R"({"paramName": "akb020", "paramType": "String", "paramIndex": "0", "paramValue":")";
    body += json_escaped(akb020);
    body += R"("},{"paramName": "akc190", "paramType": "String", "paramIndex": "1", "paramValue":")";
    body += json_escaped(akc190);
    body += R"("},{"paramName": "akc191", "paramType": "String", "paramIndex": "2", "paramValue":")";
    body += json_escaped(akc191);
    body += R"("},{"paramName": "bka135", "paramType": "String", "paramIndex": "3", "paramValue":")";
    body += json_escaped(bka135);
    body += R"("},{"paramName": "ver", "paramType": "String", "paramIndex": "4", "paramValue":")";
    body += json_escaped(ver);
    body += R"("} ] })";
    return body;
}

bool fetch_and_fill(const TJ9InBean& request, report::Report& report, std::string& failure) {
    failure.clear();
    const TJ9InHead& in = request.MSG.HEAD;
    const http::Result query = http::form_post(invoice_service_address(config().center_address),
                                               invoice_query_body(in.YLJGDM, in.YBLSH, in.YYLSH, in.TFBZ));
    if (!query.ok) {
        failure = remove_all(query.text, gbk("卡鉴权系统错误:"), true);
        return false;
    }

    const auto answer = json::parse_lenient(platform::gbk_to_utf8(query.text));
    if (!answer || answer->kind != json::Value::Kind::Object) {
        // Not an answer of the service: a failure of this invoice, never a
        // transaction to hand to the center.
        log_quietly(gbk("发票服务应答不是JSON对象: ") + first_chars(query.text, 200));
        return false;
    }
    if (value_text(answer->member("result_code")) != "100") {
        failure = service_failure(*answer);
        return false;
    }
    const json::Value* record = answer->member("result_data");
    if (!record) return false;
    if (value_text(record).empty()) {
        failure = gbk("未检索到结算信息！");
        return false;
    }
    if (record->kind != json::Value::Kind::Object) return false;
    const bool outpatient = value_text(record->member("aae601")) == "0";
    return outpatient ? fill_outpatient(report, *record, failure) : fill_inpatient(report, *record, failure);
}

void handle_j9(const InvokeRequest& request, std::string& out) {
    TJ9InBean in;
    read_bean(request.param("indata"), in);

    TJ9OutBean answer;
    answer.HEAD.VER = in.HEAD.VER;
    answer.HEAD.APP = in.HEAD.APP;
    answer.HEAD.WorkDate = in.HEAD.WorkDate;
    answer.HEAD.Reserve = in.HEAD.Reserve;
    answer.HEAD.ErrDetail = in.HEAD.ErrDetail;
    answer.HEAD.ErrCode = "-1";

    report::Report report;
    std::string failure;
    if (!fetch_and_fill(in, report, failure)) {
        answer.HEAD.ErrDetail = failure;
        out = write_bean(answer);
        return;
    }

    answer.HEAD.ErrCode = "0";
    try {
        if (in.MSG.HEAD.DISPLAY == "0")
            report::print(report);
        else
            report::preview(report);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        // The invoice was not printed: the HIS is told so, and the transaction
        // is not handed on to the center.
        answer.HEAD.ErrCode = "-1";
        answer.HEAD.ErrDetail = gbk("发票打印失败:") + platform::utf8_to_gbk(e.what());
        log_quietly(answer.HEAD.ErrDetail);
    }
    out = write_bean(answer);
}

}  // namespace vorla::invoice
