// Message boxes and the wait cursor of the platform's dialog toolkit
// (Linux: FLTK on the X display that prepare_display() opens).
#pragma once

#include <string_view>

namespace vorla::platform {

enum class MessageIcon { Information, Warning };

// Shows a modal message box with one OK button and waits for it to be closed.
// Texts are GBK. Without a usable display nothing is shown and the call returns
// at once: a message never stops the library.
void message_box(std::string_view text, std::string_view caption, MessageIcon icon = MessageIcon::Information);

// While it lives, the windows of the library show the busy cursor; the normal
// cursor comes back when it is destroyed. Does nothing without open windows.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool set_ = false;
};

}  // namespace vorla::platform
