// The diagnostic log: a levelled daily text log beside the host executable,
// configured by log4me.ini there.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace vorla::log4me {

// At library load: forgets any earlier state, reads log4me.ini (in
// platform::log_config_directory()), logs the start line. Throws like info().
void start();
// At library unload: logs the stop line, closes the file and switches both levels
// off, also when the stop line fails (whose error is then thrown).
void stop();

// Write one line when the level is on. Throw std::runtime_error when the file
// cannot be created, opened or written.
void error(std::string_view message);
void info(std::string_view message);

// 20 characters: yyyymmddhhnnss of now and six random digits.
std::string stamp_serial();

// The clock of the log's lines, file names, configuration re-reads and stamp
// serials: platform::local_now unless replaced (tests); an empty function
// restores it.
void set_clock(std::function<platform::LocalTime()> clock);

}  // namespace vorla::log4me
