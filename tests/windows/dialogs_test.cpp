// The Win32 dialogs, the invoice preview and printing under Windows (Wine on a
// virtual display): each window is opened through the entry point its callers
// use, on this program's main thread, while a second thread drives it like a
// cashier would — posted clicks, key presses and typed characters on its
// controls — reads back what it shows and saves screenshots. Printing goes to
// a PostScript printer installed here whose output the spooler copies to a
// file; tests/windows/run.sh then checks the page's text on the Linux side.
//
// Environment (tests/windows/run.sh sets it):
//   VORLA_WINTEST_ARTIFACTS   directory (Windows path) for the screenshots (PNG)
//   VORLA_WINTEST_PRINT_DIR   the Unix directory the printer's output files are copied to
//   VORLA_WINTEST_TEMPLATES   directory (Windows path) of the invoice templates
//   VORLA_WINTEST_FONT        a TrueType face with Chinese characters on this machine
//   VORLA_WINTEST_PORT        port of vorla-sim on 127.0.0.1 (the center, the authentication service)
//   VORLA_WINTEST_SCENARIO    the simulator's scenario directory (a Windows path)

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cards/evoucher.h"
#include "check.h"
#include "png_file.h"
#include "platform/dialogs.h"
#include "platform/win32/views/control_ids.h"
#include "query/settlement_choices.h"
#include "report/layout.h"
#include "report/present.h"
#include "report/render.h"
#include "report/report.h"
#include "ui/card_type_logic.h"
#include "ui/card_type_view.h"
#include "ui/preview_window.h"
#include "ui/settlement_view.h"

#include <dlgs.h>
#include <winspool.h>

