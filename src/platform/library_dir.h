// Where the library lives and how it finds the driver components installed
// beside it (the card driver, the identity card reader, the e-voucher component
// and the QR scanner).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace vorla::platform {

// Directory of the file that holds this code: libvorla.so for a host, the
// executable itself when the code is linked into one (tools, tests). No
// trailing separator; "" when it cannot be told.
std::string library_directory();

// The file name of a component on this platform: "lib<stem>.so" on Linux,
// "<stem>.dll" on Windows ("SSCardDriver" gives libSSCardDriver.so).
std::string component_file_name(std::string_view stem);

// Loads a component by its stem: first the file beside this library, then the
// file name through the system's search path. nullptr with `error` set (the
// loader's reason for the last attempt) when neither loads.
std::unique_ptr<DynamicLibrary> open_component(std::string_view stem, std::string& error);

}  // namespace vorla::platform
