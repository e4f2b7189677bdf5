// Loading DLLs with LoadLibrary and looking up their functions with GetProcAddress.
#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace vorla::platform {

std::unique_ptr<DynamicLibrary> DynamicLibrary::open(const std::string& name, std::string& error) {
    const std::wstring wide = win32::widen(name);
    // A full path loads the DLL's own dependencies from its directory too.
    const bool has_directory = name.find_first_of("\\/") != std::string::npos;
    // No system error box for a DLL that is missing or broken: the caller reports it.
    DWORD previous_mode = 0;
    const bool mode_set = ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_mode);
    HMODULE h = ::LoadLibraryExW(wide.c_str(), nullptr, has_directory ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
    const DWORD code = ::GetLastError();
    if (mode_set) ::SetThreadErrorMode(previous_mode, nullptr);
    if (!h) {
        error = "cannot load " + name + ": " + win32::error_text(code);
        return nullptr;
    }
    return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(reinterpret_cast<void*>(h)));
}

DynamicLibrary::~DynamicLibrary() {
    if (handle_) ::FreeLibrary(static_cast<HMODULE>(handle_));
}

void* DynamicLibrary::symbol(const char* name) const {
    if (!handle_ || !name) return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string DynamicLibrary::path() const {
    return handle_ ? win32::module_path(static_cast<HMODULE>(handle_)) : std::string();
}

}  // namespace vorla::platform