namespace {

using namespace wintest;
namespace ids = vorla::platform::win32::views;
using namespace std::chrono_literals;

const std::string kWork = "C:\\vorla-dialogs";
std::string g_artifacts;
DWORD g_main_thread = 0;

std::wstring wide(const std::string& gbk_text) {
    if (gbk_text.empty()) return {};
    const int n = MultiByteToWideChar(936, 0, gbk_text.data(), static_cast<int>(gbk_text.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(936, 0, gbk_text.data(), static_cast<int>(gbk_text.size()), w.data(), n);
    return w;
}

std::string gbk_of(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(936, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(936, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

// ---- looking at windows from the driving thread ---------------------------------------------

// A window's text (GBK), read through WM_GETTEXT.
std::string text_of(HWND w) {
    wchar_t buf[2048] = {};
    const int n = GetWindowTextW(w, buf, 2048);
    return gbk_of(std::wstring(buf, static_cast<size_t>(n > 0 ? n : 0)));
}

std::string list_text(HWND list, int item) {
    const LRESULT n = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(item), 0);
    if (n < 0) return {};
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(w.data()));
    w.resize(static_cast<size_t>(n));
    return gbk_of(w);
}

int list_count(HWND list) { return static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0)); }

bool checked(HWND button) { return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

struct Search {
    const std::function<bool(HWND)>* fits;
    HWND found = nullptr;
};

BOOL CALLBACK visit(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<Search*>(p);
    if (IsWindowVisible(w) && (*s->fits)(w)) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

// A visible top-level window of the main thread that satisfies `fits`; waits up to 20 s.
HWND wait_window(const std::function<bool(HWND)>& fits) {
    for (int i = 0; i < 400; ++i) {
        Search search{&fits};
        EnumThreadWindows(g_main_thread, visit, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        Sleep(50);
    }
    return nullptr;
}

bool has_class(HWND w, const wchar_t* name) {
    wchar_t buf[128] = {};
    GetClassNameW(w, buf, 128);
    return lstrcmpiW(buf, name) == 0;
}

HWND wait_class(const char* class_name) {
    const std::wstring name = wide(class_name);
    return wait_window([&](HWND w) { return has_class(w, name.c_str()); });
}

// A dialog box of the system (message box, print dialog) holding a control `id`.
HWND wait_dialog_with(int id) {
    return wait_window([id](HWND w) { return has_class(w, L"#32770") && GetDlgItem(w, id) != nullptr; });
}

// Lets the window's thread handle what was posted and paint.
void settle(HWND w) {
    for (int i = 0; i < 3; ++i) {
        Sleep(150);
        DWORD_PTR result = 0;
        SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
    }
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(300);
}

// Waits up to 10 s for `condition`, letting the window's thread work; whether it held.
bool wait_until(HWND w, const std::function<bool()>& condition) {
    for (int i = 0; i < 100; ++i) {
        if (condition()) return true;
        DWORD_PTR result = 0;
        SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result);
        Sleep(100);
    }
    return condition();
}

// ---- synthesised input ---------------------------------------------------------------------

void click(HWND control) { PostMessageW(control, BM_CLICK, 0, 0); }

void type(HWND edit, const std::string& ascii) {
    for (char c : ascii) PostMessageW(edit, WM_CHAR, static_cast<WPARAM>(c), 1);
}

void press(HWND target, UINT key) {
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

void click_item(HWND list, int item) {
    RECT r{};
    SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&r));
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
}

// ---- screenshots -----------------------------------------------------------------------------

// The window as it is on the screen, frame included, saved as NAME.png among
// the artifacts; the number of distinct colours in it.
size_t screenshot(HWND window, const std::string& name) {
    RECT r{};
    GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return 0;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    std::string rgb;
    std::set<unsigned> colours;
    const auto* px = static_cast<const unsigned char*>(bits);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned char* p = px + (static_cast<size_t>(y) * w + x) * 4;
            rgb += static_cast<char>(p[2]);
            rgb += static_cast<char>(p[1]);
            rgb += static_cast<char>(p[0]);
            colours.insert(p[0] | (p[1] << 8) | (p[2] << 16));
        }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    write_file(g_artifacts + "\\" + name + ".png", vorla::testing::png_of_rgb(w, h, rgb));
    return colours.size();
}

// A second thread that drives the windows while the main thread is inside the
// modal call. When it cannot find a window it asks the main thread to quit the
// call's message loop, so that a failing check does not hang the run.
class Driver {
public:
    explicit Driver(std::function<bool()> steps)
        : thread_([this, steps] {
              if (!steps()) {
                  failed_ = true;
                  PostThreadMessageW(g_main_thread, WM_QUIT, 0, 0);
              }
          }) {}
    ~Driver() {
        if (thread_.joinable()) thread_.join();
    }
    bool failed() {
        if (thread_.joinable()) thread_.join();
        return failed_;
    }

private:
    std::atomic<bool> failed_{false};
    std::thread thread_;
};

// The WM_QUIT a failed driver posted is not left for the next check.
void drain_quit() {
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

// ---- the card type selection dialog -------------------------------------------------------

struct CardServices {
    int scans = 0, evoucher_queries = 0, pin_changes = 0;
    bool wait_cursor_shown = false;
    std::vector<std::string> messages;  // "caption|text" of the message boxes, GBK
};

CardServices* g_card = nullptr;

const char* __stdcall unreachable_evoucher_service(const char*, const char*, char*) {
    // The e-voucher component cannot reach its service: the wait cursor is on.
    g_card->wait_cursor_shown = GetCursor() == LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT));
    throw std::runtime_error("no route to the e-voucher service");
}

vorla::ui::CardTypeServices card_services(CardServices& s, const std::string& list_file) {
    vorla::ui::CardTypeServices services;
    services.scanner_present = [] { return false; };
    services.scan_qr_code = [&s] {
        ++s.scans;
        return std::string("QR0001");
    };
    services.query_evoucher = [&s] {
        ++s.evoucher_queries;
        // The component as the library loads it, unable to reach the service.
        vorla::cards::EVoucherContext context;
        context.component_loaded = true;
        context.trans = &unreachable_evoucher_service;
        context.address = "http://10.1.2.3:8080/ec";
        context.input = "{}";
        context.network_failure = [&s](std::string_view text) {
            s.messages.push_back(gbk("提示") + "|" + std::string(text));
            vorla::platform::message_box(text, gbk("提示"));
        };
        return vorla::cards::QueryEVoucher(context);
    };
    services.change_pin = [&s] {
        ++s.pin_changes;
        return std::pair<int, std::string>{-1, gbk("卡片未插入")};
    };
    services.message = [&s](std::string_view text, std::string_view caption) {
        s.messages.push_back(std::string(caption) + "|" + std::string(text));
        vorla::platform::message_box(text, caption);
    };
    services.list_file = list_file;
    return services;
}

HWND item(HWND dialog, int index) { return GetDlgItem(dialog, ids::kCardTypeItemId + index); }

HWND focus_of_main_thread() {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(g_main_thread, &gui);
    return gui.hwndFocus;
}

// Timer1's first tick has run: the remembered item `expected` is selected and,
// when the edit field is enabled, the edit field has the focus.
bool first_tick(HWND dialog, int expected) {
    return wait_until(dialog, [&] {
        if (!checked(item(dialog, expected))) return false;
        HWND edit = GetDlgItem(dialog, ids::kCardTypeEditId);
        return !IsWindowEnabled(edit) || focus_of_main_thread() == edit;
    });
}

// The message box the dialog shows: its text, then closed with its OK button.
bool answer_message_box(const std::string& screenshot_name, std::string& shown_text) {
    HWND box = wait_dialog_with(IDOK);
    if (!box) return false;
    settle(box);
    HWND text = GetDlgItem(box, 0xFFFF);  // the message's static control
    shown_text = text_of(box) + "|" + (text ? text_of(text) : "");
    if (!screenshot_name.empty()) screenshot(box, screenshot_name);
    click(GetDlgItem(box, IDOK));
    for (int i = 0; i < 100 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(50);
    return true;
}

void check_card_type_dialog() {
    using vorla::ui::CardTypeLogic;
    const std::string list_file = kWork + "\\list.file";

    // 1. No list.file, no scanner: opens on item 0; the cashier picks "证件号码",
    //    types the number and presses OK.
    {
        DeleteFileA(list_file.c_str());
        CardServices s;
        g_card = &s;
        CardTypeLogic logic(card_services(s, list_file), "BUSS0001");
        std::string caption, items_shown, typed_state;
        bool opened_on_0 = false, edit_enabled_after = false;
        size_t colours = 0;
        Driver driver([&] {
            HWND dialog = wait_class(vorla::ui::kCardTypeWindowClass);
            if (!dialog) return false;
            if (!first_tick(dialog, 0)) return false;
            settle(dialog);
            caption = text_of(dialog);
            for (int i = 0; i < 5; ++i) items_shown += text_of(item(dialog, i)) + "\n";
            opened_on_0 = checked(item(dialog, 0)) && !checked(item(dialog, 2));
            colours = screenshot(dialog, "card-type-dialog");
            click(item(dialog, 2));
            HWND edit = GetDlgItem(dialog, ids::kCardTypeEditId);
            edit_enabled_after =
                wait_until(dialog, [&] { return IsWindowEnabled(edit) && checked(item(dialog, 2)); });
            type(edit, "110101199001011234");
            wait_until(dialog, [&] { return text_of(edit) == "110101199001011234"; });
            settle(dialog);
            typed_state = text_of(edit);
            screenshot(dialog, "card-type-dialog-number");
            click(GetDlgItem(dialog, IDOK));
            return true;
        });
        std::string error;
        const bool opened = vorla::ui::run_card_type_view(logic, error);
        const bool drove = !driver.failed();
        drain_quit();
        check(opened && drove, "the card type dialog opens as a Win32 window and is driven", error);
        check(caption == gbk("卡类型选择[2.2020.12.6][BUSS0001]"), "its caption carries the version and bussid",
              shown(caption));
        check(items_shown == gbk("社会保障卡[&1]\n读身份证(T10读卡器)[&2]\n证件号码[&3]\n电子社保卡[&4]\n医保电子凭证[&5]\n"),
              "its five items are the GBK texts in order", shown(items_shown));
        check(opened_on_0, "without list.file and scanner it opens on 社会保障卡[&1]");
        check(colours > 16, "the screenshot card-type-dialog.png shows the drawn dialog",
              std::to_string(colours) + " colours");
        check(edit_enabled_after, "clicking 证件号码[&3] selects it and enables E_userid");
        check(typed_state == "110101199001011234", "typed characters reach E_userid", typed_state);
        const auto choice = logic.choice();
        check(choice && choice->cardType == "3" && choice->readerNumber == 7 && choice->data == "110101199001011234",
              "OK gives card type 3, reader 7 and the typed number",
              choice ? choice->cardType + " " + std::to_string(choice->readerNumber) + " " + choice->data : "none");
        check(read_file(list_file) == "2\r\n", "OK remembers item 2 in list.file", read_file(list_file));
    }

    // 2. list.file holds 2: opens on "证件号码" with the edit field focused; Esc
    //    cancels. The host's window takes no input while the dialog is open.
    {
        write_file(list_file, "2\r\n");
        CardServices s;
        g_card = &s;
        CardTypeLogic logic(card_services(s, list_file), "BUSS0002");
        HWND host = CreateWindowExW(0, L"STATIC", L"HIS", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                                    nullptr, GetModuleHandleW(nullptr), nullptr);
        bool on_2 = false, focused = false, host_disabled = false;
        Driver driver([&] {
            HWND dialog = wait_class(vorla::ui::kCardTypeWindowClass);
            if (!dialog) return false;
            if (!first_tick(dialog, 2)) return false;
            settle(dialog);
            host_disabled = host && !IsWindowEnabled(host);
            on_2 = checked(item(dialog, 2)) && !checked(item(dialog, 0));
            focused = focus_of_main_thread() == GetDlgItem(dialog, ids::kCardTypeEditId);
            press(GetDlgItem(dialog, ids::kCardTypeEditId), VK_ESCAPE);
            return true;
        });
        std::string error;
        vorla::ui::run_card_type_view(logic, error);
        check(!driver.failed(), "the dialog opened again");
        drain_quit();
        check(host_disabled, "the dialog is modal: the host's window takes no input while it is open");
        check(host && IsWindowEnabled(host), "the host's window takes input again after the dialog");
        if (host) DestroyWindow(host);
        check(on_2, "with list.file holding 2 it opens on 证件号码[&3]");
        check(focused, "and E_userid has the focus");
        check(logic.state() == vorla::ui::DialogState::ClosedCancel && !logic.choice(), "Esc closes it with Cancel");
    }

    // 3. 修改密码[&M] with 读身份证 selected, then with 社会保障卡: message boxes;
    //    the window's close box cancels.
    {
        DeleteFileA(list_file.c_str());
        CardServices s;
        g_card = &s;
        CardTypeLogic logic(card_services(s, list_file), "BUSS0003");
        std::string first, second;
        bool still_open = false;
        Driver driver([&] {
            HWND dialog = wait_class(vorla::ui::kCardTypeWindowClass);
            if (!dialog) return false;
            if (!first_tick(dialog, 0)) return false;
            settle(dialog);
            click(item(dialog, 1));
            wait_until(dialog, [&] { return checked(item(dialog, 1)); });
            click(GetDlgItem(dialog, ids::kCardTypeChangePinId));
            if (!answer_message_box("message-box-change-pin", first)) return false;
            click(item(dialog, 0));
            wait_until(dialog, [&] { return checked(item(dialog, 0)); });
            click(GetDlgItem(dialog, ids::kCardTypeChangePinId));
            if (!answer_message_box("", second)) return false;
            settle(dialog);
            still_open = IsWindowVisible(dialog) != FALSE;
            PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            return true;
        });
        std::string error;
        vorla::ui::run_card_type_view(logic, error);
        check(!driver.failed(), "the message boxes of 修改密码[&M] appear and are answered");
        drain_quit();
        check(first == gbk("提示|目前只适用新社会保障卡密码修改!"),
              "with 读身份证 selected only the message 目前只适用新社会保障卡密码修改! is shown", shown(first));
        check(s.pin_changes == 1, "the PIN is changed only with 社会保障卡 selected");
        check(second == gbk("提示|密码修改失败,失败原因:卡片未插入"), "a failed change shows the driver's reason",
              shown(second));
        check(still_open, "the dialog stays open after 修改密码[&M]");
        check(logic.state() == vorla::ui::DialogState::ClosedCancel, "the window's close box cancels");
    }

    // 4. 医保电子凭证[&5]: the e-voucher is queried under the wait cursor, its
    //    network failure shown in a message box, and the dialog closes with OK.
    {
        write_file(list_file, "1\r\n");
        CardServices s;
        g_card = &s;
        CardTypeLogic logic(card_services(s, list_file), "BUSS0004");
        std::string message;
        Driver driver([&] {
            HWND dialog = wait_class(vorla::ui::kCardTypeWindowClass);
            if (!dialog) return false;
            if (!first_tick(dialog, 1)) return false;
            settle(dialog);
            click(item(dialog, 4));
            return answer_message_box("message-box-evoucher", message);
        });
        std::string error;
        vorla::ui::run_card_type_view(logic, error);
        check(!driver.failed(), "choosing 医保电子凭证[&5] shows the network failure");
        drain_quit();
        check(s.wait_cursor_shown, "the e-voucher query runs under the wait cursor");
        check(GetCursor() != LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)),
              "the wait cursor is gone afterwards");
        check(message == gbk("提示|医保电子凭证网络不通，请ping测10.1.2.3"), "the message box names the host",
              shown(message));
        const auto choice = logic.choice();
        check(choice && choice->cardType == "5" && choice->readerNumber == 9 &&
                  choice->data == gbk("-10^^医保电子凭证网络不通，请ping测10.1.2.3"),
              "the dialog closes by itself with OK and the e-voucher result", choice ? shown(choice->data) : "none");
        check(read_file(list_file) == "1\r\n", "list.file is not rewritten for the e-voucher");
    }
}

