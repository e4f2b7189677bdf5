// The print dialog on Windows: the system's print dialog (printer, copies, page
// range). OK gives the chosen printer, copies and pages; Cancel, or closing the
// dialog, prints nothing.
#include "ui/preview_print_dialog.h"

#include <algorithm>
#include <stdexcept>

#include "platform/display.h"
#include "platform/platform.h"
#include "platform/win32/win32.h"

#include <cderr.h>
#include <commdlg.h>

namespace vorla::ui {
namespace {

struct GlobalMemory {
    HGLOBAL handle = nullptr;
    ~GlobalMemory() {
        if (handle) ::GlobalFree(handle);
    }
};

}  // namespace

PrintRequest show_print_window(PrintDialogLogic& logic) {
    std::string error;
    if (!platform::prepare_display(error)) throw std::runtime_error("the print dialog cannot be shown: " + error);
    const int pages = std::max(1, logic.page_count());

    PRINTDLGW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = ::GetActiveWindow();
    dialog.Flags = PD_ALLPAGES | PD_NOSELECTION | PD_HIDEPRINTTOFILE | PD_USEDEVMODECOPIESANDCOLLATE;
    dialog.nFromPage = 1;
    dialog.nToPage = static_cast<WORD>(pages);
    dialog.nMinPage = 1;
    dialog.nMaxPage = static_cast<WORD>(pages);
    dialog.nCopies = static_cast<WORD>(logic.copies());
    GlobalMemory mode, names;
    const BOOL ok = ::PrintDlgW(&dialog);
    mode.handle = dialog.hDevMode;
    names.handle = dialog.hDevNames;
    if (!ok) {
        const DWORD code = ::CommDlgExtendedError();
        if (code == 0) return PrintDialogLogic::cancel();
        if (code == PDERR_NODEFAULTPRN || code == PDERR_NODEVICES)
            throw std::runtime_error("the print dialog cannot be shown: there is no printer");
        throw std::runtime_error("the print dialog failed (error " + std::to_string(code) + ")");
    }

    PrintRequest request;
    request.target = PrintRequest::Target::Printer;
    if (const auto* n = static_cast<const DEVNAMES*>(names.handle ? ::GlobalLock(names.handle) : nullptr)) {
        request.printer = platform::win32::narrow(reinterpret_cast<const wchar_t*>(n) + n->wDeviceOffset);
        ::GlobalUnlock(names.handle);
    }
    int copies = dialog.nCopies;
    if (const auto* m = static_cast<const DEVMODEW*>(mode.handle ? ::GlobalLock(mode.handle) : nullptr)) {
        if (request.printer.empty()) request.printer = platform::win32::narrow(m->dmDeviceName);
        if ((m->dmFields & DM_COPIES) && m->dmCopies > copies) copies = m->dmCopies;
        ::GlobalUnlock(mode.handle);
    }
    if (request.printer.empty()) throw std::runtime_error("the print dialog named no printer");
    request.copies = std::clamp(copies, 1, PrintDialogLogic::kMaxCopies);
    int from = 1, to = pages;
    if (dialog.Flags & PD_PAGENUMS) {
        from = std::clamp<int>(dialog.nFromPage, 1, pages);
        to = std::clamp<int>(dialog.nToPage, from, pages);
    }
    for (int p = from; p <= to; ++p) request.pages.push_back(p);
    return request;
}

}  // namespace vorla::ui
