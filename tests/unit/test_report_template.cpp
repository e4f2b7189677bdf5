// The report engine's model: template loading and its errors, views, variables,
// reference resolution and layout.
#include <gtest/gtest.h>

#include <string>

#include "common/datetime.h"
#include "common/text.h"
#include "report/layout.h"
#include "report/report.h"
#include "support.h"

namespace vorla::report {
namespace {

const std::string kSmall = R"(<?xml version="1.0" encoding="UTF-8"?>
<report title="测试票据" version="1" font="Noto Sans CJK SC" size="10">
  <variable name="name"/>
  <variable name="amount" kind="number" value="12.5"/>
  <variable name="day" kind="date" value="2024-05-06"/>
  <variable name="note">默认说明</variable>
  <page width="210" height="148" margin-left="8" margin-top="7" margin-right="8" margin-bottom="7">
    <memo name="title" x="0" y="0" width="194" height="10" size="15" bold="true" align="center" valign="middle">标题</memo>
    <memo name="who" x="0" y="12" width="90" height="6" border="bottom">姓名：[name]</memo>
    <line x1="0" y1="20" x2="194" y2="20" line-width="0.3"/>
    <box name="frame" x="0" y="22" width="194" height="30"/>
  </page>
  <page width="100" height="50">
    <memo name="second" x="1" y="1" width="50" height="8" align="right">[amount:0.00] [day:yyyy年m月d日]</memo>
  </page>
</report>
)";

std::string error_of(const std::string& text) {
    Report r;
    try {
        r.load_text(text, "t.rmf");
    } catch (const ReportError& e) {
        EXPECT_TRUE(r.empty()) << "a failed load leaves an empty report";
        return e.what();
    }
    return "<loaded>";
}

TEST(ReportTemplate, LoadsPagesViewsAndVariables) {
    Report r;
    r.load_text(kSmall, "small.rmf");
    EXPECT_EQ(r.title(), gbk("测试票据"));
    ASSERT_EQ(r.pages().size(), 2u);
    const Page& p = r.pages()[0];
    EXPECT_EQ(p.width, 210);
    EXPECT_EQ(p.height, 148);
    EXPECT_EQ(p.margins.left, 8);
    EXPECT_EQ(p.margins.top, 7);
    ASSERT_EQ(p.views.size(), 4u);
    EXPECT_EQ(r.pages()[1].margins.left, 0) << "margins default to 0";

    const View* title = r.find_view("title");
    ASSERT_NE(title, nullptr);
    EXPECT_TRUE(title->is_memo());
    EXPECT_EQ(title->text, gbk("标题"));
    EXPECT_EQ(title->font.family, "Noto Sans CJK SC");
    EXPECT_EQ(title->font.size, 15);
    EXPECT_TRUE(title->font.bold);
    EXPECT_EQ(title->align, HAlign::Center);
    EXPECT_EQ(title->valign, VAlign::Middle);
    EXPECT_EQ(r.find_view("who")->font.size, 10) << "the report's default size";
    EXPECT_TRUE(r.find_view("who")->borders.bottom);
    EXPECT_FALSE(r.find_view("who")->borders.top);
    EXPECT_EQ(r.find_view("frame")->kind, ViewKind::Box);
    EXPECT_EQ(p.views[2].kind, ViewKind::Line);
    EXPECT_EQ(p.views[2].rect.width, 194);
    EXPECT_EQ(p.views[2].line_width, 0.3);
    EXPECT_NE(r.find_view("second"), nullptr) << "views are found on every page";
    EXPECT_EQ(r.find_view("nothing"), nullptr);
    EXPECT_EQ(r.find_view("TITLE"), nullptr) << "names are compared exactly";
    EXPECT_EQ(r.find_view(""), nullptr) << "unnamed views are not found by name";

    ASSERT_EQ(r.variables().size(), 4u);
    EXPECT_EQ(r.variable("name")->kind, Variable::Kind::Text);
    EXPECT_EQ(r.variable("name")->text, "");
    EXPECT_EQ(r.variable("amount")->kind, Variable::Kind::Number);
    EXPECT_EQ(r.variable("amount")->number, 12.5);
    EXPECT_EQ(r.variable("day")->date, encode_date(2024, 5, 6));
    EXPECT_EQ(r.variable("note")->text, gbk("默认说明"));
}

TEST(ReportTemplate, LoadsGbkTemplatesAsTheyStand) {
    const std::string text = "<?xml version=\"1.0\" encoding=\"GBK\"?><report><page width=\"10\" height=\"10\">"
                             "<memo name=\"m\" x=\"0\" y=\"0\" width=\"5\" height=\"5\">" +
                             gbk("收费") + "</memo></page></report>";
    Report r;
    r.load_text(text, "gbk.rmf");
    EXPECT_EQ(r.find_view("m")->text, gbk("收费"));
}

TEST(ReportTemplate, ErrorsNameTheFileTheLineAndTheFault) {
    struct Case {
        std::string text;
        std::string expected;  // part of the message
    };
    const std::string page = R"(<page width="100" height="50">)";
    const Case cases[] = {
        {"", "t.rmf:1: malformed XML"},
        {"<report><page width=\"1\" height=\"1\">", "malformed XML"},
        {"<reprt/>", "the root element must be <report>"},
        {"<report version=\"2\"><page width=\"1\" height=\"1\"/></report>", "version \"2\" is not supported"},
        {"<report/>", "the report has no <page>"},
        {"<report>\n<page height=\"50\"/></report>", "t.rmf:2: <page>: attribute \"width\" is missing"},
        {"<report><page width=\"abc\" height=\"50\"/></report>", "attribute \"width\" is not a number: \"abc\""},
        {"<report><page width=\"-5\" height=\"50\"/></report>", "\"width\" must be greater than 0"},
        {"<report><page width=\"5\" height=\"50000\"/></report>", "\"height\" must not exceed 2000"},
        {"<report><page width=\"10\" height=\"10\" margin-left=\"6\" margin-right=\"5\"/></report>",
         "the margins leave no room"},
        {"<report>" + page + "\n\n<memo x=\"0\" y=\"0\" width=\"5\"/></page></report>",
         "t.rmf:3: <memo>: attribute \"height\" is missing"},
        {"<report>" + page + "<memo name=\"a\" x=\"0\" y=\"0\" width=\"5\" height=\"5\" widht=\"3\"/></page></report>",
         "unknown attribute \"widht\""},
        {"<report>" + page + "<picture x=\"0\"/></page></report>", "unknown element <picture> (memo, line or box)"},
        {"<report><table/></report>", "unknown element <table> (variable or page)"},
        {"<report>" + page + "<memo name=\"a\" x=\"0\" y=\"0\" width=\"5\" height=\"5\"/>"
                             "<box name=\"a\" x=\"0\" y=\"0\" width=\"5\" height=\"5\"/></page></report>",
         "view \"a\" is named twice"},
        {"<report><variable name=\"v\"/><variable name=\"v\"/>" + page + "</page></report>",
         "variable \"v\" is declared twice"},
        {"<report><variable kind=\"text\"/>" + page + "</page></report>", "attribute \"name\" is missing or empty"},
        {"<report><variable name=\"v\" kind=\"money\"/>" + page + "</page></report>", "kind must be text, number or date"},
        {"<report><variable name=\"v\" kind=\"number\" value=\"1,5\"/>" + page + "</page></report>",
         "\"1,5\" is not a number"},
        {"<report><variable name=\"v\" kind=\"date\" value=\"2024-02-30\"/>" + page + "</page></report>",
         "\"2024-02-30\" is not a date"},
        {"<report>" + page + "<memo x=\"0\" y=\"0\" width=\"5\" height=\"5\" align=\"justify\"/></page></report>",
         "align must be left, center or right"},
        {"<report>" + page + "<memo x=\"0\" y=\"0\" width=\"5\" height=\"5\" bold=\"maybe\"/></page></report>",
         "must be true or false"},
        {"<report>" + page + "<memo x=\"0\" y=\"0\" width=\"5\" height=\"5\" border=\"dotted\"/></page></report>",
         "border takes none, all"},
        {"<report>" + page + "<memo x=\"0\" y=\"0\" width=\"5\" height=\"5\"><b>x</b></memo></page></report>",
         "a memo holds text only"},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><report/>", "unsupported encoding \"iso-8859-1\""},
        {"<report>stray" + page + "</page></report>", "text outside of a view"},
    };
    for (const Case& c : cases) {
        const std::string message = error_of(c.text);
        EXPECT_NE(message.find(c.expected), std::string::npos) << "template: " << c.text << "\nmessage: " << message;
        EXPECT_EQ(message.rfind("t.rmf:", 0), 0u) << message;
    }
}

