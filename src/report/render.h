// Rendering of a prepared report with cairo and pango: a PDF document (fonts
// embedded as subsets, texts extractable) and page images for the preview
// window and for PNG files. The same layout code draws both, so the preview
// shows what prints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report/layout.h"

namespace vorla::report {

// Page numbers are 1-based; an empty list means every page.
using PageList = std::vector<int>;

// The PDF of the listed pages (bytes). Throws ReportError when cairo fails or a
// page number is out of range.
std::string render_pdf(const PreparedReport& report, const PageList& pages = {});

// One page as an image: `dpi` pixels per inch, white paper.
struct Image {
    int width = 0, height = 0;
    int stride = 0;                  // bytes per row
    std::vector<std::uint8_t> rgb;   // 3 bytes per pixel, rows of `stride` bytes
};
Image render_image(const PreparedReport& report, int page, double dpi);

// One page as a PNG file's bytes.
std::string render_png(const PreparedReport& report, int page, double dpi);

}  // namespace vorla::report
