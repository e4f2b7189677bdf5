// Message boxes and the wait cursor with FLTK.
#include <FL/Fl.H>
#include <FL/Fl_Device.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>

#include <string>

#include "platform/dialogs.h"
#include "platform/display.h"
#include "platform/platform.h"

namespace vorla::platform {

void message_box(std::string_view text, std::string_view caption, MessageIcon icon) {
    std::string error;
    if (!prepare_display(error)) return;
    const std::string title = gbk_to_utf8(caption);
    const std::string body = gbk_to_utf8(text);
    fl_message_title(title.c_str());
    if (icon == MessageIcon::Warning)
        fl_alert("%s", body.c_str());
    else
        fl_message("%s", body.c_str());
}

namespace {

// FLTK creates its display device and graphics driver while the library is
// loaded and never frees them: free them when the library is unloaded, so that
// a host that unloads the library does not lose them.
struct ReleaseDisplayDevice {
    ~ReleaseDisplayDevice() {
        Fl_Display_Device* device = Fl_Display_Device::display_device();
        Fl_Graphics_Driver* driver = device ? device->driver() : nullptr;
        delete device;
        delete driver;
    }
} release_display_device;

void set_cursor(Fl_Cursor cursor) {
    for (Fl_Window* w = Fl::first_window(); w; w = Fl::next_window(w)) w->cursor(cursor);
    Fl::flush();
}
}  // namespace

WaitCursor::WaitCursor() {
    if (!Fl::first_window()) return;
    set_cursor(FL_CURSOR_WAIT);
    set_ = true;
}

WaitCursor::~WaitCursor() {
    if (set_ && Fl::first_window()) set_cursor(FL_CURSOR_DEFAULT);
}

}  // namespace vorla::platform
