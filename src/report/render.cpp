// Drawing in points (1/72 inch): the PDF surface's unit; images scale the
// context to their resolution. Glyph positions are not rounded and metrics not
// hinted, so that a text breaks at the same place in the PDF and in the preview.
#include "report/render.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "platform/platform.h"
#include "platform/printing.h"

namespace vorla::report {
namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;

double pt(double mm) { return mm * kPointsPerMm; }

struct CairoDeleter {
    void operator()(cairo_t* p) const { cairo_destroy(p); }
    void operator()(cairo_surface_t* p) const { cairo_surface_destroy(p); }
    void operator()(cairo_font_options_t* p) const { cairo_font_options_destroy(p); }
    void operator()(PangoContext* p) const { g_object_unref(p); }
    void operator()(PangoLayout* p) const { g_object_unref(p); }
    void operator()(PangoFontDescription* p) const { pango_font_description_free(p); }
};
template <class T>
using Owned = std::unique_ptr<T, CairoDeleter>;

void check(cairo_status_t status, const char* what) {
    if (status != CAIRO_STATUS_SUCCESS)
        throw ReportError(std::string(what) + ": " + cairo_status_to_string(status));
}

Owned<PangoContext> text_context(cairo_t* cr) {
    Owned<PangoContext> context(pango_cairo_create_context(cr));
    Owned<cairo_font_options_t> options(cairo_font_options_create());
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
    pango_cairo_context_set_font_options(context.get(), options.get());
    pango_cairo_context_set_resolution(context.get(), 72);
    pango_context_set_round_glyph_positions(context.get(), FALSE);
    return context;
}

void stroke_line(cairo_t* cr, double x1, double y1, double x2, double y2) {
    cairo_move_to(cr, x1, y1);
    cairo_line_to(cr, x2, y2);
    cairo_stroke(cr);
}

// Size of the layout's logical extents in points.
void layout_size(PangoLayout* layout, double& width, double& height) {
    int w = 0, h = 0;
    pango_layout_get_size(layout, &w, &h);
    width = static_cast<double>(w) / PANGO_SCALE;
    height = static_cast<double>(h) / PANGO_SCALE;
}

void draw_memo(cairo_t* cr, PangoContext* context, const View& v, const std::string& utf8, double ox, double oy) {
    const double x = ox + pt(v.rect.x), y = oy + pt(v.rect.y);
    const double w = pt(v.rect.width), h = pt(v.rect.height);
    if (v.borders.any() && v.line_width > 0) {
        cairo_set_line_width(cr, pt(v.line_width));
        if (v.borders.top) stroke_line(cr, x, y, x + w, y);
        if (v.borders.bottom) stroke_line(cr, x, y + h, x + w, y + h);
        if (v.borders.left) stroke_line(cr, x, y, x, y + h);
        if (v.borders.right) stroke_line(cr, x + w, y, x + w, y + h);
    }
    if (utf8.empty()) return;

    const double pad = pt(v.padding);
    const double inner_w = std::max(0.0, w - 2 * pad), inner_h = std::max(0.0, h - 2 * pad);
    Owned<PangoLayout> layout(pango_layout_new(context));
    pango_layout_set_text(layout.get(), utf8.data(), static_cast<int>(utf8.size()));
    Owned<PangoFontDescription> font(pango_font_description_new());
    pango_font_description_set_family(font.get(), v.font.family.c_str());
    pango_font_description_set_weight(font.get(), v.font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(font.get(), v.font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    if (v.wrap) {
        pango_layout_set_width(layout.get(), static_cast<int>(inner_w * PANGO_SCALE));
        pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
        pango_layout_set_alignment(layout.get(), v.align == HAlign::Center  ? PANGO_ALIGN_CENTER
                                                 : v.align == HAlign::Right ? PANGO_ALIGN_RIGHT
                                                                            : PANGO_ALIGN_LEFT);
    }
    double size = v.font.size;
    double text_w = 0, text_h = 0;
    for (;;) {
        pango_font_description_set_absolute_size(font.get(), size * PANGO_SCALE);
        pango_layout_set_font_description(layout.get(), font.get());
        layout_size(layout.get(), text_w, text_h);
        const bool fits = text_h <= inner_h + 0.01 && (v.wrap || text_w <= inner_w + 0.01);
        if (!v.shrink || fits || size * 0.9 < v.font.size / 2) break;
        size *= 0.9;
    }

    double dx = 0;
    if (!v.wrap) {
        if (v.align == HAlign::Center) dx = (inner_w - text_w) / 2;
        else if (v.align == HAlign::Right) dx = inner_w - text_w;
    }
    double dy = 0;
    if (v.valign == VAlign::Middle) dy = (inner_h - text_h) / 2;
    else if (v.valign == VAlign::Bottom) dy = inner_h - text_h;

    cairo_save(cr);
    cairo_rectangle(cr, x, y, w, h);
    cairo_clip(cr);
    cairo_move_to(cr, x + pad + dx, y + pad + dy);
    pango_cairo_show_layout(cr, layout.get());
    cairo_restore(cr);
}

void draw_page(cairo_t* cr, const PreparedPage& page) {
    Owned<PangoContext> context = text_context(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
    const double ox = pt(page.margins.left), oy = pt(page.margins.top);
    for (const PreparedPage::Item& item : page.items) {
        const View& v = item.view;
        switch (v.kind) {
            case ViewKind::Line:
                if (v.line_width <= 0) break;
                cairo_set_line_width(cr, pt(v.line_width));
                stroke_line(cr, ox + pt(v.rect.x), oy + pt(v.rect.y), ox + pt(v.rect.x + v.rect.width),
                            oy + pt(v.rect.y + v.rect.height));
                break;
            case ViewKind::Box:
                if (v.line_width <= 0) break;
                cairo_set_line_width(cr, pt(v.line_width));
                cairo_rectangle(cr, ox + pt(v.rect.x), oy + pt(v.rect.y), pt(v.rect.width), pt(v.rect.height));
                cairo_stroke(cr);
                break;
            case ViewKind::Memo: draw_memo(cr, context.get(), v, item.utf8, ox, oy); break;
        }
    }
}

const PreparedPage& page_at(const PreparedReport& report, int page) {
    if (page < 1 || static_cast<std::size_t>(page) > report.pages.size())
        throw ReportError("page " + std::to_string(page) + " is not in the report (1 to " +
                          std::to_string(report.pages.size()) + ")");
    return report.pages[static_cast<std::size_t>(page) - 1];
}

cairo_status_t append_bytes(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

Owned<cairo_surface_t> image_surface(const PreparedReport& report, int page, double dpi) {
    const PreparedPage& p = page_at(report, page);
    dpi = std::clamp(dpi, 10.0, 1200.0);
    const double scale = dpi / 72.0;
    const int w = std::max(1, static_cast<int>(std::lround(pt(p.width) * scale)));
    const int h = std::max(1, static_cast<int>(std::lround(pt(p.height) * scale)));
    Owned<cairo_surface_t> surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h));
    check(cairo_surface_status(surface.get()), "cannot create the page image");
    Owned<cairo_t> cr(cairo_create(surface.get()));
    cairo_set_source_rgb(cr.get(), 1, 1, 1);
    cairo_paint(cr.get());
    cairo_scale(cr.get(), scale, scale);
    draw_page(cr.get(), p);
    check(cairo_status(cr.get()), "cannot draw the page image");
    cairo_surface_flush(surface.get());
    return surface;
}

}  // namespace

std::string render_pdf(const PreparedReport& report, const PageList& pages) {
    PageList list = pages;
    if (list.empty())
        for (std::size_t i = 1; i <= report.pages.size(); ++i) list.push_back(static_cast<int>(i));
    if (list.empty()) throw ReportError("the report has no pages");
    for (int n : list) page_at(report, n);

    std::string bytes;
    const PreparedPage& first = page_at(report, list.front());
    Owned<cairo_surface_t> surface(
        cairo_pdf_surface_create_for_stream(append_bytes, &bytes, pt(first.width), pt(first.height)));
    check(cairo_surface_status(surface.get()), "cannot create the PDF");
    if (!report.title.empty())
        cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE, report.title.c_str());
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, "vorla");
    {
        Owned<cairo_t> cr(cairo_create(surface.get()));
        for (int n : list) {
            const PreparedPage& p = page_at(report, n);
            cairo_pdf_surface_set_size(surface.get(), pt(p.width), pt(p.height));
            draw_page(cr.get(), p);
            cairo_show_page(cr.get());
        }
        check(cairo_status(cr.get()), "cannot draw the PDF");
    }
    cairo_surface_finish(surface.get());
    check(cairo_surface_status(surface.get()), "cannot write the PDF");
    return bytes;
}