const char* kI1Answer =
    R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>I1</APP><ErrCode>0</ErrCode></HEAD>)"
    "<MSG><HEAD><SHBZH>110101199001011234</SHBZH><RYXM>张三</RYXM><RYXB>1</RYXB><CSRQ>19900101</CSRQ></HEAD>"
    "<DETAIL><XZDM>390^城乡居民基本医疗保险</XZDM><JBJGDM>640200</JBJGDM><YLLB>11^普通门诊</YLLB>"
    "<JBMC>11|C03^N3</JBMC></DETAIL>"
    "<DETAIL><JBJGDM>640100</JBJGDM><XZDM>310^职工基本医疗保险</XZDM><CBRQ>20150701</CBRQ><GRZHYE>1234.5</GRZHYE>"
    "<JSJGDM>2640200^市医院</JSJGDM><YLLB>11^普通门诊$14^门诊大病</YLLB>"
    "<JBMC>14|A01^N1$14|B02^N2$11|C03^N3</JBMC><YBXX>在职人员-99|请出示社保卡$14|门诊大病备案有效</YBXX></DETAIL>"
    "</MSG></DATA>";

// ---- J1 through vorla.dll with the dialog on screen -----------------------------------------

using InvokeFn = void(__stdcall*)(const char* const*, char* const*);

std::string call_invoke(InvokeFn invoke, const std::string& request) {
    std::vector<char> buf(1 << 16, '#');
    const char* req = request.c_str();
    char* out = buf.data();
    invoke(&req, &out);
    const auto zero = std::find(buf.begin(), buf.end(), '\0');
    return zero == buf.end() ? std::string("<no terminating zero>") : std::string(buf.begin(), zero);
}

void ini_write(const std::string& section_utf8, const std::string& key_utf8, const std::string& value_gbk) {
    char dir[MAX_PATH] = {};
    GetSystemDirectoryA(dir, sizeof dir);
    WritePrivateProfileStringA(gbk(section_utf8).c_str(), gbk(key_utf8).c_str(), value_gbk.c_str(),
                               (std::string(dir) + "\\vorla.ini").c_str());
}

