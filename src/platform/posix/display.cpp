// Opening the X display for FLTK ourselves: FLTK's own fl_open_display() exits
// the process when it cannot open the display, which must never happen inside
// the host's process.
#include <FL/Fl.H>
#include <FL/Enumerations.H>
#include <FL/platform.H>
#include <X11/Xlib.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "platform/display.h"

namespace vorla::platform {

bool prepare_display(std::string& error) {
    static bool ready = false;
    if (ready) return true;
    const char* name = ::XDisplayName(nullptr);
    Display* d = ::XOpenDisplay(nullptr);
    if (!d) {
        error = std::string("cannot open display \"") + (name ? name : "") + "\"";
        return false;
    }
    // The host's locale is the host's: keep it as it was whatever the toolkit sets.
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    const std::string host_locale = current ? current : "C";
    fl_open_display(d);
    // Xft with fontconfig: a CJK family so that Chinese labels render.
    Fl::set_font(FL_HELVETICA, "Noto Sans CJK SC");
    Fl::set_font(FL_HELVETICA_BOLD, "Noto Sans CJK SC:bold");
    Fl::scheme("gtk+");
    // The toolkit records its scheme in the environment with a string of its own;
    // after an unload of the library that entry would point into freed memory.
    ::unsetenv("FLTK_SCHEME");
    std::setlocale(LC_CTYPE, host_locale.c_str());
    ready = true;
    return true;
}

}  // namespace vorla::platform
