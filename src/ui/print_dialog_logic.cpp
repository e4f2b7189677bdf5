// The print dialog's logic (printer, copies, page range, what OK and Cancel
// produce), its scripted cashier, and the choice between the script and the
// view (show_print_window) of the platform.
#include <charconv>
#include <stdexcept>

#include "common/text.h"
#include "platform/platform.h"
#include "ui/cashier.h"
#include "ui/preview_print_dialog.h"

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

}  // namespace

PrintRequest run_print_dialog(int page_count) {
    std::string printers_error;
    std::vector<platform::Printer> printers = platform::list_printers(printers_error);
    PrintDialogLogic logic(std::move(printers), platform::utf8_to_gbk(printers_error), page_count);
    if (scripted()) return scripted_print_dialog(logic);
    return show_print_window(logic);
}

}  // namespace vorla::ui
