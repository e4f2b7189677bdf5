// The card type selection dialog as a Win32 window: renders CardTypeLogic in
// the layout of CardTypeLayout and forwards clicks, keys and Timer1 (a thread
// timer of 200 ms in the calling thread's message loop) to it.
#include "ui/card_type_view.h"

#include <array>

#include "platform/display.h"
#include "platform/platform.h"
#include "platform/win32/views/control_ids.h"
#include "platform/win32/views/window_kit.h"

#include <imm.h>

namespace vorla::ui {
namespace {

namespace kit = platform::win32::views;
using L = CardTypeLayout;

constexpr int kItemId = kit::kCardTypeItemId;
constexpr int kEditId = kit::kCardTypeEditId;
constexpr int kChangePinId = kit::kCardTypeChangePinId;
constexpr UINT_PTR kTimerId = 1;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;

class CardTypeWindow {
public:
    explicit CardTypeWindow(CardTypeLogic& logic) : logic_(logic) {}

    bool run(std::string& error) {
        const std::wstring class_name = platform::win32::widen(kCardTypeWindowClass);
        kit::WindowClass window_class(class_name.c_str(), &CardTypeWindow::proc,
                                      reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
        if (!window_class.ok()) {
            error = "the dialog's window class cannot be registered";
            return false;
        }
        kit::ModalScope modal;
        const SIZE size = kit::window_size_for_client(L::kWidth, L::kHeight, kStyle, kExStyle);
        const std::wstring caption = platform::win32::widen(logic_.caption());
        window_ = ::CreateWindowExW(kExStyle, class_name.c_str(), caption.c_str(), kStyle, CW_USEDEFAULT,
                                    CW_USEDEFAULT, size.cx, size.cy, modal.owner(), nullptr, kit::module_instance(),
                                    this);
        if (!window_) {
            error = "the dialog window cannot be created: " +
                    platform::gbk_to_utf8(platform::win32::error_text(::GetLastError()));
            return false;
        }
        build();
        kit::centre(window_);
        sync();
        ::ShowWindow(window_, SW_SHOW);
        ::SetForegroundWindow(window_);
        ::UpdateWindow(window_);
        logic_.shown();
        ::SetTimer(window_, kTimerId, 200, nullptr);
        sync();
        while (!logic_.closed() && ::IsWindow(window_))
            if (!kit::pump_message(window_)) break;
        if (!logic_.closed()) logic_.cancel();
        if (::IsWindow(window_)) {
            ::KillTimer(window_, kTimerId);
            ::DestroyWindow(window_);
        }
        return true;
    }

private:
    void build() {
        HFONT font = font_.handle();
        kit::make_control(window_, L"BUTTON", "", BS_GROUPBOX, L::group.x, L::group.y, L::group.w, L::group.h, -1,
                          font);
        for (int i = 0; i < kCardTypeItemCount; ++i) {
            const auto b = L::item(i);
            items_[static_cast<std::size_t>(i)] =
                kit::make_control(window_, L"BUTTON", card_type_items()[static_cast<std::size_t>(i)],
                                  BS_RADIOBUTTON | WS_TABSTOP | (i == 0 ? WS_GROUP : 0), b.x, b.y, b.w, b.h,
                                  kItemId + i, font);
        }
        kit::make_control(window_, L"STATIC", card_type_label_text(), SS_RIGHT | SS_CENTERIMAGE, L::label.x,
                          L::label.y, L::label.w - 5, L::label.h, -1, font);
        edit_ = kit::make_control(window_, L"EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP, L::edit.x,
                                  L::edit.y + 2, L::edit.w, L::edit.h - 4, kEditId, font, WS_EX_CLIENTEDGE);
        // E_userid takes numbers and codes: no input method.
        ::ImmAssociateContext(edit_, nullptr);
        kit::make_control(window_, L"BUTTON", card_type_ok_text(), BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, L::ok.x,
                          L::ok.y, L::ok.w, L::ok.h, IDOK, font);
        kit::make_control(window_, L"BUTTON", card_type_cancel_text(), BS_PUSHBUTTON | WS_TABSTOP, L::cancel.x,
                          L::cancel.y, L::cancel.w, L::cancel.h, IDCANCEL, font);
        kit::make_control(window_, L"BUTTON", card_type_change_pin_text(), BS_PUSHBUTTON | WS_TABSTOP,
                          L::change_pin.x, L::change_pin.y, L::change_pin.w, L::change_pin.h, kChangePinId, font);
    }

    // Renders the logic's state.
    void sync() {
        syncing_ = true;
        for (int i = 0; i < kCardTypeItemCount; ++i)
            ::SendMessageW(items_[static_cast<std::size_t>(i)], BM_SETCHECK,
                           i == logic_.selected() ? BST_CHECKED : BST_UNCHECKED, 0);
        if (kit::text_of(edit_) != logic_.edit_text()) kit::set_text(edit_, logic_.edit_text());
        ::EnableWindow(edit_, logic_.edit_enabled() ? TRUE : FALSE);
        if (auto focus = logic_.take_focus_request();
            focus && ::IsWindowVisible(window_) && ::IsWindowEnabled(edit_)) {
            ::SetFocus(edit_);
            ::SendMessageW(edit_, EM_SETSEL, focus->select_all ? 0 : static_cast<WPARAM>(-1),
                           focus->select_all ? -1 : 0);
        }
        syncing_ = false;
        if (logic_.closed()) ::KillTimer(window_, kTimerId);
    }

    void on_command(int id, int code) {
        if (id >= kItemId && id < kItemId + kCardTypeItemCount && (code == BN_CLICKED || code == BN_DOUBLECLICKED)) {
            logic_.select(id - kItemId);
        } else if (id == kEditId && code == EN_CHANGE) {
            if (!syncing_) logic_.edit(kit::text_of(edit_));
            return;
        } else if (id == IDOK) {
            logic_.press_ok();
        } else if (id == IDCANCEL) {
            logic_.cancel();
        } else if (id == kChangePinId) {
            logic_.press_change_pin();
        } else {
            return;
        }
        sync();
    }

    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
        CardTypeWindow* self = kit::window_object<CardTypeWindow>(window, message, lp);
        if (!self) return ::DefWindowProcW(window, message, wp, lp);
        if (message == WM_NCCREATE) self->window_ = window;
        switch (message) {
            case WM_COMMAND: self->on_command(LOWORD(wp), HIWORD(wp)); return 0;
            case WM_TIMER:
                if (wp == kTimerId) {
                    ::KillTimer(window, kTimerId);
                    self->logic_.timer_tick();
                    self->sync();
                }
                return 0;
            case WM_CLOSE:
                self->logic_.cancel();
                self->sync();
                return 0;
            case WM_NCDESTROY: ::SetWindowLongPtrW(window, GWLP_USERDATA, 0); break;
            default: break;
        }
        return ::DefWindowProcW(window, message, wp, lp);
    }

    CardTypeLogic& logic_;
    kit::Font font_;
    HWND window_ = nullptr;
    std::array<HWND, kCardTypeItemCount> items_{};
    HWND edit_ = nullptr;
    bool syncing_ = false;
};

}  // namespace

bool run_card_type_view(CardTypeLogic& logic, std::string& error) {
    if (!platform::prepare_display(error)) return false;
    CardTypeWindow window(logic);
    return window.run(error);
}

}  // namespace vorla::ui
