// The scripted cashier: when $VORLA_CASHIER names a script file, every dialog
// and the invoice preview are answered from it instead of being shown. Tests,
// the demo and integrators' unattended runs use it; a workstation never sets it.
//
// Script: UTF-8 text, one step per line, consumed in order for the whole process
// (the position is kept per script path; a different path starts again at the
// top). Blank lines and lines starting with "#" are skipped. A step is
//
//     <dialog> <action> [argument]
//
// e.g. "card_type choose 1", "card_type type 110101199001011234", "card_type ok",
// "settlement check 11", "settlement cancel", "preview pdf /tmp/invoice.pdf".
// The argument is the rest of the line after one blank, converted to GBK.
// A dialog takes its steps up to and including its first "ok" or "cancel"
// (or, for dialogs without buttons, the single step it asks for).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vorla::ui {

struct Step {
    std::string dialog;
    std::string action;
    std::string argument;  // GBK
};

struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// True when a cashier script is named.
bool scripted();

// The steps addressed to `dialog`, up to and including its first "ok" or
// "cancel". Throws ScriptError when the script is exhausted, unreadable, or its
// next step names another dialog.
std::vector<Step> take_until_closed(std::string_view dialog);

// The next single step, which must be addressed to `dialog`.
Step take_one(std::string_view dialog);

}  // namespace vorla::ui
