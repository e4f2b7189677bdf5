// Windows build without FLTK and without report rendering: nothing can be
// printed yet, so the print dialog is not offered.
#include <stdexcept>

#include "ui/preview_print_dialog.h"

namespace vorla::ui {

PrintRequest run_print_dialog(int) {
    throw std::runtime_error("the print dialog cannot be shown: printing is not available in the Windows build");
}

}  // namespace vorla::ui
