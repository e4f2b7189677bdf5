#include "platform/win32/views/window_kit.h"

namespace vorla::platform::win32::views {

HINSTANCE module_instance() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&module_instance), &module);
    return module ? module : ::GetModuleHandleW(nullptr);
}

WindowClass::WindowClass(const wchar_t* name, WNDPROC proc, HBRUSH background, UINT style) : name_(name) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.hInstance = module_instance();
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    ok_ = ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

WindowClass::~WindowClass() {
    if (ok_) ::UnregisterClassW(name_, module_instance());
}

Font::Font(int pixels, bool bold)
    : font_(::CreateFontW(-pixels, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                          L"Microsoft YaHei")) {}

Font::~Font() {
    if (font_) ::DeleteObject(font_);
}

HWND make_control(HWND parent, const wchar_t* kind, std::string_view gbk_text, DWORD style, int x, int y, int w,
                  int h, int id, HFONT font, DWORD ex_style) {
    const std::wstring text = widen(gbk_text);
    HWND control = ::CreateWindowExW(ex_style, kind, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), module_instance(), nullptr);
    if (control && font) ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

void set_text(HWND window, std::string_view gbk_text) {
    const std::wstring text = widen(gbk_text);
    ::SetWindowTextW(window, text.c_str());
}

std::string text_of(HWND window) {
    const int n = ::GetWindowTextLengthW(window);
    if (n <= 0) return {};
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    const int got = ::GetWindowTextW(window, text.data(), n + 1);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return narrow(text);
}

std::string literal_label(std::string_view gbk_text) {
    std::string out;
    for (char c : gbk_text) {
        if (c == '&') out += '&';
        out += c;
    }
    return out;
}

SIZE window_size_for_client(int w, int h, DWORD style, DWORD ex_style) {
    RECT r{0, 0, w, h};
    ::AdjustWindowRectEx(&r, style, FALSE, ex_style);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

void centre(HWND window) {
    RECT area{};
    if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) ::GetWindowRect(::GetDesktopWindow(), &area);
    RECT r{};
    ::GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    const int x = area.left + ((area.right - area.left) - w) / 2;
    const int y = area.top + ((area.bottom - area.top) - h) / 2;
    ::SetWindowPos(window, nullptr, x > area.left ? x : area.left, y > area.top ? y : area.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {

BOOL CALLBACK collect_enabled(HWND window, LPARAM list) {
    if (::IsWindowVisible(window) && ::IsWindowEnabled(window))
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

}  // namespace

ModalScope::ModalScope() : active_(::GetActiveWindow()) {
    ::EnumThreadWindows(::GetCurrentThreadId(), collect_enabled, reinterpret_cast<LPARAM>(&disabled_));
    for (HWND w : disabled_) ::EnableWindow(w, FALSE);
}

ModalScope::~ModalScope() {
    for (HWND w : disabled_)
        if (::IsWindow(w)) ::EnableWindow(w, TRUE);
    if (active_ && ::IsWindow(active_)) ::SetActiveWindow(active_);
}

bool pump_message(HWND dialog) {
    MSG msg{};
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
        ::PostQuitMessage(static_cast<int>(msg.wParam));
        return false;
    }
    if (got < 0) return false;
    if (dialog && ::IsWindow(dialog) && ::IsDialogMessageW(dialog, &msg)) return true;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
    return true;
}

}  // namespace vorla::platform::win32::views
