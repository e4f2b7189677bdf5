// Invoice filling of both layouts, read back from the report engine's model
// (variables and view texts) without rendering; the templates are the ones in
// templates/, copied into a temporary system directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/datetime.h"
#include "common/json.h"
#include "common/text.h"
#include "invoice/filling.h"
#include "platform/platform.h"
#include "report/layout.h"
#include "report/report.h"
#include "support.h"

namespace vorla::invoice {
namespace {

using report::Variable;

class Filling : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"kwmzfp.rmf", "kwzyfp.rmf"})
            std::filesystem::copy_file(std::string(VORLA_TEMPLATE_DIR) + "/" + name, system_ / name);
    }

    static json::Value parse(const std::string& utf8) {
        auto v = json::parse_lenient(utf8);
        EXPECT_TRUE(v) << utf8;
        return v ? *v : json::Value();
    }

    // Fills the layout from a record given as UTF-8 JSON text; the filling must succeed.
    report::Report outpatient(const std::string& record) {
        report::Report r;
        std::string failure;
        EXPECT_TRUE(fill_outpatient(r, parse(record), failure)) << platform::gbk_to_utf8(failure);
        return r;
    }
    report::Report inpatient(const std::string& record) {
        report::Report r;
        std::string failure;
        EXPECT_TRUE(fill_inpatient(r, parse(record), failure)) << platform::gbk_to_utf8(failure);
        return r;
    }

    // A text variable's value as UTF-8; "<absent>" or "<kind>" when it is not a text.
    static std::string text(const report::Report& r, const std::string& name) {
        const Variable* v = r.variable(name);
        if (!v) return "<absent>";
        if (v->kind != Variable::Kind::Text) return "<not text>";
        return platform::gbk_to_utf8(v->text);
    }
    static double number(const report::Report& r, const std::string& name) {
        const Variable* v = r.variable(name);
        EXPECT_TRUE(v && v->kind == Variable::Kind::Number) << name;
        return v ? v->number : -1e300;
    }
    static std::string view(const report::Report& r, const std::string& name) {
        const report::View* v = r.find_view(name);
        return v ? platform::gbk_to_utf8(v->text) : "<absent>";
    }

    testing::SystemDir system_;
};

// ---- outpatient -------------------------------------------------------------------------

const std::string kOutpatient = R"({"aae601":"0","ake010":"2024-05-06 09:30:15","akc190":"JS20240506001",
  "akc191":"123","akc264":256.5,"akc087":1000,"ake306":100.5,"ake307":96,"ake300":60,
  "akb021":"第一人民医院","aae072":"20240506","aae011":"收费员甲","aac003":"张三",
  "fygclist":[{"gclb":"11^西药","gcze":120.5},{"gclb":"21^检查费","gcze":"80"},{"gclb":"25^化验费","gcze":36},
              {"gclb":"92^挂号费","gcze":20},{"gclb":"94^材料费","gcze":1},{"gclb":"45^新生儿费","gcze":2}]})";

TEST_F(Filling, OutpatientVariableByVariable) {
    const report::Report r = outpatient(kOutpatient);
    EXPECT_EQ(text(r, "jzhm"), "00000123") << "five zeros and the three digits";
    EXPECT_EQ(text(r, "hzxm"), "张三");
    const Variable* jzrq = r.variable("jzrq");
    ASSERT_NE(jzrq, nullptr);
    EXPECT_EQ(jzrq->kind, Variable::Kind::Date);
    EXPECT_EQ(jzrq->date, encode_date(2024, 5, 6)) << "the date only";
    const char* names[] = {"西药", "检查费", "化验费", "挂号费"};
    const double amounts[] = {120.5, 80, 36, 20};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(text(r, "fymc" + std::to_string(i + 1)), names[i]);
        EXPECT_EQ(number(r, "fyje" + std::to_string(i + 1)), amounts[i]);
    }
    EXPECT_EQ(r.variable("fymc5"), nullptr) << "six fee lines: only the first four";
    EXPECT_EQ(r.variable("fyje5"), nullptr);
    EXPECT_EQ(number(r, "hjje"), 256.5);
    EXPECT_EQ(number(r, "zhsfje"), 100.5);
    EXPECT_EQ(number(r, "xjzhsfje"), 96);
    EXPECT_EQ(text(r, "sub"), "sub");
    EXPECT_EQ(text(r, "xh"), "240506") << "the last six of eight";
    EXPECT_EQ(text(r, "sfy_sub"), "收费员甲");
    EXPECT_EQ(text(r, "dx"), "贰佰伍拾陆元伍角整");
    EXPECT_EQ(text(r, "yymc"), "第一人民医院");
    EXPECT_EQ(number(r, "zhye"), 899.5);
    EXPECT_EQ(view(r, "rd_pid"), "结算流水号:JS20240506001");
    EXPECT_EQ(view(r, "RD_INSURANCE"), "医保支付金额:60.00");
}