// The hospital's program calls J1 without a cashier script: the library shows
// the card type dialog (its window class registered by vorla.dll), the
// cashier confirms the social security card, the simulated card driver reads it.
void check_j1_through_the_library() {
    HMODULE library = LoadLibraryA("vorla.dll");
    if (!check(library != nullptr, "vorla.dll loads beside the program")) return;
    const auto invoke = reinterpret_cast<InvokeFn>(reinterpret_cast<void*>(GetProcAddress(library, "invoke")));
    char cwd[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof cwd, cwd);
    const std::string scenario = kWork + "\\drivers.scenario";
    write_file(scenario,
               "iReadCardBas.status = 0\n"
               "iReadCardBas.text = 640100|640102199001011223|C0001|K0001|张三|A1|V3|20180101|20280101|T1|D1|\n");
    _putenv_s("VORLA_DRIVER_SCENARIO", scenario.c_str());
    _putenv_s("VORLA_CASHIER", "");
    ini_write("鉴权系统地址", "鉴权系统地址", "http://127.0.0.1:" + env("VORLA_WINTEST_PORT") + "/galdo_mis_outland/outland/biz");
    const std::string request =
        "{functionname:'bizbuss',params:{hid:'10010001|H0001',biztype:'J1',ip:'127.0.0.1',indata:'"
        R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J1</APP>)"
        "<WorkDate>20240131</WorkDate></HEAD><MSG><HEAD><PWD>1</PWD></HEAD></MSG></DATA>'}}";

    std::string caption;
    Driver confirm([&] {
        HWND dialog = wait_class(vorla::ui::kCardTypeWindowClass);
        if (!dialog) return false;
        if (!first_tick(dialog, 0)) return false;
        settle(dialog);
        caption = text_of(dialog);
        screenshot(dialog, "j1-card-type-dialog");
        click(GetDlgItem(dialog, IDOK));
        return true;
    });
    const std::string answer = call_invoke(invoke, request);
    check(!confirm.failed(), "J1 shows the card type dialog of vorla.dll");
    drain_quit();
    check(caption.rfind(gbk("卡类型选择[2.2020.12.6]["), 0) == 0, "with the library's caption", shown(caption));
    check(contains(answer, "<ErrCode>0</ErrCode>") && contains(answer, gbk("<RYXM>张三</RYXM>")) &&
              contains(answer, "<DKLX>1</DKLX>"),
          "OK reads the social security card: J1 answers with the card holder", shown(answer));

    Driver cancel([&] {
        HWND dialog = wait_class(vorla::ui::kCardTypeWindowClass);
        if (!dialog) return false;
        if (!first_tick(dialog, 0)) return false;
        settle(dialog);
        press(GetDlgItem(dialog, IDCANCEL), VK_ESCAPE);
        return true;
    });
    const std::string cancelled = call_invoke(invoke, request);
    check(!cancel.failed(), "J1 shows the dialog again");
    drain_quit();
    check(contains(cancelled, "<ErrCode>-1</ErrCode>") && contains(cancelled, gbk("<ErrDetail>用户放弃</ErrDetail>")),
          "Esc: J1 fails with 用户放弃", shown(cancelled));

    // J2: the card type dialog, the I1 query relayed to the center (vorla-sim),
    // then the settlement choices dialog, all inside the one call.
    const std::string port = env("VORLA_WINTEST_PORT"), scenario_dir = env("VORLA_WINTEST_SCENARIO");
    if (!port.empty() && !scenario_dir.empty()) {
        ini_write("医保交易地址", "医保交易地址",
                  "http://127.0.0.1:" + port + "/RemoteFacedeBean/RemoteFacedeBeanService?WSDL");
        write_file(scenario_dir + "\\I1.xml", gbk(kI1Answer));
        const std::string j2 =
            "{functionname:'bizbuss',params:{hid:'10010001|H0001',biztype:'J2',ip:'127.0.0.1',indata:'"
            R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J2</APP>)"
            "<WorkDate>20240131</WorkDate></HEAD><MSG><HEAD><YLJGDM>H0001</YLJGDM><MZZYBZ>0</MZZYBZ>"
            "<PWD>1</PWD></HEAD></MSG></DATA>'}}";
        bool both = false;
        Driver choose([&] {
            HWND card = wait_class(vorla::ui::kCardTypeWindowClass);
            if (!card || !first_tick(card, 0)) return false;
            click(GetDlgItem(card, IDOK));
            HWND settlement = wait_class(vorla::ui::kSettlementWindowClass);
            if (!settlement) return false;
            settle(settlement);
            screenshot(settlement, "j2-settlement-dialog");
            both = true;
            click(GetDlgItem(settlement, ids::kSettlementOkId));
            return true;
        });
        const std::string answer_j2 = call_invoke(invoke, gbk(j2));
        check(!choose.failed() && both, "J2 shows the card type dialog, then the settlement choices dialog");
        drain_quit();
        check(contains(answer_j2, "<ErrCode>0</ErrCode>") &&
                  contains(answer_j2, gbk("<XZDM>310^职工基本医疗保险</XZDM>")) &&
                  !contains(answer_j2, gbk("390^")) && contains(answer_j2, "<JBMC>14|A01^N1</JBMC>"),
              "J2 answers with the preselected insurance type, category and disease", shown(answer_j2));
    }
    _putenv_s("VORLA_DRIVER_SCENARIO", "");
    FreeLibrary(library);
}

// ---- the settlement choices dialog ------------------------------------------------------------

