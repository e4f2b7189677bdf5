// The settlement choices dialog TF_display, its logic: after a successful
// insured-person query the cashier picks one insurance type, one medical
// category and the diseases, and the I1 answer is rewritten to those choices.
//
// The logic holds the state of every control and every in-memory table as
// plain data and runs the dialog's handlers; a view (ui/settlement_view.h)
// renders it and forwards clicks, or the scripted cashier drives it. Every text
// is GBK.
//
// Formats of the answer's row fields that the dialog relies on:
// - XZDM, JSJGDM: code-and-name texts, "310^职工基本医疗保险";
// - YLLB: categories separated by "$", each a code-and-name text ("14^门诊大病");
// - JBMC: diseases separated by "$", each "category|disease code^disease name";
// - YBXX: "free text-entries", entries separated by "$", each "category|text";
//   parts after a second "-" are ignored;
// - CBRQ: yyyymmdd or empty; GRZHYE: decimal text, anything else counts as 0.
// Empty list entries, and JBMC or YBXX entries without "|", belong to no
// category and are left out of the tables.
#pragma once

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/datetime.h"
#include "messages/catalogue.h"

namespace vorla::query {

// The row of an insurance-type table (Q_xz0 … Q_xz6) and of the current-type
// table Q_data: the columns of one DETAIL row, CBRQ and GRZHYE converted.
struct InsuranceTypeRecord {
    std::string JBJGDM;
    std::string XZDM;
    std::optional<DateValue> CBRQ;  // none when the row's CBRQ is empty
    std::string CBZT;
    std::string DWDM;
    std::string DWMC;
    std::string KHYH;
    std::string YHZH;
    double GRZHYE = 0;
    std::string DYLB;
    std::string YBSF;
    std::string JYXK;
    std::string WXYY;
    std::string JSJGDM;
    std::string YLLB;
    std::string JBMC;
    std::string YBXX;
};

// Each table holds at most one row.
using InsuranceTypeTable = std::optional<InsuranceTypeRecord>;

// A row of the disease table Q_JBMC.
struct DiseaseRecord {
    std::string DYBM;  // category code
    std::string JBBM;  // disease code
    std::string JBMC;  // disease name, at most 200 bytes, trimmed
    friend bool operator==(const DiseaseRecord&, const DiseaseRecord&) = default;
};

// A row of the information table Q_ybxx.
struct InformationRecord {
    std::string dybm;  // category code ("99": shown for every category)
    std::string ybxx;  // text
    friend bool operator==(const InformationRecord&, const InformationRecord&) = default;
};

// An item of a check list.
struct CheckItem {
    std::string text;
    bool checked = false;
    friend bool operator==(const CheckItem&, const CheckItem&) = default;
};

// A read-only field of the form with its label.
struct LabelledText {
    std::string label;
    std::string text;
};

// A DETAIL row's CBRQ that is not a yyyymmdd date; the choices step stops.
class SettlementDataError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// OK with no insurance type selected (an answer without rows).
class NothingSelectedError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TF_display {
public:
    // Number of insurance-type tables: rows after the seventh get none.
    static constexpr int kTypeTables = 7;

    // Creates the form for one I1 answer (GBK): parses it, fills the
    // "基础信息" fields, one insurance-type item per DETAIL row and the tables of
    // the first seven rows. Throws SettlementDataError for a CBRQ that is not a
    // date, BeanReadError for an unreadable answer.
    explicit TF_display(std::string_view i1_answer);

    // ---- handlers ------------------------------------------------------------
    // Selects the last item "310^职工基本医疗保险", else the last item
    // "390^城乡居民基本医疗保险", else the first item (none without items).
    void FormShow();
    // Selecting insurance type `index`: runs Radio_xzClick when the selection changes.
    void select_insurance_type(int index);
    // The insurance type now selected in Radio_xz: loads its table, categories,
    // diseases and information, checks the default category and pre-selects diseases.
    void Radio_xzClick();
    // The cashier clicked the check box of category `index` (its check mark is
    // toggled first, then ck_yllbClickCheck runs).
    void click_category(int index);
    // After category `index` was toggled: every other category is unchecked,
    // and the disease and information lists are refilled for its code.
    void ck_yllbClickCheck(int index);
    // The cashier clicked the check box of disease `index` (toggled first, then
    // Ck_jbmcClickCheck runs).
    void click_disease(int index);
    // After disease `index` was toggled: unless the category is "14^门诊大病" at a
    // settlement institution outside "2640200,2640221", every other disease is
    // unchecked (one disease); otherwise the marks stay (several diseases).
    void Ck_jbmcClickCheck(int index);

