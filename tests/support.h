// Shared test helpers: temporary directories and file contents.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace vorla::testing {

// A fresh directory, removed again at the end of the test.
class TempDir {
public:
    TempDir() {
        std::string base = std::filesystem::temp_directory_path() / "vorla-test-XXXXXX";
        path_ = ::mkdtemp(base.data()) ? base : std::string();
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Points the system directory at a temporary directory for the test's life.
class SystemDir {
public:
    SystemDir() { ::setenv("VORLA_SYSTEM_DIR", dir_.path().c_str(), 1); }
    ~SystemDir() { ::unsetenv("VORLA_SYSTEM_DIR"); }
    const std::string& path() const { return dir_.path(); }
    std::string operator/(const std::string& name) const { return dir_ / name; }

private:
    TempDir dir_;
};

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

}  // namespace vorla::testing
