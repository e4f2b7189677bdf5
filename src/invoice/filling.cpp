#include "invoice/filling.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <optional>

#include "common/datetime.h"
#include "common/text.h"
#include "invoice/amounts.h"
#include "invoice/capital.h"
#include "common/text.h"
#include "invoice/record.h"
#include "journal/log4me.h"
#include "platform/fs.h"
#include "platform/platform.h"
#include "platform/printing.h"

namespace vorla::invoice {
namespace {

struct FundEntry {
    std::string_view code;
    std::string_view name;  // UTF-8
};

constexpr std::array kFunds = {
    FundEntry{"11101", "个人现金"},       FundEntry{"12101", "医疗机构承担"},   FundEntry{"23102", "账户支出"},
    FundEntry{"23103", "基本统筹"},       FundEntry{"23104", "药品加成"},       FundEntry{"23105", "生育基金"},
    FundEntry{"23106", "工伤基金"},       FundEntry{"23203", "大额补助"},       FundEntry{"23303", "公务员补助"},
    FundEntry{"23503", "离休支出"},       FundEntry{"23803", "居民统筹支出"},   FundEntry{"31101", "大病保险基金支出"},
    FundEntry{"32101", "大病保险财政补助"}, FundEntry{"51101", "民政救助"},     FundEntry{"61101", "扶贫保"},
    FundEntry{"41101", "政府兜底"},
};

// Funds printed in their own places, not in C_JJXX.
constexpr std::string_view kExcludedFunds = "23103,23803,23503,23106,23203,31101,23303,11101,13101,";

struct FeeCategory {
    std::string_view gclb;  // UTF-8, compared whole
    std::string_view total;
};

constexpr std::array kFeeCategories = {
    FeeCategory{"11^西药", "C_XYF"},           FeeCategory{"12^中成药", "C_ZYF"},
    FeeCategory{"13^中药饮片", "C_CYF"},       FeeCategory{"14^民族用药", "C_CYF"},
    FeeCategory{"15^医院制剂", "C_CYF"},       FeeCategory{"21^检查费", "C_JCF"},
    FeeCategory{"22^特殊检查费", "C_JCF"},     FeeCategory{"27^诊察费", "C_JCF"},
    FeeCategory{"44^产前检查费", "C_JCF"},     FeeCategory{"92^挂号费", "C_JCF"},
    FeeCategory{"23^输氧费", "C_SYF"},         FeeCategory{"24^手术费", "C_SSF"},
    FeeCategory{"42^麻醉费", "C_SSF"},         FeeCategory{"25^化验费", "C_HYF"},
    FeeCategory{"26^输血费", "C_SXF"},         FeeCategory{"31^治疗费", "C_TREAT"},
    FeeCategory{"32^特殊治疗费", "C_TREAT"},   FeeCategory{"33^护理费", "C_HLF"},
    FeeCategory{"41^医疗服务费", "C_HLF"},     FeeCategory{"34^床位费", "C_CWF"},
    FeeCategory{"35^急救床费", "C_CWF"},       FeeCategory{"43^进口内置材料费", "C_TSCLF"},
    FeeCategory{"93^国产内置材料", "C_TSCLF"}, FeeCategory{"94^材料费", "C_TSCLF"},
    FeeCategory{"95^一次性医用耗材", "C_TSCLF"}, FeeCategory{"45^新生儿费", "C_YEF"},
    FeeCategory{"91^其他费用", "C_QT"},
};

// The eighteen fee totals in the order they are set.
constexpr std::array<std::string_view, 18> kFeeTotals = {
    "C_CWF", "C_SSF", "C_JSF", "C_CYF", "C_JCF", "C_TSCLF", "C_YEF", "C_TREAT", "C_HYF",
    "C_QNF", "C_QT",  "C_ZLF", "C_SXF", "C_XYF", "C_FSF",   "C_SYF", "C_ZYF",   "C_HLF",
};

// Loads the template of the layout; false with the failure text.
bool load_template(report::Report& report, std::string_view file_name, std::string& failure) {
    const std::string path = template_path(file_name);
    failure = gbk("不存在报表文件") + platform::gbk_from_native_path(path);
    if (!platform::path_exists(path)) return false;
    try {
        report.load(path);
    } catch (const std::exception& e) {
        try {
            log4me::error(log4me::stamp_serial() + "\t" + platform::utf8_to_gbk(e.what()));
        } catch (...) {
            // The invoice answer does not depend on the diagnostic log.
        }
        return false;
    }
    failure.clear();
    return true;
}

// Only when the view exists and is a memo view.
void set_optional_memo(report::Report& report, std::string_view name, std::string text) {
    report::View* v = report.find_view(name);
    if (v && v->is_memo()) v->set_text(std::move(text));
}

// Characters 1-4, 6-7 and 9-10 as year, month and day.
std::optional<DateValue> settlement_date(std::string_view ake010) {
    auto chars = [&](std::size_t first, std::size_t count) {
        return last_chars(first_chars(ake010, first + count - 1), count);
    };
    auto number = [](const std::string& s, int& out) {
        if (s.empty()) return false;
        for (char c : s)
            if (c < '0' || c > '9') return false;
        out = std::stoi(s);
        return true;
    };
    if (gbk_char_count(ake010) < 10) return std::nullopt;
    int year = 0, month = 0, day = 0;
    if (!number(chars(1, 4), year) || !number(chars(6, 2), month) || !number(chars(9, 2), day)) return std::nullopt;
    return try_encode_date(year, month, day);
}

bool fill_outpatient_body(report::Report& r, const SettlementRecord& rec) {
    const json::Value& fees = rec.list("fygclist");

    r.set_text("jzhm", last_chars("000000000" + rec.text("akc191"), 8));
    r.set_text("hzxm", rec.text("aac003"));
    const auto date = settlement_date(rec.text("ake010"));
    r.set_value("jzrq", date ? *date : from_local_time(platform::local_now()));
    const std::size_t shown = std::min<std::size_t>(fees.items.size(), 4);
    for (std::size_t i = 0; i < shown; ++i)
        r.set_text("fymc" + std::to_string(i + 1), name_part(value_text(fees.items[i].member("gclb"))));
    for (std::size_t i = 0; i < shown; ++i)
        r.set_value("fyje" + std::to_string(i + 1), value_number(fees.items[i].member("gcze")));
    r.set_value("hjje", rec.number("akc264"));
    r.set_value("zhsfje", rec.number("ake306"));
    r.set_value("xjzhsfje", rec.number("ake307"));
    r.set_text("sub", "sub");
    r.set_text("xh", last_chars("0000000" + rec.text("aae072"), 6));
    r.set_text("sfy_sub", rec.text("aae011"));
    r.set_text("dx", capital_amount(rec.number("akc264")));
    r.set_text("yymc", rec.text("akb021"));
    const double balance = rec.number("akc087") - rec.number("ake306");
    r.set_value("zhye", balance < 0 ? 0.0 : balance);

    if (report::View* v = r.find_view("rd_pid")) v->set_text(gbk("结算流水号:") + rec.text("akc190"));
    const double insurance = rec.number("ake300");
    if (insurance != 0)
        if (report::View* v = r.find_view("RD_INSURANCE")) v->set_text(gbk("医保支付金额:") + fixed2(insurance));
    return true;
}

bool fill_inpatient_body(report::Report& r, const SettlementRecord& rec) {
    const json::Value& fees = rec.list("fygclist");
    const json::Value& funds = rec.list("kc62list");

    // 1. Fee totals.
    std::map<std::string_view, double> totals;
    for (std::string_view name : kFeeTotals) totals[name] = 0;
    for (const json::Value& line : fees.items)
        totals[fee_total_of(value_text(line.member("gclb")))] += value_number(line.member("gcze"));
    for (std::string_view name : kFeeTotals) r.set_text(name, total_text(totals[name]));

    // 2., 3. The settlement's own texts.
    const std::string insurance_type = rec.text("aae140");
    const std::string k = code_part(insurance_type);
    r.set_text("C_ORGNAME", rec.text("akb021"));
    set_optional_memo(r, "RM_CBD", rec.text("aab034"));
    set_optional_memo(r, "RM_Date", first_chars(rec.text("ake010"), 10));
    r.set_text("C_INSUREANCE_NAME", name_part(insurance_type) + "," + name_part(rec.text("aka130")));
    r.set_text("C_YBZH", rec.text("aae135"));
    r.set_text("C_RYXM", rec.text("aac003"));
    const std::string sex = rec.text("aac004");
    r.set_text("C_RYXB", sex == "1" ? gbk("男") : sex == "2" ? gbk("女") : gbk("未知"));
    r.set_text("C_address", "");
    const std::string inpatient_no = rec.text("bkc190");
    r.set_text("C_ZYHM", inpatient_no.empty() ? rec.text("akc191") : inpatient_no);
    r.set_text("C_ZYRQ", gbk("自") + first_chars(rec.text("bkc192"), 10) + gbk("至") +
                             first_chars(rec.text("bkc194"), 10) + gbk("共") + rec.text("bke001") + gbk("天"));
    r.set_text("C_KSNAME", rec.text("akf002"));
    r.set_text("C_FYHJDX", capital_amount(rec.number("akc264")));
    r.set_text("C_FYHJ", rec.text("akc264"));
    r.set_text("C_QFE", rec.text("ake309"));
    r.set_text("C_GFDZF", rec.text("ake309"));

    // 4. Fund places of the insurance type; these memo views must exist.
    auto fund_place = [&](std::string_view memo, std::string_view code) {
        r.set_memo_text(memo, fund_name(code, ""));
    };
    auto fund_value = [&](std::string_view variable, std::string_view code) {
        r.set_text(variable, fixed2(fund_amount(code, funds)));
    };
    if (k == "310") {
        fund_place("Memo25", "23103");
        fund_value("C_GFDZF", "23103");
        fund_place("Memo26", "23203");
        fund_value(kLargeAmountAidVariable, "23203");
        fund_place("Memo27", "23303");
        fund_value("C_YJYZF", "23303");
    } else if (k == "390") {
        fund_place("Memo25", "23803");
        fund_value("C_GFDZF", "23803");
        fund_place("Memo26", "31101");
        fund_value("C_YJYZF", "31101");
    } else if (k == "340") {
        fund_place("Memo25", "23503");
        fund_value("C_GFDZF", "23503");
    } else if (k == "510") {
        fund_place("Memo25", "23106");
        fund_value("C_GFDZF", "23106");
    }

    // 5. The other funds.
    std::string others;
    for (const json::Value& fund : funds.items) {
        const std::string bka157 = value_text(fund.member("bka157"));
        const std::string code = code_part(bka157);
        if (excluded_fund(code)) continue;
        if (!others.empty()) others += ",";
        others += fund_name(code, name_part(bka157)) + ":" + fixed2(value_number(fund.member("aae019")));
    }
    r.set_text("C_JJXX", others);

    // 6. Payments.
    r.set_text("C_QZF", rec.text("ake308"));
    r.set_text("C_GRZFXJ", rec.text("ake305"));
    r.set_text("C_ZHZF", rec.text("ake306"));
    r.set_text("C_XJZF", rec.text("ake307"));
    r.set_text("C_TCZFXJ", rec.text("ake300"));
    r.set_text("C_TOTAL_COSTSDX", capital_amount(rec.number("ake307")));
    r.set_text("C_TOTAL_COSTS", rec.text("ake307"));
    r.set_text("C_YJZE", rec.text("yjze"));
    r.set_text("C_FY", rec.text("ake307"));
    // Prepaid minus cash payment, to the fen: a refund (C_TK) or an amount still owed (C_QF).
    const double d = std::round((rec.number("yjze") - rec.number("ake307")) * 100) / 100;
    if (d >= 0) {
        r.set_text("C_QF", "");
        r.set_text("C_TK", fixed2(d));
    } else {
        r.set_text("C_QF", fixed2(-d));
        r.set_text("C_TK", "");
    }
    r.set_text("C_USER", rec.text("aae011"));
    set_optional_memo(r, "RM_JSJJLH", rec.text("akc190"));
    return true;
}

template <class Body>
bool fill(report::Report& report, std::string_view file_name, const json::Value& record, std::string& failure,
          Body body) {
    if (!load_template(report, file_name, failure)) return false;
    try {
        return body(report, SettlementRecord(record));
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        try {
            log4me::error(log4me::stamp_serial() + "\t" + platform::utf8_to_gbk(e.what()));
        } catch (...) {
        }
        failure.clear();
        return false;
    }
}

}  // namespace

std::string template_path(std::string_view file_name) {
    return platform::system_directory() + platform::path_separator() + std::string(file_name);
}

bool fill_outpatient(report::Report& report, const json::Value& record, std::string& failure) {
    return fill(report, kOutpatientTemplate, record, failure, fill_outpatient_body);
}

bool fill_inpatient(report::Report& report, const json::Value& record, std::string& failure) {
    return fill(report, kInpatientTemplate, record, failure, fill_inpatient_body);
}

std::string fund_name(std::string_view code, std::string_view fallback) {
    for (const FundEntry& f : kFunds)
        if (f.code == code) return gbk(f.name);
    return std::string(fallback);
}

double fund_amount(std::string_view code, const json::Value& kc62list) {
    for (const json::Value& fund : kc62list.items)
        if (code_part(value_text(fund.member("bka157"))) == code) return value_number(fund.member("aae019"));
    return 0;
}

bool excluded_fund(std::string_view code) {
    // Whole codes of the list: a code that is only part of a listed one (or
    // empty) is not excluded.
    std::string_view list = kExcludedFunds;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        if (list.substr(0, comma) == code && !code.empty()) return true;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

std::string_view fee_total_of(std::string_view gclb) {
    for (const FeeCategory& c : kFeeCategories)
        if (gbk(c.gclb) == gclb) return c.total;
    return "C_QT";
}

}  // namespace vorla::invoice
