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

#include <charconv>
#include <memory>
#include <stdexcept>

#include "common/text.h"
#include "platform/display.h"
#include "platform/platform.h"
#include "ui/cashier.h"
#include "ui/preview_window.h"

namespace vorla::ui {
namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool whole_number(std::string_view s, int& out) {
    s = trimmed(s);
    if (s.empty() || s.size() > 6) return false;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

}  // namespace

std::optional<std::vector<int>> parse_page_range(std::string_view text, int page_count, std::string& error) {
    std::vector<int> pages;
    text = trimmed(text);
    if (text.empty() || text == "all") {
        for (int i = 1; i <= page_count; ++i) pages.push_back(i);
        return pages;
    }
    const std::string bad = gbk("页码范围无效，应为 1 到 ") + std::to_string(page_count) + gbk(" 之间的页码，如 1-2,4");
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const std::size_t dash = item.find('-');
        int from = 0, to = 0;
        const bool ok = dash == std::string_view::npos
                            ? whole_number(item, from) && (to = from, true)
                            : whole_number(item.substr(0, dash), from) && whole_number(item.substr(dash + 1), to);
        if (!ok || from < 1 || to < from || to > page_count || (comma != std::string_view::npos && text.empty())) {
            error = bad;
            return std::nullopt;
        }
        for (int i = from; i <= to; ++i) pages.push_back(i);
    }
    return pages;
}

PrintDialogLogic::PrintDialogLogic(std::vector<platform::Printer> printers, std::string printers_error,
                                   int page_count)
    : printers_(std::move(printers)), printers_error_(std::move(printers_error)), page_count_(page_count) {
    selected_ = printers_.empty() ? -1 : 0;
    for (std::size_t i = 0; i < printers_.size(); ++i)
        if (printers_[i].is_default) {
            selected_ = static_cast<int>(i);
            break;
        }
}

void PrintDialogLogic::select(int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < printers_.size()) selected_ = index;
}

bool PrintDialogLogic::select(std::string_view name) {
    for (std::size_t i = 0; i < printers_.size(); ++i)
        if (printers_[i].name == name) {
            selected_ = static_cast<int>(i);
            return true;
        }
    return false;
}

bool PrintDialogLogic::set_copies(int copies) {
    if (copies < 1 || copies > kMaxCopies) return false;
    copies_ = copies;
    return true;
}

bool PrintDialogLogic::set_copies(std::string_view text) {
    int n = 0;
    return whole_number(text, n) && set_copies(n);
}

std::optional<std::vector<int>> PrintDialogLogic::pages(std::string& error) const {
    if (page_count_ < 1) {
        error = gbk("报表没有可打印的页");
        return std::nullopt;
    }
    return parse_page_range(all_pages_ ? std::string_view() : std::string_view(range_), page_count_, error);
}

std::optional<PrintRequest> PrintDialogLogic::ok(std::string& error) const {
    if (selected_ < 0) {
        error = printers_error_.empty() ? gbk("没有可用的打印机") : gbk("没有可用的打印机：") + printers_error_;
        return std::nullopt;
    }
    auto chosen = pages(error);
    if (!chosen) return std::nullopt;
    PrintRequest r;
    r.target = PrintRequest::Target::Printer;
    r.printer = printers_[static_cast<std::size_t>(selected_)].name;
    r.copies = copies_;
    r.pages = std::move(*chosen);
    return r;
}

std::optional<PrintRequest> PrintDialogLogic::to_file(std::string file, std::string& error) const {
    if (file.empty()) {
        error = gbk("没有指定文件名");
        return std::nullopt;
    }
    auto chosen = pages(error);
    if (!chosen) return std::nullopt;
    PrintRequest r;
    r.target = PrintRequest::Target::File;
    r.file = std::move(file);
    r.copies = copies_;
    r.pages = std::move(*chosen);
    return r;
}

namespace {

PrintRequest scripted_print_dialog(PrintDialogLogic& logic) {
    for (;;) {
        const Step step = take_one("print");
        std::string error;
        if (step.action == "printer") {
            if (!logic.select(step.argument))
                throw ScriptError("cashier script names printer \"" + platform::gbk_to_utf8(step.argument) +
                                  "\", which the printing system does not offer");
        } else if (step.action == "copies") {
            if (!logic.set_copies(step.argument))
                throw ScriptError("cashier script: copies must be 1 to 99, not \"" +
                                  platform::gbk_to_utf8(step.argument) + "\"");
        } else if (step.action == "pages") {
            if (step.argument == "all" || step.argument.empty()) logic.set_all_pages();
            else logic.set_range(step.argument);
        } else if (step.action == "ok") {
            if (auto r = logic.ok(error)) return *r;
            throw ScriptError("cashier script pressed OK in the print dialog: " + platform::gbk_to_utf8(error));
        } else if (step.action == "pdf") {
            if (auto r = logic.to_file(step.argument, error)) return *r;
            throw ScriptError("cashier script: print pdf: " + platform::gbk_to_utf8(error));
        } else if (step.action == "cancel") {
            return PrintDialogLogic::cancel();
        } else {
            throw ScriptError("cashier script: the print dialog has no action \"" + step.action + "\"");
        }
    }
}

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

PrintRequest run_print_dialog(int page_count) {
    std::string printers_error;
    std::vector<platform::Printer> printers = platform::list_printers(printers_error);
    PrintDialogLogic logic(std::move(printers), platform::utf8_to_gbk(printers_error), page_count);
    if (scripted()) return scripted_print_dialog(logic);
    std::string error;
    if (!platform::prepare_display(error)) throw std::runtime_error("the print dialog cannot be shown: " + error);
    PrintWindow window(logic);
    return window.run();
}

}  // namespace vorla::ui
