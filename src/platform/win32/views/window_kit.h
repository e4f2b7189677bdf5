// What the Win32 views of the dialogs and the preview share: the module their
// window classes belong to, a font with Chinese characters, controls made from
// GBK texts, modality within the call and the message loop of the calling
// thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/win32.h"

namespace vorla::platform::win32::views {

// The module (vorla.dll, or the program the core is linked into) that owns the
// window classes of the views.
HINSTANCE module_instance();

// A window class registered for one showing of a view and unregistered after
// it (classes of a DLL outlive an unloaded DLL otherwise).
class WindowClass {
public:
    WindowClass(const wchar_t* name, WNDPROC proc, HBRUSH background, UINT style = 0);
    ~WindowClass();
    WindowClass(const WindowClass&) = delete;
    WindowClass& operator=(const WindowClass&) = delete;
    bool ok() const { return ok_; }
    const wchar_t* name() const { return name_; }

private:
    const wchar_t* name_;
    bool ok_ = false;
};

// The dialog font: a sans-serif face with Chinese characters (the font mapper
// picks one of the GB2312 character set when the named face is missing).
// `pixels`: the character height in pixels.
class Font {
public:
    explicit Font(int pixels = 13, bool bold = false);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;
    HFONT handle() const { return font_; }

private:
    HFONT font_;
};

// A child control with a GBK text; `id` its command identifier.
HWND make_control(HWND parent, const wchar_t* kind, std::string_view gbk_text, DWORD style, int x, int y, int w,
                  int h, int id, HFONT font, DWORD ex_style = 0);
void set_text(HWND window, std::string_view gbk_text);
std::string text_of(HWND window);  // GBK

// A control text from data: "&" marks a mnemonic in button and label texts.
std::string literal_label(std::string_view gbk_text);

// Places a window of the given client size in the middle of the desktop's work
// area (the whole window, frame included).
void centre(HWND window);
// The window size for a client area of w x h with the window's styles.
SIZE window_size_for_client(int w, int h, DWORD style, DWORD ex_style);

// Modality within the call: while it lives, the other enabled top-level
// windows of the calling thread (the host's) take no input; they are enabled
// again, and the one that was active activated, when it is destroyed.
class ModalScope {
public:
    ModalScope();
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;
    HWND owner() const { return active_; }

private:
    std::vector<HWND> disabled_;
    HWND active_ = nullptr;
};

// The object a window of ours was created for (CreateWindowExW's last
// argument): kept with the window at WM_NCCREATE and read back for every later
// message; nullptr for the messages before it and once WM_NCDESTROY cleared it.
template <class T>
T* window_object(HWND window, UINT message, LPARAM lp) {
    if (message == WM_NCCREATE) {
        auto* object = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
        return object;
    }
    return reinterpret_cast<T*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

// One message of the calling thread's queue: waits for it, lets `dialog`
// handle its keys (Tab, Enter, Esc, mnemonics), dispatches it. False when the
// thread was asked to quit (WM_QUIT is posted again for the host's own loop).
bool pump_message(HWND dialog);

}  // namespace vorla::platform::win32::views