TEST(ReportTemplate, MissingFileIsAClearError) {
    testing::TempDir dir;
    Report r;
    try {
        r.load(dir / "none.rmf");
        FAIL() << "loaded a missing file";
    } catch (const ReportError& e) {
        EXPECT_EQ(std::string(e.what()), dir / "none.rmf" + ": the template file cannot be opened");
    }
    // A directory is no template either.
    EXPECT_THROW(r.load(dir.path()), ReportError);
    testing::write_file(dir / "ok.rmf", kSmall);
    r.load(dir / "ok.rmf");
    EXPECT_EQ(r.pages().size(), 2u);
    // A failed reload leaves nothing of the earlier template.
    testing::write_file(dir / "bad.rmf", "<report>");
    EXPECT_THROW(r.load(dir / "bad.rmf"), ReportError);
    EXPECT_TRUE(r.empty());
    EXPECT_TRUE(r.variables().empty());
}

TEST(ReportTemplate, MemoTextsAndVariablesAreSet) {
    Report r;
    r.load_text(kSmall, "small.rmf");
    r.set_memo_text("who", gbk("结算流水号:[name]"));
    EXPECT_EQ(r.find_view("who")->text, gbk("结算流水号:[name]"));
    EXPECT_THROW(r.set_memo_text("frame", "x"), ReportError) << "a box is no memo";
    EXPECT_THROW(r.set_memo_text("missing", "x"), ReportError);

    r.set_text("name", gbk("张三"));
    r.set_value("amount", 3.0);
    r.set_text("created", "new");
    r.set_value("when", encode_date_time(2024, 5, 6, 9, 30, 15));
    ASSERT_EQ(r.variables().size(), 6u);
    EXPECT_EQ(r.variables()[4].name, "created") << "created at the end";
    EXPECT_EQ(r.variables()[5].kind, Variable::Kind::Date);
    // An existing variable keeps its place and takes the new kind.
    r.set_text("amount", "abc");
    EXPECT_EQ(r.variables()[1].name, "amount");
    EXPECT_EQ(r.variables()[1].kind, Variable::Kind::Text);
    EXPECT_EQ(r.variables()[1].text, "abc");
    r.set_value("name", 7.0);
    EXPECT_EQ(r.variable("name")->kind, Variable::Kind::Number);
    EXPECT_EQ(r.variable("name")->text, "");
}

