// Windows build without FLTK: the settlement choices window cannot be shown;
// the scripted cashier still answers the dialog.
#include <exception>

#include "ui/settlement_view.h"

namespace vorla::ui {

DialogOutcome show_settlement_window(query::TF_display&, ShownHook, void*) {
    return {DialogClose::Unavailable, "this Windows build has no dialog toolkit"};
}

DialogOutcome show_settlement_dialog(query::TF_display& form) {
    try {
        if (scripted()) return {run_settlement_script(form, take_until_closed("settlement")), {}};
        return show_settlement_window(form);
    } catch (const std::exception& e) {
        return {DialogClose::Unavailable, e.what()};
    }
}

}  // namespace vorla::ui
