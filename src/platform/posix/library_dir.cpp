// The library's own directory through dladdr, and component lookup beside it.
#include <dlfcn.h>

#include "platform/library_dir.h"

namespace vorla::platform {

std::string library_directory() {
    Dl_info info{};
    // Any function of this object file names the object that holds the code.
    if (::dladdr(reinterpret_cast<void*>(&library_directory), &info) == 0 || !info.dli_fname ||
        !*info.dli_fname)
        return {};
    std::string path = info.dli_fname;
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return {};  // loaded by bare name: no directory known
    return path.substr(0, slash == 0 ? 1 : slash);
}

std::string component_file_name(std::string_view stem) { return "lib" + std::string(stem) + ".so"; }

std::unique_ptr<DynamicLibrary> open_component(std::string_view stem, std::string& error) {
    const std::string file = component_file_name(stem);
    const std::string dir = library_directory();
    if (!dir.empty()) {
        const std::string beside = (dir == "/" ? dir : dir + "/") + file;
        std::string beside_error;
        if (auto lib = DynamicLibrary::open(beside, beside_error)) return lib;
    }
    // A bare name makes the loader search the system's path (LD_LIBRARY_PATH,
    // the cache, the default directories).
    return DynamicLibrary::open(file, error);
}

}  // namespace vorla::platform
