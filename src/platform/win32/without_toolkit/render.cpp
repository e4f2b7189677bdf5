// Windows build without cairo and pango: reports cannot be rendered yet.
#include <stdexcept>

#include "report/render.h"

namespace vorla::report {
namespace {

[[noreturn]] void unavailable() {
    throw std::runtime_error("report rendering (PDF, page images) is not available in the Windows build");
}

}  // namespace

std::string render_pdf(const PreparedReport&, const PageList&) { unavailable(); }
Image render_image(const PreparedReport&, int, double) { unavailable(); }
std::string render_png(const PreparedReport&, int, double) { unavailable(); }

}  // namespace vorla::report
