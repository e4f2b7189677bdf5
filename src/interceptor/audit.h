// The monitoring interceptor: around D1 and E1 it records what the center
// accepted (store.h); before F1 it sends the audit request, built from the stored
// registration and fee details and the F1 request, to the monitoring service.
// Active only while the monitoring switch of the configuration is on.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "interceptor/store.h"
#include "messages/catalogue.h"

namespace vorla::interceptor {

// The interceptor: 1 done or nothing to do; -1 a store failure of D1 or E1 with
// its message in `error`. With the switch off it does nothing and returns 1.
// For F1 it runs the audit and returns 1 whether or not a request was sent; a
// failure of the audit (store missing, unreadable document...) is thrown.
int monitoring_interceptor(std::string_view hid, std::string_view biztype, std::string_view caller_ip,
                           std::string_view request_gbk, std::string_view answer_gbk, std::string& error);

// F1: looks up the registration of the request's YBLSH and, when it is stored,
// posts the audit request to the configured monitoring address. True when a
// request was sent. Throws on a failure of the store or of reading the request.
bool audit(std::string_view hid, std::string_view request_gbk);

// ---- the parts of the audit request ----------------------------------------------

// The values of the moment the request is built.
struct AuditMoment {
    std::string stamp_serial;   // 20 characters, appended to the F1 YBLSH
    std::string operate_time;   // yyyymmddhhmmss
    std::string local_address;  // the workstation's IPv4 address
};

// Sex ("男"/"女", GBK) and birth date (yyyymmdd000000) from an 18-character
// identity number: year from characters 7-10, month 11-12, day 13-14, sex from
// the parity of character 17. A text shorter than 17 characters, a part that is
// no number, an invalid date or a character 17 that is no digit gives
// 19970101000000 and "男".
struct IdentityFacts {
    std::string sex;
    std::string birth_date;
};
IdentityFacts identity_facts(std::string_view sfzh);

struct Diagnosis {
    std::string code;
    std::string desc;
};
// The registration's BZBM split at "," and line ends (one diagnosis per line,
// empty lines included), then the F1's CYZDBM/CYZDMC when CYZDBM is not empty,
// then the registration's RYZDBM/RYZDMC when RYZDBM is not empty; "无"/"无" when
// all of these give none.
std::vector<Diagnosis> diagnoses_of(const TD1InHead& registration, const TF1InHead& settlement);

// The audit request as compact JSON text (GBK): auth_token, public_type,
// org_code and the content object of 23 members. Strings escape the double
// quote, the backslash and every control character (\u00XX).
std::string audit_request_text(std::string_view hid, const TF1InHead& settlement, const TD1InHead& registration,
                               const std::vector<FeeDetailRow>& fee_details, const AuditMoment& moment);

}  // namespace vorla::interceptor
