// Rendering of a prepared report: page images for the preview window, printing,
// and (Linux) PDF documents and PNG files. Linux draws with cairo and pango: a
// PDF document (fonts embedded as subsets, texts extractable) goes to the
// printing system. Windows draws the same layout with GDI onto page images and
// the printer's device context; PDF and PNG are not available there. On each
// platform the same drawing code makes the preview and the print, so the
// preview shows what prints.
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

// Prints the listed pages (every page when empty) as one job on `printer` (the
// printing system's name for it), `copies` times, the report's title naming
// the job, on paper of the first listed page's size. Throws ReportError when
// the printer is unknown or the job cannot be made or sent.
void print_report(const PreparedReport& report, const PageList& pages, const std::string& printer, int copies);

}  // namespace vorla::report
