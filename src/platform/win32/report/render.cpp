// Rendering of a prepared report with GDI: page images (a DIB section) for the
// preview window and the pages of a print job on the printer's device context.
// Both go through draw_page, so the preview shows what prints. Texts are laid
// out as the Linux rendering lays them out: lines break at blanks and between
// Chinese characters (a word longer than the line breaks anywhere), a memo that
// shrinks its font does so in steps of 10 % down to half the size, and text is
// clipped to its memo's box.
#include "report/render.h"

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32.h"

#include <winspool.h>

namespace vorla::report {
namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kPointsPerInch = 72.0;

[[noreturn]] void unavailable(const char* what) {
    throw ReportError(std::string(what) + " is not available in the Windows build (it prints and previews with GDI)");
}

const PreparedPage& page_at(const PreparedReport& report, int page) {
    if (page < 1 || static_cast<std::size_t>(page) > report.pages.size())
        throw ReportError("page " + std::to_string(page) + " is not in the report (1 to " +
                          std::to_string(report.pages.size()) + ")");
    return report.pages[static_cast<std::size_t>(page) - 1];
}

std::wstring wide_utf8(const std::string& utf8) { return platform::win32::widen(utf8, CP_UTF8); }

// Device geometry: `scale` pixels per millimetre; (origin_x, origin_y) the
// device position of the page's top left corner.
struct Device {
    HDC dc;
    double scale;
    double origin_x = 0, origin_y = 0;
    int px(double mm) const { return static_cast<int>(std::lround(mm * scale)); }
    int x(double mm) const { return static_cast<int>(std::lround(origin_x + mm * scale)); }
    int y(double mm) const { return static_cast<int>(std::lround(origin_y + mm * scale)); }
};

class Pen {
public:
    Pen(const Device& d, double width_mm) : dc_(d.dc) {
        LOGBRUSH brush{BS_SOLID, RGB(0, 0, 0), 0};
        const DWORD width = static_cast<DWORD>(std::max(1, d.px(width_mm)));
        pen_ = ::ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_SQUARE | PS_JOIN_MITER, width, &brush, 0, nullptr);
        old_ = ::SelectObject(dc_, pen_);
    }
    ~Pen() {
        ::SelectObject(dc_, old_);
        ::DeleteObject(pen_);
    }
    Pen(const Pen&) = delete;
    Pen& operator=(const Pen&) = delete;

private:
    HDC dc_;
    HPEN pen_;
    HGDIOBJ old_;
};

void line(HDC dc, int x1, int y1, int x2, int y2) {
    ::MoveToEx(dc, x1, y1, nullptr);
    ::LineTo(dc, x2, y2);
}

class TextFont {
public:
    TextFont(HDC dc, const Font& font, double size_pt, double pixels_per_point) : dc_(dc) {
        const std::wstring face = platform::win32::widen(font.family, CP_UTF8);
        LOGFONTW lf{};
        lf.lfHeight = -std::max(1L, std::lround(size_pt * pixels_per_point));
        lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = font.italic ? TRUE : FALSE;
        lf.lfCharSet = GB2312_CHARSET;  // a face with Chinese characters when the named one is missing
        lf.lfOutPrecision = OUT_TT_PRECIS;
        lf.lfQuality = ANTIALIASED_QUALITY;
        lf.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
        wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
        font_ = ::CreateFontIndirectW(&lf);
        old_ = ::SelectObject(dc_, font_);
        TEXTMETRICW tm{};
        ::GetTextMetricsW(dc_, &tm);
        line_height_ = tm.tmHeight;
    }
    ~TextFont() {
        ::SelectObject(dc_, old_);
        ::DeleteObject(font_);
    }
    TextFont(const TextFont&) = delete;
    TextFont& operator=(const TextFont&) = delete;
    int line_height() const { return line_height_; }

private:
    HDC dc_;
    HFONT font_;
    HGDIOBJ old_;
    int line_height_ = 0;
};

int text_width(HDC dc, std::wstring_view text) {
    SIZE s{};
    if (!text.empty()) ::GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &s);
    return s.cx;
}

bool is_cjk(wchar_t c) { return c >= 0x2E80 && !(c >= 0xD800 && c <= 0xDFFF) && c < 0xFF61; }

// A line may break after position i (between text[i-1] and text[i]).
bool break_before(std::wstring_view text, std::size_t i) {
    if (i == 0 || i >= text.size()) return false;
    const wchar_t a = text[i - 1], b = text[i];
    return a == L' ' || a == L'\t' || is_cjk(a) || (is_cjk(b) && b != L' ');
}

