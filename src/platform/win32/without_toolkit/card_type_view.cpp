// Windows build without FLTK: the card type window cannot be shown; the
// scripted cashier (which the caller asks first) still answers the dialog.
#include "ui/card_type_view.h"

namespace vorla::ui {

bool run_card_type_view(CardTypeLogic&, std::string& error) {
    error = "this Windows build has no dialog toolkit";
    return false;
}

}  // namespace vorla::ui
