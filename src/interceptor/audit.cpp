#include "interceptor/audit.h"

#include "center/client_info.h"
#include "common/json.h"
#include "common/text.h"
#include "entry/config.h"
#include "interceptor/http_helpers.h"
#include "journal/log4me.h"
#include "messages/serializer.h"
#include "platform/platform.h"

namespace vorla::interceptor {
namespace {

using JsonWriter = json::Writer;

bool digits_only(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

int number_of(std::string_view digits) {
    int v = 0;
    for (char c : digits) v = v * 10 + (c - '0');
    return v;
}

std::string yyyymmdd_of(DateValue value) {
    const DateParts p = decode_date_time(value);
    return pad(p.year, 4) + pad(p.month, 2) + pad(p.day, 2);
}

// Lines of a text split at CR, LF or CR LF; a final line end adds no empty line.
std::vector<std::string> lines_of(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
        lines.emplace_back(text.substr(start, end - start));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
        start = end + 1;
    }
    return lines;
}

}  // namespace

IdentityFacts identity_facts(std::string_view sfzh) {
    const IdentityFacts fallback{gbk("男"), "19970101000000"};
    if (sfzh.size() < 17) return fallback;
    const std::string_view year = sfzh.substr(6, 4), month = sfzh.substr(10, 2), day = sfzh.substr(12, 2);
    if (!digits_only(year) || !digits_only(month) || !digits_only(day)) return fallback;
    if (!is_valid_date(number_of(year), number_of(month), number_of(day))) return fallback;
    const char sex = sfzh[16];
    if (sex < '0' || sex > '9') return fallback;
    return {gbk((sex - '0') % 2 == 1 ? "男" : "女"), std::string(year) + std::string(month) + std::string(day) + "000000"};
}

std::vector<Diagnosis> diagnoses_of(const TD1InHead& registration, const TF1InHead& settlement) {
    std::vector<Diagnosis> out;
    std::string codes = registration.BZBM;
    for (char& c : codes)
        if (c == ',') c = '\n';
    for (std::string& line : lines_of(codes)) out.push_back({line, line});
    if (!settlement.CYZDBM.empty()) out.push_back({settlement.CYZDBM, settlement.CYZDMC});
    if (!registration.RYZDBM.empty()) out.push_back({registration.RYZDBM, registration.RYZDMC});
    if (out.empty()) out.push_back({gbk("无"), gbk("无")});
    return out;
}

std::string audit_request_text(std::string_view hid, const TF1InHead& settlement, const TD1InHead& registration,
                               const std::vector<FeeDetailRow>& fee_details, const AuditMoment& moment) {
    const std::string none = gbk("无");
    const IdentityFacts person = identity_facts(registration.SFZH);
    JsonWriter w;
    w.begin_object();
    w.member("auth_token", "QZV");
    w.member("public_type", "audit");
    w.member("org_code", hid);
    w.name("content").begin_object();
    w.member("sex", person.sex);
    w.member("birth_date", person.birth_date);
    w.member("patient_name", registration.RYXM);
    w.member("insurance_type", "66");
    w.member("tran_serial_no", settlement.YBLSH + moment.stamp_serial);
    w.member("operate_ip", moment.local_address);
    w.member("operate_mac", "aa-bb-cc-dd-ee");
    w.member("operate_machine_code", "");
    w.member("operate_person_code", settlement.CZYXM.empty() ? none : settlement.CZYXM);
    w.member("operate_person_name", settlement.CZYXM);
    w.member("operate_time", moment.operate_time);
    w.member("visit_no", settlement.YYLSH);
    w.member("medical_dept_code", std::to_string(registration.KSDM));
    w.member("medical_dept_name", none);
    w.member("visit_type", "2");
    w.member("medicine_type", registration.YLLB);
    w.member("in_hosp_date", yyyymmdd_of(registration.RYRQ));
    w.member("card_no", registration.SBKH);
    w.name("diagnoses").begin_array();
    int number = 0;
    for (const Diagnosis& d : diagnoses_of(registration, settlement)) {
        w.begin_object();
        w.member("diagnose_no", std::to_string(++number));
        w.member("diagnose_code", d.code);
        w.member("diagnose_desc", d.desc);
        w.end_object();
    }
    w.end_array();
    w.member("doctor_advice_no", settlement.YBLSH);
    w.member("doctor_code", registration.YSDM);
    w.member("doctor_name", registration.YSDM);
    w.name("advice_details").begin_array();
    for (const FeeDetailRow& row : fee_details) {
        w.begin_object();
        w.member("project_code", row.YBXMDM);
        w.member("hospital_code", row.YBXMDM);
        w.member("project_name", none);
        w.member("price", row.FYDJ);
        w.member("medical_number", row.FYSL);
        w.member("amount", row.FYJE);
        w.member("item_tag", row.XMBJ == "1" ? "2" : "1");
        w.member("take_frequence", gbk("1/日"));
        w.member("deliver_way", "");
        w.member("single_dose_number", "1");
        w.member("use_day", "1");
        w.member("dose_unit", gbk("个"));
        w.end_object();
    }
    w.end_array();
    w.end_object();
    w.end_object();
    return w.take();
}

bool audit(std::string_view hid, std::string_view request_gbk) {
    TF1InBean request;
    read_bean(request_gbk, request);
    TD1InBean registration;
    std::vector<FeeDetailRow> fee_details;
    {
        Store store;
        registration = store.look_up_registration(request.MSG.HEAD.YBLSH);
        if (registration.HEAD.ErrCode != "0") return false;
        // A registration without any fee detail stored on this workstation yet
        // (the fee-detail table does not exist) is audited with no advice.
        if (store.has_table(kFeeDetailTable)) fee_details = store.list_fee_details(request.MSG.HEAD.YBLSH);
    }
    const platform::LocalTime now = platform::local_now();
    const AuditMoment moment{log4me::stamp_serial(),
                             format_yyyymmdd(now) + pad(now.hour, 2) + pad(now.minute, 2) + pad(now.second, 2),
                             center::local_address()};
    const std::string text = audit_request_text(hid, request.MSG.HEAD, registration.MSG.HEAD, fee_details, moment);
    // The answer is not examined: the monitoring POST has logged the exchange.
    http::monitoring_post(config().monitor_address, text);
    return true;
}

int monitoring_interceptor(std::string_view hid, std::string_view biztype, std::string_view /*caller_ip*/,
                           std::string_view request_gbk, std::string_view answer_gbk, std::string& error) {
    if (!config().monitoring) return 1;
    RecordResult recorded;
    if (biztype == "D1") {
        recorded = record_registration(request_gbk, answer_gbk);
    } else if (biztype == "E1") {
        recorded = record_fee_details(request_gbk, answer_gbk);
    } else if (biztype == "F1") {
        audit(hid, request_gbk);
        return 1;
    } else {
        return 1;
    }
    error = recorded.error;
    return recorded.result;
}

}  // namespace vorla::interceptor