TEST_F(Filling, OutpatientEdgeCases) {
    struct Case {
        std::string members;  // replacing the defaults below
        std::string variable;
        std::string expected;  // UTF-8 text, or a number written as text
    };
    const std::string base = R"("aae601":"0","ake010":"2024-05-06","fygclist":[])";
    const Case cases[] = {
        {R"("akc191":"ABCDEFGHIJKL")", "jzhm", "EFGHIJKL"},
        {R"("akc191":"")", "jzhm", "00000000"},
        {R"("akc191":12345)", "jzhm", "00012345"},
        {R"("akc191":"住院一二三")", "jzhm", "000住院一二三"},
        {R"("aae072":"")", "xh", "000000"},
        {R"("aae072":"12345678")", "xh", "345678"},
        {R"("aae072":"7")", "xh", "000007"},
        {R"("akc264":-0.5)", "dx", "负元零伍角整"},
        {R"("akc264":"1000.01")", "dx", "壹仟元零壹分"},
    };
    for (const Case& c : cases) {
        const report::Report r = outpatient("{" + base + "," + c.members + "}");
        EXPECT_EQ(text(r, c.variable), c.expected) << c.members;
    }

    // Account balance: never negative.
    EXPECT_EQ(number(outpatient("{" + base + R"(,"akc087":50,"ake306":80})"), "zhye"), 0);
    EXPECT_EQ(number(outpatient("{" + base + R"(,"akc087":"80.5","ake306":80})"), "zhye"), 0.5);

    // ake300 of 0: RD_INSURANCE keeps the template's text; no rd_pid text without the view? (it exists)
    const report::Report zero = outpatient("{" + base + R"(,"ake300":0,"akc190":"X1"})");
    EXPECT_EQ(view(zero, "RD_INSURANCE"), "");
    EXPECT_FALSE(zero.find_view("RD_INSURANCE")->literal) << "not set";
    EXPECT_EQ(view(zero, "rd_pid"), "结算流水号:X1");

    // Fewer than four fee lines: the others are not set (the template's empty texts remain).
    const report::Report two = outpatient(
        "{" + base.substr(0, base.find("\"fygclist\"")) +
        R"("fygclist":[{"gclb":"无编码的费用","gcze":1},{"gclb":"12^中成药","gcze":2.25}]})");
    EXPECT_EQ(text(two, "fymc1"), "无编码的费用") << "a text without ^ is all name";
    EXPECT_EQ(number(two, "fyje2"), 2.25);
    EXPECT_EQ(text(two, "fymc3"), "") << "kept from the template";
    EXPECT_EQ(two.variable("fyje3")->kind, Variable::Kind::Text);
}

TEST_F(Filling, OutpatientDateFallsBackToNow) {
    for (const char* ake010 : {"2024-02-30 10:00:00", "", "20240506", "abcd-ef-gh", "2024-5-6"}) {
        const platform::LocalTime before = platform::local_now();
        const report::Report r =
            outpatient(std::string(R"({"aae601":"0","fygclist":[],"ake010":")") + ake010 + "\"}");
        const DateParts p = decode_date_time(r.variable("jzrq")->date);
        EXPECT_EQ(p.year, before.year) << ake010;
        EXPECT_EQ(p.month, before.month) << ake010;
        EXPECT_GE(p.day, before.day) << ake010;
    }
}

TEST_F(Filling, OutpatientDateTakesItsCharactersWhateverTheSeparators) {
    const report::Report r = outpatient(R"({"aae601":"0","fygclist":[],"ake010":"2024/12/31"})");
    EXPECT_EQ(r.variable("jzrq")->date, encode_date(2024, 12, 31));
}

// ---- inpatient --------------------------------------------------------------------------

