// The display that modal dialogs and the invoice preview are shown on.
#pragma once

#include <string>

namespace vorla::platform {

// Makes the display ready for the dialog toolkit, once per process: opens it
// (Linux: $DISPLAY through X11, so that a missing or bad display is an error
// instead of an exit of the host process) and selects a font that has Chinese
// characters as the toolkit's default. False with `error` set when no display
// can be used.
bool prepare_display(std::string& error);

}  // namespace vorla::platform
