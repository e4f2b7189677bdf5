// Invoice filling: the outpatient and inpatient invoice templates filled from a
// settlement record of the invoice service.
#pragma once

#include <string>
#include <string_view>

#include "common/json.h"
#include "report/report.h"

namespace vorla::invoice {

inline constexpr std::string_view kOutpatientTemplate = "kwmzfp.rmf";
inline constexpr std::string_view kInpatientTemplate = "kwzyfp.rmf";

// For insurance type "310" the amount of fund 23203 (大额补助) goes into this
// variable of its own, beside view Memo26; C_YJYZF then carries the 23303
// amount beside Memo27.
inline constexpr std::string_view kLargeAmountAidVariable = "C_DEBZ";

// Full path of a template: the system directory, the separator, the file name.
std::string template_path(std::string_view file_name);

// Fill the outpatient (kwmzfp.rmf) or inpatient (kwzyfp.rmf) invoice: the
// template is loaded from the system directory into `report`, then its
// variables and views are set from `record` (the service's result_data).
// False with `failure` (GBK) set when the template is missing or cannot be
// loaded ("不存在报表文件" + path); false with an empty `failure` when the record
// lacks a list the layout needs or the template lacks a view the filling
// writes. Never throws for bad data.
bool fill_outpatient(report::Report& report, const json::Value& record, std::string& failure);
bool fill_inpatient(report::Report& report, const json::Value& record, std::string& failure);

// The fund-code table: the fund's name, `fallback` for a code not in the table.
std::string fund_name(std::string_view code, std::string_view fallback);

// The aae019 of the first kc62list element whose bka157 code part equals
// `code`; 0 when there is none.
double fund_amount(std::string_view code, const json::Value& kc62list);

// Whether a fund is printed on its own place rather than in the other-funds
// line C_JJXX: 23103, 23803, 23503, 23106, 23203, 31101, 23303, 11101, 13101.
bool excluded_fund(std::string_view code);

// The fee total (C_XYF, C_ZYF …) that a fee line's category (code^name,
// compared whole) counts under; C_QT for every other category.
std::string_view fee_total_of(std::string_view gclb);

}  // namespace vorla::invoice