const std::string kInpatient = R"({"aae601":"1","ake010":"2024-05-20 10:12:00","akc190":"JS20240520009",
  "akc191":"H0001","akc264":1234.50,"ake306":"1000","ake307":1200.5,"ake300":9000,"akb021":"第一人民医院",
  "aab034":"银川市","aae135":"640100123456","aae011":"收费员乙","aac003":"李四","aac004":"2",
  "aae140":"310^职工基本医疗保险","aka130":"21^普通住院","bkc190":"ZY2024001",
  "bkc192":"2024-05-10 08:00:00","bkc194":"2024-05-20 09:00:00","bke001":"10","akf002":"心血管内科",
  "ake309":"800","ake308":"120.5","ake305":"1225.17","yjze":1000,
  "fygclist":[{"gclb":"11^西药","gcze":10.5},{"gclb":"11^西药","gcze":2},{"gclb":"11^其他药","gcze":3},
              {"gclb":"13^中药饮片","gcze":1},{"gclb":"15^医院制剂","gcze":1.25},{"gclb":"92^挂号费","gcze":7},
              {"gclb":"43^进口内置材料费","gcze":100},{"gclb":"91^其他费用","gcze":0.5}],
  "kc62list":[{"bka157":"23103^基本统筹","aae019":7000},{"bka157":"61101^扶贫保","aae019":12.5},
              {"bka157":"23203^大额补助","aae019":1500},{"bka157":"88888^城市补充","aae019":"33"},
              {"bka157":"23303^公务员补助","aae019":500}]})";

TEST_F(Filling, InpatientVariableByVariable) {
    const report::Report r = inpatient(kInpatient);
    // Fee totals: "0" when zero, else two decimals.
    const std::pair<const char*, const char*> totals[] = {
        {"C_CWF", "0"},   {"C_SSF", "0"},      {"C_JSF", "0"},   {"C_CYF", "2.25"},  {"C_JCF", "7.00"},
        {"C_TSCLF", "100.00"}, {"C_YEF", "0"}, {"C_TREAT", "0"}, {"C_HYF", "0"},     {"C_QNF", "0"},
        {"C_QT", "3.50"}, {"C_ZLF", "0"},      {"C_SXF", "0"},   {"C_XYF", "12.50"}, {"C_FSF", "0"},
        {"C_SYF", "0"},   {"C_ZYF", "0"},      {"C_HLF", "0"},
    };
    for (const auto& [name, value] : totals) EXPECT_EQ(text(r, name), value) << name;

    EXPECT_EQ(text(r, "C_ORGNAME"), "第一人民医院");
    EXPECT_EQ(view(r, "RM_CBD"), "银川市");
    EXPECT_EQ(view(r, "RM_Date"), "2024-05-20");
    EXPECT_EQ(text(r, "C_INSUREANCE_NAME"), "职工基本医疗保险,普通住院");
    EXPECT_EQ(text(r, "C_YBZH"), "640100123456");
    EXPECT_EQ(text(r, "C_RYXM"), "李四");
    EXPECT_EQ(text(r, "C_RYXB"), "女");
    EXPECT_EQ(text(r, "C_address"), "");
    EXPECT_EQ(text(r, "C_ZYHM"), "ZY2024001");
    EXPECT_EQ(text(r, "C_ZYRQ"), "自2024-05-10至2024-05-20共10天");
    EXPECT_EQ(text(r, "C_KSNAME"), "心血管内科");
    EXPECT_EQ(text(r, "C_FYHJDX"), "壹仟贰佰叁拾肆元伍角整");
    EXPECT_EQ(text(r, "C_FYHJ"), "1234.5") << "a JSON number in general form";
    EXPECT_EQ(text(r, "C_QFE"), "800");
    // Insurance type 310.
    EXPECT_EQ(view(r, "Memo25"), "基本统筹");
    EXPECT_EQ(text(r, "C_GFDZF"), "7000.00");
    EXPECT_EQ(view(r, "Memo26"), "大额补助");
    EXPECT_EQ(text(r, std::string(kLargeAmountAidVariable)), "1500.00") << "the 23203 amount, in its own variable";
    EXPECT_EQ(view(r, "Memo27"), "公务员补助");
    EXPECT_EQ(text(r, "C_YJYZF"), "500.00");
    // Other funds: 23103, 23203, 23303 have their places.
    EXPECT_EQ(text(r, "C_JJXX"), "扶贫保:12.50,城市补充:33.00");
    EXPECT_EQ(text(r, "C_QZF"), "120.5");
    EXPECT_EQ(text(r, "C_GRZFXJ"), "1225.17");
    EXPECT_EQ(text(r, "C_ZHZF"), "1000") << "a JSON string unchanged";
    EXPECT_EQ(text(r, "C_XJZF"), "1200.5");
    EXPECT_EQ(text(r, "C_TCZFXJ"), "9000");
    EXPECT_EQ(text(r, "C_TOTAL_COSTSDX"), "壹仟贰佰元伍角整");
    EXPECT_EQ(text(r, "C_TOTAL_COSTS"), "1200.5");
    EXPECT_EQ(text(r, "C_YJZE"), "1000");
    EXPECT_EQ(text(r, "C_FY"), "1200.5");
    EXPECT_EQ(text(r, "C_QF"), "200.50");
    EXPECT_EQ(text(r, "C_TK"), "");
    EXPECT_EQ(text(r, "C_USER"), "收费员乙");
    EXPECT_EQ(view(r, "RM_JSJJLH"), "JS20240520009");

    // The filled invoice lays out with the amounts where the template puts them.
    const report::PreparedReport p = report::prepare(r);
    std::string all;
    for (const auto& item : p.pages.at(0).items) all += item.utf8 + "\n";
    EXPECT_NE(all.find("：1500.00"), std::string::npos) << "23203 beside Memo26\n" << all;
    EXPECT_NE(all.find("：500.00"), std::string::npos) << "23303 beside Memo27\n" << all;
    EXPECT_NE(all.find("李四"), std::string::npos);
}

