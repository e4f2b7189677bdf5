// Printing and previewing a report.
//
// Print: the pages are laid out, the print dialog (printer, copies, page range)
// comes first; OK sends the chosen pages as one PDF job to the printing system,
// with the template's paper size as media; Cancel prints nothing.
//
// Preview: a modal preview window (ui/preview_window.h) from which the cashier
// may print as above; returns when the window is closed.
//
// With a cashier script (ui/cashier.h) no window is shown:
//   preview pdf PATH   write the PDF of the whole report to PATH; closes the preview
//   preview print      press Print: the print dialog's steps follow ("print ...",
//                      ui/preview_print_dialog.h); the preview stays open
//   preview close      close the preview
// and the print dialog takes its "print" steps.
#pragma once

#include "report/report.h"

namespace vorla::report {

enum class Outcome {
    Printed,    // sent to a printer
    Written,    // written to a PDF file (cashier script)
    Cancelled,  // the print dialog was cancelled
    Closed,     // the preview was closed (after printing or not)
};

// Failures (no display, a printing system that refuses the job, a file that
// cannot be written, a cashier script that does not fit) throw ReportError or
// std::runtime_error with a UTF-8 message.
Outcome print(const Report& report);
Outcome preview(const Report& report);

}  // namespace vorla::report
