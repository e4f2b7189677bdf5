// The real settlement choices window on a virtual display (Xvfb, started here;
// the test is skipped without it): what it shows, that it forwards a click to
// the logic, that OK closes it; a screenshot is left as an artifact
// (settlement_dialog.png in $VORLA_TEST_TMP or the temporary directory).
#include <gtest/gtest.h>
// After GoogleTest: the X11 headers define macros such as None.
#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Browser.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Window.H>
#include <FL/platform.H>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/text.h"
#include "png_file.h"
#include "messages/serializer.h"
#include "platform/display.h"
#include "platform/platform.h"
#include "query/settlement_choices.h"
#include "ui/settlement_view.h"

#if defined(__SANITIZE_ADDRESS__)
// Xft keeps fontconfig's configuration and font caches for the life of the
// display, which the library keeps open for the life of the process: at exit
// LeakSanitizer sees them as leaks of fontconfig's own allocations.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

namespace vorla {
namespace {

// ---- a virtual display for the life of the test process -------------------------------

std::string find_xvfb() {
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"}) {
        const std::string p = std::string(dir) + "/Xvfb";
        if (::access(p.c_str(), X_OK) == 0) return p;
    }
    return {};
}

// Starts Xvfb on a free display number once; "" when it cannot.
std::string virtual_display() {
    static std::string display = [] {
        const std::string xvfb = find_xvfb();
        if (xvfb.empty()) return std::string();
        for (int n = 91; n < 120; ++n) {
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
            struct stat st {};
            if (::stat(socket.c_str(), &st) == 0 || ::stat(lock.c_str(), &st) == 0) continue;
            const std::string name = ":" + std::to_string(n);
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // the display ends with the test process
                ::execl(xvfb.c_str(), xvfb.c_str(), name.c_str(), "-screen", "0", "1280x1024x24", "-nolisten",
                        "tcp", static_cast<char*>(nullptr));
                ::_exit(127);
            }
            if (pid < 0) return std::string();
            for (int i = 0; i < 100; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                if (::stat(socket.c_str(), &st) == 0) return name;
                int status = 0;
                if (::waitpid(pid, &status, WNOHANG) == pid) break;  // that number was taken after all
            }
        }
        return std::string();
    }();
    return display;
}

// ---- finding widgets by label -------------------------------------------------------------

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

// ---- the screenshot as PNG ---------------------------------------------------------------------

std::size_t write_png(const std::string& path, int w, int h, const std::function<unsigned long(int, int)>& pixel) {
    std::string rgb;
    std::set<unsigned long> colours;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned long p = pixel(x, y);
            colours.insert(p);
            rgb += static_cast<char>((p >> 16) & 0xFF);
            rgb += static_cast<char>((p >> 8) & 0xFF);
            rgb += static_cast<char>(p & 0xFF);
        }
    std::ofstream(path, std::ios::binary) << testing::png_of_rgb(w, h, rgb);
    return colours.size();
}

// ---- the test ------------------------------------------------------------------------------------

struct Driver {
    query::TF_display* form = nullptr;
    std::string screenshot;
    std::size_t colours = 0;
    bool ran = false;
};

std::string u8(const char* s) { return s; }