TEST_F(Filling, InpatientInsuranceTypes) {
    const std::string funds = R"("kc62list":[{"bka157":"23803^居民统筹","aae019":300},
        {"bka157":"31101^大病保险","aae019":45.678},{"bka157":"23503^离休","aae019":70},
        {"bka157":"23106^工伤","aae019":80}],"fygclist":[],"ake309":"800")";
    struct Case {
        const char* aae140;
        const char* memo25;
        const char* gfdzf;
        const char* memo26;
        const char* yjyzf;  // "<absent>" when not set
    };
    const Case cases[] = {
        {"390^城乡居民基本医疗保险", "居民统筹支出", "300.00", "大病保险基金支出", "45.68"},
        {"340^离休人员医疗保障", "离休支出", "70.00", "", ""},
        {"510^工伤保险", "工伤基金", "80.00", "", ""},
        {"410^生育保险", "基金支付", "800", "", ""},
        {"职工基本医疗保险", "基金支付", "800", "", ""},  // no code part
    };
    for (const Case& c : cases) {
        const report::Report r = inpatient(std::string("{\"aae140\":\"") + c.aae140 + "\"," + funds + "}");
        EXPECT_EQ(view(r, "Memo25"), c.memo25) << c.aae140;
        EXPECT_EQ(text(r, "C_GFDZF"), c.gfdzf) << c.aae140;
        EXPECT_EQ(view(r, "Memo26"), c.memo26) << c.aae140;
        EXPECT_EQ(view(r, "Memo27"), "") << c.aae140;
        EXPECT_EQ(text(r, "C_YJYZF"), c.yjyzf) << c.aae140 << ": the template's empty text when not set";
        EXPECT_EQ(text(r, std::string(kLargeAmountAidVariable)), "") << c.aae140;
        EXPECT_EQ(text(r, "C_JJXX"), "") << "every fund here has its own place";
    }
    // A fund the type names but the settlement lacks: 0.00.
    const report::Report none = inpatient(R"({"aae140":"310^职工","kc62list":[],"fygclist":[]})");
    EXPECT_EQ(text(none, "C_GFDZF"), "0.00");
    EXPECT_EQ(text(none, std::string(kLargeAmountAidVariable)), "0.00");
    EXPECT_EQ(text(none, "C_YJYZF"), "0.00");
}