void check_settlement_dialog() {
    vorla::query::TF_display form(gbk(kI1Answer));
    std::string name, birth, radio_texts, categories, diseases, information, memo, unit_after_390;
    bool employee_selected = false, resident_after_click = false;
    size_t colours = 0;
    Driver driver([&] {
        HWND dialog = wait_class(vorla::ui::kSettlementWindowClass);
        if (!dialog) return false;
        settle(dialog);
        name = text_of(GetDlgItem(dialog, ids::kSettlementBasicId + 4));    // 人员姓名
        birth = text_of(GetDlgItem(dialog, ids::kSettlementBasicId + 6));   // 出生日期
        radio_texts = text_of(GetDlgItem(dialog, ids::kSettlementRadioId)) + "\n" +
                      text_of(GetDlgItem(dialog, ids::kSettlementRadioId + 1));
        employee_selected = checked(GetDlgItem(dialog, ids::kSettlementRadioId + 1)) &&
                            !checked(GetDlgItem(dialog, ids::kSettlementRadioId));
        HWND category_list = GetDlgItem(dialog, ids::kSettlementCategoriesId);
        HWND disease_list = GetDlgItem(dialog, ids::kSettlementDiseasesId);
        HWND information_list = GetDlgItem(dialog, ids::kSettlementInformationId);
        for (int i = 0; i < list_count(category_list); ++i) categories += list_text(category_list, i) + "\n";
        for (int i = 0; i < list_count(disease_list); ++i) diseases += list_text(disease_list, i) + "\n";
        for (int i = 0; i < list_count(information_list); ++i) information += list_text(information_list, i) + "\n";
        memo = text_of(GetDlgItem(dialog, ids::kSettlementMemoId));
        colours = screenshot(dialog, "settlement-dialog");

        // The resident insurance, then back to the employee insurance.
        click(GetDlgItem(dialog, ids::kSettlementRadioId));
        resident_after_click = wait_until(dialog, [&] { return checked(GetDlgItem(dialog, ids::kSettlementRadioId)); });
        settle(dialog);
        unit_after_390 = text_of(GetDlgItem(dialog, ids::kSettlementTreatmentId));  // 经办机构
        click(GetDlgItem(dialog, ids::kSettlementRadioId + 1));
        wait_until(dialog, [&] { return checked(GetDlgItem(dialog, ids::kSettlementRadioId + 1)); });
        settle(dialog);
        // At settlement institution 2640200 one disease: clicking the second
        // disease unchecks the first.
        click_item(GetDlgItem(dialog, ids::kSettlementDiseasesId), 1);
        settle(dialog);
        screenshot(dialog, "settlement-dialog-second-disease");
        click(GetDlgItem(dialog, ids::kSettlementOkId));
        return true;
    });
    const vorla::ui::DialogOutcome outcome = vorla::ui::show_settlement_window(form);
    check(!driver.failed(), "the settlement choices dialog opens as a Win32 window and is driven", outcome.error);
    drain_quit();
    check(name == gbk("张三") && birth == "1990-01-01", "it shows the person's name and birth date",
          shown(name) + " " + birth);
    check(radio_texts == gbk("390^城乡居民基本医疗保险\n310^职工基本医疗保险"), "one insurance type per row",
          shown(radio_texts));
    check(employee_selected, "310^职工基本医疗保险 is preselected");
    check(categories == gbk("11^普通门诊\n14^门诊大病\n"), "the categories of the employee insurance",
          shown(categories));
    check(diseases == gbk("A01^N1\nB02^N2\n"), "the diseases of 14^门诊大病", shown(diseases));
    check(information == gbk("请出示社保卡\n门诊大病备案有效\n"), "the medical information for 99 and 14",
          shown(information));
    check(memo == gbk("在职人员"), "the memo shows the free text of YBXX", shown(memo));
    check(colours > 16, "the screenshot settlement-dialog.png shows the drawn dialog");
    check(resident_after_click && unit_after_390 == "640200", "clicking the resident insurance shows its data",
          unit_after_390);
    check(outcome.closed == vorla::ui::DialogClose::Ok, "确定[&O] closes it with OK");
    const std::string answer = form.ok_answer();
    check(contains(answer, gbk("<JBMC>14|B02^N2</JBMC>")) && !contains(answer, gbk("390^")),
          "the answer keeps the employee insurance with the clicked disease only", shown(answer));

    // Cancel with Esc.
    vorla::query::TF_display again(gbk(kI1Answer));
    Driver canceller([&] {
        HWND dialog = wait_class(vorla::ui::kSettlementWindowClass);
        if (!dialog) return false;
        settle(dialog);
        press(GetDlgItem(dialog, ids::kSettlementOkId), VK_ESCAPE);
        return true;
    });
    const vorla::ui::DialogOutcome cancelled = vorla::ui::show_settlement_window(again);
    check(!canceller.failed(), "the dialog opens again");
    drain_quit();
    check(cancelled.closed == vorla::ui::DialogClose::Cancel, "Esc closes it with Cancel");
}

// ---- the invoice preview and printing ----------------------------------------------------------

const wchar_t kPrinter[] = L"vorla-file";

