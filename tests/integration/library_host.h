// What the integration suites share: a temporary root holding the system
// directory <root>/sys (VORLA_SYSTEM_DIR while the object lives) and the
// simulator's scenario folder <root>/scenario, vorla-sim running on them, and
// the built library loaded as a host loads it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "sim_process.h"
#include "support.h"

namespace vorla::testing {

struct LibraryHost {
    using Invoke = void (*)(const char* const*, char* const*);

    LibraryHost() {
        std::filesystem::create_directories(root / "sys");
        std::filesystem::create_directories(root / "scenario");
        ::setenv("VORLA_SYSTEM_DIR", (root / "sys").c_str(), 1);
        sim = std::make_unique<SimProcess>(root / "scenario", root / "record");
        if (sim->port() <= 0) {
            error = "vorla-sim did not start";
            return;
        }
        library = platform::DynamicLibrary::open(VORLA_LIBRARY_PATH, error);
        if (!library) return;
        invoke = reinterpret_cast<Invoke>(library->symbol("invoke"));
        if (!invoke) error = "the library has no invoke";
    }
    ~LibraryHost() {
        library.reset();
        sim.reset();
        ::unsetenv("VORLA_SYSTEM_DIR");
    }

    TempDir root;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<platform::DynamicLibrary> library;
    Invoke invoke = nullptr;
    std::string error;  // why the host could not be set up; "" when it could
};

}  // namespace vorla::testing
