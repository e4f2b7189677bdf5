// The display on Windows: the desktop of the interactive window station.

#include "platform/display.h"
#include "platform/win32/win32.h"

namespace vorla::platform {

bool prepare_display(std::string& error) {
    static bool ready = false;
    if (ready) return true;
    // A process without a visible window station (a service) has no desktop a
    // cashier could see: a dialog there would wait forever.
    USEROBJECTFLAGS flags{};
    HWINSTA station = ::GetProcessWindowStation();
    if (!station || !::GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) ||
        !(flags.dwFlags & WSF_VISIBLE) || !::GetDesktopWindow()) {
        error = "no interactive desktop";
        return false;
    }
    ready = true;
    return true;
}

}  // namespace vorla::platform