void drive(void* data) {
    auto* d = static_cast<Driver*>(data);
    d->ran = true;
    Fl_Window* window = Fl::first_window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(u8(window->label()), platform::gbk_to_utf8(d->form->caption()));

    // The person's data and the preselected employee insurance.
    auto* name = find<Fl_Output>(window, u8("人员姓名"));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(u8(name->value()), u8("张三"));
    auto* birth = find<Fl_Output>(window, u8("出生日期"));
    ASSERT_NE(birth, nullptr);
    EXPECT_EQ(u8(birth->value()), "1990-01-01");
    auto* employee = find<Fl_Round_Button>(window, u8("310^职工基本医疗保险"));
    auto* resident = find<Fl_Round_Button>(window, u8("390^城乡居民基本医疗保险"));
    ASSERT_NE(employee, nullptr);
    ASSERT_NE(resident, nullptr);
    EXPECT_EQ(employee->value(), 1);
    auto* diseases = find<Fl_Check_Browser>(window, u8("病种信息(请选择其中一种进行就医)"));
    ASSERT_NE(diseases, nullptr);
    ASSERT_EQ(diseases->nitems(), 2);
    EXPECT_EQ(u8(diseases->text(1)), "A01^N1");
    EXPECT_EQ(diseases->checked(1), 1);
    EXPECT_EQ(diseases->checked(2), 1) << "14 at an institution outside the list: every disease";
    for (const char* label : {"社会保障号", "银行余额", "经办机构", "参保日期", "人员附加信息", "就医信息",
                              "医疗类别(请选择其中一种进行就医)", "基础信息", "待遇信息", "参保险种", "放弃[&C]"})
        EXPECT_NE(find<Fl_Widget>(window, u8(label)), nullptr) << label;

    // The cashier unchecks the second disease: the logic follows.
    diseases->checked(2, 0);
    diseases->do_callback();
    EXPECT_FALSE(d->form->diseases()[1].checked);

    Fl::flush();
    XSync(fl_display, False);
    XImage* image = XGetImage(fl_display, fl_xid(window), 0, 0, static_cast<unsigned>(window->w()),
                              static_cast<unsigned>(window->h()), AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    d->colours = write_png(d->screenshot, window->w(), window->h(),
                           [image](int x, int y) { return XGetPixel(image, x, y); });
    XDestroyImage(image);

    auto* ok = find<Fl_Button>(window, u8("确定[&O]"));
    ASSERT_NE(ok, nullptr);
    ok->do_callback();
}

TEST(SettlementView, RealDialogOnAVirtualDisplay) {
    const std::string display = virtual_display();
    if (display.empty()) GTEST_SKIP() << "Xvfb is not available";
    ::setenv("DISPLAY", display.c_str(), 1);
    std::string error;
    if (!platform::prepare_display(error)) GTEST_SKIP() << "no display: " << error;

    const std::string answer = gbk(
        R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>I1</APP><ErrCode>0</ErrCode></HEAD>)"
        "<MSG><HEAD><SHBZH>110101199001011234</SHBZH><RYXM>张三</RYXM><RYXB>1</RYXB><CSRQ>19900101</CSRQ></HEAD>"
        "<DETAIL><JBJGDM>640100</JBJGDM><XZDM>310^职工基本医疗保险</XZDM><CBRQ>20150701</CBRQ><GRZHYE>1234.5</GRZHYE>"
        "<JSJGDM>2640999^市医院</JSJGDM><YLLB>11^普通门诊$14^门诊大病</YLLB>"
        "<JBMC>14|A01^N1$14|B02^N2$11|C03^N3</JBMC><YBXX>在职人员-99|请出示社保卡$14|门诊大病备案有效</YBXX></DETAIL>"
        "<DETAIL><XZDM>390^城乡居民基本医疗保险</XZDM><YLLB>11^普通门诊</YLLB></DETAIL></MSG></DATA>");
    query::TF_display form(answer);
    Driver driver;
    driver.form = &form;
    const char* tmp = std::getenv("VORLA_TEST_TMP");
    const std::string dir = tmp && *tmp ? tmp : std::filesystem::temp_directory_path().string();
    std::filesystem::create_directories(dir);
    driver.screenshot = dir + "/settlement_dialog.png";

    const ui::DialogOutcome outcome = ui::show_settlement_window(form, &drive, &driver);
    ASSERT_TRUE(driver.ran) << "the window was never shown";
    EXPECT_EQ(outcome.closed, ui::DialogClose::Ok);
    EXPECT_GT(driver.colours, 16u) << "the screenshot shows more than a blank window: " << driver.screenshot;
    RecordProperty("screenshot", driver.screenshot);

    TI1OutBean out;
    read_bean(form.ok_answer(), out);
    ASSERT_EQ(out.MSG.DETAIL.size(), 1u);
    EXPECT_EQ(out.MSG.DETAIL[0].JBMC, "14|A01^N1");
}

}  // namespace
}  // namespace vorla