    // ---- what OK and Cancel produce -------------------------------------------
    // The answer with only the rows of the selected insurance type, their YLLB
    // the checked category and their JBMC the checked diseases. Throws
    // NothingSelectedError when no insurance type is selected.
    std::string ok_answer() const;
    // The answer with every row, ErrCode "1" and ErrDetail "用户放弃".
    std::string cancel_answer() const;
    // The answer with every row, ErrCode "-1" and `detail`: the dialog could not
    // be shown or answered, so nothing was chosen.
    std::string unavailable_answer(std::string_view detail) const;

    // ---- what the view shows ----------------------------------------------------
    // Window caption: the region's name and "社会保障卡信息".
    const std::string& caption() const { return caption_; }
    // The "基础信息" fields, in form order, with their labels (the memo not included).
    std::vector<LabelledText> basic_fields() const;
    // The data-bound fields of the current-type table in "待遇信息", with their labels.
    std::vector<LabelledText> treatment_fields() const;
    // The memo "人员附加信息" (M_fjxx).
    const std::string& additional_information() const { return M_fjxx; }

    const std::vector<std::string>& insurance_types() const { return radio_items_; }
    int selected_insurance_type() const { return radio_index_; }
    const std::vector<CheckItem>& categories() const { return ck_yllb_; }
    const std::vector<CheckItem>& diseases() const { return ck_jbmc_; }
    const std::vector<std::string>& information() const { return lv_ybxx_; }
    // True once a handler asked for the focus on "确定[&O]" (the view moves it).
    bool focus_on_ok() const { return focus_ok_; }

    // ---- the in-memory tables -------------------------------------------------
    const std::array<InsuranceTypeTable, kTypeTables>& type_tables() const { return Q_xz; }
    const InsuranceTypeTable& current_type() const { return Q_data; }
    const std::vector<DiseaseRecord>& disease_table() const { return Q_JBMC; }
    const std::vector<InformationRecord>& information_table() const { return Q_ybxx; }

private:
    void fill_for_category(std::string_view code);
    void preselect_diseases();
    bool several_diseases_allowed() const;
    std::string checked_category() const;

    TI1OutBean answer_;
    std::string caption_;

    // "基础信息"
    std::string E_shbzh, E_SBKH, E_sfzh, E_RYZW, E_ryxm, E_ryxb, E_csrq, E_ICKZT, E_yhmc, E_yhkh, E_result;
    std::string M_fjxx;

    // "待遇信息"
    std::vector<std::string> radio_items_;  // Radio_xz
    int radio_index_ = -1;
    std::vector<CheckItem> ck_yllb_;
    std::vector<CheckItem> ck_jbmc_;
    std::vector<std::string> lv_ybxx_;
    bool focus_ok_ = false;

    std::array<InsuranceTypeTable, kTypeTables> Q_xz;  // Q_xz0 … Q_xz6
    // The rows after the seventh, which have no table of their own: the
    // current-type table takes the selected one of them (CBRQ empty when it is
    // not a date).
    std::vector<InsuranceTypeRecord> rows_beyond_;
    InsuranceTypeTable Q_data;
    std::vector<DiseaseRecord> Q_JBMC;
    std::vector<InformationRecord> Q_ybxx;
};

// The texts the dialog compares with.
std::string employee_insurance();     // "310^职工基本医疗保险"
std::string resident_insurance();     // "390^城乡居民基本医疗保险"
std::string major_outpatient();       // "14^门诊大病"
std::string_view single_disease_institutions();  // "2640200,2640221"

}  // namespace vorla::query
