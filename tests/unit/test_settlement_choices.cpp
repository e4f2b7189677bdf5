// The settlement choices dialog's logic: what it shows for an I1 answer, how its
// handlers move the choices, and what OK and Cancel make of the answer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text.h"
#include "messages/serializer.h"
#include "query/code_name.h"
#include "query/settlement_choices.h"

namespace vorla {
namespace {

using query::CheckItem;
using query::TF_display;

struct RowFields {
    std::string xzdm;  // UTF-8, like every field here
    std::string yllb = "";
    std::string jbmc = "";
    std::string ybxx = "";
    std::string jsjgdm = "";
    std::string cbrq = "";
};

TI1OutDetail make_row(const RowFields& s) {
    TI1OutDetail r;
    r.XZDM = gbk(s.xzdm);
    r.YLLB = gbk(s.yllb);
    r.JBMC = gbk(s.jbmc);
    r.YBXX = gbk(s.ybxx);
    r.JSJGDM = gbk(s.jsjgdm);
    r.CBRQ = s.cbrq;
    return r;
}

TI1OutBean make_bean(const std::vector<RowFields>& rows) {
    TI1OutBean b;
    b.HEAD.VER = "01.01";
    b.HEAD.APP = "I1";
    b.HEAD.WorkDate = "20240131";
    b.HEAD.ErrCode = "0";
    b.HEAD.ErrDetail = gbk("交易成功");
    b.MSG.HEAD.YLJGDM = "10010001";
    b.MSG.HEAD.SHBZH = "110101199001011234";
    b.MSG.HEAD.SBKH = "K0001";
    b.MSG.HEAD.SFZH = "110101199001011234";
    b.MSG.HEAD.RYXM = gbk("张三");
    b.MSG.HEAD.RYXB = "1";
    b.MSG.HEAD.CSRQ = "19900101";
    for (const RowFields& r : rows) b.MSG.DETAIL.push_back(make_row(r));
    return b;
}

std::string answer_of(const std::vector<RowFields>& rows) { return write_bean(make_bean(rows)); }

std::vector<std::string> texts(const std::vector<CheckItem>& items) {
    std::vector<std::string> out;
    for (const auto& i : items) out.push_back(i.text);
    return out;
}
std::vector<bool> marks(const std::vector<CheckItem>& items) {
    std::vector<bool> out;
    for (const auto& i : items) out.push_back(i.checked);
    return out;
}
std::vector<std::string> gbk_list(std::initializer_list<const char*> utf8) {
    std::vector<std::string> out;
    for (const char* s : utf8) out.push_back(gbk(s));
    return out;
}

TI1OutBean read_answer(const std::string& text) {
    TI1OutBean b;
    read_bean(text, b);
    return b;
}

const char* kEmployee = "310^职工基本医疗保险";
const char* kResident = "390^城乡居民基本医疗保险";
const char* kTwoCategories = "11^普通门诊$14^门诊大病";
const char* kDiseases = "14|A01^N1$14|B02^N2$11|C03^N3";

TEST(SettlementChoices, FormShowPreselectsTheInsuranceType) {
    struct Case {
        std::vector<const char*> types;
        int expected;
    } cases[] = {
        {{kResident, kEmployee}, 1},
        {{kEmployee, kResident, kEmployee}, 2},  // the last 310
        {{"340^离休人员医疗保障", kResident, kResident}, 2},
        {{"340^离休人员医疗保障"}, 0},
        {{"350^其他", "360^工伤保险"}, 0},
        {{"310"}, 0},  // only the whole text counts
        {{}, -1},
    };
    for (const Case& c : cases) {
        std::vector<RowFields> rows;
        for (const char* t : c.types) rows.push_back({t});
        TF_display form(answer_of(rows));
        ASSERT_EQ(form.insurance_types().size(), c.types.size());
        form.FormShow();
        EXPECT_EQ(form.selected_insurance_type(), c.expected) << ::testing::PrintToString(c.types);
    }
}

TEST(SettlementChoices, DefaultCategoryAndDiseasePreselection) {
    struct Case {
        const char* yllb;
        const char* jsjgdm;
        std::vector<const char*> categories;
        std::vector<bool> category_marks;
        std::vector<const char*> diseases;
        std::vector<bool> disease_marks;
    } cases[] = {
        // "14^门诊大病" is checked first; at 2640200 only one disease, elsewhere all.
        {kTwoCategories, "2640200^市医院", {"11^普通门诊", "14^门诊大病"}, {false, true}, {"A01^N1", "B02^N2"},
         {true, false}},
        {kTwoCategories, "2640221^县医院", {"11^普通门诊", "14^门诊大病"}, {false, true}, {"A01^N1", "B02^N2"},
         {true, false}},
        {kTwoCategories, "2640999^其他医院", {"11^普通门诊", "14^门诊大病"}, {false, true}, {"A01^N1", "B02^N2"},
         {true, true}},
        {kTwoCategories, "", {"11^普通门诊", "14^门诊大病"}, {false, true}, {"A01^N1", "B02^N2"}, {true, true}},
        // A code that is part of the list text counts as in it.
        {kTwoCategories, "264^x", {"11^普通门诊", "14^门诊大病"}, {false, true}, {"A01^N1", "B02^N2"},
         {true, false}},
        // Without "14^门诊大病" the first category and its first disease.
        {"11^普通门诊$12^急诊", "2640999^其他医院", {"11^普通门诊", "12^急诊"}, {true, false}, {"C03^N3"}, {true}},
        // "14^门诊大病" twice: the last one.
        {"14^门诊大病$11^普通门诊$14^门诊大病", "", {"14^门诊大病", "11^普通门诊", "14^门诊大病"},
         {false, false, true}, {"A01^N1", "B02^N2"}, {true, true}},
        // No categories: nothing checked, no diseases.
        {"", "", {}, {}, {}, {}},
    };
    for (const Case& c : cases) {
        TF_display form(answer_of({{kEmployee, c.yllb, kDiseases, "", c.jsjgdm}}));
        form.FormShow();
        std::vector<std::string> categories, diseases;
        for (const char* s : c.categories) categories.push_back(gbk(s));
        for (const char* s : c.diseases) diseases.push_back(gbk(s));
        SCOPED_TRACE(std::string(c.yllb) + " / " + c.jsjgdm);
        EXPECT_EQ(texts(form.categories()), categories);
        EXPECT_EQ(marks(form.categories()), c.category_marks);
        EXPECT_EQ(texts(form.diseases()), diseases);
        EXPECT_EQ(marks(form.diseases()), c.disease_marks);
        EXPECT_TRUE(form.focus_on_ok());
    }
}

TEST(SettlementChoices, ClickingDiseasesKeepsOneOrSeveral) {
    // At 2640200 a second disease replaces the first.
    TF_display one(answer_of({{kEmployee, kTwoCategories, kDiseases, "", "2640200^市医院"}}));
    one.FormShow();
    one.click_disease(1);
    EXPECT_EQ(marks(one.diseases()), (std::vector<bool>{false, true}));

    // Elsewhere the cashier may uncheck some and check them again.
    TF_display several(answer_of({{kEmployee, kTwoCategories, kDiseases, "", "2640999^其他医院"}}));
    several.FormShow();
    several.click_disease(0);
    EXPECT_EQ(marks(several.diseases()), (std::vector<bool>{false, true}));
    several.click_disease(0);
    EXPECT_EQ(marks(several.diseases()), (std::vector<bool>{true, true}));

    // An ordinary category: one disease at any institution.
    several.click_category(0);
    EXPECT_EQ(marks(several.categories()), (std::vector<bool>{true, false})) << "the clicked category only";
    EXPECT_EQ(texts(several.diseases()), gbk_list({"C03^N3"}));
    EXPECT_EQ(marks(several.diseases()), (std::vector<bool>{true}));
}

TEST(SettlementChoices, OkWithTwoDiseasesKeepsTheSelectedTypeOnly) {
    const std::string answer = answer_of({{kResident, kTwoCategories, kDiseases, "", "2640999^其他医院"},
                                          {kEmployee, kTwoCategories, kDiseases, "", "2640999^其他医院"}});
    TF_display form(answer);
    form.FormShow();
    ASSERT_EQ(form.selected_insurance_type(), 1);
    ASSERT_EQ(marks(form.diseases()), (std::vector<bool>{true, true}));

    const TI1OutBean out = read_answer(form.ok_answer());
    ASSERT_EQ(out.MSG.DETAIL.size(), 1u);
    EXPECT_EQ(out.MSG.DETAIL[0].XZDM, gbk(kEmployee));
    EXPECT_EQ(out.MSG.DETAIL[0].YLLB, gbk("14^门诊大病"));
    EXPECT_EQ(out.MSG.DETAIL[0].JBMC, gbk("14|A01^N1$14|B02^N2"));
    EXPECT_EQ(out.HEAD.ErrCode, "0");
    EXPECT_EQ(out.MSG.HEAD.RYXM, gbk("张三"));

    // Choosing the other type first keeps that one instead, with the marks set there.
    TF_display other(answer);
    other.FormShow();
    other.select_insurance_type(0);
    other.click_category(0);  // "11^普通门诊"
    const TI1OutBean out2 = read_answer(other.ok_answer());
    ASSERT_EQ(out2.MSG.DETAIL.size(), 1u);
    EXPECT_EQ(out2.MSG.DETAIL[0].XZDM, gbk(kResident));
    EXPECT_EQ(out2.MSG.DETAIL[0].YLLB, gbk("11^普通门诊"));
    EXPECT_EQ(out2.MSG.DETAIL[0].JBMC, gbk("11|C03^N3"));
}

TEST(SettlementChoices, OkWithoutCategoryGivesEntriesWithoutCode) {
    TF_display form(answer_of({{kEmployee, kTwoCategories, kDiseases, "", "2640999^其他医院"}}));
    form.FormShow();
    form.click_category(1);  // unchecks "14^门诊大病": no category is checked
    ASSERT_EQ(marks(form.categories()), (std::vector<bool>{false, false}));
    EXPECT_EQ(marks(form.diseases()), (std::vector<bool>{true, false})) << "one disease without 14";
    form.click_disease(1);
    const TI1OutBean out = read_answer(form.ok_answer());
    ASSERT_EQ(out.MSG.DETAIL.size(), 1u);
    EXPECT_EQ(out.MSG.DETAIL[0].YLLB, "");
    EXPECT_EQ(out.MSG.DETAIL[0].JBMC, "|B02^N2");
}

TEST(SettlementChoices, RowsOfTheSameTypeAreAllKeptAndRewritten) {
    TF_display form(answer_of({{kEmployee, kTwoCategories, kDiseases, "", "2640200^a"},
                               {kResident, kTwoCategories, kDiseases},
                               {kEmployee, "14^门诊大病", "", "", "2640200^b"}}));
    form.FormShow();
    ASSERT_EQ(form.selected_insurance_type(), 2);
    const TI1OutBean out = read_answer(form.ok_answer());
    ASSERT_EQ(out.MSG.DETAIL.size(), 2u);
    for (const auto& row : out.MSG.DETAIL) {
        EXPECT_EQ(row.XZDM, gbk(kEmployee));
        EXPECT_EQ(row.YLLB, gbk("14^门诊大病"));
        EXPECT_EQ(row.JBMC, "") << "the third row has no diseases";
    }
    EXPECT_EQ(out.MSG.DETAIL[0].JSJGDM, gbk("2640200^a")) << "row order kept";
}

TEST(SettlementChoices, MedicalInformationAndMemo) {
    struct Case {
        const char* ybxx;
        int category;  // clicked after FormShow, -1 for none
        const char* memo;
        std::vector<const char*> lines;
    } cases[] = {
        {"T-99|X$14|Y", -1, "T", {"X", "Y"}},           // 14 is the default category
        {"T-99|X$14|Y", 0, "T", {"X"}},                 // 11 checked
        {"T", -1, "T", {}},                             // no "-": whole text, no list
        {"T-14|Y-99|Z", -1, "T", {"Y"}},                // a third part is ignored
        {"-14|Y", -1, "", {"Y"}},
        {"", -1, "", {}},
        {"T-99|X$$bad$14|", -1, "T", {"X", ""}},        // empty and bar-less entries are left out
    };
    for (const Case& c : cases) {
        TF_display form(answer_of({{kEmployee, kTwoCategories, kDiseases, c.ybxx}}));
        form.FormShow();
        if (c.category >= 0) form.click_category(c.category);
        std::vector<std::string> lines;
        for (const char* s : c.lines) lines.push_back(gbk(s));
        EXPECT_EQ(form.additional_information(), gbk(c.memo)) << c.ybxx;
        EXPECT_EQ(form.information(), lines) << c.ybxx;
    }
}

TEST(SettlementChoices, EightRowsAreListedAndTheEighthShowsItsOwnData) {
    std::vector<RowFields> rows;
    for (int i = 0; i < 8; ++i) {
        RowFields r{std::to_string(341 + i) + "^type" + std::to_string(i), std::to_string(20 + i) + "^cat",
                  std::to_string(20 + i) + "|D" + std::to_string(i) + "^dis"};
        r.cbrq = i == 7 ? "2020-01" : "20200101";  // the eighth has no table, so no date check
        rows.push_back(r);
    }
    TF_display form(answer_of(rows));
    EXPECT_EQ(form.insurance_types().size(), 8u);
    for (const auto& table : form.type_tables()) EXPECT_TRUE(table.has_value());
    EXPECT_EQ(form.type_tables()[6]->XZDM, "347^type6");

    form.FormShow();
    EXPECT_EQ(form.selected_insurance_type(), 0);
    form.select_insurance_type(7);
    ASSERT_TRUE(form.current_type());
    EXPECT_EQ(form.current_type()->XZDM, "348^type7");
    EXPECT_EQ(texts(form.categories()), (std::vector<std::string>{"27^cat"}));
    EXPECT_EQ(texts(form.diseases()), (std::vector<std::string>{"D7^dis"}));
    const TI1OutBean out = read_answer(form.ok_answer());
    ASSERT_EQ(out.MSG.DETAIL.size(), 1u);
    EXPECT_EQ(out.MSG.DETAIL[0].XZDM, "348^type7");
    EXPECT_EQ(out.MSG.DETAIL[0].JBMC, "27|D7^dis");
}

TEST(SettlementChoices, CancelKeepsEveryRow) {
    const TI1OutBean in = make_bean({{kResident, kTwoCategories, kDiseases}, {kEmployee, kTwoCategories}});
    TF_display form(write_bean(in));
    form.FormShow();
    form.click_category(0);
    const TI1OutBean out = read_answer(form.cancel_answer());
    EXPECT_EQ(out.HEAD.ErrCode, "1");
    EXPECT_EQ(out.HEAD.ErrDetail, gbk("用户放弃"));
    ASSERT_EQ(out.MSG.DETAIL.size(), 2u);
    EXPECT_EQ(out.MSG.DETAIL[0].YLLB, gbk(kTwoCategories)) << "rows as received";
    EXPECT_EQ(out.MSG.DETAIL[0].JBMC, gbk(kDiseases));
    EXPECT_EQ(out.MSG.DETAIL[1].XZDM, gbk(kEmployee));
}

TEST(SettlementChoices, NoRows) {
    TF_display form(answer_of({}));
    form.FormShow();
    EXPECT_EQ(form.selected_insurance_type(), -1);
    EXPECT_TRUE(form.categories().empty());
    EXPECT_THROW(form.ok_answer(), query::NothingSelectedError);
    EXPECT_EQ(read_answer(form.cancel_answer()).HEAD.ErrCode, "1");
}

TEST(SettlementChoices, EnrolmentDateMustBeADate) {
    for (const char* bad : {"2020-01-01", "20201301", "abcdefgh", "2020"})
        EXPECT_THROW(TF_display(answer_of({{kEmployee, "", "", "", "", bad}})), query::SettlementDataError) << bad;
    TF_display form(answer_of({{kEmployee, "", "", "", "", "20200229"}, {kResident}}));
    ASSERT_TRUE(form.type_tables()[0]->CBRQ);
    EXPECT_EQ(*form.type_tables()[0]->CBRQ, encode_date(2020, 2, 29));
    EXPECT_FALSE(form.type_tables()[1]->CBRQ) << "empty CBRQ stays empty";
}

TEST(SettlementChoices, FieldsWithTheirLabels) {
    TI1OutBean in = make_bean({{kEmployee, kTwoCategories, kDiseases, "", "2640200^市医院", "20150701"}});
    in.MSG.HEAD.RYZW = gbk("科员");
    in.MSG.HEAD.ICKZT = gbk("正常");
    in.MSG.HEAD.YHDM = gbk("工商银行");
    in.MSG.HEAD.YHKH = "6222";
    TI1OutDetail& row = in.MSG.DETAIL[0];
    row.JBJGDM = "JB1";
    row.DWMC = gbk("某单位");
    row.KHYH = "KH";
    row.JYXK = "1";
    row.DWDM = "DW1";
    row.YHZH = "ZH1";
    row.WXYY = "";
    row.CBZT = gbk("参保缴费");
    row.YBSF = gbk("在职");
    row.DYLB = gbk("普通");
    row.GRZHYE = "1234.50";
    TF_display form(write_bean(in));
    EXPECT_EQ(form.caption().substr(form.caption().size() - gbk("社会保障卡信息").size()), gbk("社会保障卡信息"));
    form.FormShow();

    const auto basic = form.basic_fields();
    const std::vector<std::pair<const char*, std::string>> expected_basic = {
        {"社会保障号", "110101199001011234"}, {"社保卡卡号", "K0001"},     {"身份证号", "110101199001011234"},
        {"行政职务", gbk("科员")},             {"人员姓名", gbk("张三")},   {"性别", "1"},
        {"出生日期", "1990-01-01"},            {"卡状态", gbk("正常")},     {"金融账户银行", gbk("工商银行")},
        {"银行卡号", "6222"},                  {"处理结果", "0"},           {"银行余额", "1234.5"},
    };
    ASSERT_EQ(basic.size(), expected_basic.size());
    for (std::size_t i = 0; i < basic.size(); ++i) {
        EXPECT_EQ(basic[i].label, gbk(expected_basic[i].first));
        EXPECT_EQ(basic[i].text, expected_basic[i].second) << expected_basic[i].first;
    }

    const auto treatment = form.treatment_fields();
    const std::vector<std::pair<const char*, std::string>> expected_treatment = {
        {"经办机构", "JB1"},         {"单位名称", gbk("某单位")},   {"医保开户银行", "KH"},
        {"1就医许可", "1"},          {"结算机构", gbk("2640200^市医院")}, {"单位编码", "DW1"},
        {"医保银行账号", "ZH1"},     {"无效原因", ""},              {"参保日期", format_short_date(encode_date(2015, 7, 1))},
        {"险种状态", gbk("参保缴费")}, {"人员身份", gbk("在职")},    {"人员待遇", gbk("普通")},
    };
    ASSERT_EQ(treatment.size(), expected_treatment.size());
    for (std::size_t i = 0; i < treatment.size(); ++i) {
        EXPECT_EQ(treatment[i].label, gbk(expected_treatment[i].first));
        EXPECT_EQ(treatment[i].text, expected_treatment[i].second) << expected_treatment[i].first;
    }
}

TEST(SettlementChoices, BalanceThatIsNoNumberCountsAsZero) {
    for (const char* balance : {"abc", "12,5", "", "1.5x"}) {
        TI1OutBean in = make_bean({{kEmployee}});
        in.MSG.DETAIL[0].GRZHYE = balance;
        TF_display form(write_bean(in));
        form.FormShow();
        ASSERT_TRUE(form.current_type());
        EXPECT_EQ(form.current_type()->GRZHYE, 0.0) << balance;
    }
}

TEST(SettlementChoices, DiseaseTableFromTheListText) {
    // 億 ends in the byte "|" and 僞 in the byte "^" in GBK: they stay whole.
    ASSERT_EQ(gbk("億").back(), '|');
    ASSERT_EQ(gbk("僞").back(), '^');
    // " " and 194 letters, then two-byte characters: byte 200 is the first half
    // of the third character, so the name keeps two.
    const std::string long_name(194, 'x');
    const std::string jbmc = "14|A01^ " + long_name + gbk("中文字符") + "$14|NOCARET$$nobar$14|B" + gbk("億") +
                             "^" + gbk("僞名") + "$99|Z^z";
    TI1OutBean in = make_bean({{kEmployee, "14^门诊大病"}});
    in.MSG.DETAIL[0].JBMC = jbmc;
    TF_display form(write_bean(in));
    form.FormShow();
    const auto& table = form.disease_table();
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[0], (query::DiseaseRecord{"14", "A01", long_name + gbk("中文")}));
    EXPECT_EQ(table[1], (query::DiseaseRecord{"14", "", "NOCARET"}));
    EXPECT_EQ(table[2], (query::DiseaseRecord{"14", gbk("B億"), gbk("僞名")}));
    EXPECT_EQ(table[3], (query::DiseaseRecord{"99", "Z", "z"}));
    EXPECT_EQ(texts(form.diseases()),
              (std::vector<std::string>{"A01^" + table[0].JBMC, "^NOCARET", gbk("B億^僞名")}));
}

TEST(SettlementChoices, MalformedListTexts) {
    // Separators only, a lone GBK lead byte at the end, entries without their
    // parts: no item without a category, nothing read past the text.
    struct Case {
        std::string yllb, jbmc, ybxx;
        std::size_t categories, table_rows, information_rows;
    } cases[] = {
        {"$$$", "$$$", "---", 0, 0, 0},
        {"^", "|", "-|", 1, 1, 1},
        {"14^\x81", "14|\x81", "\x81-14|\x81", 1, 1, 1},
        {"14", "14^A|B", "-$$|$", 1, 1, 1},
        {"\x81|\x7C$14^x", "14|A^|B^C", "T-99|\x81\x7C|x", 2, 1, 1},
    };
    for (const Case& c : cases) {
        TI1OutBean in = make_bean({{kEmployee}});
        in.MSG.DETAIL[0].YLLB = c.yllb;
        in.MSG.DETAIL[0].JBMC = c.jbmc;
        in.MSG.DETAIL[0].YBXX = c.ybxx;
        TF_display form(write_bean(in));
        form.FormShow();
        SCOPED_TRACE(c.yllb + " / " + c.jbmc + " / " + c.ybxx);
        EXPECT_EQ(form.categories().size(), c.categories);
        EXPECT_EQ(form.disease_table().size(), c.table_rows);
        EXPECT_EQ(form.information_table().size(), c.information_rows);
        EXPECT_NO_THROW(form.ok_answer());
    }
}

}  // namespace
}  // namespace vorla
