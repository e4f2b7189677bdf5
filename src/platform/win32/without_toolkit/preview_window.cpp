// Windows build without FLTK: the invoice preview cannot be shown.
#include <stdexcept>

#include "ui/preview_window.h"

namespace vorla::ui {

void show_preview_window(const report::PreparedReport&, const std::function<void()>&) {
    throw std::runtime_error("the preview cannot be shown: this Windows build has no dialog toolkit");
}

}  // namespace vorla::ui