TEST(ReportLayout, ReferencesAreResolved) {
    Report r;
    r.load_text(kSmall, "small.rmf");
    r.set_text("name", gbk("张三"));
    const View& who = *r.find_view("who");
    EXPECT_EQ(resolve_text(r, who), gbk("姓名：张三"));
    EXPECT_EQ(resolve_text(r, *r.find_view("second")), gbk("12.50 2024年5月6日"));

    auto resolved = [&](const std::string& text) {
        View v;
        v.text = text;
        return resolve_text(r, v);
    };
    EXPECT_EQ(resolved("[[name]"), "[name]") << "[[ stands for [";
    EXPECT_EQ(resolved("[unknown]x"), "x") << "an unknown variable gives nothing";
    EXPECT_EQ(resolved("a[name"), "a[name") << "an unterminated reference stays";
    EXPECT_EQ(resolved("[amount:#,##0.000]"), "12.500");
    // A GBK character whose trail byte is "]" (0x5D) does not end a reference:
    // "[x" + "癩" stays as it stands.
    const std::string trail_bracket = gbk("癩");
    ASSERT_EQ(trail_bracket[1], ']');
    EXPECT_EQ(resolved("[x" + trail_bracket), "[x" + trail_bracket);

    // Values are inserted as they are, never resolved again.
    r.set_text("name", "[amount]");
    EXPECT_EQ(resolve_text(r, who), gbk("姓名：") + "[amount]");
    // A text set through the memo is printed literally.
    r.set_memo_text("who", "[amount]");
    EXPECT_EQ(resolve_text(r, who), "[amount]");
}

