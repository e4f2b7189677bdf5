// Message boxes of the card dialogs. A workstation sees a modal box; under the
// scripted cashier ($VORLA_CASHIER) nothing is shown and the message is
// appended instead, as one UTF-8 line "caption<TAB>text", to the file named by
// the script path followed by ".messages" (for the script /tmp/j1.script:
// /tmp/j1.script.messages).
#pragma once

#include <string>
#include <string_view>

namespace vorla::cards {

// Texts are GBK.
void show_message(std::string_view text, std::string_view caption);

// The file that receives the messages under the scripted cashier ("" when no
// script is named).
std::string scripted_messages_path();

}  // namespace vorla::cards