TEST_F(Filling, InpatientEdgeCases) {
    const std::string lists = R"("fygclist":[],"kc62list":[])";
    struct Case {
        std::string members;
        std::string variable;
        std::string expected;
    };
    const Case cases[] = {
        {R"("aac004":"1")", "C_RYXB", "男"},
        {R"("aac004":"3")", "C_RYXB", "未知"},
        {R"("aac004":1)", "C_RYXB", "男"},
        {R"("bkc190":"","akc191":"H9")", "C_ZYHM", "H9"},
        {R"("yjze":1000,"ake307":1000)", "C_TK", "0.00"},
        {R"("yjze":1000,"ake307":1000)", "C_QF", ""},
        {R"("yjze":"1000","ake307":"999.99")", "C_TK", "0.01"},
        {R"("yjze":0.3,"ake307":0.1)", "C_TK", "0.20"},
        {R"("akc264":100.00)", "C_FYHJ", "100"},
        {R"("akc264":"100.00")", "C_FYHJ", "100.00"},
        {R"("akc264":12345678901234567890)", "C_FYHJ", "12345678901234567890"},
        {R"("bkc192":"2024-05-10","bkc194":"","bke001":1)", "C_ZYRQ", "自2024-05-10至共1天"},
        {R"("aka130":"21")", "C_INSUREANCE_NAME", ",21"},
    };
    for (const Case& c : cases) {
        const report::Report r = inpatient("{" + lists + "," + c.members + "}");
        EXPECT_EQ(text(r, c.variable), c.expected) << c.members;
    }
    // Fee lines: an unknown category (or a known code with another name) counts under C_QT.
    const report::Report fees = inpatient(R"({"kc62list":[],"fygclist":[{"gclb":"34^床位","gcze":5},
        {"gclb":"35^急救床费","gcze":6},{"gclb":"","gcze":1},{"gcze":2},"not an object"]})");
    EXPECT_EQ(text(fees, "C_CWF"), "6.00");
    EXPECT_EQ(text(fees, "C_QT"), "8.00");
}

TEST_F(Filling, OtherFundsLine) {
    // 23103 is left out; a code outside the table takes its own name.
    report::Report r = inpatient(R"({"aae140":"310^职工","fygclist":[],"kc62list":[
        {"bka157":"23103^基本统筹","aae019":1},{"bka157":"61101^扶贫","aae019":20},
        {"bka157":"77777^某某补助","aae019":3.456}]})");
    EXPECT_EQ(text(r, "C_JJXX"), "扶贫保:20.00,某某补助:3.46");
    // Exclusion is by whole codes: a code that is only part of a listed one, or
    // a fund without a code, is printed.
    r = inpatient(R"({"fygclist":[],"kc62list":[{"bka157":"2310^甲","aae019":1},
        {"bka157":"无编码基金","aae019":2},{"bka157":"13101^乙","aae019":3},{"bka157":"11101","aae019":4}]})");
    EXPECT_EQ(text(r, "C_JJXX"), "甲:1.00,无编码基金:2.00,11101:4.00") << "\"11101\" without ^ is a name";
    EXPECT_TRUE(excluded_fund("13101"));
    EXPECT_FALSE(excluded_fund("3101"));
    EXPECT_FALSE(excluded_fund(""));
    EXPECT_FALSE(excluded_fund("23103,23803"));
}

TEST_F(Filling, FundAndFeeTables) {
    EXPECT_EQ(fund_name("23803", "x"), gbk("居民统筹支出"));
    EXPECT_EQ(fund_name("41101", ""), gbk("政府兜底"));
    EXPECT_EQ(fund_name("13101", gbk("其他")), gbk("其他")) << "13101 is only in the excluded list";
    EXPECT_EQ(fund_name("", "n"), "n");
    const json::Value list = parse(R"([{"bka157":"23103^a","aae019":1},{"bka157":"23103^b","aae019":2},
        {"bka157":"231031^c","aae019":3}])");
    EXPECT_EQ(fund_amount("23103", list), 1) << "the first match";
    EXPECT_EQ(fund_amount("231031", list), 3);
    EXPECT_EQ(fund_amount("2310", list), 0) << "codes compare exactly";
    EXPECT_EQ(fee_total_of(gbk("95^一次性医用耗材")), "C_TSCLF");
    EXPECT_EQ(fee_total_of(gbk("42^麻醉费")), "C_SSF");
    EXPECT_EQ(fee_total_of(gbk("41^医疗服务费")), "C_HLF");
    EXPECT_EQ(fee_total_of(gbk("44^产前检查费")), "C_JCF");
    EXPECT_EQ(fee_total_of(gbk("11^西药 ")), "C_QT") << "compared whole";
}

