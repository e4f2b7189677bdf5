// Message boxes and the wait cursor on Windows: MessageBox and SetCursor.
#include "platform/dialogs.h"
#include "platform/display.h"
#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace vorla::platform {
namespace {

BOOL CALLBACK find_visible_window(HWND window, LPARAM found) {
    if (::IsWindowVisible(window)) {
        *reinterpret_cast<bool*>(found) = true;
        return FALSE;
    }
    return TRUE;
}

// Whether this thread shows a window (the host's or a dialog of the library).
bool thread_has_windows() {
    bool found = false;
    ::EnumThreadWindows(::GetCurrentThreadId(), find_visible_window, reinterpret_cast<LPARAM>(&found));
    return found;
}

HCURSOR g_cursor_before_wait = nullptr;
int g_wait_depth = 0;

}  // namespace

void message_box(std::string_view text, std::string_view caption, MessageIcon icon) {
    std::string error;
    if (!prepare_display(error)) return;
    const std::wstring body = win32::widen(text), title = win32::widen(caption);
    const UINT style = MB_OK | MB_TASKMODAL | MB_SETFOREGROUND |
                       (icon == MessageIcon::Warning ? MB_ICONWARNING : MB_ICONINFORMATION);
    ::MessageBoxW(::GetActiveWindow(), body.c_str(), title.c_str(), style);
}

WaitCursor::WaitCursor() {
    if (!thread_has_windows()) return;
    HCURSOR previous = ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
    if (g_wait_depth++ == 0) g_cursor_before_wait = previous;
    set_ = true;
}

WaitCursor::~WaitCursor() {
    if (!set_) return;
    if (--g_wait_depth == 0) {
        ::SetCursor(g_cursor_before_wait ? g_cursor_before_wait : ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
        g_cursor_before_wait = nullptr;
    }
}

}  // namespace vorla::platform