// Where the spooler copies the printer's output: the Unix file `unix_path`.
bool print_output_to(const std::string& unix_path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Printing\\Spooler", 0, nullptr, 0, KEY_WRITE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    const std::wstring target = wide(unix_path);
    const bool ok = RegSetValueExW(key, L"LPT1:", 0, REG_SZ, reinterpret_cast<const BYTE*>(target.c_str()),
                                   static_cast<DWORD>((target.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

// A PostScript printer (Wine's driver) on port LPT1:, the default printer.
bool install_file_printer() {
    wchar_t dir[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(dir), sizeof dir, &needed))
        return false;
    // The printer's description: A4 and A5, PostScript level 3.
    const std::string ppd =
        "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n*LanguageVersion: English\n"
        "*LanguageEncoding: ISOLatin1\n*PCFileName: \"VORLA.PPD\"\n*Manufacturer: \"vorla\"\n"
        "*Product: \"(Invoice file)\"\n*ModelName: \"Invoice file\"\n*ShortNickName: \"Invoice file\"\n"
        "*NickName: \"Invoice file\"\n*PSVersion: \"(3010.000) 0\"\n*LanguageLevel: \"3\"\n*ColorDevice: False\n"
        "*DefaultColorSpace: Gray\n*FileSystem: False\n*Throughput: \"1\"\n*LandscapeOrientation: Plus90\n"
        "*TTRasterizer: Type42\n*OpenUI *PageSize/Media Size: PickOne\n*OrderDependency: 10 AnySetup *PageSize\n"
        "*DefaultPageSize: A4\n*PageSize A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n"
        "*PageSize A5/A5: \"<</PageSize[420 595]>>setpagedevice\"\n*CloseUI: *PageSize\n"
        "*OpenUI *PageRegion: PickOne\n*OrderDependency: 10 AnySetup *PageRegion\n*DefaultPageRegion: A4\n"
        "*PageRegion A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n"
        "*PageRegion A5/A5: \"<</PageSize[420 595]>>setpagedevice\"\n*CloseUI: *PageRegion\n"
        "*DefaultImageableArea: A4\n*ImageableArea A4/A4: \"0 0 595 842\"\n*ImageableArea A5/A5: \"0 0 420 595\"\n"
        "*DefaultPaperDimension: A4\n*PaperDimension A4/A4: \"595 842\"\n*PaperDimension A5/A5: \"420 595\"\n";
    if (!write_file(gbk_of(dir) + "\\vorla.ppd", ppd)) return false;

    DRIVER_INFO_3W driver{};
    driver.cVersion = 3;
    driver.pName = const_cast<LPWSTR>(L"Wine PostScript Driver");
    driver.pDriverPath = const_cast<LPWSTR>(L"wineps.drv");
    driver.pDataFile = const_cast<LPWSTR>(L"vorla.ppd");
    driver.pConfigFile = const_cast<LPWSTR>(L"wineps.drv");
    AddPrinterDriverW(nullptr, 3, reinterpret_cast<BYTE*>(&driver));
    PRINTER_INFO_2W printer{};
    printer.pPrinterName = const_cast<LPWSTR>(kPrinter);
    printer.pPortName = const_cast<LPWSTR>(L"LPT1:");
    printer.pDriverName = const_cast<LPWSTR>(L"Wine PostScript Driver");
    printer.pPrintProcessor = const_cast<LPWSTR>(L"WinPrint");
    printer.pDatatype = const_cast<LPWSTR>(L"RAW");
    printer.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&printer));
    if (h) ClosePrinter(h);
    SetDefaultPrinterW(kPrinter);
    HDC dc = CreateDCW(nullptr, kPrinter, nullptr, nullptr);
    if (!dc) return false;
    DeleteDC(dc);
    return true;
}

std::string windows_path_of(const std::string& unix_path) {
    std::string p = "Z:" + unix_path;
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

size_t count_of(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

// The print dialog of the system: printer, copies and the page range.
HWND wait_print_dialog() { return wait_dialog_with(cmb4 /* the printer list */); }

// The whole job in the file (the spooler copies it at the end of the job); "" after 30 s.
std::string printed(const std::string& file) {
    for (int i = 0; i < 300; ++i) {
        const std::string ps = read_file(file);
        if (ps.find("%%EOF") != std::string::npos) return ps;
        Sleep(100);
    }
    return {};
}

// The outpatient invoice template with a few values; `face`, when given,
// replaces the template's font family.
bool load_invoice(vorla::report::Report& report, const std::string& face) {
    try {
        std::string text = read_file(env("VORLA_WINTEST_TEMPLATES") + "\\kwmzfp.rmf");
        const std::string linux_face = "font=\"Noto Sans CJK SC\"";
        const size_t at = text.find(linux_face);
        if (!face.empty() && at != std::string::npos) text.replace(at, linux_face.size(), "font=\"" + face + "\"");
        report.load_text(text, "kwmzfp.rmf");
    } catch (const std::exception& e) {
        return check(false, "the outpatient invoice template loads", e.what());
    }
    report.set_text("hzxm", gbk("张三"));
    report.set_text("jzhm", "MZ20240520001");
    report.set_text("yymc", gbk("银川市第一人民医院"));
    report.set_value("hjje", 12345.67);
    report.set_text("dx", gbk("壹万贰仟叁佰肆拾伍元陆角柒分"));
    return true;
}

// Dark pixels of a page image in the rectangle (millimetres from the page's corner).
size_t ink(const vorla::report::Image& image, double dpi, double x, double y, double w, double h) {
    const auto px = [dpi](double mm) { return static_cast<int>(mm * dpi / 25.4); };
    size_t n = 0;
    for (int row = std::max(0, px(y)); row < std::min(image.height, px(y + h)); ++row)
        for (int col = std::max(0, px(x)); col < std::min(image.width, px(x + w)); ++col) {
            const unsigned char* p = image.rgb.data() + static_cast<size_t>(row) * image.stride + col * 3;
            if (p[0] + p[1] + p[2] < 3 * 128) ++n;
        }
    return n;
}

// The page image the preview shows: the page's size at the resolution, the
// patient's name drawn in its memo (姓名：[hzxm] at 8 + 0, 8 + 27 mm, 64 x 7 mm).
void check_page_image() {
    vorla::report::Report named, unnamed;
    if (!load_invoice(named, "") || !load_invoice(unnamed, "")) return;
    unnamed.set_text("hzxm", "");
    const double dpi = 144;
    vorla::report::Image with_name, without_name;
    try {
        with_name = vorla::report::render_image(vorla::report::prepare(named), 1, dpi);
        without_name = vorla::report::render_image(vorla::report::prepare(unnamed), 1, dpi);
    } catch (const std::exception& e) {
        check(false, "the page renders as an image", e.what());
        return;
    }
    check(with_name.width == 1191 && with_name.height == 839 && with_name.stride == 3 * 1191,
          "the page image is 210 x 148 mm at 144 dpi",
          std::to_string(with_name.width) + " x " + std::to_string(with_name.height));
    const size_t label_only = ink(without_name, dpi, 8, 35, 64, 7);
    const size_t label_and_name = ink(with_name, dpi, 8, 35, 64, 7);
    check(label_only > 20 && label_and_name > label_only + 20,
          "the memo 姓名：[hzxm] draws its label, and the name when it is set",
          std::to_string(label_only) + " / " + std::to_string(label_and_name) + " dark pixels");
    check(ink(with_name, dpi, 8 + 66, 35, 40, 7) == ink(without_name, dpi, 8 + 66, 35, 40, 7),
          "the name stays inside its memo");
    bool out_of_range = false;
    try {
        vorla::report::render_image(vorla::report::prepare(named), 2, dpi);
    } catch (const vorla::report::ReportError&) {
        out_of_range = true;
    }
    check(out_of_range, "a page the report does not have is a ReportError");
}

// The line Wine's PostScript driver writes before drawing the character `c` of
// the face (it draws glyphs by their index in the font).
std::string glyph_line(const std::string& face, wchar_t c) {
    HDC dc = CreateCompatibleDC(nullptr);
    const std::wstring name = wide(face);
    HFONT font = CreateFontW(-40, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_TT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, name.c_str());
    HGDIOBJ old = SelectObject(dc, font);
    WORD index = 0xFFFF;
    GetGlyphIndicesW(dc, &c, 1, &index, GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
    char line[32];
    std::snprintf(line, sizeof line, "%%%%glyph %x\n", index);
    return index == 0xFFFF || index == 0 ? std::string("<no glyph>") : std::string(line);
}

// A report of three pages, "壹", "贰" and "叁": the preview pages through them;
// the print dialog's page range 2 to 3 prints those two.
void check_pages(const std::string& print_dir) {
    const std::string face = env("VORLA_WINTEST_FONT");
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<report title=\"pages\" version=\"1\" font=\"" +
                       face + "\" size=\"20\">\n";
    for (const char* mark : {"壹", "贰", "叁"})
        text += "  <page width=\"210\" height=\"148\"><memo x=\"20\" y=\"20\" width=\"100\" height=\"20\">" +
                std::string(mark) + "</memo></page>\n";
    text += "</report>\n";
    vorla::report::Report report;
    try {
        report.load_text(text, "pages.rmf");
    } catch (const std::exception& e) {
        check(false, "a report of three pages loads", e.what());
        return;
    }

    std::string labels;
    bool first_has_no_previous = false, last_has_no_next = false;
    Driver page_through([&] {
        HWND preview = wait_class(vorla::ui::kPreviewWindowClass);
        if (!preview) return false;
        settle(preview);
        HWND label = GetDlgItem(preview, ids::kPreviewPageLabelId);
        labels = text_of(label);
        first_has_no_previous = !IsWindowEnabled(GetDlgItem(preview, ids::kPreviewPreviousId)) &&
                                IsWindowEnabled(GetDlgItem(preview, ids::kPreviewNextId));
        for (const char* expected : {"2 / 3", "3 / 3"}) {
            click(GetDlgItem(preview, ids::kPreviewNextId));
            wait_until(preview, [&] { return text_of(label) == expected; });
            labels += ',';
            labels += text_of(label);
        }
        last_has_no_next = !IsWindowEnabled(GetDlgItem(preview, ids::kPreviewNextId)) &&
                           IsWindowEnabled(GetDlgItem(preview, ids::kPreviewPreviousId));
        screenshot(preview, "preview-page-3");
        press(GetDlgItem(preview, ids::kPreviewCloseId), VK_ESCAPE);
        return true;
    });
    vorla::report::Outcome outcome = vorla::report::Outcome::Printed;
    try {
        outcome = vorla::report::preview(report);
    } catch (const std::exception& e) {
        check(false, "the preview of three pages", e.what());
    }
    check(!page_through.failed(), "the preview of three pages is driven");
    drain_quit();
    check(labels == "1 / 3,2 / 3,3 / 3", "下一页 pages through the report", labels);
    check(first_has_no_previous && last_has_no_next, "上一页 and 下一页 are offered only where there is a page");
    check(outcome == vorla::report::Outcome::Closed, "Esc closes the preview");

    const std::string file = print_dir + "/pages-2-3.ps";
    print_output_to(file);
    std::string ps;
    Driver range([&] {
        HWND dialog = wait_print_dialog();
        if (!dialog) return false;
        settle(dialog);
        click(GetDlgItem(dialog, rad3 /* pages */));
        settle(dialog);
        SendMessageW(GetDlgItem(dialog, edt1 /* from */), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"2"));
        SendMessageW(GetDlgItem(dialog, edt2 /* to */), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"3"));
        screenshot(dialog, "print-dialog-pages-2-3");
        click(GetDlgItem(dialog, IDOK));
        ps = printed(windows_path_of(file));
        return true;
    });
    outcome = vorla::report::Outcome::Cancelled;
    std::string failure;
    try {
        outcome = vorla::report::print(report);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    check(!range.failed(), "the print dialog takes a page range", failure);
    drain_quit();
    check(outcome == vorla::report::Outcome::Printed && count_of(ps, "%%Page:") == 2,
          "the page range 2 to 3 prints two pages", std::to_string(count_of(ps, "%%Page:")) + " pages");
    check(contains(ps, glyph_line(face, L'贰')) && contains(ps, glyph_line(face, L'叁')) &&
              !contains(ps, glyph_line(face, L'壹')),
          "they are pages 2 and 3");
}

// J9 through vorla.dll: the invoice of an outpatient settlement (vorla-sim's
// invoice service answers for serial numbers starting with "MZ") previewed
// (DISPLAY "1") and printed from the preview, then printed without a preview
// (DISPLAY "0") with the print dialog cancelled.
void check_j9_through_the_library(const std::string& print_dir) {
    const std::string port = env("VORLA_WINTEST_PORT");
    if (port.empty()) return;
    HMODULE library = LoadLibraryA("vorla.dll");
    if (!check(library != nullptr, "vorla.dll loads beside the program")) return;
    const auto invoke = reinterpret_cast<InvokeFn>(reinterpret_cast<void*>(GetProcAddress(library, "invoke")));
    char sys[MAX_PATH] = {};
    GetSystemDirectoryA(sys, sizeof sys);
    for (const char* name : {"kwmzfp.rmf", "kwzyfp.rmf"})
        write_file(std::string(sys) + "\\" + name, read_file(env("VORLA_WINTEST_TEMPLATES") + "\\" + name));
    ini_write("医保交易地址", "医保交易地址",
              "http://127.0.0.1:" + port + "/RemoteFacedeBean/RemoteFacedeBeanService?WSDL");
    const auto request = [](const std::string& display) {
        return "{functionname:'bizbuss',params:{hid:'640100001|x',biztype:'J9',ip:'127.0.0.1',indata:'" +
               gbk(R"(<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J9</APP>)"
                   "<WorkDate>20240506</WorkDate></HEAD><MSG><HEAD><YLJGDM>640100001</YLJGDM>"
                   "<YYLSH>H20240506001</YYLSH><YBLSH>MZ20240506001</YBLSH><TFBZ>0</TFBZ><DISPLAY>" +
                   display + "</DISPLAY></HEAD></MSG></DATA>'}}");
    };

    const std::string file = print_dir + "/j9-preview-print.ps";
    print_output_to(file);
    std::string title, ps;
    Driver preview_and_print([&] {
        HWND preview = wait_class(vorla::ui::kPreviewWindowClass);
        if (!preview) return false;
        settle(preview);
        title = text_of(preview);
        screenshot(preview, "j9-invoice-preview");
        click(GetDlgItem(preview, ids::kPreviewPrintId));
        HWND dialog = wait_print_dialog();
        if (!dialog) return false;
        settle(dialog);
        click(GetDlgItem(dialog, IDOK));
        ps = printed(windows_path_of(file));
        click(GetDlgItem(preview, ids::kPreviewCloseId));
        return true;
    });
    const std::string previewed = call_invoke(invoke, request("1"));
    check(!preview_and_print.failed(), "J9 with DISPLAY 1 shows the invoice in the preview of vorla.dll");
    drain_quit();
    check(title == gbk("门诊收费票据 - 打印预览"), "the preview names the invoice", shown(title));
    check(count_of(ps, "%%Page:") == 1, "printing from J9's preview prints the invoice");
    check(contains(previewed, "<ErrCode>0</ErrCode>"), "J9 answers ErrCode 0 after the preview", shown(previewed));

    const std::string cancelled_file = print_dir + "/j9-cancelled.ps";
    print_output_to(cancelled_file);
    Driver cancel([&] {
        HWND dialog = wait_print_dialog();
        if (!dialog) return false;
        settle(dialog);
        click(GetDlgItem(dialog, IDCANCEL));
        return true;
    });
    const std::string not_printed = call_invoke(invoke, request("0"));
    check(!cancel.failed(), "J9 with DISPLAY 0 shows the print dialog without a preview");
    drain_quit();
    Sleep(1000);
    check(contains(not_printed, "<ErrCode>0</ErrCode>") &&
              GetFileAttributesA(windows_path_of(cancelled_file).c_str()) == INVALID_FILE_ATTRIBUTES,
          "cancelling J9's print dialog prints nothing and still answers ErrCode 0", shown(not_printed));
    FreeLibrary(library);
}

// Printed files go to `print_dir` (a Unix path): preview-print.ps from the
// preview, invoice.ps from printing without a preview.
void check_preview_and_printing(const std::string& print_dir) {
    check_page_image();
    const bool printer = install_file_printer();
    check(printer, "a PostScript printer whose output goes to a file is installed");
    if (!printer) return;

    // Print, Cancel in the print dialog: nothing is printed.
    {
        vorla::report::Report report;
        if (!load_invoice(report, "")) return;
        const std::string file = print_dir + "/cancelled.ps";
        print_output_to(file);
        Driver driver([&] {
            HWND dialog = wait_print_dialog();
            if (!dialog) return false;
            settle(dialog);
            screenshot(dialog, "print-dialog");
            click(GetDlgItem(dialog, IDCANCEL));
            return true;
        });
        vorla::report::Outcome outcome = vorla::report::Outcome::Printed;
        std::string failure;
        try {
            outcome = vorla::report::print(report);
        } catch (const std::exception& e) {
            failure = e.what();
        }
        check(!driver.failed(), "printing shows the system's print dialog", failure);
        drain_quit();
        check(outcome == vorla::report::Outcome::Cancelled && failure.empty(), "Cancel in the print dialog",
              failure);
        Sleep(1000);
        check(GetFileAttributesA(windows_path_of(file).c_str()) == INVALID_FILE_ATTRIBUTES,
              "after Cancel nothing is printed");
    }

    // Preview of the invoice as the template has it: the page on screen; Print
    // with 2 copies from the print dialog; the preview stays open until closed.
    {
        vorla::report::Report report;
        if (!load_invoice(report, "")) return;
        const std::string file = print_dir + "/preview-print.ps";
        print_output_to(file);
        std::string page_label, page_label_zoomed, copies_set, ps;
        size_t colours = 0;
        bool still_open = false;
        Driver driver([&] {
            HWND preview = wait_class(vorla::ui::kPreviewWindowClass);
            if (!preview) return false;
            settle(preview);
            page_label = text_of(GetDlgItem(preview, ids::kPreviewPageLabelId));
            colours = screenshot(preview, "invoice-preview");
            click(GetDlgItem(preview, ids::kPreviewZoomInId));
            settle(preview);
            page_label_zoomed = text_of(GetDlgItem(preview, ids::kPreviewPageLabelId));
            screenshot(preview, "invoice-preview-zoomed");
            click(GetDlgItem(preview, ids::kPreviewPrintId));
            HWND dialog = wait_print_dialog();
            if (!dialog) return false;
            settle(dialog);
            HWND copies = GetDlgItem(dialog, edt3 /* number of copies */);
            SendMessageW(copies, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"2"));
            copies_set = text_of(copies);
            screenshot(dialog, "print-dialog-two-copies");
            click(GetDlgItem(dialog, IDOK));
            ps = printed(windows_path_of(file));
            settle(preview);
            still_open = IsWindowVisible(preview) != FALSE;
            click(GetDlgItem(preview, ids::kPreviewCloseId));
            return true;
        });
        vorla::report::Outcome outcome = vorla::report::Outcome::Printed;
        std::string failure;
        try {
            outcome = vorla::report::preview(report);
        } catch (const std::exception& e) {
            failure = e.what();
        }
        check(!driver.failed(), "the preview opens as a Win32 window and is driven", failure);
        drain_quit();
        check(page_label == "1 / 1" && page_label_zoomed == "1 / 1", "it shows page 1 of 1", page_label);
        check(colours > 16, "the screenshot invoice-preview.png shows the drawn page",
              std::to_string(colours) + " colours");
        check(copies_set == "2", "the print dialog takes 2 copies");
        check(!ps.empty(), "Print in the preview prints through the print dialog to the printer");
        check(still_open, "the preview stays open after printing");
        check(outcome == vorla::report::Outcome::Closed && failure.empty(), "关闭 closes the preview", failure);
        check(count_of(ps, "%%Page:") == 2, "two copies of the one page are printed",
              std::to_string(count_of(ps, "%%Page:")) + " pages");
        check(contains(ps, "%%Orientation: Landscape") && contains(ps, "*PageSize A5"),
              "on the template's paper: A5, landscape");
    }

    // Printing without a preview, in a TrueType face of this machine (as the
    // workstations' Chinese faces are): Wine's PostScript driver leaves the
    // glyphs of CFF-flavoured OpenType faces such as the template's Noto Sans
    // CJK empty, so the page's text is proved in a TrueType face.
    {
        vorla::report::Report report;
        if (!load_invoice(report, env("VORLA_WINTEST_FONT"))) return;
        const std::string file = print_dir + "/invoice.ps";
        print_output_to(file);
        std::string ps;
        Driver driver([&] {
            HWND dialog = wait_print_dialog();
            if (!dialog) return false;
            settle(dialog);
            click(GetDlgItem(dialog, IDOK));
            ps = printed(windows_path_of(file));
            return true;
        });
        vorla::report::Outcome outcome = vorla::report::Outcome::Cancelled;
        std::string failure;
        try {
            outcome = vorla::report::print(report);
        } catch (const std::exception& e) {
            failure = e.what();
        }
        check(!driver.failed(), "printing without a preview shows the print dialog", failure);
        drain_quit();
        check(outcome == vorla::report::Outcome::Printed && failure.empty(), "OK prints", failure);
        check(count_of(ps, "%%Page:") == 1, "one page is printed (its text is checked by tests/windows/run.sh)");
    }

    check_pages(print_dir);
    check_j9_through_the_library(print_dir);
}

}  // namespace

int main() {
    std::printf("the Win32 dialogs, the preview and printing (ANSI code page %u)\n", GetACP());
    g_main_thread = GetCurrentThreadId();
    g_artifacts = env("VORLA_WINTEST_ARTIFACTS");
    CreateDirectoryA(kWork.c_str(), nullptr);
    if (g_artifacts.empty()) g_artifacts = kWork;
    CreateDirectoryA(g_artifacts.c_str(), nullptr);

    check_card_type_dialog();
    check_j1_through_the_library();
    check_settlement_dialog();
    const std::string print_dir = env("VORLA_WINTEST_PRINT_DIR");
    if (check(!print_dir.empty(), "VORLA_WINTEST_PRINT_DIR names the directory of the printer's output"))
        check_preview_and_printing(print_dir);
    return summary("dialogs");
}
