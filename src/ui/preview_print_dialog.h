// The print dialog of the report engine: printer, copies and page range; OK
// prints, Cancel prints nothing. Logic (plain C++, unit-tested) and a view
// of the platform that renders it; with a cashier script the script answers
// instead.
//
// Script steps of the dialog "print" (see ui/cashier.h), taken one at a time:
//   print printer NAME   choose the printer (a queue name the system offers)
//   print copies N       number of copies, 1 to 99
//   print pages RANGE    "all", or pages such as "1-2,4"
//   print ok             print on the chosen (else the default) printer
//   print pdf PATH       write the PDF of the chosen pages to PATH instead of
//                        printing (copies are not repeated in the file)
//   print cancel         print nothing
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/printing.h"

namespace vorla::ui {

// What the cashier chose in the print dialog.
struct PrintRequest {
    enum class Target { Cancelled, Printer, File };
    Target target = Target::Cancelled;
    std::string printer;     // Target::Printer: queue name
    std::string file;        // Target::File: path, GBK
    int copies = 1;
    std::vector<int> pages;  // 1-based page numbers in print order
};

// "all" or "" gives every page; otherwise items separated by ",": a page "N" or
// a range "N-M" (blanks allowed), 1 <= N <= M <= page_count. nullopt with
// `error` (GBK) for anything else.
std::optional<std::vector<int>> parse_page_range(std::string_view text, int page_count, std::string& error);

class PrintDialogLogic {
public:
    static constexpr int kMaxCopies = 99;

    // `printers`: the system's printers, default first; `printers_error`: why
    // the list could not be read (GBK, may be empty).
    PrintDialogLogic(std::vector<platform::Printer> printers, std::string printers_error, int page_count);

    const std::vector<platform::Printer>& printers() const { return printers_; }
    const std::string& printers_error() const { return printers_error_; }
    int page_count() const { return page_count_; }

    // Index of the chosen printer, -1 when there is none.
    int selected() const { return selected_; }
    void select(int index);
    bool select(std::string_view name);  // false when no printer has that name

    int copies() const { return copies_; }
    // 1..kMaxCopies; false (value kept) otherwise.
    bool set_copies(int copies);
    bool set_copies(std::string_view text);

    bool all_pages() const { return all_pages_; }
    const std::string& range() const { return range_; }
    void set_all_pages() { all_pages_ = true; }
    void set_range(std::string range) {
        all_pages_ = false;
        range_ = std::move(range);
    }

    // OK: the request for the chosen printer, or nullopt with the text (GBK) the
    // dialog shows and stays open.
    std::optional<PrintRequest> ok(std::string& error) const;
    // "Save as PDF" (scripts): the request to write the chosen pages to `file`.
    std::optional<PrintRequest> to_file(std::string file, std::string& error) const;
    static PrintRequest cancel() { return {}; }

private:
    std::optional<std::vector<int>> pages(std::string& error) const;

    std::vector<platform::Printer> printers_;
    std::string printers_error_;
    int page_count_ = 0;
    int selected_ = -1;
    int copies_ = 1;
    bool all_pages_ = true;
    std::string range_;
};

// The platform's print dialog for the logic's printers and pages, modal within
// the call (Linux: an FLTK window; Windows: the system's print dialog). Returns
// the cashier's request, Cancelled when the dialog was cancelled or closed.
// Throws std::runtime_error when no display can be used.
PrintRequest show_print_window(PrintDialogLogic& logic);

// Runs the print dialog for a report of `page_count` pages: answered by the
// cashier script when one is named, otherwise shown by show_print_window.
// Throws ScriptError for a script that does not fit, std::runtime_error when no
// display can be used.
PrintRequest run_print_dialog(int page_count);

}  // namespace vorla::ui
