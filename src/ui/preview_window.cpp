#include "ui/preview_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Scroll.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>

#include "common/text.h"
#include "platform/display.h"
#include "platform/platform.h"
#include "report/render.h"
#include "ui/preview_pager.h"

namespace vorla::ui {
namespace {

std::string utf8(std::string_view gbk_text) { return platform::gbk_to_utf8(gbk_text); }

// One page image, drawn on a grey desk with a margin.
class PageView : public Fl_Widget {
public:
    PageView(int x, int y) : Fl_Widget(x, y, 10, 10) {}
    void image(report::Image image) {
        image_ = std::move(image);
        size(image_.width + 2 * kDesk, image_.height + 2 * kDesk);
        redraw();
    }
    const report::Image& image() const { return image_; }

    void draw() override {
        fl_rectf(x(), y(), w(), h(), FL_DARK2);
        if (image_.width <= 0) return;
        fl_rectf(x() + kDesk + 3, y() + kDesk + 3, image_.width, image_.height, FL_DARK3);  // shadow
        fl_draw_image(image_.rgb.data(), x() + kDesk, y() + kDesk, image_.width, image_.height, 3, image_.stride);
    }

private:
    static constexpr int kDesk = 12;
    report::Image image_;
};

class PreviewWindow {
public:
    static constexpr int kBar = 40;

    PreviewWindow(const report::PreparedReport& report, const std::function<void()>& print)
        : report_(report), print_(print) {
        const int w = std::min(Fl::w() - 40, 1000), h = std::min(Fl::h() - 60, 760);
        window_ = std::make_unique<Fl_Double_Window>(w, h);
        title_ = report.title.empty() ? utf8(gbk("打印预览")) : report.title + " - " + utf8(gbk("打印预览"));
        window_->label(title_.c_str());
        window_->xclass(kPreviewWindowClass);
        window_->callback(&PreviewWindow::on_close, this);

        auto* bar = new Fl_Group(0, 0, w, kBar);
        int x = 8;
        auto button = [&](const char* text_utf8, int width, Fl_Callback* cb) {
            auto* b = new Fl_Button(x, 6, width, kBar - 12);
            b->copy_label(text_utf8);
            b->callback(cb, this);
            x += width + 6;
            return b;
        };
        button(utf8(gbk("打印")).c_str(), 70, &PreviewWindow::on_print);
        prev_ = button(utf8(gbk("上一页")).c_str(), 70, &PreviewWindow::on_prev);
        next_ = button(utf8(gbk("下一页")).c_str(), 70, &PreviewWindow::on_next);
        page_label_ = new Fl_Box(x, 6, 90, kBar - 12);
        x += 96;
        button(utf8(gbk("缩小")).c_str(), 60, &PreviewWindow::on_zoom_out);
        button(utf8(gbk("放大")).c_str(), 60, &PreviewWindow::on_zoom_in);
        button(utf8(gbk("关闭")).c_str(), 70, &PreviewWindow::on_close);
        auto* filler = new Fl_Box(x, 0, std::max(1, w - x), kBar);
        bar->resizable(filler);
        bar->end();

        scroll_ = new Fl_Scroll(0, kBar, w, h - kBar);
        scroll_->color(FL_DARK2);
        scroll_->box(FL_FLAT_BOX);
        page_view_ = new PageView(0, kBar);
        scroll_->end();

        window_->resizable(scroll_);
        window_->end();
        window_->set_modal();
        window_->position((Fl::w() - w) / 2, (Fl::h() - h) / 2);
        show_page();
    }

    void run() {
        window_->show();
        window_->wait_for_expose();  // mapped before anything changes in it
        // Bounded waits: a callback that closes the window may run inside a wait
        // that would otherwise sleep until the next event.
        while (!done_ && window_->shown()) Fl::wait(0.25);
        // Handle what is still queued (exposures) and draw it, so that no damage
        // region is left behind with the window.
        Fl::check();
        Fl::flush();
        window_->hide();
        Fl::flush();
        if (failure_) std::rethrow_exception(failure_);
    }

private:
    void show_page() {
        if (pager_.page_count() > 0) {
            page_view_->image(report::render_image(report_, pager_.page(), pager_.dpi()));
            page_view_->position(scroll_->x(), scroll_->y());
        }
        label_ = pager_.label();
        page_label_->label(label_.c_str());
        if (pager_.has_previous()) prev_->activate();
        else prev_->deactivate();
        if (pager_.has_next()) next_->activate();
        else next_->deactivate();
        scroll_->scroll_to(0, 0);
        window_->redraw();
    }

    // Callbacks run inside FLTK's event loop: nothing may be thrown through it.
    template <class F>
    void guarded(F&& f) {
        try {
            f();
        } catch (...) {
            failure_ = std::current_exception();
            done_ = true;
        }
    }

    static void on_print(Fl_Widget*, void* p) {
        auto* self = static_cast<PreviewWindow*>(p);
        self->guarded([self] { self->print_(); });
    }
    static void on_prev(Fl_Widget*, void* p) {
        auto* self = static_cast<PreviewWindow*>(p);
        self->guarded([self] {
            self->pager_.previous();
            self->show_page();
        });
    }
    static void on_next(Fl_Widget*, void* p) {
        auto* self = static_cast<PreviewWindow*>(p);
        self->guarded([self] {
            self->pager_.next();
            self->show_page();
        });
    }
    static void on_zoom_in(Fl_Widget*, void* p) {
        auto* self = static_cast<PreviewWindow*>(p);
        self->guarded([self] {
            self->pager_.zoom_in();
            self->show_page();
        });
    }
    static void on_zoom_out(Fl_Widget*, void* p) {
        auto* self = static_cast<PreviewWindow*>(p);
        self->guarded([self] {
            self->pager_.zoom_out();
            self->show_page();
        });
    }
    static void on_close(Fl_Widget*, void* p) { static_cast<PreviewWindow*>(p)->done_ = true; }

    const report::PreparedReport& report_;
    const std::function<void()>& print_;
    std::unique_ptr<Fl_Double_Window> window_;
    std::string title_, label_;
    Fl_Button* prev_ = nullptr;
    Fl_Button* next_ = nullptr;
    Fl_Box* page_label_ = nullptr;
    Fl_Scroll* scroll_ = nullptr;
    PageView* page_view_ = nullptr;
    PreviewPager pager_{static_cast<int>(report_.pages.size())};
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
