// Loading shared libraries with dlopen.
#include <dlfcn.h>
#include <link.h>

#include "platform/fs.h"

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

std::string DynamicLibrary::path() const {
    link_map* map = nullptr;
    if (!handle_ || ::dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return {};
    return gbk_path(map->l_name);
}

}  // namespace vorla::platform
