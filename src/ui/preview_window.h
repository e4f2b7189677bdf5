// The modal preview window of the report engine: shows the pages as the
// printer would print them, lets the cashier page through and zoom, and print
// (the print dialog comes first). Returns when the cashier closes it.
#pragma once

#include <functional>

#include "report/layout.h"

namespace vorla::ui {

// Window classes (X11 class, Win32 class name), so that tests and automation
// can tell the windows apart.
inline constexpr const char* kPreviewWindowClass = "vorla-preview";
inline constexpr const char* kPrintDialogWindowClass = "vorla-print";

// Shows the prepared report until the cashier closes the window. `print` runs
// when the cashier presses Print; the window stays open afterwards. A failure
// thrown by `print` closes the window and is thrown again from here. Throws
// std::runtime_error when no display can be used.
void show_preview_window(const report::PreparedReport& report, const std::function<void()>& print);

}  // namespace vorla::ui
