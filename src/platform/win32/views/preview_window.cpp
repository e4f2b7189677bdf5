// The preview window on Windows: the pages as the printer prints them (the
// renderer's page images), paging, zoom and Print, in the layout of the Linux
// window: a bar of buttons above a scrolled page on a grey desk.
#include "ui/preview_window.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <string>

#include "common/text.h"
#include "platform/display.h"
#include "platform/platform.h"
#include "platform/win32/views/control_ids.h"
#include "platform/win32/views/window_kit.h"
#include "report/render.h"
#include "ui/preview_pager.h"

namespace vorla::ui {
namespace {

namespace kit = platform::win32::views;
namespace ids = platform::win32::views;

constexpr int kBar = 40;
constexpr int kDesk = 12;
constexpr wchar_t kPageClass[] = L"vorla-preview-page";
constexpr COLORREF kDeskColour = RGB(0x80, 0x80, 0x80);
constexpr COLORREF kShadowColour = RGB(0x55, 0x55, 0x55);

class PreviewWindow {
public:
    PreviewWindow(const report::PreparedReport& report, const std::function<void()>& print)
        : report_(report), print_(print), desk_(::CreateSolidBrush(kDeskColour)) {}
    ~PreviewWindow() { ::DeleteObject(desk_); }

    void run() {
        const std::wstring class_name = platform::win32::widen(kPreviewWindowClass);
        kit::WindowClass window_class(class_name.c_str(), &PreviewWindow::proc,
                                      reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
        kit::WindowClass page_class(kPageClass, &PreviewWindow::page_proc, nullptr);
        if (!window_class.ok() || !page_class.ok())
            throw std::runtime_error("the preview cannot be shown: its window classes cannot be registered");
        kit::ModalScope modal;
        RECT area{};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        const int w = std::min<int>(area.right - area.left - 40, 1000);
        const int h = std::min<int>(area.bottom - area.top - 60, 760);
        const std::string title =
            report_.title.empty() ? gbk("打印预览") : platform::utf8_to_gbk(report_.title) + " - " + gbk("打印预览");
        const std::wstring caption = platform::win32::widen(title);
        window_ = ::CreateWindowExW(0, class_name.c_str(), caption.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                    CW_USEDEFAULT, CW_USEDEFAULT, std::max(w, 400), std::max(h, 300), modal.owner(),
                                    nullptr, kit::module_instance(), this);
        if (!window_)
            throw std::runtime_error("the preview cannot be shown: " +
                                     platform::gbk_to_utf8(platform::win32::error_text(::GetLastError())));
        build();
        kit::centre(window_);
        show_page();
        ::ShowWindow(window_, SW_SHOW);
        ::SetForegroundWindow(window_);
        ::UpdateWindow(window_);
        while (!done_ && ::IsWindow(window_))
            if (!kit::pump_message(window_)) break;
        if (::IsWindow(window_)) ::DestroyWindow(window_);
        if (failure_) std::rethrow_exception(failure_);
    }

private:
    HWND button(int& x, const char* utf8_text, int width, int id) {
        HWND b = kit::make_control(window_, L"BUTTON", gbk(utf8_text), BS_PUSHBUTTON | WS_TABSTOP, x, 6, width,
                                   kBar - 12, id, font_.handle());
        x += width + 6;
        return b;
    }

    void build() {
        int x = 8;
        button(x, "打印", 70, ids::kPreviewPrintId);
        prev_ = button(x, "上一页", 70, ids::kPreviewPreviousId);
        next_ = button(x, "下一页", 70, ids::kPreviewNextId);
        page_label_ = kit::make_control(window_, L"STATIC", "", SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX, x, 6, 90,
                                        kBar - 12, ids::kPreviewPageLabelId, font_.handle());
        x += 96;
        button(x, "缩小", 60, ids::kPreviewZoomOutId);
        button(x, "放大", 60, ids::kPreviewZoomInId);
        button(x, "关闭", 70, ids::kPreviewCloseId);
        page_ = ::CreateWindowExW(0, kPageClass, L"", WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL, 0, kBar, 10, 10,
                                  window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::kPreviewPageId)),
                                  kit::module_instance(), this);
        layout();
    }

