// The settlement choices dialog: answered by the cashier script when one is
// named, otherwise shown in the platform's window (show_settlement_window).
#include <exception>

#include "ui/settlement_view.h"

namespace vorla::ui {

DialogOutcome show_settlement_dialog(query::TF_display& form) {
    try {
        if (scripted()) return {run_settlement_script(form, take_until_closed("settlement")), {}};
        return show_settlement_window(form);
    } catch (const std::exception& e) {
        return {DialogClose::Unavailable, e.what()};
    }
}

}  // namespace vorla::ui
