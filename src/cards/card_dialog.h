// The card type selection dialog as the card transactions use it: the cashier
// chooses what the patient brought, and the chosen reader runs.
#pragma once

#include <string>
#include <string_view>

#include "cards/card_record.h"
#include "ui/card_type_logic.h"

namespace vorla::cards {

// Shows the dialog (or, under $VORLA_CASHIER, lets the scripted cashier answer
// it), maps the choice to a card type and a reader, and runs ReadCard. Cancel
// fails the record with "用户放弃"; a dialog that cannot be shown (no display)
// or a script that does not fit fails it with a text saying so. `hid` is
// accepted and not used.
void ChooseCardAndRead(std::string_view hid, bool pinRequired, TCardOut& record);

// The services of the dialog on this workstation: the QR scanner, the
// e-voucher component, the card driver's PIN change, message boxes, "list.file"
// in the current directory.
ui::CardTypeServices card_type_services();

// Answers the dialog from the cashier script: the first timer tick runs, then
// the dialog's steps are applied in order until it closes. Throws
// ui::ScriptError for a step it does not know or cannot apply.
void run_scripted_card_type(ui::CardTypeLogic& logic);

// True when the QR scanner component can be loaded (it is released again).
bool scanner_present();
// One scan through the QR scanner: the code, trimmed; "" when the component or
// its function is missing or nothing was read.
std::string ScanQrCode();

}  // namespace vorla::cards
