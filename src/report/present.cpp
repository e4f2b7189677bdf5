#include "report/present.h"

#include <functional>

#include "platform/platform.h"
#include "platform/printing.h"
#include "report/layout.h"
#include "report/render.h"
#include "ui/cashier.h"
#include "ui/preview_print_dialog.h"
#include "ui/preview_window.h"

namespace vorla::report {
namespace {

void write_file(const std::string& gbk_path, const std::string& bytes) {
    std::string error;
    if (!platform::write_document_file(gbk_path, bytes, error))
        throw ReportError("the PDF cannot be written: " + error);
}

Outcome print_prepared(const PreparedReport& prepared) {
    const ui::PrintRequest request = ui::run_print_dialog(static_cast<int>(prepared.pages.size()));
    switch (request.target) {
        case ui::PrintRequest::Target::Cancelled: return Outcome::Cancelled;
        case ui::PrintRequest::Target::File:
            write_file(request.file, render_pdf(prepared, request.pages));
            return Outcome::Written;
        case ui::PrintRequest::Target::Printer: break;
    }
    print_report(prepared, request.pages, request.printer, request.copies);
    return Outcome::Printed;
}

}  // namespace

Outcome print(const Report& report) {
    if (report.empty()) throw ReportError("the report has no pages");
    return print_prepared(prepare(report));
}

Outcome preview(const Report& report) {
    if (report.empty()) throw ReportError("the report has no pages");
    const PreparedReport prepared = prepare(report);
    if (!ui::scripted()) {
        const std::function<void()> print_action = [&prepared] { print_prepared(prepared); };
        ui::show_preview_window(prepared, print_action);
        return Outcome::Closed;
    }
    for (;;) {
        const ui::Step step = ui::take_one("preview");
        if (step.action == "pdf") {
            if (step.argument.empty()) throw ui::ScriptError("cashier script: preview pdf needs a file name");
            write_file(step.argument, render_pdf(prepared));
            return Outcome::Written;
        }
        if (step.action == "print") {
            print_prepared(prepared);
            continue;
        }
        if (step.action == "close") return Outcome::Closed;
        throw ui::ScriptError("cashier script: the preview has no action \"" + step.action + "\"");
    }
}

}  // namespace vorla::report
