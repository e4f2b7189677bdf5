// The real card type dialog on a virtual display: J1 through the built library
// without a cashier script; a second thread clicks "证件号码[&3]", types the
// number and presses OK through the XTest extension, and saves a screenshot of
// the dialog in <build>/tests/artifacts/card_type_dialog.png. Skips when Xvfb
// (or XTest) is not available.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <strings.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/text.h"
#include "png_file.h"
#include "test_cards_workstation.h"
#include "ui/card_type_view.h"

#ifdef VORLA_HAVE_XTEST
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#endif

// The dialog toolkit keeps its font and region caches for the life of the
// display, which the library keeps open for the life of the process: under
// LeakSanitizer those are no leaks of the library. (Weak: another test file of
// this program may give its own list.)
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libXft.so\nleak:XCreateRegion\n";
}

namespace vorla {
namespace {

// Xvfb on a display number it picks itself, for the life of the process.
class VirtualDisplay {
public:
    VirtualDisplay() {
        const char* candidates[] = {"/usr/bin/Xvfb", "/usr/local/bin/Xvfb"};
        std::string xvfb;
        for (const char* c : candidates)
            if (::access(c, X_OK) == 0) xvfb = c;
        if (xvfb.empty()) return;
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            ::close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            ::execl(xvfb.c_str(), xvfb.c_str(), "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
                    "tcp", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        while (number.find('\n') == std::string::npos && ::poll(&p, 1, 10000) > 0) {
            char buf[16];
            const ssize_t n = ::read(fds[0], buf, sizeof buf);
            if (n <= 0) break;
            number.append(buf, static_cast<size_t>(n));
        }
        ::close(fds[0]);
        if (!number.empty() && number.find('\n') != std::string::npos)
            name_ = ":" + number.substr(0, number.find('\n'));
    }
    ~VirtualDisplay() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    const std::string& name() const { return name_; }  // "" when there is none

private:
    pid_t pid_ = -1;
    std::string name_;
};

#ifdef VORLA_HAVE_XTEST

// A PNG file of the pixels (8-bit RGB rows).
bool write_png(const std::string& path, int width, int height, const std::string& rgb) {
    const std::string png = vorla::testing::png_of_rgb(width, height, rgb);
    if (png.empty()) return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << png;
    return static_cast<bool>(out);
}

// The cashier's hands on the virtual display.
class Hands {
public:
    explicit Hands(const std::string& display) : dpy_(XOpenDisplay(display.c_str())) {}
    ~Hands() {
        if (dpy_) XCloseDisplay(dpy_);
    }
    bool ok() const {
        int event, error, major, minor;
        return dpy_ && XTestQueryExtension(dpy_, &event, &error, &major, &minor);
    }
    // The dialog's top-level window, waiting up to `limit` for it to be mapped.
    Window find_dialog(std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            if (Window w = dialog()) return w;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return 0;
    }
    Window dialog() {
        Window root_return, parent, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (XQueryTree(dpy_, DefaultRootWindow(dpy_), &root_return, &parent, &children, &count)) {
            for (unsigned i = 0; i < count && !found; ++i) {
                XClassHint hint{};
                XWindowAttributes attrs{};
                if (XGetClassHint(dpy_, children[i], &hint)) {
                    // FLTK capitalises the class ("Vorla-card-type") and keeps the instance name.
                    const bool ours = (hint.res_name && ::strcasecmp(hint.res_name, ui::kCardTypeWindowClass) == 0) ||
                                      (hint.res_class && ::strcasecmp(hint.res_class, ui::kCardTypeWindowClass) == 0);
                    if (hint.res_name) XFree(hint.res_name);
                    if (hint.res_class) XFree(hint.res_class);
                    if (ours && XGetWindowAttributes(dpy_, children[i], &attrs) && attrs.map_state == IsViewable)
                        found = children[i];
                }
            }
            if (children) XFree(children);
        }
        return found;
    }
    // Esc on every viewable top-level window.
    void escape_any() {
        Window root_return, parent, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(dpy_, DefaultRootWindow(dpy_), &root_return, &parent, &children, &count)) return;
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes attrs{};
            if (XGetWindowAttributes(dpy_, children[i], &attrs) && attrs.map_state == IsViewable && attrs.width > 50) {
                click(children[i], 2, 2);
                key(XK_Escape);
            }
        }
        if (children) XFree(children);
    }
    void click(Window w, int x, int y) {
        int rx = 0, ry = 0;
        Window child;
        XTranslateCoordinates(dpy_, w, DefaultRootWindow(dpy_), x, y, &rx, &ry, &child);
        XTestFakeMotionEvent(dpy_, -1, rx, ry, 0);
        XTestFakeButtonEvent(dpy_, 1, True, 0);
        XTestFakeButtonEvent(dpy_, 1, False, 0);
        XFlush(dpy_);
        pause();
    }
    void key(KeySym sym) {
        const KeyCode code = XKeysymToKeycode(dpy_, sym);
        XTestFakeKeyEvent(dpy_, code, True, 0);
        XTestFakeKeyEvent(dpy_, code, False, 0);
        XFlush(dpy_);
    }
    void type(const std::string& digits) {
        for (char c : digits) key(XK_0 + (c - '0'));
        pause();
    }
    bool screenshot(Window w, const std::string& path) {
        XWindowAttributes attrs{};
        if (!XGetWindowAttributes(dpy_, w, &attrs)) return false;
        XImage* image = XGetImage(dpy_, w, 0, 0, attrs.width, attrs.height, AllPlanes, ZPixmap);
        if (!image) return false;
        std::string rgb;
        colours_ = 0;
        unsigned long first = XGetPixel(image, 0, 0);
        for (int y = 0; y < attrs.height; ++y)
            for (int x = 0; x < attrs.width; ++x) {
                const unsigned long p = XGetPixel(image, x, y);
                if (p != first) ++colours_;
                rgb += static_cast<char>((p & image->red_mask) >> 16);
                rgb += static_cast<char>((p & image->green_mask) >> 8);
                rgb += static_cast<char>(p & image->blue_mask);
            }
        XDestroyImage(image);
        return write_png(path, attrs.width, attrs.height, rgb);
    }
    // Pixels that differ from the top-left one in the last screenshot.
    long varied_pixels() const { return colours_; }
    static void pause() { std::this_thread::sleep_for(std::chrono::milliseconds(300)); }

private:
    Display* dpy_;
    long colours_ = 0;
};

#endif  // VORLA_HAVE_XTEST

TEST(CardTypeDialogView, ClickAnItemTypeAndOkOnAVirtualDisplay) {
#ifndef VORLA_HAVE_XTEST
    GTEST_SKIP() << "built without the XTest library";
#else
    static VirtualDisplay display;  // outlives the library below
    if (display.name().empty()) GTEST_SKIP() << "Xvfb is not available";
    Hands hands(display.name());
    if (!hands.ok()) GTEST_SKIP() << "the virtual display has no XTest extension";
    // Kept loaded to the end of the process: once FLTK has set its scheme, the
    // environment holds an entry (FLTK_SCHEME) that points into the library.
    static testing::Workstation& workstation = *new testing::Workstation("gui", true);

    testing::CardDesk desk;
    ::setenv("DISPLAY", display.name().c_str(), 1);
    const std::string screenshot = std::string(VORLA_ARTIFACT_DIR) + "/card_type_dialog.png";
    std::filesystem::create_directories(VORLA_ARTIFACT_DIR);
    std::filesystem::remove(screenshot);

    std::atomic<bool> seen{false}, shot{false};
    std::atomic<long> varied{0};
    std::thread cashier([&] {
        const Window w = hands.find_dialog(std::chrono::seconds(20));
        if (!w) {
            // Whatever window the library shows, Esc closes it so the call returns.
            hands.escape_any();
            return;
        }
        seen = true;
        Hands::pause();  // the first timer tick
        using L = ui::CardTypeLayout;
        hands.click(w, L::item(2).x + 12, L::item(2).center_y());
        hands.type("640102199001011223");
        shot = hands.screenshot(w, screenshot);
        varied = hands.varied_pixels();
        hands.click(w, L::ok.center_x(), L::ok.center_y());
        // Should the dialog still be open, Esc closes it so the call returns.
        for (int i = 0; i < 20 && hands.dialog(); ++i) Hands::pause();
        if (hands.dialog()) hands.key(XK_Escape);
    });
    const std::string answer = workstation.call(
        "J1", R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J1</APP>)"
              R"(<WorkDate>20240131</WorkDate></HEAD><MSG><HEAD><PWD>1</PWD></HEAD></MSG></DATA>)");
    cashier.join();
    ::unsetenv("DISPLAY");

