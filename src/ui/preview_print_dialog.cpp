// The print dialog as a modal FLTK window.
#include "ui/preview_print_dialog.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Spinner.H>

#include <memory>
#include <stdexcept>

#include "common/text.h"
#include "platform/display.h"
#include "platform/platform.h"
#include "ui/preview_window.h"

namespace vorla::ui {
namespace {

std::string utf8(std::string_view gbk_text) { return platform::gbk_to_utf8(gbk_text); }

// The view: renders the logic, forwards the cashier's input.
class PrintWindow {
public:
    static constexpr int kWidth = 420, kHeight = 250;

    explicit PrintWindow(PrintDialogLogic& logic) : logic_(logic) {
        window_ = std::make_unique<Fl_Double_Window>(kWidth, kHeight);
        window_->copy_label(utf8(gbk("打印")).c_str());
        window_->xclass(kPrintDialogWindowClass);
        window_->callback(&PrintWindow::on_cancel, this);

        printer_ = new Fl_Choice(100, 15, 300, 28);
        printer_->copy_label(utf8(gbk("打印机：")).c_str());
        for (const auto& p : logic_.printers()) {
            std::string label = p.name + (p.description.empty() ? "" : " (" + utf8(p.description) + ")");
            // "/" and "&" are menu syntax in FLTK: escape them.
            std::string escaped;
            for (char c : label) {
                if (c == '/' || c == '&' || c == '\\' || c == '_') escaped += '\\';
                escaped += c;
            }
            printer_->add(escaped.c_str());
        }
        printer_->callback(&PrintWindow::on_printer, this);

        copies_ = new Fl_Spinner(100, 55, 80, 28);
        copies_->copy_label(utf8(gbk("份数：")).c_str());
        copies_->type(FL_INT_INPUT);
        copies_->range(1, PrintDialogLogic::kMaxCopies);
        copies_->step(1);
        copies_->value(logic_.copies());

        all_ = new Fl_Round_Button(100, 95, 80, 25);
        all_->copy_label(utf8(gbk("全部")).c_str());
        all_->type(FL_RADIO_BUTTON);
        all_->callback(&PrintWindow::on_range_kind, this);
        some_ = new Fl_Round_Button(180, 95, 70, 25);
        some_->copy_label(utf8(gbk("页码：")).c_str());
        some_->type(FL_RADIO_BUTTON);
        some_->callback(&PrintWindow::on_range_kind, this);
        range_ = new Fl_Input(250, 95, 150, 25);
        auto* pages_label = new Fl_Box(10, 95, 88, 25);
        pages_label->copy_label(utf8(gbk("页码范围：")).c_str());
        pages_label->align(FL_ALIGN_INSIDE | FL_ALIGN_RIGHT);

        message_ = new Fl_Box(10, 130, 400, 60);
        message_->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT | FL_ALIGN_WRAP);
        message_->labelcolor(FL_RED);

        auto* ok = new Fl_Return_Button(200, 205, 95, 30);
        ok->copy_label(utf8(gbk("打印")).c_str());
        ok->callback(&PrintWindow::on_ok, this);
        auto* cancel = new Fl_Button(305, 205, 95, 30);
        cancel->copy_label(utf8(gbk("取消")).c_str());
        cancel->callback(&PrintWindow::on_cancel, this);

        window_->end();
        window_->set_modal();
        window_->position((Fl::w() - kWidth) / 2, (Fl::h() - kHeight) / 2);
        if (!logic_.printers_error().empty()) message_->copy_label(utf8(logic_.printers_error()).c_str());
        sync();
    }

    PrintRequest run() {
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
        return result_;
    }

private:
    void sync() {
        if (logic_.selected() >= 0) printer_->value(logic_.selected());
        all_->value(logic_.all_pages() ? 1 : 0);
        some_->value(logic_.all_pages() ? 0 : 1);
        if (logic_.all_pages()) range_->deactivate();
        else range_->activate();
    }

    static void on_printer(Fl_Widget*, void* p) {
        auto* self = static_cast<PrintWindow*>(p);
        self->logic_.select(self->printer_->value());
    }
    static void on_range_kind(Fl_Widget* w, void* p) {
        auto* self = static_cast<PrintWindow*>(p);
        if (w == self->all_) self->logic_.set_all_pages();
        else self->logic_.set_range(platform::utf8_to_gbk(self->range_->value()));
        self->sync();
    }
    static void on_ok(Fl_Widget*, void* p) {
        auto* self = static_cast<PrintWindow*>(p);
        if (!self->logic_.all_pages()) self->logic_.set_range(platform::utf8_to_gbk(self->range_->value()));
        std::string error;
        if (!self->logic_.set_copies(static_cast<int>(self->copies_->value()))) {
            self->message_->copy_label(utf8(gbk("份数应为 1 到 99")).c_str());
            return;
        }
        if (auto r = self->logic_.ok(error)) {
            self->result_ = *r;
            self->done_ = true;
        } else {
            self->message_->copy_label(utf8(error).c_str());
        }
        self->window_->redraw();
    }
    static void on_cancel(Fl_Widget*, void* p) {
        auto* self = static_cast<PrintWindow*>(p);
        self->result_ = PrintDialogLogic::cancel();
        self->done_ = true;
    }

    PrintDialogLogic& logic_;
    std::unique_ptr<Fl_Double_Window> window_;
    Fl_Choice* printer_ = nullptr;
    Fl_Spinner* copies_ = nullptr;
    Fl_Round_Button* all_ = nullptr;
    Fl_Round_Button* some_ = nullptr;
    Fl_Input* range_ = nullptr;
    Fl_Box* message_ = nullptr;
    PrintRequest result_;
    bool done_ = false;
};

}  // namespace

PrintRequest show_print_window(PrintDialogLogic& logic) {
    std::string error;
    if (!platform::prepare_display(error)) throw std::runtime_error("the print dialog cannot be shown: " + error);
    PrintWindow window(logic);
    return window.run();
}

}  // namespace vorla::ui