    void layout() {
        RECT r{};
        ::GetClientRect(window_, &r);
        if (page_) ::MoveWindow(page_, 0, kBar, r.right, std::max(0L, r.bottom - kBar), TRUE);
        update_scroll();
    }

    // ---- the page -------------------------------------------------------------------------
    void show_page() {
        if (pager_.page_count() > 0) {
            image_ = report::render_image(report_, pager_.page(), pager_.dpi());
            bgr_.assign(static_cast<std::size_t>(image_.width) * 4 * static_cast<std::size_t>(image_.height), 0);
            for (int row = 0; row < image_.height; ++row)
                for (int col = 0; col < image_.width; ++col) {
                    const std::uint8_t* s = image_.rgb.data() + static_cast<std::ptrdiff_t>(row) * image_.stride + col * 3;
                    std::uint8_t* t = bgr_.data() + (static_cast<std::ptrdiff_t>(row) * image_.width + col) * 4;
                    t[0] = s[2];
                    t[1] = s[1];
                    t[2] = s[0];
                }
        }
        kit::set_text(page_label_, pager_.label());
        ::EnableWindow(prev_, pager_.has_previous());
        ::EnableWindow(next_, pager_.has_next());
        scroll_x_ = scroll_y_ = 0;
        update_scroll();
        ::InvalidateRect(page_, nullptr, TRUE);
    }

    int content_width() const { return image_.width + 2 * kDesk; }
    int content_height() const { return image_.height + 2 * kDesk; }

    void update_scroll() {
        if (!page_) return;
        RECT r{};
        ::GetClientRect(page_, &r);
        const auto set = [this](int bar, int content, int view, int& pos) {
            pos = std::clamp(pos, 0, std::max(0, content - view));
            SCROLLINFO si{};
            si.cbSize = sizeof si;
            si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
            si.nMin = 0;
            si.nMax = std::max(0, content - 1);
            si.nPage = static_cast<UINT>(std::max(0, view));
            si.nPos = pos;
            ::SetScrollInfo(page_, bar, &si, TRUE);
        };
        set(SB_HORZ, content_width(), r.right, scroll_x_);
        set(SB_VERT, content_height(), r.bottom, scroll_y_);
    }

    void scroll(int bar, int request, int wheel_lines = 0) {
        RECT r{};
        ::GetClientRect(page_, &r);
        int& pos = bar == SB_HORZ ? scroll_x_ : scroll_y_;
        const int view = bar == SB_HORZ ? r.right : r.bottom;
        const int content = bar == SB_HORZ ? content_width() : content_height();
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_TRACKPOS;
        ::GetScrollInfo(page_, bar, &si);
        switch (request) {
            case SB_LINEUP: pos -= 40; break;
            case SB_LINEDOWN: pos += 40; break;
            case SB_PAGEUP: pos -= view; break;
            case SB_PAGEDOWN: pos += view; break;
            case SB_THUMBTRACK:
            case SB_THUMBPOSITION: pos = si.nTrackPos; break;
            case SB_TOP: pos = 0; break;
            case SB_BOTTOM: pos = content; break;
            case -1: pos -= wheel_lines * 40; break;
            default: return;
        }
        update_scroll();
        ::InvalidateRect(page_, nullptr, TRUE);
    }

    void paint_page(HDC dc) {
        RECT r{};
        ::GetClientRect(page_, &r);
        ::FillRect(dc, &r, desk_);
        if (image_.width <= 0) return;
        const int x = kDesk - scroll_x_, y = kDesk - scroll_y_;
        RECT shadow{x + 3, y + 3, x + 3 + image_.width, y + 3 + image_.height};
        HBRUSH shadow_brush = ::CreateSolidBrush(kShadowColour);
        ::FillRect(dc, &shadow, shadow_brush);
        ::DeleteObject(shadow_brush);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = image_.width;
        info.bmiHeader.biHeight = -image_.height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        ::SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(image_.width), static_cast<DWORD>(image_.height), 0, 0, 0,
                            static_cast<UINT>(image_.height), bgr_.data(), &info, DIB_RGB_COLORS);
    }

