#include "query/settlement_choices.h"

#include <charconv>

#include "common/text.h"
#include "messages/serializer.h"
#include "query/code_name.h"

// The deployment region's name, shown before "社会保障卡信息" in the caption of
// the settlement choices dialog (UTF-8; a build for a region sets its own with
// -DVORLA_REGION_NAME="...").
#ifndef VORLA_REGION_NAME
#define VORLA_REGION_NAME ""
#endif

namespace vorla::query {

std::string employee_insurance() {
    static const std::string s = gbk("310^职工基本医疗保险");
    return s;
}
std::string resident_insurance() {
    static const std::string s = gbk("390^城乡居民基本医疗保险");
    return s;
}
std::string major_outpatient() {
    static const std::string s = gbk("14^门诊大病");
    return s;
}
std::string_view single_disease_institutions() { return "2640200,2640221"; }

namespace {

bool all_digits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// yyyymmdd from characters 1-4, 5-6 and 7-8; nullopt when that is no date.
std::optional<DateValue> parse_yyyymmdd(std::string_view text) {
    const auto part = [text](std::size_t pos, std::size_t n) {
        return pos < text.size() ? text.substr(pos, n) : std::string_view();
    };
    const std::string_view y = part(0, 4), m = part(4, 2), d = part(6, 2);
    if (!all_digits(y) || !all_digits(m) || !all_digits(d)) return std::nullopt;
    int year = 0, month = 0, day = 0;
    std::from_chars(y.data(), y.data() + y.size(), year);
    std::from_chars(m.data(), m.data() + m.size(), month);
    std::from_chars(d.data(), d.data() + d.size(), day);
    return try_encode_date(year, month, day);
}

// A decimal text; anything that is not a number counts as 0.
double parse_decimal(std::string_view text) {
    text = trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size()) return 0;
    return v;
}

// One DETAIL row as a table row. A CBRQ that is not a date throws when
// `strict`, and is left empty otherwise.
InsuranceTypeRecord to_record(const TI1OutDetail& row, bool strict) {
    InsuranceTypeRecord r;
    r.JBJGDM = row.JBJGDM;
    r.XZDM = row.XZDM;
    if (!row.CBRQ.empty()) {
        r.CBRQ = parse_yyyymmdd(row.CBRQ);
        if (!r.CBRQ && strict) throw SettlementDataError("'" + row.CBRQ + "' is not a valid date (CBRQ)");
    }
    r.CBZT = row.CBZT;
    r.DWDM = row.DWDM;
    r.DWMC = row.DWMC;
    r.KHYH = row.KHYH;
    r.YHZH = row.YHZH;
    r.GRZHYE = parse_decimal(row.GRZHYE);
    r.DYLB = row.DYLB;
    r.YBSF = row.YBSF;
    r.JYXK = row.JYXK;
    r.WXYY = row.WXYY;
    r.JSJGDM = row.JSJGDM;
    r.YLLB = row.YLLB;
    r.JBMC = row.JBMC;
    r.YBXX = row.YBXX;
    return r;
}

// Q_JBMC from a JBMC text: "category|code^name" entries separated by "$".
std::vector<DiseaseRecord> disease_table_of(std::string_view jbmc) {
    std::vector<DiseaseRecord> out;
    for (std::string_view entry : split_items(jbmc, '$')) {
        const std::size_t bar = find_char(entry, '|');
        if (bar == std::string_view::npos) continue;  // no category: never listed
        const std::string_view rest = entry.substr(bar + 1);
        const std::size_t caret = find_char(rest, '^');
        DiseaseRecord r;
        r.DYBM = std::string(entry.substr(0, bar));
        if (caret == std::string_view::npos) {
            r.JBMC = std::string(rest);
        } else {
            r.JBBM = std::string(rest.substr(0, caret));
            r.JBMC = std::string(trim(prefix_bytes(rest.substr(caret + 1), 200)));
        }
        out.push_back(std::move(r));
    }
    return out;
}

// Q_ybxx from the list part of YBXX: "category|text" entries separated by "$".
std::vector<InformationRecord> information_table_of(std::string_view list) {
    std::vector<InformationRecord> out;
    for (std::string_view entry : split_items(list, '$')) {
        const std::size_t bar = find_char(entry, '|');
        if (bar == std::string_view::npos) continue;
        out.push_back({std::string(entry.substr(0, bar)), std::string(entry.substr(bar + 1))});
    }
    return out;
}

// CSRQ shown as yyyy-mm-dd from its characters 1-4, 5-6 and 7-8.
std::string birth_date_text(std::string_view csrq) {
    if (csrq.empty()) return {};
    const auto part = [csrq](std::size_t pos, std::size_t n) {
        return pos < csrq.size() ? std::string(csrq.substr(pos, n)) : std::string();
    };
    return part(0, 4) + "-" + part(4, 2) + "-" + part(6, 2);
}

}  // namespace

