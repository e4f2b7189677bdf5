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
// "settlement check_category 11", "settlement cancel", "preview pdf /tmp/invoice.pdf".
// The argument is the rest of the line after one blank, converted to GBK.
// A dialog takes its steps up to and including its first "ok" or "cancel"
// (or, for dialogs without buttons, the single step it asks for).
//
// The card type selection dialog (ui/card_type_logic.h, cards/card_dialog.h),
// after its first timer tick has preselected the item ("list.file", scanner):
//   card_type choose ITEM   click an item: its 0-based index ("2") or a part of
//                           its text ("证件号码"); 3 scans a QR code, 4 fetches
//                           the e-voucher and closes the dialog at once (the
//                           dialog's remaining steps up to its "ok" are skipped)
//   card_type type TEXT     the edit field's new text (an empty TEXT clears it);
//                           the field must be enabled (items 2 and 3)
//   card_type change_pin    press 修改密码[&M]
//   card_type ok            OK: the chosen reader runs
//   card_type cancel        Cancel: "用户放弃"
// A step that does not fit fails the read with "cashier script: " and the
// reason. Message boxes shown while the dialog is open are not shown: each is
// appended as a UTF-8 line "caption<TAB>text" to the script's path followed by
// ".messages" (cards/notice.h).
//
// The settlement choices dialog (ui/settlement_view.h), after its FormShow has
// preselected the insurance type, the default category and the diseases. An
// ITEM is named by its whole text, else by its code (the text before "^"), else
// by its 0-based index in the list:
//   settlement choose ITEM            select an insurance type (XZDM, e.g.
//                                     "390^城乡居民基本医疗保险", "390" or "0")
//   settlement check_category ITEM    click a medical category's box unless it is
//   settlement uncheck_category ITEM  already as asked ("14", "14^门诊大病")
//   settlement check_disease ITEM     the same for a disease of the checked
//   settlement uncheck_disease ITEM   category ("M01", "M01^高血压")
//   settlement ok                     OK: the answer keeps the chosen type only
//   settlement cancel                 Cancel: ErrCode "1", "用户放弃"
// A click is what the cashier's click does: a category becomes the only
// checked one (unchecking it leaves none); a disease becomes the only checked
// one unless several may be chosen. A step that names no item, an unknown
// action or a script without "ok"/"cancel" leaves the dialog unanswered: the
// answer has ErrCode "-1" and the reason.
//
// The invoice preview and the print dialog (report/present.h):
//   preview pdf PATH    write the whole report as PDF to PATH, close the preview
//   preview print       press Print: the print dialog's steps follow
//   preview close       close the preview
//   print printer NAME  choose a printer;  print copies N;  print pages 1-2,4
//   print ok            print;  print pdf PATH  write the chosen pages to PATH
//   print cancel        print nothing
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vorla::ui {

// The environment variable that names the cashier script.
inline constexpr const char* kCashierVariable = "VORLA_CASHIER";
// The script's path (GBK, like every path of the platform's file functions);
// "" when the variable is not set.
std::string script_path();

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