    // ---- handlers ---------------------------------------------------------------------------
    // Nothing may be thrown through the window procedures.
    template <class F>
    void guarded(F&& f) {
        try {
            f();
        } catch (...) {
            failure_ = std::current_exception();
            done_ = true;
        }
    }

    void on_command(int id) {
        switch (id) {
            case ids::kPreviewPrintId: guarded([this] { print_(); }); break;
            case ids::kPreviewPreviousId:
                guarded([this] {
                    pager_.previous();
                    show_page();
                });
                break;
            case ids::kPreviewNextId:
                guarded([this] {
                    pager_.next();
                    show_page();
                });
                break;
            case ids::kPreviewZoomInId:
                guarded([this] {
                    pager_.zoom_in();
                    show_page();
                });
                break;
            case ids::kPreviewZoomOutId:
                guarded([this] {
                    pager_.zoom_out();
                    show_page();
                });
                break;
            case ids::kPreviewCloseId:
            case IDCANCEL: done_ = true; break;
            default: break;
        }
    }

    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
        PreviewWindow* self = kit::window_object<PreviewWindow>(window, message, lp);
        if (!self) return ::DefWindowProcW(window, message, wp, lp);
        switch (message) {
            case WM_NCCREATE: self->window_ = window; break;
            case WM_COMMAND: self->on_command(LOWORD(wp)); return 0;
            case WM_SIZE: self->layout(); return 0;
            case WM_MOUSEWHEEL:
                self->scroll(SB_VERT, -1, GET_WHEEL_DELTA_WPARAM(wp) / WHEEL_DELTA * 3);
                return 0;
            case WM_CLOSE: self->done_ = true; return 0;
            case WM_NCDESTROY: ::SetWindowLongPtrW(window, GWLP_USERDATA, 0); break;
            default: break;
        }
        return ::DefWindowProcW(window, message, wp, lp);
    }

    static LRESULT CALLBACK page_proc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
        PreviewWindow* self = kit::window_object<PreviewWindow>(window, message, lp);
        if (!self) return ::DefWindowProcW(window, message, wp, lp);
        switch (message) {
            case WM_PAINT: {
                PAINTSTRUCT ps{};
                HDC dc = ::BeginPaint(window, &ps);
                self->paint_page(dc);
                ::EndPaint(window, &ps);
                return 0;
            }
            case WM_PRINTCLIENT: self->paint_page(reinterpret_cast<HDC>(wp)); return 0;
            case WM_ERASEBKGND: return 1;
            case WM_SIZE: self->update_scroll(); return 0;
            case WM_HSCROLL: self->scroll(SB_HORZ, LOWORD(wp)); return 0;
            case WM_VSCROLL: self->scroll(SB_VERT, LOWORD(wp)); return 0;
            case WM_NCDESTROY: ::SetWindowLongPtrW(window, GWLP_USERDATA, 0); break;
            default: break;
        }
        return ::DefWindowProcW(window, message, wp, lp);
    }

    const report::PreparedReport& report_;
    const std::function<void()>& print_;
    kit::Font font_;
    HBRUSH desk_;
    HWND window_ = nullptr;
    HWND prev_ = nullptr;
    HWND next_ = nullptr;
    HWND page_label_ = nullptr;
    HWND page_ = nullptr;
    report::Image image_;
    std::vector<std::uint8_t> bgr_;  // the page image as 32-bit BGR rows for GDI
    PreviewPager pager_{static_cast<int>(report_.pages.size())};
    int scroll_x_ = 0, scroll_y_ = 0;
    bool done_ = false;
    std::exception_ptr failure_;
};

}  // namespace

void show_preview_window(const report::PreparedReport& report, const std::function<void()>& print) {
    std::string error;
    if (!platform::prepare_display(error)) throw std::runtime_error("the preview cannot be shown: " + error);
    PreviewWindow window(report, print);
    window.run();
}

}  // namespace vorla::ui
