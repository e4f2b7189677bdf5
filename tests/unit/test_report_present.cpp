// Printing and previewing: the print dialog's logic, the scripted cashier's
// print and preview steps, and the real preview window and print dialog on a
// virtual display (Xvfb, started here; skipped without it).
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Window.H>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/display.h"
#include "platform/printing.h"
#include "report/present.h"
#include "report/report.h"
#include "support.h"
#include "ui/cashier.h"
#include "ui/preview_pager.h"
#include "ui/preview_print_dialog.h"
#include "ui/preview_window.h"

namespace vorla {
namespace {

using ui::PrintDialogLogic;
using ui::PrintRequest;

const std::string kReport = R"(<report title="打印测试">
  <variable name="name"/>
  <page width="210" height="148"><memo x="10" y="10" width="150" height="10">第一页 [name]</memo></page>
  <page width="210" height="148"><memo x="10" y="10" width="150" height="10">第二页</memo></page>
  <page width="210" height="148"><memo x="10" y="10" width="150" height="10">第三页</memo></page>
</report>)";

report::Report three_pages() {
    report::Report r;
    r.load_text(kReport, "three.rmf");
    r.set_text("name", gbk("张三"));
    return r;
}

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

// No printing system for these tests: CUPS is pointed at a socket that does not exist.
class NoPrinters : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("CUPS_SERVER", (dir_ / "no-cups.sock").c_str(), 1); }
    void TearDown() override {
        ::unsetenv("CUPS_SERVER");
        ::unsetenv("VORLA_CASHIER");
    }
    // A fresh cashier script (a new path starts at its top).
    void script(const std::string& steps) {
        const std::string path = dir_ / ("script" + std::to_string(++scripts_));
        testing::write_file(path, steps);
        ::setenv("VORLA_CASHIER", path.c_str(), 1);
    }
    testing::TempDir dir_;
    int scripts_ = 0;
};

TEST(PreviewPager, PagesAndZoomStopAtTheirEnds) {
    ui::PreviewPager pager(3);
    EXPECT_EQ(pager.label(), "1 / 3");
    EXPECT_FALSE(pager.has_previous());
    pager.previous();
    EXPECT_EQ(pager.page(), 1);
    pager.next();
    pager.next();
    EXPECT_EQ(pager.label(), "3 / 3");
    EXPECT_TRUE(pager.has_previous());
    EXPECT_FALSE(pager.has_next());
    pager.next();
    EXPECT_EQ(pager.page(), 3);

    EXPECT_DOUBLE_EQ(pager.dpi(), 96);  // 100 %
    for (int i = 0; i < 10; ++i) pager.zoom_in();
    EXPECT_DOUBLE_EQ(pager.dpi(), 192);  // 200 % at most
    for (int i = 0; i < 10; ++i) pager.zoom_out();
    EXPECT_DOUBLE_EQ(pager.dpi(), 48);  // 50 % at least

    ui::PreviewPager empty(0);
    EXPECT_EQ(empty.label(), "0 / 0");
    EXPECT_FALSE(empty.has_previous());
    EXPECT_FALSE(empty.has_next());
}

TEST(PageRange, Table) {
    struct Case {
        const char* text;
        std::vector<int> pages;  // empty: rejected
    };
    const Case cases[] = {
        {"", {1, 2, 3, 4, 5}},   {"all", {1, 2, 3, 4, 5}}, {"2", {2}},       {"1-3", {1, 2, 3}},
        {" 4 - 5 ,1", {4, 5, 1}}, {"5-5", {5}},             {"0", {}},        {"6", {}},
        {"3-2", {}},             {"1,", {}},               {",1", {}},       {"a", {}},
        {"1-", {}},              {"-2", {}},               {"1..2", {}},     {"99999999999", {}},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto pages = ui::parse_page_range(c.text, 5, error);
        if (c.pages.empty()) {
            EXPECT_FALSE(pages) << c.text;
            EXPECT_NE(error.find(gbk("页码范围无效")), std::string::npos) << c.text;
        } else {
            ASSERT_TRUE(pages) << c.text;
            EXPECT_EQ(*pages, c.pages) << c.text;
        }
    }
}