TEST(ReportLayout, DisplayTextsOfValues) {
    Variable n;
    n.kind = Variable::Kind::Number;
    const std::pair<double, const char*> general[] = {{1234.5, "1234.5"}, {100, "100"}, {0, "0"}, {-3.25, "-3.25"}};
    for (const auto& [v, text] : general) {
        n.number = v;
        EXPECT_EQ(display_text(n), text);
    }
    n.number = 1234567.005;
    EXPECT_EQ(display_text(n, "0.00"), "1234567.01");
    EXPECT_EQ(display_text(n, "#,##0.00"), "1,234,567.01");
    EXPECT_EQ(display_text(n, "0"), "1234567");
    n.number = -0.001;
    EXPECT_EQ(display_text(n, "0.00"), "0.00") << "no negative zero";
    n.number = -1200.5;
    EXPECT_EQ(display_text(n, "#,##0.00"), "-1,200.50");

    Variable d;
    d.kind = Variable::Kind::Date;
    EXPECT_EQ(display_text(d), "") << "the zero date shows nothing";
    d.date = encode_date_time(2024, 5, 6, 9, 3, 5);
    EXPECT_EQ(display_text(d, "yyyy-mm-dd hh:nn:ss"), "2024-05-06 09:03:05");
    EXPECT_EQ(display_text(d, "yy/m/d"), "24/5/6");
    const std::string short_date = format_short_date(d.date);
    EXPECT_EQ(display_text(d), short_date + " 09:03:05");
    d.date = encode_date(2024, 5, 6);
    EXPECT_EQ(display_text(d), short_date) << "no time part, no time";

    Variable t;
    t.text = gbk("文本");
    EXPECT_EQ(display_text(t, "0.00"), gbk("文本")) << "a text ignores the format";
}

TEST(ReportLayout, PrepareResolvesTextsAndHidesConditionalMemos) {
    const std::string text = R"(<report><variable name="flag"/><variable name="v" kind="number" value="2"/>
      <page width="100" height="50" margin-left="5">
        <memo name="a" x="0" y="0" width="50" height="8" show-when="flag">shown with flag [v]</memo>
        <memo name="b" x="0" y="0" width="50" height="8" hide-when="flag">shown without flag</memo>
        <line x1="0" y1="10" x2="90" y2="10"/>
      </page></report>)";
    Report r;
    r.load_text(text, "cond.rmf");
    PreparedReport p = prepare(r);
    ASSERT_EQ(p.pages.size(), 1u);
    EXPECT_EQ(p.pages[0].margins.left, 5);
    ASSERT_EQ(p.pages[0].items.size(), 2u);
    EXPECT_EQ(p.pages[0].items[0].utf8, "shown without flag");
    EXPECT_EQ(p.pages[0].items[1].view.kind, ViewKind::Line);

    r.set_text("flag", "1");
    p = prepare(r);
    ASSERT_EQ(p.pages[0].items.size(), 2u);
    EXPECT_EQ(p.pages[0].items[0].utf8, "shown with flag 2");
    EXPECT_EQ(r.find_view("a")->text, "shown with flag [v]") << "the report itself is unchanged";
}

}  // namespace
}  // namespace vorla::report
