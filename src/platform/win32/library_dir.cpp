// The DLL's own directory, and the driver components installed beside it.
#include "platform/library_dir.h"
#include "platform/win32/win32.h"

namespace vorla::platform {

std::string library_directory() {
    HMODULE self = nullptr;
    // The module that holds this function: vorla.dll in a host, the executable
    // itself when the code is linked into one.
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCWSTR>(&library_directory), &self))
        return {};
    return win32::directory_of(win32::module_path(self));
}

std::string component_file_name(std::string_view stem) { return std::string(stem) + ".dll"; }

std::unique_ptr<DynamicLibrary> open_component(std::string_view stem, std::string& error) {
    const std::string file = component_file_name(stem);
    const std::string dir = library_directory();
    if (!dir.empty()) {
        std::string beside_error;
        if (auto lib = DynamicLibrary::open(dir + "\\" + file, beside_error)) return lib;
    }
    // The bare name: the system's DLL search order (the host's directory, the
    // system directories, PATH).
    return DynamicLibrary::open(file, error);
}

}  // namespace vorla::platform