TF_display::TF_display(std::string_view i1_answer) {
    read_bean(i1_answer, answer_);
    caption_ = gbk(VORLA_REGION_NAME) + gbk("社会保障卡信息");

    const TI1OutHead& h = answer_.MSG.HEAD;
    E_shbzh = h.SHBZH;
    E_SBKH = h.SBKH;
    E_sfzh = h.SFZH;
    E_RYZW = h.RYZW;
    E_ryxm = h.RYXM;
    E_ryxb = h.RYXB;
    E_csrq = birth_date_text(h.CSRQ);
    E_ICKZT = h.ICKZT;
    E_yhmc = h.YHDM;
    E_yhkh = h.YHKH;
    E_result = answer_.HEAD.ErrCode;

    const auto& rows = answer_.MSG.DETAIL;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        radio_items_.push_back(rows[i].XZDM);
        if (i < kTypeTables)
            Q_xz[i] = to_record(rows[i], true);
        else
            rows_beyond_.push_back(to_record(rows[i], false));
    }
}

void TF_display::FormShow() {
    try {
        int pick = -1;
        for (std::size_t i = 0; i < radio_items_.size(); ++i)
            if (radio_items_[i] == employee_insurance()) pick = static_cast<int>(i);
        if (pick < 0)
            for (std::size_t i = 0; i < radio_items_.size(); ++i)
                if (radio_items_[i] == resident_insurance()) pick = static_cast<int>(i);
        if (pick < 0 && !radio_items_.empty()) pick = 0;
        if (pick >= 0) select_insurance_type(pick);
    } catch (const std::exception&) {
        // The form opens without a selection.
    }
}

void TF_display::select_insurance_type(int index) {
    if (index < 0 || index >= static_cast<int>(radio_items_.size()) || index == radio_index_) return;
    radio_index_ = index;
    Radio_xzClick();
}

void TF_display::Radio_xzClick() {
    const int i = radio_index_;
    ck_yllb_.clear();
    if (i >= 0 && i < kTypeTables)
        Q_data = Q_xz[static_cast<std::size_t>(i)];
    else if (i >= kTypeTables && static_cast<std::size_t>(i - kTypeTables) < rows_beyond_.size())
        Q_data = rows_beyond_[static_cast<std::size_t>(i - kTypeTables)];
    const InsuranceTypeRecord none;
    const InsuranceTypeRecord& row = Q_data ? *Q_data : none;

    for (std::string_view item : split_items(row.YLLB, '$')) ck_yllb_.push_back({std::string(item), false});

    ck_jbmc_.clear();
    lv_ybxx_.clear();
    Q_JBMC = disease_table_of(row.JBMC);

    M_fjxx.clear();
    Q_ybxx.clear();
    if (!row.YBXX.empty()) {
        // "-" is a single-byte character that is never part of a GBK character.
        const std::string_view ybxx = row.YBXX;
        const std::size_t dash = ybxx.find('-');
        M_fjxx = std::string(ybxx.substr(0, dash));
        if (dash != std::string_view::npos) {
            std::string_view list = ybxx.substr(dash + 1);
            list = list.substr(0, list.find('-'));
            Q_ybxx = information_table_of(list);
        }
    }

    // The default category: the last "14^门诊大病", else the first.
    if (!ck_yllb_.empty()) {
        std::size_t d = 0;
        for (std::size_t k = 0; k < ck_yllb_.size(); ++k)
            if (ck_yllb_[k].text == major_outpatient()) d = k;
        ck_yllb_[d].checked = true;
        fill_for_category(code_of(ck_yllb_[d].text));
    }
    preselect_diseases();
    focus_ok_ = true;
}

void TF_display::click_category(int index) {
    if (index < 0 || index >= static_cast<int>(ck_yllb_.size())) return;
    ck_yllb_[static_cast<std::size_t>(index)].checked = !ck_yllb_[static_cast<std::size_t>(index)].checked;
    ck_yllbClickCheck(index);
}

void TF_display::ck_yllbClickCheck(int index) {
    if (index < 0 || index >= static_cast<int>(ck_yllb_.size())) return;
    for (std::size_t k = 0; k < ck_yllb_.size(); ++k)
        if (static_cast<int>(k) != index) ck_yllb_[k].checked = false;
    const std::string code(code_of(ck_yllb_[static_cast<std::size_t>(index)].text));
    fill_for_category(code);
}

void TF_display::click_disease(int index) {
    if (index < 0 || index >= static_cast<int>(ck_jbmc_.size())) return;
    ck_jbmc_[static_cast<std::size_t>(index)].checked = !ck_jbmc_[static_cast<std::size_t>(index)].checked;
    Ck_jbmcClickCheck(index);
}