TEST(PrintDialogLogic, ChoosesPrinterCopiesAndPages) {
    std::vector<platform::Printer> printers = {{"Office", "", false}, {"Desk", gbk("收费处"), true}};
    PrintDialogLogic logic(printers, "", 3);
    EXPECT_EQ(logic.selected(), 1) << "the default printer is chosen first";
    EXPECT_TRUE(logic.select("Office"));
    EXPECT_FALSE(logic.select("Nowhere"));
    EXPECT_EQ(logic.selected(), 0);
    EXPECT_TRUE(logic.set_copies(std::string_view("3")));
    EXPECT_FALSE(logic.set_copies(0));
    EXPECT_FALSE(logic.set_copies(100));
    EXPECT_FALSE(logic.set_copies(std::string_view("2x")));
    EXPECT_EQ(logic.copies(), 3);

    std::string error;
    auto r = logic.ok(error);
    ASSERT_TRUE(r) << platform::gbk_to_utf8(error);
    EXPECT_EQ(r->target, PrintRequest::Target::Printer);
    EXPECT_EQ(r->printer, "Office");
    EXPECT_EQ(r->copies, 3);
    EXPECT_EQ(r->pages, (std::vector<int>{1, 2, 3}));

    logic.set_range("2-3");
    r = logic.ok(error);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->pages, (std::vector<int>{2, 3}));
    logic.set_range("4");
    EXPECT_FALSE(logic.ok(error)) << "page 4 does not exist";
    logic.set_all_pages();
    EXPECT_TRUE(logic.ok(error));

    auto f = logic.to_file("/tmp/x.pdf", error);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->target, PrintRequest::Target::File);
    EXPECT_FALSE(logic.to_file("", error));
    EXPECT_EQ(PrintDialogLogic::cancel().target, PrintRequest::Target::Cancelled);
}

TEST(PrintDialogLogic, NoPrinterNoPrinting) {
    PrintDialogLogic logic({}, gbk("服务不可用"), 1);
    EXPECT_EQ(logic.selected(), -1);
    std::string error;
    EXPECT_FALSE(logic.ok(error));
    EXPECT_EQ(error, gbk("没有可用的打印机：服务不可用"));
    EXPECT_TRUE(logic.to_file("/tmp/x.pdf", error)) << "a file needs no printer";
}

TEST_F(NoPrinters, ScriptedPrintWritesTheChosenPages) {
    const std::string out = dir_ / "printed.pdf";
    script("print copies 2\nprint pages 2-3\nprint pdf " + out + "\n");
    EXPECT_EQ(report::print(three_pages()), report::Outcome::Written);
    const std::string text = run("pdftotext -enc UTF-8 '" + out + "' - 2>&1");
    EXPECT_EQ(text.find("第一页"), std::string::npos) << text;
    EXPECT_NE(text.find("第二页"), std::string::npos) << text;
    EXPECT_NE(text.find("第三页"), std::string::npos) << text;
}

TEST_F(NoPrinters, ScriptedCancelPrintsNothing) {
    const std::string out = dir_ / "never.pdf";
    script("print pages 1\nprint cancel\nprint pdf " + out + "\n");
    EXPECT_EQ(report::print(three_pages()), report::Outcome::Cancelled);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(NoPrinters, ScriptsThatDoNotFitAreErrors) {
    const std::string steps[] = {
        "print copies 0\n",            // out of range
        "print pages 9\nprint ok\n",   // no page 9 (and no printer)
        "print printer Nowhere\n",     // not offered
        "print ok\n",                  // no printer at all
        "print staple\n",              // no such action
        "preview card_type\n",         // the preview has no such action
        "card_type ok\n",              // not the dialog the library shows
        "",                            // exhausted
    };
    for (const std::string& s : steps) {
        script(s);
        EXPECT_THROW(s.rfind("preview", 0) == 0 ? report::preview(three_pages()) : report::print(three_pages()),
                     ui::ScriptError)
            << s;
    }
    EXPECT_THROW(report::print(report::Report()), report::ReportError) << "an empty report";
}

TEST_F(NoPrinters, ScriptedPreviewWritesPrintsAndCloses) {
    const std::string whole = dir_ / "preview.pdf";
    script("preview pdf " + whole + "\n");
    EXPECT_EQ(report::preview(three_pages()), report::Outcome::Written);
    const std::string text = run("pdftotext -enc UTF-8 '" + whole + "' - 2>&1");
    EXPECT_NE(text.find("第一页 张三"), std::string::npos) << text;
    EXPECT_NE(text.find("第三页"), std::string::npos) << text;

    // Print from the preview (first page only), then close it.
    const std::string printed = dir_ / "from-preview.pdf";
    script("preview print\nprint pages 1\nprint pdf " + printed + "\npreview close\n");
    EXPECT_EQ(report::preview(three_pages()), report::Outcome::Closed);
    const std::string first = run("pdftotext -enc UTF-8 '" + printed + "' - 2>&1");
    EXPECT_NE(first.find("第一页"), std::string::npos) << first;
    EXPECT_EQ(first.find("第二页"), std::string::npos) << first;

    script("preview close\n");
    EXPECT_EQ(report::preview(three_pages()), report::Outcome::Closed);

    // A file that cannot be written is a failure, not a silent success.
    script("preview pdf " + (dir_ / "no/such/dir/x.pdf") + "\n");
    EXPECT_THROW(report::preview(three_pages()), report::ReportError);
}

TEST(DocumentFile, WritesWholeFilesOnly) {
    testing::TempDir dir;
    std::string error;
    const std::string path = dir / gbk("发票.pdf");
    ASSERT_TRUE(platform::write_document_file(path, "abc", error)) << error;
    EXPECT_EQ(testing::read_file(platform::gbk_to_utf8(path)), "abc") << "a GBK name is the file system's UTF-8 name";
    ASSERT_TRUE(platform::write_document_file(path, "de", error));
    EXPECT_EQ(testing::read_file(platform::gbk_to_utf8(path)), "de") << "replaced";
    EXPECT_FALSE(platform::write_document_file(dir / "missing/x.pdf", "abc", error));
    EXPECT_NE(error.find("missing/x.pdf"), std::string::npos);
    EXPECT_FALSE(platform::write_document_file("", "abc", error));
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 1u) << "no temporary file is left behind";
}

