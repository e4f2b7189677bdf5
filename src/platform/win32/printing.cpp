// The printing boundary on Windows: the printers of the spooler, media names
// and document files. Sending a PDF document to a printer needs a renderer for
// the Windows printing path (GDI), which this build does not have yet: print_pdf
// says so instead of sending bytes the printer would print as text.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/platform.h"
#include "platform/printing.h"
#include "platform/win32/win32.h"

#include <winspool.h>

namespace vorla::platform {
namespace {

std::string default_printer() {
    DWORD size = 0;
    ::GetDefaultPrinterW(nullptr, &size);
    if (size == 0) return {};
    std::wstring name(size, L'\0');
    if (!::GetDefaultPrinterW(name.data(), &size)) return {};
    name.resize(size > 0 ? size - 1 : 0);
    return win32::narrow(name);
}

}  // namespace

std::vector<Printer> list_printers(std::string& error) {
    error.clear();
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0, count = 0;
    ::EnumPrintersW(flags, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<Printer> out;
    if (needed == 0) {
        const DWORD code = ::GetLastError();
        if (code != ERROR_SUCCESS && code != ERROR_INSUFFICIENT_BUFFER) error = gbk_to_utf8(win32::error_text(code));
        return out;
    }
    std::vector<BYTE> buffer(needed);
    if (!::EnumPrintersW(flags, nullptr, 2, buffer.data(), needed, &needed, &count)) {
        error = gbk_to_utf8(win32::error_text(::GetLastError()));
        return out;
    }
    const std::string default_name = default_printer();
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        Printer p;
        p.name = info[i].pPrinterName ? win32::narrow(info[i].pPrinterName) : std::string();
        p.description = info[i].pComment ? win32::narrow(info[i].pComment) : std::string();
        p.is_default = !default_name.empty() && p.name == default_name;
        if (p.is_default) out.insert(out.begin(), std::move(p));
        else out.push_back(std::move(p));
    }
    return out;
}

bool print_pdf(const PrintJob& job, std::string_view, std::string& error) {
    error = "printing a PDF document is not available in the Windows build (printer \"" +
            gbk_to_utf8(job.printer) + "\")";
    return false;
}

std::string media_name(double width_mm, double height_mm) {
    struct Size {
        const char* name;
        double w, h;
    };
    static constexpr Size kSizes[] = {
        {"A3", 297, 420}, {"A4", 210, 297}, {"A5", 148, 210}, {"A6", 105, 148}, {"B5", 176, 250},
    };
    auto close_to = [](double a, double b) { return std::fabs(a - b) <= 1.0; };
    for (const Size& s : kSizes)
        if ((close_to(width_mm, s.w) && close_to(height_mm, s.h)) || (close_to(width_mm, s.h) && close_to(height_mm, s.w)))
            return s.name;
    char buf[64];
    std::snprintf(buf, sizeof buf, "Custom.%gx%gmm", std::round(width_mm * 10) / 10, std::round(height_mm * 10) / 10);
    return buf;
}

bool write_document_file(std::string_view gbk_path, std::string_view bytes, std::string& error) {
    error.clear();
    const std::string path(gbk_path);
    if (path.empty()) {
        error = "no file name";
        return false;
    }
    const std::wstring target = win32::widen(path);
    const std::wstring temp = target + L".tmp" + std::to_wstring(::GetCurrentProcessId());
    const auto fail = [&](DWORD code) {
        error = gbk_to_utf8(path) + ": " + gbk_to_utf8(win32::error_text(code));
        ::DeleteFileW(temp.c_str());
        return false;
    };
    HANDLE h = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return fail(::GetLastError());
    size_t at = 0;
    while (at < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - at, 1u << 30));
        if (!::WriteFile(h, bytes.data() + at, chunk, &written, nullptr) || written == 0) {
            const DWORD code = ::GetLastError();
            ::CloseHandle(h);
            return fail(code);
        }
        at += written;
    }
    if (!::CloseHandle(h)) return fail(::GetLastError());
    // Replaced in one step: a reader sees the old file or the whole new one.
    if (!::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return fail(::GetLastError());
    return true;
}

// Native paths of this build are GBK already.
std::string gbk_from_native_path(std::string_view path) { return std::string(path); }

}  // namespace vorla::platform
