// Loading shared libraries with dlopen.
#include <dlfcn.h>

#include "platform/platform.h"

namespace vorla::platform {

std::unique_ptr<DynamicLibrary> DynamicLibrary::open(const std::string& name, std::string& error) {
    void* h = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char* e = ::dlerror();
        error = e ? e : ("cannot load " + name);
        return nullptr;
    }
    return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(h));
}

DynamicLibrary::~DynamicLibrary() {
    if (handle_) ::dlclose(handle_);
}

void* DynamicLibrary::symbol(const char* name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

}  // namespace vorla::platform