TEST(MediaName, IsoSizesAndCustomPages) {
    EXPECT_EQ(platform::media_name(210, 148), "A5");
    EXPECT_EQ(platform::media_name(148, 210), "A5");
    EXPECT_EQ(platform::media_name(210.4, 297), "A4");
    EXPECT_EQ(platform::media_name(241, 93.5), "Custom.241x93.5mm");
}

// ---- the real windows on a virtual display ---------------------------------------------

// Xvfb on a display number it chooses itself (-displayfd), for the life of the
// test process; "" when it cannot run. Tests running in parallel processes get
// displays of their own.
std::string virtual_display() {
    static std::string display = [] {
        const std::string xvfb = "/usr/bin/Xvfb";
        if (::access(xvfb.c_str(), X_OK) != 0) return std::string();
        int fds[2];
        if (::pipe(fds) != 0) return std::string();
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // the display ends with the test process
            ::close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            ::execl(xvfb.c_str(), xvfb.c_str(), "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
                    "-nolisten", "tcp", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        if (pid < 0) {
            ::close(fds[0]);
            return std::string();
        }
        // The display number and a line feed, once the server accepts connections.
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        while (number.find('\n') == std::string::npos && ::poll(&p, 1, 10000) > 0) {
            char buf[16];
            const ssize_t n = ::read(fds[0], buf, sizeof buf);
            if (n <= 0) break;
            number.append(buf, static_cast<size_t>(n));
        }
        ::close(fds[0]);
        const size_t end = number.find('\n');
        return end == std::string::npos || end == 0 ? std::string() : ":" + number.substr(0, end);
    }();
    return display;
}

void walk(Fl_Widget* w, const std::function<void(Fl_Widget*)>& visit) {
    visit(w);
    if (Fl_Group* g = w->as_group())
        for (int i = 0; i < g->children(); ++i) walk(g->child(i), visit);
}

template <class T>
T* find(Fl_Window* window, const std::string& label_utf8) {
    T* found = nullptr;
    walk(window, [&](Fl_Widget* w) {
        if (!found && w->label() && label_utf8 == w->label()) found = dynamic_cast<T*>(w);
    });
    return found;
}

Fl_Window* window_of_class(const char* xclass) {
    for (Fl_Window* w = Fl::first_window(); w; w = Fl::next_window(w))
        if (w->xclass() && std::string(w->xclass()) == xclass && w->shown()) return w;
    return nullptr;
}

// Runs the steps one after the other from FLTK timeouts, each once the window of
// its class is shown; a step that finds no window after 5 s gives up.
struct Robot {
    struct Step {
        const char* xclass;
        std::function<void(Fl_Window*)> act;
    };
    std::vector<Step> steps;
    size_t next = 0;
    int waited = 0;
    std::vector<std::string> failures;

    ~Robot() { Fl::remove_timeout(&Robot::tick, this); }
    void start() { Fl::add_timeout(0.2, &Robot::tick, this); }
    static void tick(void* p) {
        auto* self = static_cast<Robot*>(p);
        if (self->next >= self->steps.size()) return;
        const Step& step = self->steps[self->next];
        if (Fl_Window* w = window_of_class(step.xclass)) {
            ++self->next;
            self->waited = 0;
            // Scheduled first: the step may open a modal window and wait in it.
            Fl::add_timeout(0.1, &Robot::tick, self);
            step.act(w);
        } else if (++self->waited > 50) {
            self->failures.push_back(std::string("no window of class ") + step.xclass);
            // Close whatever is open so that the test ends.
            for (Fl_Window* w = Fl::first_window(); w; w = Fl::next_window(w)) w->do_callback();
        } else {
            Fl::add_timeout(0.1, &Robot::tick, self);
        }
    }
};

std::string u8(const char* text) { return text; }

TEST_F(NoPrinters, PreviewWindowPagesAndPrintsThroughTheDialog) {
    const std::string display = virtual_display();
    if (display.empty()) GTEST_SKIP() << "Xvfb is not available";
    ::setenv("DISPLAY", display.c_str(), 1);
    std::string error;
    ASSERT_TRUE(platform::prepare_display(error)) << error;
    ::unsetenv("VORLA_CASHIER");

    std::string title, first_label, after_next, dialog_message;
    bool range_input_active_with_all = true;
    Robot robot;
    robot.steps = {
        {ui::kPreviewWindowClass,
         [&](Fl_Window* w) {
             title = w->label() ? w->label() : "";
             if (auto* label = find<Fl_Box>(w, u8("1 / 3"))) first_label = label->label();
             if (auto* next = find<Fl_Button>(w, u8("下一页"))) next->do_callback();
             if (find<Fl_Box>(w, u8("2 / 3"))) after_next = "2 / 3";
             find<Fl_Button>(w, u8("打印"))->do_callback();  // opens the print dialog (nested)
         }},
        {ui::kPrintDialogWindowClass,
         [&](Fl_Window* w) {
             range_input_active_with_all = false;
             walk(w, [&](Fl_Widget* x) {
                 // The page range field (the copies spinner has an input of its own).
                 auto* in = dynamic_cast<Fl_Input*>(x);
                 if (in && in->parent() == w && in->active()) range_input_active_with_all = true;
             });
             find<Fl_Button>(w, u8("打印"))->do_callback();  // no printer: the dialog says so and stays
             walk(w, [&](Fl_Widget* x) {
                 if (x->labelcolor() == FL_RED && x->label()) dialog_message = x->label();
             });
             find<Fl_Button>(w, u8("取消"))->do_callback();
         }},
        {ui::kPreviewWindowClass, [&](Fl_Window* w) { find<Fl_Button>(w, u8("关闭"))->do_callback(); }},
    };
    robot.start();
    EXPECT_EQ(report::preview(three_pages()), report::Outcome::Closed);
    EXPECT_TRUE(robot.failures.empty()) << robot.failures.front();
    EXPECT_EQ(title, u8("打印测试 - 打印预览"));
    EXPECT_EQ(first_label, "1 / 3");
    EXPECT_EQ(after_next, "2 / 3");
    EXPECT_FALSE(range_input_active_with_all) << "the page range is off while all pages are chosen";
    EXPECT_NE(dialog_message.find(u8("没有可用的打印机")), std::string::npos) << dialog_message;
}

TEST_F(NoPrinters, PrintDialogWindowCancelPrintsNothing) {
    const std::string display = virtual_display();
    if (display.empty()) GTEST_SKIP() << "Xvfb is not available";
    ::setenv("DISPLAY", display.c_str(), 1);
    std::string error;
    ASSERT_TRUE(platform::prepare_display(error)) << error;
    ::unsetenv("VORLA_CASHIER");

    Robot robot;
    robot.steps = {{ui::kPrintDialogWindowClass, [&](Fl_Window* w) {
                        find<Fl_Round_Button>(w, u8("页码："))->do_callback();
                        find<Fl_Button>(w, u8("取消"))->do_callback();
                    }}};
    robot.start();
    EXPECT_EQ(report::print(three_pages()), report::Outcome::Cancelled);
    EXPECT_TRUE(robot.failures.empty()) << robot.failures.front();
}

}  // namespace
}  // namespace vorla
