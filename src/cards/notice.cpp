#include "cards/notice.h"

#include <cstdlib>

#include "platform/dialogs.h"
#include "platform/fs.h"
#include "platform/platform.h"
#include "ui/cashier.h"

namespace vorla::cards {

std::string scripted_messages_path() {
    const std::string script = ui::script_path();
    return script.empty() ? std::string() : script + ".messages";
}

void show_message(std::string_view text, std::string_view caption) {
    if (!ui::scripted()) {
        platform::message_box(text, caption, platform::MessageIcon::Information);
        return;
    }
    try {
        platform::append_to_file(scripted_messages_path(),
                                 platform::gbk_to_utf8(caption) + "\t" + platform::gbk_to_utf8(text) + "\n");
    } catch (...) {
        // A message that cannot be recorded does not stop the dialog.
    }
}

}  // namespace vorla::cards
