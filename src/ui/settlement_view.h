// The settlement choices dialog on screen (Linux: FLTK; Windows: Win32) or
// answered by the scripted cashier. The logic is query::TF_display; this shows it modally within the
// call, runs its FormShow and forwards the cashier's clicks to its handlers.
#pragma once

#include <string>
#include <vector>

#include "query/settlement_choices.h"
#include "ui/cashier.h"

namespace vorla::ui {

// The window class of the dialog's window (X11 class, Win32 class name).
inline constexpr const char* kSettlementWindowClass = "vorla-settlement";

enum class DialogClose { Ok, Cancel, Unavailable };

struct DialogOutcome {
    DialogClose closed = DialogClose::Cancel;
    std::string error;  // why the dialog could not be shown or answered (Unavailable)
};

// Shows the dialog and returns how it was closed: from the cashier script when
// one is named (ui::scripted()), else in a modal window on the display. Closing
// the window by its frame or with Esc is Cancel. Unavailable when no display
// can be opened or the script cannot answer the dialog. Never throws.
DialogOutcome show_settlement_dialog(query::TF_display& form);

// The scripted cashier's answer: runs FormShow, then the steps in order (see
// the vocabulary in ui/cashier.h under "settlement"). Throws ScriptError for a
// step it cannot carry out.
DialogClose run_settlement_script(query::TF_display& form, const std::vector<Step>& steps);

// The modal window of the platform. `on_shown`, when set, runs once the window is on the
// screen, inside its event loop (tests drive the real dialog through it).
using ShownHook = void (*)(void* data);
DialogOutcome show_settlement_window(query::TF_display& form, ShownHook on_shown = nullptr,
                                     void* hook_data = nullptr);

}  // namespace vorla::ui