// The lines of the text; with a width, paragraphs wrap to it.
std::vector<std::wstring> layout_lines(HDC dc, const std::wstring& text, bool wrap, int width) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find(L'\n', start);
        std::wstring paragraph = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!paragraph.empty() && paragraph.back() == L'\r') paragraph.pop_back();
        if (!wrap || paragraph.empty()) {
            lines.push_back(paragraph);
        } else {
            std::wstring_view rest = paragraph;
            while (!rest.empty()) {
                int fit = 0;
                SIZE size{};
                ::GetTextExtentExPointW(dc, rest.data(), static_cast<int>(rest.size()), std::max(width, 0), &fit,
                                        nullptr, &size);
                std::size_t cut = static_cast<std::size_t>(std::max(fit, 0));
                if (cut >= rest.size()) {
                    lines.emplace_back(rest);
                    break;
                }
                std::size_t at = cut;
                while (at > 0 && !break_before(rest, at)) --at;
                if (at == 0) at = std::max<std::size_t>(cut, 1);  // a word longer than the line
                // Blanks at the break stay at the end of the line.
                while (at < rest.size() && rest[at] == L' ') ++at;
                lines.emplace_back(rest.substr(0, at));
                rest.remove_prefix(at);
            }
        }
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return lines;
}

void draw_memo(const Device& d, const View& v, const std::string& utf8, double pixels_per_point) {
    const int x = d.x(v.rect.x), y = d.y(v.rect.y);
    const int x2 = d.x(v.rect.x + v.rect.width), y2 = d.y(v.rect.y + v.rect.height);
    if (v.borders.any() && v.line_width > 0) {
        Pen pen(d, v.line_width);
        if (v.borders.top) line(d.dc, x, y, x2, y);
        if (v.borders.bottom) line(d.dc, x, y2, x2, y2);
        if (v.borders.left) line(d.dc, x, y, x, y2);
        if (v.borders.right) line(d.dc, x2, y, x2, y2);
    }
    if (utf8.empty()) return;

    const std::wstring text = wide_utf8(utf8);
    const int pad = d.px(v.padding);
    const int inner_w = std::max(0, x2 - x - 2 * pad), inner_h = std::max(0, y2 - y - 2 * pad);
    double size = v.font.size;
    for (;;) {
        TextFont font(d.dc, v.font, size, pixels_per_point);
        const std::vector<std::wstring> lines = layout_lines(d.dc, text, v.wrap, inner_w);
        int text_w = 0;
        for (const auto& l : lines) text_w = std::max(text_w, text_width(d.dc, l));
        const int text_h = static_cast<int>(lines.size()) * font.line_height();
        const bool fits = text_h <= inner_h && (v.wrap || text_w <= inner_w);
        if (v.shrink && !fits && size * 0.9 >= v.font.size / 2) {
            size *= 0.9;
            continue;
        }
        int dy = 0;
        if (v.valign == VAlign::Middle) dy = (inner_h - text_h) / 2;
        else if (v.valign == VAlign::Bottom) dy = inner_h - text_h;
        int block_dx = 0;  // a text that does not wrap moves as a block
        if (!v.wrap) {
            if (v.align == HAlign::Center) block_dx = (inner_w - text_w) / 2;
            else if (v.align == HAlign::Right) block_dx = inner_w - text_w;
        }
        const int saved = ::SaveDC(d.dc);
        ::IntersectClipRect(d.dc, x, y, x2 + 1, y2 + 1);
        ::SetBkMode(d.dc, TRANSPARENT);
        ::SetTextColor(d.dc, RGB(0, 0, 0));
        ::SetTextAlign(d.dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
        int line_y = y + pad + dy;
        for (const auto& l : lines) {
            // Trailing blanks take no room when a wrapped line is aligned.
            std::wstring_view shown = l;
            while (v.wrap && !shown.empty() && shown.back() == L' ') shown.remove_suffix(1);
            int dx = block_dx;
            if (v.wrap) {
                const int w = text_width(d.dc, shown);
                if (v.align == HAlign::Center) dx = (inner_w - w) / 2;
                else if (v.align == HAlign::Right) dx = inner_w - w;
            }
            if (!shown.empty())
                ::TextOutW(d.dc, x + pad + dx, line_y, shown.data(), static_cast<int>(shown.size()));
            line_y += font.line_height();
        }
        ::RestoreDC(d.dc, saved);
        return;
    }
}

void draw_page(const Device& d, const PreparedPage& page) {
    const double pixels_per_point = d.scale * kMmPerInch / kPointsPerInch;
    Device content = d;
    content.origin_x += page.margins.left * d.scale;
    content.origin_y += page.margins.top * d.scale;
    for (const PreparedPage::Item& item : page.items) {
        const View& v = item.view;
        switch (v.kind) {
            case ViewKind::Line:
                if (v.line_width <= 0) break;
                {
                    Pen pen(content, v.line_width);
                    line(d.dc, content.x(v.rect.x), content.y(v.rect.y), content.x(v.rect.x + v.rect.width),
                         content.y(v.rect.y + v.rect.height));
                }
                break;
            case ViewKind::Box:
                if (v.line_width <= 0) break;
                {
                    Pen pen(content, v.line_width);
                    const HGDIOBJ old = ::SelectObject(d.dc, ::GetStockObject(NULL_BRUSH));
                    ::Rectangle(d.dc, content.x(v.rect.x), content.y(v.rect.y), content.x(v.rect.x + v.rect.width),
                                content.y(v.rect.y + v.rect.height));
                    ::SelectObject(d.dc, old);
                }
                break;
            case ViewKind::Memo: draw_memo(content, v, item.utf8, pixels_per_point); break;
        }
    }
}

struct DcDeleter {
    void operator()(HDC dc) const { ::DeleteDC(dc); }
};
using OwnedDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

std::string last_error() { return platform::gbk_to_utf8(platform::win32::error_text(::GetLastError())); }

// The printer's settings for this report: its defaults with the page's paper.
std::vector<BYTE> printer_settings(const std::wstring& printer, const PreparedPage& page) {
    HANDLE handle = nullptr;
    if (!::OpenPrinterW(const_cast<LPWSTR>(printer.c_str()), &handle, nullptr)) return {};
    std::vector<BYTE> buffer;
    const LONG size = ::DocumentPropertiesW(nullptr, handle, const_cast<LPWSTR>(printer.c_str()), nullptr, nullptr, 0);
    if (size > 0) {
        buffer.resize(static_cast<std::size_t>(size));
        auto* mode = reinterpret_cast<DEVMODEW*>(buffer.data());
        if (::DocumentPropertiesW(nullptr, handle, const_cast<LPWSTR>(printer.c_str()), mode, nullptr,
                                  DM_OUT_BUFFER) != IDOK) {
            buffer.clear();
        } else {
            const bool landscape = page.width > page.height;
            mode->dmFields |= DM_ORIENTATION | DM_PAPERWIDTH | DM_PAPERLENGTH;
            mode->dmFields &= ~static_cast<DWORD>(DM_PAPERSIZE);
            mode->dmPaperSize = 0;
            mode->dmOrientation = landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
            // Tenths of a millimetre, in portrait orientation.
            mode->dmPaperWidth = static_cast<short>(std::lround(std::min(page.width, page.height) * 10));
            mode->dmPaperLength = static_cast<short>(std::lround(std::max(page.width, page.height) * 10));
            struct Named {
                short code;
                double w, h;
            };
            static constexpr Named kSizes[] = {{DMPAPER_A3, 297, 420}, {DMPAPER_A4, 210, 297}, {DMPAPER_A5, 148, 210},
                                               {DMPAPER_A6, 105, 148}, {DMPAPER_B5, 182, 257}};
            const double w = std::min(page.width, page.height), h = std::max(page.width, page.height);
            for (const Named& n : kSizes)
                if (std::fabs(w - n.w) <= 1 && std::fabs(h - n.h) <= 1) {
                    mode->dmFields |= DM_PAPERSIZE;
                    mode->dmFields &= ~static_cast<DWORD>(DM_PAPERWIDTH | DM_PAPERLENGTH);
                    mode->dmPaperSize = n.code;
                }
            if (::DocumentPropertiesW(nullptr, handle, const_cast<LPWSTR>(printer.c_str()), mode, mode,
                                      DM_IN_BUFFER | DM_OUT_BUFFER) != IDOK)
                buffer.clear();
        }
    }
    ::ClosePrinter(handle);
    return buffer;
}

}  // namespace