void TF_display::Ck_jbmcClickCheck(int index) {
    if (index < 0 || index >= static_cast<int>(ck_jbmc_.size())) return;
    if (several_diseases_allowed()) return;
    for (std::size_t k = 0; k < ck_jbmc_.size(); ++k)
        if (static_cast<int>(k) != index) ck_jbmc_[k].checked = false;
}

void TF_display::fill_for_category(std::string_view code) {
    ck_jbmc_.clear();
    for (const DiseaseRecord& r : Q_JBMC)
        if (r.DYBM == code) ck_jbmc_.push_back({r.JBBM + "^" + r.JBMC, false});
    preselect_diseases();
    lv_ybxx_.clear();
    for (const InformationRecord& r : Q_ybxx)
        if (r.dybm == "99" || r.dybm == code) lv_ybxx_.push_back(r.ybxx);
}

std::string TF_display::checked_category() const {
    std::string k;
    for (const CheckItem& item : ck_yllb_)
        if (item.checked) k = item.text;
    return k;
}

bool TF_display::several_diseases_allowed() const {
    if (checked_category() != major_outpatient()) return false;
    const std::string_view g = Q_data ? code_of(Q_data->JSJGDM) : std::string_view();
    // An empty code never occurs in the list.
    return g.empty() || single_disease_institutions().find(g) == std::string_view::npos;
}

void TF_display::preselect_diseases() {
    if (ck_jbmc_.empty()) return;
    if (several_diseases_allowed()) {
        for (CheckItem& item : ck_jbmc_) item.checked = true;
    } else {
        ck_jbmc_.front().checked = true;
    }
}

std::string TF_display::ok_answer() const {
    if (radio_index_ < 0 || radio_index_ >= static_cast<int>(radio_items_.size()))
        throw NothingSelectedError("no insurance type is selected");
    const std::string& selected = radio_items_[static_cast<std::size_t>(radio_index_)];

    std::string yllb, code;
    for (const CheckItem& item : ck_yllb_) {
        if (!item.checked) continue;
        yllb = item.text;
        code = std::string(code_of(item.text));
    }
    std::string jbmc;
    for (const CheckItem& item : ck_jbmc_) {
        if (!item.checked) continue;
        if (!jbmc.empty()) jbmc += '$';
        jbmc += code + "|" + item.text;
    }

    TI1OutBean out = answer_;
    auto& rows = out.MSG.DETAIL;
    for (std::size_t i = rows.size(); i-- > 0;) {
        if (rows[i].XZDM != selected) {
            rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            rows[i].YLLB = yllb;
            rows[i].JBMC = jbmc;
        }
    }
    return write_bean(out);
}

std::string TF_display::cancel_answer() const {
    TI1OutBean out = answer_;
    out.HEAD.ErrCode = "1";
    out.HEAD.ErrDetail = gbk("用户放弃");
    return write_bean(out);
}

std::string TF_display::unavailable_answer(std::string_view detail) const {
    TI1OutBean out = answer_;
    out.HEAD.ErrCode = "-1";
    out.HEAD.ErrDetail = std::string(detail);
    return write_bean(out);
}

std::vector<LabelledText> TF_display::basic_fields() const {
    return {
        {gbk("社会保障号"), E_shbzh},   {gbk("社保卡卡号"), E_SBKH},   {gbk("身份证号"), E_sfzh},
        {gbk("行政职务"), E_RYZW},     {gbk("人员姓名"), E_ryxm},     {gbk("性别"), E_ryxb},
        {gbk("出生日期"), E_csrq},     {gbk("卡状态"), E_ICKZT},      {gbk("金融账户银行"), E_yhmc},
        {gbk("银行卡号"), E_yhkh},     {gbk("处理结果"), E_result},
        {gbk("银行余额"), Q_data ? decimal_text(Q_data->GRZHYE) : std::string()},
    };
}

std::vector<LabelledText> TF_display::treatment_fields() const {
    const InsuranceTypeRecord none;
    const InsuranceTypeRecord& r = Q_data ? *Q_data : none;
    return {
        {gbk("经办机构"), r.JBJGDM},
        {gbk("单位名称"), r.DWMC},
        {gbk("医保开户银行"), r.KHYH},
        {gbk("1就医许可"), r.JYXK},
        {gbk("结算机构"), r.JSJGDM},
        {gbk("单位编码"), r.DWDM},
        {gbk("医保银行账号"), r.YHZH},
        {gbk("无效原因"), r.WXYY},
        {gbk("参保日期"), r.CBRQ ? format_short_date(*r.CBRQ) : std::string()},
        {gbk("险种状态"), r.CBZT},
        {gbk("人员身份"), r.YBSF},
        {gbk("人员待遇"), r.DYLB},
    };
}

}  // namespace vorla::query