    ASSERT_TRUE(seen) << "the dialog was not shown: " << answer;
    EXPECT_TRUE(shot) << "screenshot " << screenshot;
    EXPECT_GT(varied, 1000) << "the dialog's controls are drawn";
    const std::string today = testing::today();
    EXPECT_EQ(answer, R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J1</APP>)"
                      R"(<WorkDate>20240131</WorkDate><ErrCode>0</ErrCode></HEAD><MSG><HEAD><DKLX>3</DKLX><FKRQ>)" +
                          today + "</FKRQ><SFZH>640102199001011223</SFZH><CSRQ>" + today +
                          "</CSRQ></HEAD></MSG></DATA>");
    EXPECT_EQ(desk.cwd_file("list.file"), "2\r\n");
#endif
}

TEST(CardTypeDialogView, NoDisplayFailsTheReadInsteadOfEndingTheHost) {
    testing::Workstation& workstation = testing::full_workstation();
    testing::CardDesk desk;
    ::setenv("DISPLAY", ":97531", 1);
    const std::string answer = workstation.call(
        "J1", R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J1</APP>)"
              R"(<WorkDate>20240131</WorkDate></HEAD><MSG><HEAD><PWD>1</PWD></HEAD></MSG></DATA>)");
    ::unsetenv("DISPLAY");
    EXPECT_NE(answer.find("<ErrCode>-1</ErrCode><ErrDetail>" + gbk("无法显示卡类型选择窗口:")), std::string::npos)
        << answer;
    EXPECT_TRUE(desk.driver_calls().empty());
}

}  // namespace
}  // namespace vorla