std::string render_pdf(const PreparedReport&, const PageList&) { unavailable("PDF output"); }

std::string render_png(const PreparedReport&, int, double) { unavailable("PNG output"); }

Image render_image(const PreparedReport& report, int page, double dpi) {
    const PreparedPage& p = page_at(report, page);
    dpi = std::clamp(dpi, 10.0, 1200.0);
    const double scale = dpi / kMmPerInch;
    const int w = std::max(1, static_cast<int>(std::lround(p.width * scale)));
    const int h = std::max(1, static_cast<int>(std::lround(p.height * scale)));

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    OwnedDc dc(::CreateCompatibleDC(nullptr));
    if (!dc) throw ReportError("cannot create the page image: " + last_error());
    HBITMAP bitmap = ::CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) throw ReportError("cannot create the page image: " + last_error());
    const HGDIOBJ old = ::SelectObject(dc.get(), bitmap);
    RECT all{0, 0, w, h};
    ::FillRect(dc.get(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    draw_page(Device{dc.get(), scale}, p);
    ::GdiFlush();

    Image image;
    image.width = w;
    image.height = h;
    image.stride = w * 3;
    image.rgb.resize(static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(h));
    const auto* src = static_cast<const std::uint8_t*>(bits);
    for (int row = 0; row < h; ++row) {
        const std::uint8_t* s = src + static_cast<std::ptrdiff_t>(row) * w * 4;
        std::uint8_t* t = image.rgb.data() + static_cast<std::ptrdiff_t>(row) * image.stride;
        for (int col = 0; col < w; ++col, s += 4) {
            *t++ = s[2];
            *t++ = s[1];
            *t++ = s[0];
        }
    }
    ::SelectObject(dc.get(), old);
    ::DeleteObject(bitmap);
    return image;
}

void print_report(const PreparedReport& report, const PageList& pages, const std::string& printer, int copies) {
    PageList list = pages;
    if (list.empty())
        for (std::size_t i = 1; i <= report.pages.size(); ++i) list.push_back(static_cast<int>(i));
    if (list.empty()) throw ReportError("the report has no pages");
    for (int n : list) page_at(report, n);
    copies = std::clamp(copies, 1, 999);

    const std::wstring name = platform::win32::widen(printer);
    std::vector<BYTE> settings = printer_settings(name, page_at(report, list.front()));
    OwnedDc dc(::CreateDCW(nullptr, name.c_str(), nullptr,
                           settings.empty() ? nullptr : reinterpret_cast<const DEVMODEW*>(settings.data())));
    if (!dc) throw ReportError("printing failed: the printer \"" + platform::gbk_to_utf8(printer) +
                               "\" cannot be used: " + last_error());

    const std::wstring title = wide_utf8(report.title.empty() ? std::string("vorla") : report.title);
    DOCINFOW doc{};
    doc.cbSize = sizeof doc;
    doc.lpszDocName = title.c_str();
    if (::StartDocW(dc.get(), &doc) <= 0) throw ReportError("printing failed: the job cannot be started: " + last_error());
    // The device's origin is the corner of its printable area. Drawing uses
    // the horizontal resolution in both directions; a device with another
    // vertical resolution scales the vertical axis.
    const int dpi_x = std::max(1, ::GetDeviceCaps(dc.get(), LOGPIXELSX));
    const int dpi_y = std::max(1, ::GetDeviceCaps(dc.get(), LOGPIXELSY));
    const double offset_x = ::GetDeviceCaps(dc.get(), PHYSICALOFFSETX);
    double offset_y = ::GetDeviceCaps(dc.get(), PHYSICALOFFSETY);
    if (dpi_x != dpi_y) offset_y = offset_y * dpi_x / dpi_y;
    const auto set_scale = [&dc, dpi_x, dpi_y] {
        if (dpi_x == dpi_y) return;
        ::SetMapMode(dc.get(), MM_ANISOTROPIC);
        ::SetWindowExtEx(dc.get(), dpi_x, dpi_x, nullptr);
        ::SetViewportExtEx(dc.get(), dpi_x, dpi_y, nullptr);
    };
    Device device{dc.get(), dpi_x / kMmPerInch, -offset_x, -offset_y};
    for (int copy = 0; copy < copies; ++copy) {
        for (int n : list) {
            if (::StartPage(dc.get()) <= 0) {
                ::AbortDoc(dc.get());
                throw ReportError("printing failed: a page cannot be started: " + last_error());
            }
            set_scale();  // some drivers reset the mapping at each page
            draw_page(device, page_at(report, n));
            if (::EndPage(dc.get()) <= 0) {
                ::AbortDoc(dc.get());
                throw ReportError("printing failed: a page cannot be finished: " + last_error());
            }
        }
    }
    if (::EndDoc(dc.get()) <= 0) throw ReportError("printing failed: the job cannot be finished: " + last_error());
}

}  // namespace vorla::report
