// The view of the card type selection dialog (Linux: FLTK; Windows: Win32):
// renders CardTypeLogic and forwards the cashier's clicks, keys and the 200 ms
// timer to it.
#pragma once

#include <string>

#include "ui/card_type_logic.h"

namespace vorla::ui {

// Pixel layout of the dialog (the window's client area), also used by the
// test that drives the dialog on a virtual display.
struct CardTypeLayout {
    struct Box {
        int x, y, w, h;
        int center_x() const { return x + w / 2; }
        int center_y() const { return y + h / 2; }
    };
    static constexpr int kWidth = 380;
    static constexpr int kHeight = 200;
    // Rg_cardtype: two columns, items 0-2 in the first, 3-4 in the second.
    static constexpr Box group{10, 10, 360, 100};
    static constexpr Box item(int index) {
        return Box{20 + (index / 3) * 175, 16 + (index % 3) * 30, 170, 28};
    }
    static constexpr Box label{10, 120, 80, 28};
    static constexpr Box edit{95, 120, 275, 28};
    static constexpr Box ok{10, 160, 110, 30};
    static constexpr Box cancel{135, 160, 110, 30};
    static constexpr Box change_pin{260, 160, 110, 30};
};

// The window class of the dialog's window (X11 class, Win32 class name).
inline constexpr const char* kCardTypeWindowClass = "vorla-card-type";

// Shows the dialog modally, centred on the screen, until the logic is closed
// (OK, Cancel, Esc or the window's close box, which cancels). False with `error`
// set when no display can be opened; the logic is then left as it was.
bool run_card_type_view(CardTypeLogic& logic, std::string& error);

}  // namespace vorla::ui
