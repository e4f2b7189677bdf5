// The registry of injected file faults (see platform/faults.h).
#include "platform/faults.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace vorla::platform {

struct InjectedFileFault::Impl {
    FileOperation operation;
    std::string path_part;
    int error;
    int spared;
    int hits = 0;
};

namespace {

std::mutex& registry_mutex() {
    static std::mutex m;
    return m;
}

std::vector<InjectedFileFault::Impl*>& registry() {
    static std::vector<InjectedFileFault::Impl*> faults;
    return faults;
}

std::atomic<int> g_count{0};

}  // namespace

InjectedFileFault::InjectedFileFault(FileOperation operation, std::string path_part, int error, int spared)
    : impl_(new Impl{operation, std::move(path_part), error, spared}) {
    std::lock_guard lock(registry_mutex());
    registry().push_back(impl_);
    g_count.store(static_cast<int>(registry().size()), std::memory_order_relaxed);
}

InjectedFileFault::~InjectedFileFault() {
    {
        std::lock_guard lock(registry_mutex());
        auto& faults = registry();
        faults.erase(std::remove(faults.begin(), faults.end(), impl_), faults.end());
        g_count.store(static_cast<int>(faults.size()), std::memory_order_relaxed);
    }
    delete impl_;
}

int InjectedFileFault::hits() const {
    std::lock_guard lock(registry_mutex());
    return impl_->hits;
}

int injected_file_fault(FileOperation operation, const std::string& path) {
    if (g_count.load(std::memory_order_relaxed) == 0) return 0;
    std::lock_guard lock(registry_mutex());
    const auto& faults = registry();
    for (auto it = faults.rbegin(); it != faults.rend(); ++it) {
        InjectedFileFault::Impl* f = *it;
        if (f->operation == operation && path.find(f->path_part) != std::string::npos) {
            if (f->spared > 0) {
                --f->spared;
                return 0;
            }
            ++f->hits;
            return f->error;
        }
    }
    return 0;
}

}  // namespace vorla::platform
