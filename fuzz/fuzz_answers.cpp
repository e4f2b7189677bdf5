// libFuzzer target for the readers of the services' JSON answers: the first
// input byte picks the reader, the rest is the answer as the service sent it
// (GBK): the e-voucher component's result, the center's qrcode answer, the
// upload endpoint's answer and the invoice service's settlement record, filled
// into the real invoice templates. Every reader must come back with a result
// or a failure text; a template or record error is an exception the handler's
// trap takes, so it is allowed here too.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "auxiliary/auxiliary.h"
#include "cards/evoucher.h"
#include "cards/readers.h"
#include "common/json.h"
#include "invoice/filling.h"
#include "platform/platform.h"
#include "report/report.h"

namespace {

using namespace vorla;

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_answers: %s\n", what);
        __builtin_trap();
    }
}

void evoucher(std::string_view answer) {
    cards::TCardOut record;
    try {
        cards::ParseEVoucherResult(answer, record);
    } catch (const cards::CardReadError&) {
        check(record.ResultCode == -1, "an unreadable e-voucher answer did not fail the record");
        return;
    }
    check(record.ResultCode != 0, "an e-voucher answer left no result");
}

void qrcode(std::string_view answer) {
    cards::TCardOut record;
    record.IdNumber = "CODE";
    cards::ResolveECardCode(record, "http://127.0.0.1:9/RemoteFacedeBean/RemoteFacedeBeanService?WSDL",
                            [answer](std::string_view, std::string_view) { return http::Result{true, std::string(answer)}; });
    check(record.ResultCode == 1 || (record.ResultCode == -1 && !record.ErrorText.empty()),
          "a qrcode answer neither resolved the code nor failed with a text");
}

void upload(std::string_view answer) {
    TDataHead head;
    std::string url;
    apply_upload_answer(answer, head, url);
}

void invoice_record(std::string_view answer, bool outpatient) {
    const auto parsed = json::parse_lenient(platform::gbk_to_utf8(answer));
    if (!parsed || parsed->kind != json::Value::Kind::Object) return;
    // The service's answer carries the record as result_data; a bare record does too.
    const json::Value* data = parsed->member("result_data");
    const json::Value& record = data && data->kind == json::Value::Kind::Object ? *data : *parsed;
    report::Report report;
    std::string failure;
    try {
        report.load(std::string(VORLA_TEMPLATE_DIR) + (outpatient ? "/kwmzfp.rmf" : "/kwzyfp.rmf"));
        if (outpatient)
            invoice::fill_outpatient(report, record, failure);
        else
            invoice::fill_inpatient(report, record, failure);
    } catch (const std::exception&) {
        // RecordError or ReportError: the J9 handler's trap answers the HIS.
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view answer(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 5) {
        case 0: evoucher(answer); break;
        case 1: qrcode(answer); break;
        case 2: upload(answer); break;
        case 3: invoice_record(answer, true); break;
        default: invoice_record(answer, false); break;
    }
    return 0;
}
