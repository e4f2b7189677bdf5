// The library the tools load when no --lib is given.
#pragma once

#include <cstdlib>
#include <string>

#include "platform/fs.h"
#include "platform/platform.h"
#include "vorla/version.h"

namespace vorla::tools {

// $VORLA_LIBRARY when set; else libvorla.so beside the tool (a build tree, or a
// folder the library was copied into); else the installed library by its
// SONAME, which the system's loader finds on its search path.
inline std::string default_library() {
    if (const char* env = std::getenv("VORLA_LIBRARY"); env && *env) return env;
    const std::string exe = platform::host_executable_path();
    const std::string beside = exe.substr(0, exe.find_last_of('/') + 1) + "libvorla.so";
    if (platform::path_exists(beside)) return beside;
    return "libvorla.so." + std::to_string(VORLA_VERSION_MAJOR);
}

}  // namespace vorla::tools