TEST_F(Filling, FailuresOfTheFilling) {
    std::string failure;
    report::Report r;
    // A list the layout needs is missing: false with an empty text.
    EXPECT_FALSE(fill_outpatient(r, parse(R"({"aae601":"0"})"), failure));
    EXPECT_EQ(failure, "");
    EXPECT_FALSE(fill_inpatient(r, parse(R"({"fygclist":[]})"), failure));
    EXPECT_EQ(failure, "");
    EXPECT_FALSE(fill_inpatient(r, parse(R"({"kc62list":[],"fygclist":"none"})"), failure));
    EXPECT_FALSE(fill_inpatient(r, parse(R"("a text")"), failure)) << "a record that is no object";

    // A view the filling writes without checking is missing from the template.
    std::string tpl = testing::read_file(system_ / "kwzyfp.rmf");
    const size_t at = tpl.find("name=\"Memo27\"");
    ASSERT_NE(at, std::string::npos);
    tpl.replace(at, 13, "name=\"MemoXX\"");
    testing::write_file(system_ / "kwzyfp.rmf", tpl);
    EXPECT_FALSE(fill_inpatient(r, parse(R"({"aae140":"310^x","fygclist":[],"kc62list":[]})"), failure));
    EXPECT_EQ(failure, "");
    EXPECT_TRUE(fill_inpatient(r, parse(R"({"aae140":"390^x","fygclist":[],"kc62list":[]})"), failure))
        << "390 does not write Memo27";
}

TEST_F(Filling, MissingOrBrokenTemplate) {
    std::string failure;
    report::Report r;
    const json::Value record = parse(R"({"fygclist":[],"kc62list":[]})");
    std::filesystem::remove(system_ / "kwmzfp.rmf");
    EXPECT_FALSE(fill_outpatient(r, record, failure));
    EXPECT_EQ(failure, gbk("不存在报表文件") + system_ / "kwmzfp.rmf");
    EXPECT_EQ(template_path("kwmzfp.rmf"), system_ / "kwmzfp.rmf");

    testing::write_file(system_ / "kwzyfp.rmf", "<report><page width=\"1\"");
    EXPECT_FALSE(fill_inpatient(r, record, failure));
    EXPECT_EQ(failure, gbk("不存在报表文件") + system_ / "kwzyfp.rmf");
}

TEST_F(Filling, TemplatesCarryEveryVariableAndView) {
    report::Report out, in;
    out.load(system_ / "kwmzfp.rmf");
    in.load(system_ / "kwzyfp.rmf");
    for (const char* v : {"jzhm", "hzxm", "jzrq", "fymc1", "fymc2", "fymc3", "fymc4", "fyje1", "fyje2", "fyje3",
                          "fyje4", "hjje", "zhsfje", "xjzhsfje", "sub", "xh", "sfy_sub", "dx", "yymc", "zhye"})
        EXPECT_NE(out.variable(v), nullptr) << v;
    for (const char* v : {"rd_pid", "RD_INSURANCE"}) EXPECT_TRUE(out.find_view(v) && out.find_view(v)->is_memo()) << v;
    for (const char* v :
         {"C_CWF", "C_SSF", "C_JSF", "C_CYF", "C_JCF", "C_TSCLF", "C_YEF", "C_TREAT", "C_HYF", "C_QNF", "C_QT", "C_ZLF",
          "C_SXF", "C_XYF", "C_FSF", "C_SYF", "C_ZYF", "C_HLF", "C_ORGNAME", "C_INSUREANCE_NAME", "C_YBZH", "C_RYXM",
          "C_RYXB", "C_address", "C_ZYHM", "C_ZYRQ", "C_KSNAME", "C_FYHJDX", "C_FYHJ", "C_QFE", "C_GFDZF", "C_YJYZF",
          "C_DEBZ", "C_JJXX", "C_QZF", "C_GRZFXJ", "C_ZHZF", "C_XJZF", "C_TCZFXJ", "C_TOTAL_COSTSDX",
          "C_TOTAL_COSTS", "C_YJZE", "C_FY", "C_QF", "C_TK", "C_USER"})
        EXPECT_NE(in.variable(v), nullptr) << v;
    for (const char* v : {"RM_CBD", "RM_Date", "RM_JSJJLH", "Memo25", "Memo26", "Memo27"})
        EXPECT_TRUE(in.find_view(v) && in.find_view(v)->is_memo()) << v;
}

}  // namespace
}  // namespace vorla::invoice