Image render_image(const PreparedReport& report, int page, double dpi) {
    Owned<cairo_surface_t> surface = image_surface(report, page, dpi);
    Image image;
    image.width = cairo_image_surface_get_width(surface.get());
    image.height = cairo_image_surface_get_height(surface.get());
    image.stride = image.width * 3;
    image.rgb.resize(static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(image.height));
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int src_stride = cairo_image_surface_get_stride(surface.get());
    for (int row = 0; row < image.height; ++row) {
        const auto* src = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(row) * src_stride);
        std::uint8_t* dst = image.rgb.data() + static_cast<std::ptrdiff_t>(row) * image.stride;
        for (int col = 0; col < image.width; ++col) {
            const std::uint32_t px = src[col];
            *dst++ = static_cast<std::uint8_t>(px >> 16);
            *dst++ = static_cast<std::uint8_t>(px >> 8);
            *dst++ = static_cast<std::uint8_t>(px);
        }
    }
    return image;
}

std::string render_png(const PreparedReport& report, int page, double dpi) {
    Owned<cairo_surface_t> surface = image_surface(report, page, dpi);
    std::string bytes;
    check(cairo_surface_write_to_png_stream(surface.get(), append_bytes, &bytes), "cannot write the PNG");
    return bytes;
}

void print_report(const PreparedReport& report, const PageList& pages, const std::string& printer, int copies) {
    const std::string pdf = render_pdf(report, pages);
    const PreparedPage& first = page_at(report, pages.empty() ? 1 : pages.front());
    platform::PrintJob job;
    job.printer = printer;
    job.title = platform::utf8_to_gbk(report.title);
    job.copies = copies;
    job.media = platform::media_name(first.width, first.height);
    std::string error;
    if (!platform::print_pdf(job, pdf, error)) throw ReportError("printing failed: " + error);
}

}  // namespace vorla::report
